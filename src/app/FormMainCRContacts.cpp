// The main window's doors to the contacts book and to Wake-on-LAN: the
// settings menu's "Contacts List...", and the connection dialog's book
// button and "Wake Up PC && Connect...". The book and the table are the
// core's; the windows are made for one showing each.

#include "app/FormMainCR.h"
#include "core/AppCore.h"
#include "dialogs/FormAddConnection.h"
#include "dialogs/FormAddressBook.h"
#include "dialogs/FormWake.h"

namespace corvala {

namespace {

// The book for one showing; the chosen contact when it closed with
// "Connect...".
std::optional<TFormAddConnection::Contact> ContactFromBook(TAppCore& core, QWidget* parent) {
    TFormAddressBook book(core.AddressBookPath(), core.BookState(), core.Environment().SupportContact, parent);
    if (book.Execute() != 3) return std::nullopt;
    return TFormAddConnection::Contact{book.Book().RemotePCName, book.Book().RemotePCID,
                                       book.Book().RemotePCPassword};
}

}  // namespace

void TFormMainCR::ConnectContactsHooks() {
    frmAddConnection->ChooseContact = [this] { return ContactFromBook(FCore, frmAddConnection); };
    frmAddConnection->WakeUpPc = [this](const QString& idText) {
        TUdpBroadcastSender sender;
        TfrmWake wake(FCore.Wake(), FCore.WakeTablePath(), sender,
                      [this] { FCore.OpenWebAddress(FEnv.WebSiteAddress + "/manual/" + "wake-on-lan.htm"); },
                      frmAddConnection);
        wake.DataToControls(idText);
        return wake.Execute() == 1;
    };
}

void TFormMainCR::ContactsListClick() {
    const std::optional<TFormAddConnection::Contact> contact = ContactFromBook(FCore, this);
    if (!contact) return;
    frmAddConnection->strID =
        contact->name.trimmed().isEmpty() ? contact->id : contact->name + QStringLiteral(" (") + contact->id + u')';
    frmAddConnection->strPswd = contact->password;
    FCore.ConnectAction(true);
}

}  // namespace corvala

#include "features/AddressBook.h"

#include "base/Log.h"
#include "i18n/Translator.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSaveFile>

#include <utility>

namespace corvala {

namespace {

const char* NoticeNumber(int notice) {
    static const char* const numbers[] = {" 7704.", " 773.", " 7794."};
    return numbers[notice];
}

QString FileDigest(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

// The whole file, or an error message; larger files are refused unread.
std::optional<QByteArray> ReadWhole(const QString& path, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return std::nullopt;
    }
    QByteArray bytes = file.read(MaxBookFileBytes + 1);
    if (bytes.size() > MaxBookFileBytes) {
        error = QStringLiteral("the file is larger than %1 bytes").arg(MaxBookFileBytes);
        return std::nullopt;
    }
    return bytes;
}

// Written beside the target and renamed over it: a crash while writing
// leaves the old file whole.
bool WriteWhole(const QString& path, const QByteArray& bytes, QString& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace

QString BookErrorNotice(const char* number, const QString& message, const QString& supportContact) {
    return translate(QStringLiteral("Error")) + QString::fromLatin1(number) + message + u'\n' +
           translate(QStringLiteral("Please contact developers")) + QStringLiteral(" (") + supportContact +
           QStringLiteral(").");
}

TAddressBook::TAddressBook(QString filePath, TBookState& state, IBookPrompts& prompts, QString supportContact)
    : FFilePath(std::move(filePath)), FState(state), FPrompts(prompts), FSupportContact(std::move(supportContact)) {}

void TAddressBook::ShowErrorNotice(Notice notice, const QString& message) {
    qCWarning(lcFeatures) << "contacts book:" << NoticeNumber(int(notice)) << message;
    FPrompts.ShowError(BookErrorNotice(NoticeNumber(int(notice)), message, FSupportContact));
}

std::optional<BookContents> TAddressBook::Unsealed(const QByteArray& bytes, const QString& path, Notice notice) {
    try {
        return UnsealBook(bytes);
    } catch (const DtReadError& e) {
        qCWarning(lcFeatures) << "refused the book file" << path << ":" << e.what();
        ShowErrorNotice(notice, QString::fromUtf8(e.what()));
        return std::nullopt;
    }
}

std::optional<BookContents> TAddressBook::ReadFile(const QString& path, Notice notice) {
    QString error;
    const std::optional<QByteArray> bytes = ReadWhole(path, error);
    if (!bytes) {
        ShowErrorNotice(notice, error);
        return std::nullopt;
    }
    return Unsealed(*bytes, path, notice);
}

bool TAddressBook::PasswordAccepted(const QString& password) {
    if (password.isEmpty()) return true;
    const std::optional<QString> typed = FPrompts.AskBookPassword();
    if (!typed) return false;
    if (*typed != password) {
        FPrompts.ShowWarning(translate(QStringLiteral("Invalid password.")));
        return false;
    }
    return true;
}

bool TAddressBook::Load() {
    FLastSelectedNode = {};
    FBook = {};
    if (!QFile::exists(FFilePath)) return true;
    QString error;
    const std::optional<QByteArray> bytes = ReadWhole(FFilePath, error);
    if (!bytes) {
        ShowErrorNotice(Notice::Load, error);
        return false;
    }
    const QString digest = FileDigest(*bytes);
    if (digest != FState.BookDigest) FState.BookUnlocked = false;
    // Whatever happens below, the file as it is now was seen.
    FState.BookDigest = digest;
    std::optional<BookContents> book = Unsealed(*bytes, FFilePath, Notice::Load);
    if (!book) return false;
    if (!FState.BookUnlocked && !PasswordAccepted(book->Password)) return false;
    FState.BookUnlocked = true;
    FBook = std::move(*book);
    for (int g = 0; g < FBook.Groups.size(); ++g)
        for (int c = 0; c < FBook.Groups[g].Contacts.size(); ++c)
            if (FBook.Groups[g].Contacts[c].Name == FState.strLastUsedContactNameFromAddressBook)
                FLastSelectedNode = {g, c};
    return true;
}

bool TAddressBook::Save() {
    QString error;
    if (WriteWhole(FFilePath, SealBook(FBook), error)) return true;
    ShowErrorNotice(Notice::Save, error);
    return false;
}

bool TAddressBook::PasswordDuty() {
    bool contactPasswords = false;
    for (const BookGroup& group : FBook.Groups)
        for (const TAddressBookItem& c : group.Contacts) contactPasswords |= !c.Password.isEmpty();
    if (!contactPasswords || !FBook.Password.isEmpty()) return true;
    FPrompts.ShowWarning(
        translate(QStringLiteral("Since you started using passwords in the Contacts we need to protect this sensitive data.")) +
        u'\n' + translate(QStringLiteral("Therefore you have to create a password for access to Contacts Book.")));
    const std::optional<QString> password = FPrompts.AskNewBookPassword(QString());
    if (!password || password->isEmpty()) return false;
    FBook.Password = *password;
    return true;
}

bool TAddressBook::Saved() { return PasswordDuty() && Save(); }

TAddressBookItem* TAddressBook::Item(BookNode node) {
    if (node.Group < 0 || node.Group >= FBook.Groups.size()) return nullptr;
    BookGroup& group = FBook.Groups[node.Group];
    if (node.Contact < 0) return &group.Item;
    return node.Contact < group.Contacts.size() ? &group.Contacts[node.Contact] : nullptr;
}

int TAddressBook::NodeCount() const {
    int count = 0;
    for (const BookGroup& group : FBook.Groups) count += 1 + int(group.Contacts.size());
    return count;
}

BookNode TAddressBook::AddGroup() {
    BookGroup group;
    group.Item.Name = translate(QStringLiteral("Group")) + u' ' + QString::number(NodeCount() + 1);
    FBook.Groups.append(group);
    return {int(FBook.Groups.size()) - 1, -1};
}

BookNode TAddressBook::AddContact(BookNode selected) {
    if (!Item(selected)) return {};
    QList<TAddressBookItem>& contacts = FBook.Groups[selected.Group].Contacts;
    TAddressBookItem contact;
    contact.Name = translate(QStringLiteral("Contact")) + u' ' + QString::number(contacts.size() + 1);
    contacts.append(contact);
    return {selected.Group, int(contacts.size()) - 1};
}

bool TAddressBook::Remove(BookNode node) {
    const TAddressBookItem* item = Item(node);
    if (!item) return false;
    const QString question =
        node.IsContact() ? FormatText(translate(QStringLiteral("Do you really want to remove the contact \"%s\"?")), {item->Name})
                         : FormatText(translate(QStringLiteral(
                                          "Do you really want to remove the group \"%s\" with all its contacts?")),
                                      {item->Name});
    if (!FPrompts.Confirm(question)) return false;
    if (node.IsContact())
        FBook.Groups[node.Group].Contacts.removeAt(node.Contact);
    else
        FBook.Groups.removeAt(node.Group);
    return true;
}

BookNode TAddressBook::MoveUp(BookNode node) {
    if (!Item(node)) return node;
    if (node.IsContact()) {
        if (node.Contact == 0) return node;
        FBook.Groups[node.Group].Contacts.swapItemsAt(node.Contact, node.Contact - 1);
        return {node.Group, node.Contact - 1};
    }
    if (node.Group == 0) return node;
    FBook.Groups.swapItemsAt(node.Group, node.Group - 1);
    return {node.Group - 1, -1};
}

BookNode TAddressBook::MoveDown(BookNode node) {
    if (!Item(node)) return node;
    if (node.IsContact()) {
        if (node.Contact + 1 >= FBook.Groups[node.Group].Contacts.size()) return node;
        FBook.Groups[node.Group].Contacts.swapItemsAt(node.Contact, node.Contact + 1);
        return {node.Group, node.Contact + 1};
    }
    if (node.Group + 1 >= FBook.Groups.size()) return node;
    FBook.Groups.swapItemsAt(node.Group, node.Group + 1);
    return {node.Group + 1, -1};
}

void TAddressBook::SetPasswordClick() {
    if (const std::optional<QString> password = FPrompts.AskNewBookPassword(FBook.Password)) FBook.Password = *password;
}

bool TAddressBook::OkClick() {
    if (!Saved()) return false;
    Tag = 1;
    return true;
}

bool TAddressBook::ConnectClick(const TAddressBookItem& shown) {
    RemotePCName = shown.Name;
    RemotePCID = shown.ID;
    RemotePCPassword = shown.Password;
    if (RemotePCID.trimmed().isEmpty()) {
        FPrompts.ShowError(translate(QStringLiteral("The field \"ID\" cannot be empty.")));
        return false;
    }
    if (RemotePCName.trimmed().isEmpty()) {
        FPrompts.ShowError(translate(QStringLiteral("The field \"Name\" cannot be empty.")));
        return false;
    }
    if (!Saved()) return false;
    Tag = 3;
    FState.strLastUsedContactNameFromAddressBook = shown.Name;
    return true;
}

bool TAddressBook::Export(const QString& path) {
    if (!Save()) return false;
    QString error;
    const std::optional<QByteArray> bytes = ReadWhole(FFilePath, error);
    if (!bytes || !WriteWhole(path, *bytes, error)) {
        ShowErrorNotice(Notice::Save, error);
        return false;
    }
    return true;
}

bool TAddressBook::Import(const QString& path) {
    const std::optional<BookContents> imported = ReadFile(path, Notice::Import);
    if (!imported || !PasswordAccepted(imported->Password)) return false;
    FBook.Groups.append(imported->Groups);
    return true;
}

}  // namespace corvala

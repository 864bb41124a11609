// The main window's credential dialogs, connection log and live-connections
// window: the menu items and the caption's information button forward to
// the core, which opens the windows through the view and applies what they
// confirm.

#include <QAction>
#include <QScopedValueRollback>

#include "app/FormMainCR.h"
#include "core/AppCore.h"
#include "dialogs/FormConnections.h"
#include "dialogs/FormConnectionsLog.h"
#include "dialogs/FormDisplayName.h"
#include "dialogs/FormPassword.h"
#include "dialogs/FormWhitelist.h"
#include "widgets/WindowChrome.h"

namespace corvala {

void TFormMainCR::ConnectConnectionItems() {
    const std::pair<const char*, void (TAppCore::*)()> items[] = {
        {"Set Display Name", &TAppCore::SetName1Click},
        {"Set Whitelist", &TAppCore::SetWhitelist1Click},
        {"Connection Log", &TAppCore::ConnectionsLogClick},
    };
    for (const auto& item : items) {
        // A named copy, not a structured binding: the lambda outlives the
        // table, and GCC 12 captured the binding's storage, not its value.
        void (TAppCore::*click)() = item.second;
        QAction* action = MenuAction(item.first);
        action->setEnabled(true);
        connect(action, &QAction::triggered, this, [this, click] { (FCore.*click)(); });
    }
    QAction* password = MenuAction("Set Password");
    password->setEnabled(true);
    connect(password, &QAction::triggered, this, [this] { FCore.Password1Click(); });
    connect(panButtonInfo, &QAbstractButton::clicked, this, [this] { FCore.ConnectionsInfoClick(); });
}

std::optional<HostPasswordAnswer> TFormMainCR::AskHostPassword(const HostPasswordFill& fill) {
    return TFormPassword(this).Execute(fill);
}

std::optional<WhiteListAnswer> TFormMainCR::AskWhiteList(const WhiteListAnswer& current) {
    return TFormWhitelist(this).Execute(current);
}

std::optional<QString> TFormMainCR::AskDisplayName(const QString& current) {
    return TFormDisplayName(this).Execute(current);
}

void TFormMainCR::ShowConnectionLog(const QStringList& lines, bool peersConnected) {
    TFormConnectionsLog window([this] { return FCore.ClearConnectionLog(); }, this);
    const QScopedValueRollback open(frmConnectionsLog, &window);
    window.Execute(lines, peersConnected);
}

void TFormMainCR::ShowConnections(const QStringList& lines) {
    TFormConnections window([this](const QStringList& ids) { FCore.DisconnectConnections(ids); }, this);
    window.Execute(lines);
}

}  // namespace corvala

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
    const auto forward = [this](const char* key, void (TAppCore::*click)()) {
        QAction* action = MenuAction(key);
        action->setEnabled(true);
        connect(action, &QAction::triggered, &FCore, click);
    };
    forward("Set Display Name", &TAppCore::SetName1Click);
    forward("Set Whitelist", &TAppCore::SetWhitelist1Click);
    forward("Connection Log", &TAppCore::ConnectionsLogClick);
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

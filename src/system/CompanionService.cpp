#include "system/CompanionService.h"

#include <QFile>
#include <QSaveFile>

#include "base/Log.h"
#include "base/ProductInfo.h"
#include "i18n/Translator.h"
#include "platform/Folders.h"

namespace corvala {

namespace fs = std::filesystem;

CompanionService::CompanionService(fs::path programFolder, bool serviceStarted, platform::IShell& shell,
                                   platform::IUserSession* userSession, ICompanionEvents& events)
    : FProgramFolder(std::move(programFolder)),
      FServiceStarted(serviceStarted),
      FShell(shell),
      FUserSession(userSession),
      FEvents(events) {}

bool CompanionService::AutostartMarkerExists() const {
    std::error_code ec;
    return fs::is_directory(FProgramFolder / programfiles::AutostartMarker, ec);
}

void CompanionService::SetAutomaticStart(bool on) {
    // The autostart entry belongs to the user's own configuration, so the
    // helper runs with the user's rights: elevated, it would write into the
    // administrator's configuration instead.
    const fs::path helper = FProgramFolder / programfiles::CompanionService;
    const int result = FShell.Execute("open", helper.string(), on ? "/install" : "/uninstall");
    if (!platform::ShellSucceeded(result))
        qCWarning(lcPlatform) << "the companion helper did not start for automatic start" << (on ? "on" : "off")
                              << "result" << result << QString::fromStdString(helper.string());
}

void CompanionService::AutomaticStartClick() {
    const bool on = AutostartMarkerExists();
    if (on || !FEvents.RandomPasswordMode()) {
        SetAutomaticStart(!on);
        return;
    }
    // A random password changes at every start: nobody could reach this
    // computer after an automatic start, so a static password comes first.
    FEvents.ShowWarning(
        translate("In order to start %s with Windows you must specify a \"Static Password\".").replace("%s", ProductName));
    if (FEvents.RequireStaticPassword()) SetAutomaticStart(true);
}

bool CompanionService::WriteShortcut(const QString& address) const {
    QSaveFile file(QString::fromStdString((FProgramFolder / ShortcutFileName).string()));
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray text = "[InternetShortcut]\r\nURL=" + address.toUtf8() + "\r\nIDList=\r\n";
    return file.write(text) == text.size() && file.commit();
}

void CompanionService::OpenWebAddress(const QString& address) {
    if (!FServiceStarted) {
        FShell.Execute("open", address.toStdString(), "");
        return;
    }
    if (!WriteShortcut(address)) {
        qCWarning(lcPlatform) << "web address not opened: the shortcut could not be written in"
                              << QString::fromStdString(FProgramFolder.string());
        return;
    }
    // The shortcut stays as the record of what was opened; xdg-open gets the
    // address itself, which every desktop's browser handler understands.
    if (!FUserSession || !FUserSession->RunInUserSession(address.toStdString()))
        qCInfo(lcPlatform) << "web address not opened: no console session to open it in" << address;
}

void CompanionService::OpenFolder(const QString& path) {
    if (!FServiceStarted) {
        FShell.Execute("open", path.toStdString(), "");
        return;
    }
    if (!FUserSession || !FUserSession->RunInUserSession(path.toStdString()))
        qCInfo(lcPlatform) << "folder not opened: no console session to open it in" << path;
}

}  // namespace corvala

#pragma once
// What the program asks of its companion helper (crsystem) and of the
// desktop session it runs in: automatic start on and off, and opening web
// pages and folders for the user at the console.
//
// Automatic start is known only from the marker folder "~i" in the program
// folder, which the helper creates and removes; the program never writes it.
// A copy the helper started ("/from_service") may not share the console
// user's environment, so it opens things through that user's session; a
// copy the user started opens them through the desktop shell directly.

#include <QString>

#include <filesystem>

#include "platform/Shell.h"
#include "platform/UserSession.h"

namespace corvala {

class ICompanionEvents {
public:
    virtual bool RandomPasswordMode() const = 0;
    // A modal warning for the user's own action.
    virtual void ShowWarning(const QString& text) = 0;
    // The password dialog offered without a random password; true when a
    // static password is set once it closes.
    virtual bool RequireStaticPassword() = 0;

protected:
    ~ICompanionEvents() = default;
};

class CompanionService {
public:
    // `userSession`: none where no session can be reached (the service-started
    // copy then opens nothing).
    CompanionService(std::filesystem::path programFolder, bool serviceStarted, platform::IShell& shell,
                     platform::IUserSession* userSession, ICompanionEvents& events);

    bool ServiceStarted() const { return FServiceStarted; }
    bool AutostartMarkerExists() const;
    // Asks the helper for "/install" or "/uninstall", without waiting: the
    // marker shows the outcome the next time anyone looks.
    void SetAutomaticStart(bool on);
    // The "Automatic Start" menu item. Switching on while the password is
    // random first requires a static password.
    void AutomaticStartClick();
    void OpenWebAddress(const QString& address);
    void OpenFolder(const QString& path);

    // The shortcut a service-started copy writes before it opens an address.
    static constexpr const char* ShortcutFileName = "link.url";

private:
    bool WriteShortcut(const QString& address) const;

    std::filesystem::path FProgramFolder;
    bool FServiceStarted;
    platform::IShell& FShell;
    platform::IUserSession* FUserSession;
    ICompanionEvents& FEvents;
};

}  // namespace corvala

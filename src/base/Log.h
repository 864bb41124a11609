#pragma once
// The program's diagnostics: one Qt logging category per subsystem, so that
// QT_LOGGING_RULES turns them on ("corvala.session.debug=true"), and a
// rotating file in the program folder that keeps every warning and error,
// so that a failure in the field leaves something to diagnose. Debug
// messages are off unless the rules turn them on.
//
// Everything that drops or refuses what a peer, a server or a file sent
// logs it here with its context (who sent it, what was wrong), as a warning.

#include <QLoggingCategory>
#include <QString>

#include <cstdint>

namespace corvala {

Q_DECLARE_LOGGING_CATEGORY(lcStartup)     // corvala.startup
Q_DECLARE_LOGGING_CATEGORY(lcCore)        // corvala.core
Q_DECLARE_LOGGING_CATEGORY(lcSession)     // corvala.session
Q_DECLARE_LOGGING_CATEGORY(lcSignalling)  // corvala.signalling
Q_DECLARE_LOGGING_CATEGORY(lcEngine)      // corvala.engine: the component over rt.so
Q_DECLARE_LOGGING_CATEGORY(lcControl)     // corvala.control: data-channel commands and input
Q_DECLARE_LOGGING_CATEGORY(lcScreen)      // corvala.screen
Q_DECLARE_LOGGING_CATEGORY(lcSettings)    // corvala.settings
Q_DECLARE_LOGGING_CATEGORY(lcWindow)      // corvala.window
Q_DECLARE_LOGGING_CATEGORY(lcTransfer)    // corvala.transfer: file transfer
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)    // corvala.platform: what the desktop was asked and answered
Q_DECLARE_LOGGING_CATEGORY(lcFeatures)    // corvala.features: contacts book, Wake-on-LAN

// Warnings and worse also go to `path`. When the file passes `maxBytes` it
// becomes "<path>.1" (the older ones move up, "<path>.<keep>" is dropped) and
// a new one starts, so the folder never holds more than (keep + 1) * maxBytes.
// Messages still reach the handler that was installed before. Safe to call
// again with another path (the last call wins); any thread may log.
void InstallLogFile(const QString& path, std::int64_t maxBytes = 1 << 20, int keep = 3);
// Back to the handler that was installed before InstallLogFile.
void RemoveLogFile();

// The file name in the program folder.
inline constexpr char LogFileName[] = "diagnostics.log";

}  // namespace corvala

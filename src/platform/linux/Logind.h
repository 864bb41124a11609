#pragma once
// Where logind answers on the system bus, and this program's session there.

#include <QString>
#include <QVariant>

namespace corvala::platform::linuxos::logind {

inline constexpr const char* Service = "org.freedesktop.login1";
inline constexpr const char* ManagerPath = "/org/freedesktop/login1";
inline constexpr const char* ManagerInterface = "org.freedesktop.login1.Manager";
inline constexpr const char* SessionInterface = "org.freedesktop.login1.Session";
inline constexpr const char* PropertiesInterface = "org.freedesktop.DBus.Properties";

// The object path of this program's session (XDG_SESSION_ID, else the
// session of this process); empty without a system bus or logind.
QString SessionPath();

// A property of the session at `path`; invalid when it cannot be read.
QVariant SessionProperty(const QString& path, const char* name);

}  // namespace corvala::platform::linuxos::logind

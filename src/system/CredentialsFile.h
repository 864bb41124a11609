#pragma once
// The ID and password of a host that runs without a screen, for the one who
// started it: a file only its owner may read, replaced whole so that a
// reader never sees half of it.

#include <QString>

namespace corvala {

// Writes "ID=<id>\nPassword=<password>\n" to `path` with mode 0600. False
// (and logged) when the file could not be written.
bool WriteCredentialsFile(const QString& path, const QString& deviceId, const QString& password);

}  // namespace corvala

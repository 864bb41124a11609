#include "system/CredentialsFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "base/Log.h"

namespace corvala {

bool WriteCredentialsFile(const QString& path, const QString& deviceId, const QString& password) {
    // QSaveFile writes through a link; a link standing there is replaced
    // instead, so the password never lands where the link points.
    if (QFileInfo(path).isSymLink()) QFile::remove(path);
    QSaveFile file(path);
    // The permissions are set before any byte is written: the temporary file
    // is never readable by others, and the rename keeps them.
    const bool ok = file.open(QIODevice::WriteOnly) &&
                    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                    file.write(("ID=" + deviceId + "\nPassword=" + password + "\n").toUtf8()) >= 0 && file.commit();
    if (!ok) qCWarning(lcCore) << "the credentials file was not written:" << path << file.errorString();
    return ok;
}

}  // namespace corvala

#include "core/PayloadIntegrity.h"

#include <QCryptographicHash>
#include <QFile>

namespace corvala {

QString FileMd5Hex(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (!hash.addData(&file)) return {};
    return QString::fromLatin1(hash.result().toHex());
}

std::optional<QString> FirstIntegrityFailure(const QString& folder, std::span<const ExpectedDigest> expected) {
    for (const auto& file : expected) {
        const QString name = QString::fromLatin1(file.FileName);
        if (FileMd5Hex(folder + "/" + name) != QLatin1String(file.Md5Hex)) return name;
    }
    return std::nullopt;
}

}  // namespace corvala

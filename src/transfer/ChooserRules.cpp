#include "transfer/ChooserRules.h"

#include <QFileInfo>

namespace corvala::transfer {

bool FolderNodeRefused(const QString& path) {
    if (path.contains(QLatin1StringView("systemprofile"))) return true;
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0) return false;
    static const QStringList archives = {".zip", ".rar", ".7z", ".jar", ".zipx", ".cab", ".iso", ".tar"};
    return archives.contains(name.mid(dot));
}

QStringList ExistingItems(const QStringList& selectedPaths) {
    QStringList items;
    for (const QString& path : selectedPaths) {
        const QFileInfo info(path);
        if (info.isFile() || info.isDir()) items << path;
    }
    return items;
}

std::optional<QString> ConfirmedDestination(const QString& selectedPath, const QString& previous) {
    const QString chosen = selectedPath.isEmpty() ? previous : selectedPath;
    if (chosen.isEmpty() || !QFileInfo(chosen).isDir()) return std::nullopt;
    return chosen;
}

}  // namespace corvala::transfer

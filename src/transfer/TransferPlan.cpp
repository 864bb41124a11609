#include "transfer/TransferPlan.h"

#include "transfer/TransferProtocol.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace corvala::transfer {

namespace {

QString BaseFolderOf(const QString& path) {
    const QString parent = QFileInfo(path).path();
    return parent.endsWith(u'/') ? parent : parent + u'/';
}

class Planner {
public:
    TransferPlan Plan;

    void AddFile(const QString& path, const QString& base) {
        if (auto names = RelativeNames(path, base))
            Plan.Files.push_back({path, std::move(*names)});
        else
            Plan.LeftOut << path;
    }
    void AddFolder(const QString& path, const QString& base) {
        if (auto names = RelativeNames(path, base))
            Plan.Folders.push_back(std::move(*names));
        else
            Plan.LeftOut << path;
    }
    void AddFilesBelow(const QString& folder, const QString& base) {
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info = it.nextFileInfo();
            if (info.isFile()) AddFile(info.filePath(), base);
        }
    }
    void AddFoldersBelow(const QString& folder, const QString& base) {
        AddFolder(folder, base);
        QDirIterator it(folder, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info = it.nextFileInfo();
            if (!info.isSymLink()) AddFolder(info.filePath(), base);
        }
    }
};

}  // namespace

TransferPlan PlanBatch(const QStringList& selectedFilesAndDirs) {
    Planner planner;
    QStringList folders;
    for (const QString& entry : selectedFilesAndDirs) {
        const QString path = QDir::cleanPath(entry);
        const QFileInfo info(path);
        if (info.isFile()) {
            planner.AddFile(path, BaseFolderOf(path));
        } else if (info.isDir()) {
            planner.AddFilesBelow(path, BaseFolderOf(path));
            folders << path;
        }
    }
    for (const QString& folder : folders) planner.AddFoldersBelow(folder, BaseFolderOf(folder));
    return std::move(planner.Plan);
}

}  // namespace corvala::transfer

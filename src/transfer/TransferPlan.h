#pragma once
// What a sending batch sends, worked out before the first file: every chosen
// file, every file below every chosen folder (at all depths, hidden ones
// too, in the order the file system lists them), then every chosen folder
// and the folders below it, so that empty folders arrive too. Each item
// carries its path below the base folder: the chosen item's parent.
//
// Links to folders are not followed (a tree never loops); only regular files
// are sent. An item whose relative path cannot travel is left out and
// counted. Reads the file system: the worker thread runs it.

#include <QString>
#include <QStringList>

#include <vector>

namespace corvala::transfer {

struct PlannedFile {
    QString FullPath;
    QStringList Names;  // below the base folder
};

struct TransferPlan {
    std::vector<PlannedFile> Files;
    std::vector<QStringList> Folders;
    // Items whose names cannot travel (":", "\", control characters), left out.
    QStringList LeftOut;
};

TransferPlan PlanBatch(const QStringList& selectedFilesAndDirs);

}  // namespace corvala::transfer

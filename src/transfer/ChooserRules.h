#pragma once
// The choosers' rules, apart from their widgets: which folders the folder
// tree refuses to show, and what an OK press accepts.

#include <QString>
#include <QStringList>

#include <optional>

namespace corvala::transfer {

// A folder node the tree does not show: a path holding "systemprofile", or
// a folder named like an archive or disk image (".zip", ".rar", ".7z",
// ".jar", ".zipx", ".cab", ".iso", ".tar", compared exactly), which the
// item list still offers as a file where it is one.
bool FolderNodeRefused(const QString& path);

// The file chooser's OK: the selected paths, in list order, that exist as a
// file or a folder; empty keeps the chooser open.
QStringList ExistingItems(const QStringList& selectedPaths);

// The folder chooser's OK: the tree's selection when it is a path, else the
// previous destination; nothing (the chooser stays open) unless that is an
// existing folder.
std::optional<QString> ConfirmedDestination(const QString& selectedPath, const QString& previous);

}  // namespace corvala::transfer

#pragma once
// The choosers' browsing parts over Qt's file-system model: the folder tree,
// rooted at the computer's top ("/"), which asks the refusal hook before it
// shows a folder, and the file chooser's item list (details, several
// columns, multi-selection, folders with the files) that shows the tree's
// selected folder. Column titles follow the program's language.

#include <QFileSystemModel>
#include <QSortFilterProxyModel>
#include <QTreeView>

namespace corvala {

// Qt's model with the program's own column titles.
class TFileSystemModel : public QFileSystemModel {
public:
    using QFileSystemModel::QFileSystemModel;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
};

// The refusal hook (transfer::FolderNodeRefused) between the model and the tree.
class TFolderNodeFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
};

class TFolderTree : public QTreeView {
    Q_OBJECT
public:
    explicit TFolderTree(QWidget* parent);

    // The selected folder's path; empty when the node has none.
    QString SelectedPath() const;
    // Opens the tree down to `path` and selects it (the home folder when it
    // is not an existing folder), as soon as the model has read that far.
    void SelectPath(const QString& path);

signals:
    void SelectionChanged(const QString& path);

protected:
    // The selected folder in sight, also when it was selected while hidden.
    void showEvent(QShowEvent* event) override;

private:
    // Selects the path asked for once its node is in the tree.
    void ShowWanted();
    void KeepInSight();

    TFileSystemModel* FModel;
    TFolderNodeFilter* FFilter;
    QString FWanted;
};

class TItemList : public QTreeView {
    Q_OBJECT
public:
    explicit TItemList(QWidget* parent);

    // Shows the contents of `folder`.
    void ShowFolder(const QString& folder);
    // The selected items' paths, in list order.
    QStringList SelectedPaths() const;

private:
    TFileSystemModel* FModel;
};

}  // namespace corvala

#include "dialogs/FolderTree.h"

#include <QDir>
#include <QHeaderView>
#include <QTimer>

#include <algorithm>

#include "i18n/Translator.h"
#include "transfer/ChooserRules.h"

namespace corvala {

QVariant TFileSystemModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const titles[] = {"Name", "Size", "Type", "Date Modified"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < int(std::size(titles)))
        return translate(titles[section]);
    return QFileSystemModel::headerData(section, orientation, role);
}

bool TFolderNodeFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    const auto* model = static_cast<const QFileSystemModel*>(sourceModel());
    return !transfer::FolderNodeRefused(model->filePath(model->index(sourceRow, 0, sourceParent)));
}

TFolderTree::TFolderTree(QWidget* parent)
    : QTreeView(parent), FModel(new TFileSystemModel(this)), FFilter(new TFolderNodeFilter(this)) {
    setObjectName("tvFolders");
    FModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    FModel->setRootPath(QString());
    FFilter->setSourceModel(FModel);
    setModel(FFilter);
    // Only the folder names: the tree is a narrow column.
    for (int column = 1; column < FModel->columnCount(); ++column) hideColumn(column);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { emit SelectionChanged(SelectedPath()); });
    // The model reads folders on a thread of its own: a path's node appears
    // once its parent is read.
    connect(FModel, &QFileSystemModel::directoryLoaded, this, &TFolderTree::ShowWanted);
}

QString TFolderTree::SelectedPath() const {
    const QModelIndex current = FFilter->mapToSource(currentIndex());
    return current.isValid() ? FModel->filePath(current) : QString();
}

void TFolderTree::SelectPath(const QString& path) {
    FWanted = QDir::cleanPath(QFileInfo(path).isDir() ? path : QDir::homePath());
    ShowWanted();
}

void TFolderTree::ShowWanted() {
    if (FWanted.isEmpty()) return;
    const QModelIndex source = FModel->index(FWanted);
    const QModelIndex index = FFilter->mapFromSource(source);
    if (!index.isValid() || FModel->filePath(source) != FWanted) return;
    FWanted.clear();
    setCurrentIndex(index);
    expand(index);
    KeepInSight();
}

void TFolderTree::KeepInSight() {
    scrollTo(currentIndex(), QAbstractItemView::PositionAtCenter);
    // The model sorts a folder it has just read a moment later, which moves
    // its rows: in sight again after that.
    QTimer::singleShot(300, this, [this] {
        if (currentIndex().isValid()) scrollTo(currentIndex(), QAbstractItemView::PositionAtCenter);
    });
}

void TFolderTree::showEvent(QShowEvent* event) {
    QTreeView::showEvent(event);
    if (currentIndex().isValid()) KeepInSight();
}

TItemList::TItemList(QWidget* parent) : QTreeView(parent), FModel(new TFileSystemModel(this)) {
    setObjectName("lvItems");
    FModel->setFilter(QDir::AllEntries | QDir::NoDotAndDotDot);
    setModel(FModel);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSortingEnabled(true);
    sortByColumn(0, Qt::AscendingOrder);
    header()->setSectionResizeMode(0, QHeaderView::Stretch);
    header()->setStretchLastSection(false);
}

void TItemList::ShowFolder(const QString& folder) {
    clearSelection();
    setRootIndex(FModel->setRootPath(folder));
}

QStringList TItemList::SelectedPaths() const {
    QModelIndexList rows = selectionModel()->selectedRows(0);
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList paths;
    for (const QModelIndex& row : rows) paths << FModel->filePath(row);
    return paths;
}

}  // namespace corvala

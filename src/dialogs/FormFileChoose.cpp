#include "dialogs/FormFileChoose.h"

#include <QDir>
#include <QSplitter>
#include <QVBoxLayout>

#include "dialogs/FolderTree.h"
#include "transfer/ChooserRules.h"

namespace corvala {

TFormFileChoose::TFormFileChoose(QWidget* parent) : TChooserFrame("FormFileChoose", ClientSize, parent) {
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setHandleWidth(5);
    splitter->setChildrenCollapsible(false);
    FTree = new TFolderTree(splitter);
    FList = new TItemList(splitter);
    splitter->addWidget(FTree);
    splitter->addWidget(FList);
    splitter->setSizes({TreeWidth, ClientSize.width() - TreeWidth});
    Body()->addWidget(splitter, 1);
    connect(FTree, &TFolderTree::SelectionChanged, FList, &TItemList::ShowFolder);
    FTree->SelectPath(QDir::homePath());
    FList->ShowFolder(FTree->SelectedPath());
}

std::optional<QStringList> TFormFileChoose::Execute() {
    exec();
    if (Tag != 1) return std::nullopt;
    return SelectedFilesAndDirs;
}

void TFormFileChoose::showEvent(QShowEvent* event) {
    TranslateFrame("Send File", "Choose files and folders for transfer");
    TChooserFrame::showEvent(event);
}

void TFormFileChoose::OkClick() {
    const QStringList items = transfer::ExistingItems(FList->SelectedPaths());
    if (items.isEmpty()) return;
    SelectedFilesAndDirs = items;
    Tag = 1;
    accept();
}

}  // namespace corvala

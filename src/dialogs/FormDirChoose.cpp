#include "dialogs/FormDirChoose.h"

#include <QLabel>
#include <QVBoxLayout>

#include "dialogs/FolderTree.h"
#include "transfer/ChooserRules.h"

namespace corvala {

TFormDirChoose::TFormDirChoose(QWidget* parent) : TChooserFrame("FormDirChoose", ClientSize, parent) {
    FTree = new TFolderTree(this);
    Body()->addWidget(FTree, 1);
    lblPath = new QLabel(this);
    lblPath->setObjectName("lblPath");
    lblPath->setContentsMargins(8, 4, 8, 4);
    lblPath->setTextFormat(Qt::PlainText);
    Body()->addWidget(lblPath);
    connect(FTree, &TFolderTree::SelectionChanged, this, [this](const QString& path) {
        if (!path.isEmpty()) lblPath->setText(path);
    });
}

std::optional<QString> TFormDirChoose::Execute(const QString& current) {
    strDestinationDirectory = current;
    FTree->SelectPath(current);
    lblPath->setText(FTree->SelectedPath());
    exec();
    if (Tag != 1) return std::nullopt;
    return strDestinationDirectory;
}

void TFormDirChoose::showEvent(QShowEvent* event) {
    TranslateFrame("Receive File", "Choose destination folder");
    TChooserFrame::showEvent(event);
}

void TFormDirChoose::OkClick() {
    const auto chosen = transfer::ConfirmedDestination(FTree->SelectedPath(), strDestinationDirectory);
    if (!chosen) return;
    strDestinationDirectory = *chosen;
    Tag = 1;
    accept();
}

}  // namespace corvala

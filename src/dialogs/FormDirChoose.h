#pragma once
// The folder chooser ("Receive File"): the receiving side picks the
// destination folder in the tree; the line under it shows the selected
// folder. OK takes the selection when it is a folder, else keeps the
// previous destination; with neither the chooser stays open.

#include <QString>

#include <optional>

#include "dialogs/ChooserFrame.h"

class QLabel;

namespace corvala {

class TFolderTree;

class TFormDirChoose : public TChooserFrame {
    Q_OBJECT
public:
    static constexpr QSize ClientSize{495, 393};

    explicit TFormDirChoose(QWidget* parent = nullptr);

    // The destination; after a confirmed close an existing folder.
    QString strDestinationDirectory;

    // Shows the chooser modally with `current` chosen before: the chosen
    // folder, nothing when cancelled.
    std::optional<QString> Execute(const QString& current);

    TFolderTree* Tree() const { return FTree; }

protected:
    void OkClick() override;
    void showEvent(QShowEvent* event) override;

private:
    TFolderTree* FTree;
    QLabel* lblPath;
};

}  // namespace corvala

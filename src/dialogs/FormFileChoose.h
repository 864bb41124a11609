#pragma once
// The file chooser ("Send File"): the side that owns the data picks files
// and folders, the folder tree on the left, the chosen folder's items on
// the right. OK keeps the selected items that exist, in list order; with
// none the chooser stays open.

#include <QStringList>

#include <optional>

#include "dialogs/ChooserFrame.h"

namespace corvala {

class TFolderTree;
class TItemList;

class TFormFileChoose : public TChooserFrame {
    Q_OBJECT
public:
    static constexpr QSize ClientSize{946, 517};
    static constexpr int TreeWidth = 185;

    explicit TFormFileChoose(QWidget* parent = nullptr);

    // After a confirmed close: the full paths of the chosen items.
    QStringList SelectedFilesAndDirs;

    // Shows the chooser modally; the chosen items, nothing when cancelled.
    std::optional<QStringList> Execute();

    TFolderTree* Tree() const { return FTree; }
    TItemList* List() const { return FList; }

protected:
    void OkClick() override;
    void showEvent(QShowEvent* event) override;

private:
    TFolderTree* FTree;
    TItemList* FList;
};

}  // namespace corvala

#pragma once
// The "Contacts Book" window: the book's groups and contacts as a two-level
// tree, the selected node's details, and the buttons of the book
// (features/AddressBook.h holds what they do). Made for one showing: the
// window loads the book, shows it modally, and the book is gone with it.
//
// The window is the book's IBookPrompts: it asks with the book's password
// dialogs and the program's message box.

#include "features/AddressBook.h"

#include <QDialog>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace corvala {

class TFormAddressBook : public QDialog, private IBookPrompts {
    Q_OBJECT
public:
    TFormAddressBook(const QString& filePath, TBookState& state, const QString& supportContact,
                     QWidget* parent = nullptr);

    // Loads the book and, when that succeeds, shows the window modally:
    // the result Tag (0 also when the book did not open).
    int Execute();
    TAddressBook& Book() { return FBook; }

    // The buttons, by their captions.
    void AddGroupClick();
    void AddContactClick();
    void RemoveClick();
    void MoveUpClick();
    void MoveDownClick();
    void ConnectClick();
    void OkClick();
    void PasswordClick();
    void ImportClick();
    void ExportClick();

    // The node selected in the tree (none: not Valid).
    BookNode Selected() const;
    void Select(BookNode node);

    // The file dialogs' filter.
    static QString BookFileFilter();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // IBookPrompts.
    std::optional<QString> AskNewBookPassword(const QString& current) override;
    std::optional<QString> AskBookPassword() override;
    void ShowWarning(const QString& text) override;
    void ShowError(const QString& text) override;
    bool Confirm(const QString& text) override;

    void translateCaptions();
    void paintPanels();
    // The tree anew from the book, `select` selected.
    void RebuildTree(BookNode select);
    // The details panel and the buttons for the selection.
    void RefreshDetails();
    void DetailsEdited();
    void NodeRenamed(QTreeWidgetItem* item);
    QTreeWidgetItem* TreeItem(BookNode node) const;

    TAddressBook FBook;
    bool FFilling = false;

    QWidget* panTop;
    QWidget* panBottom;
    QTreeWidget* tvContacts;
    QWidget* panDetails;
    QPushButton* btnAddGroup;
    QPushButton* btnAddContact;
    QToolButton* btnRemove;
    QToolButton* btnUp;
    QToolButton* btnDown;
    QPushButton* btnConnect;
    QPushButton* btnOk;
    QPushButton* btnCancel;
    QPushButton* btnPassword;
    QPushButton* btnImport;
    QPushButton* btnExport;
    // Name, ID, Password, Email, Phone, Messenger, Info.
    std::array<QLabel*, 7> FLabels{};
    std::array<QLineEdit*, 7> FEdits{};
};

}  // namespace corvala

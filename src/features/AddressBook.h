#pragma once
// The contacts book without its window: the groups and contacts the window
// shows as a tree, loading and saving "adbook.dt" behind the book password,
// the ".crc" export and import, and what the window's buttons do to the tree.
// The window (dialogs/FormAddressBook) shows this state and forwards its
// buttons; everything it must ask the user goes through IBookPrompts.
//
// The book lives only while its window shows: the next showing loads again.

#include "features/AddressBookFile.h"

#include <QString>

#include <optional>

namespace corvala {

// Process-wide state of the book, owned by the core. The book opens without
// its password once it was unlocked, but only while the file is the one that
// was unlocked; every viewer the host admits locks it again, so that a remote
// user never finds the book open.
struct TBookState {
    bool BookUnlocked = false;
    QString BookDigest;  // MD5 of "adbook.dt" as hexadecimal text, at the end of the last load
    // The contact last used for a connection: selected at the next showing.
    QString strLastUsedContactNameFromAddressBook;
};

// What the book asks of the user. The window implements it with the book's
// password dialogs and the message box; tests with a fake.
class IBookPrompts {
public:
    // The password-set dialog, pre-filled with `current` where it can be;
    // nothing when cancelled, an empty text when protection is switched off.
    virtual std::optional<QString> AskNewBookPassword(const QString& current) = 0;
    // The password-entry dialog; nothing when cancelled.
    virtual std::optional<QString> AskBookPassword() = 0;
    virtual void ShowWarning(const QString& text) = 0;
    virtual void ShowError(const QString& text) = 0;
    // A Confirm box; true for yes.
    virtual bool Confirm(const QString& text) = 0;

protected:
    ~IBookPrompts() = default;
};

// A node of the tree: a group (Contact -1) or one of its contacts. Group -1
// is no node.
struct BookNode {
    int Group = -1;
    int Contact = -1;
    bool Valid() const { return Group >= 0; }
    bool IsContact() const { return Group >= 0 && Contact >= 0; }
    friend bool operator==(const BookNode&, const BookNode&) = default;
};

class TAddressBook {
public:
    // `filePath`: "adbook.dt" in the program folder; `supportContact`: the
    // address the error notices name.
    TAddressBook(QString filePath, TBookState& state, IBookPrompts& prompts, QString supportContact);

    // Loads the file before a showing: a missing file is an empty book; a
    // protected book asks for its password unless it is unlocked. False
    // when the window must not open (cancelled, wrong password, unreadable
    // file: the user has been told).
    bool Load();
    // Writes the book (version 2) over "adbook.dt", replacing it only once
    // it is written whole; false after the error notice.
    bool Save();
    // Before every save through "OK" or "Connect...": contact passwords
    // need a book password. False when the user gave none (nothing may be
    // saved then).
    bool PasswordDuty();

    // ---- The window's buttons.
    // The new group, named "Group N" (N: all nodes plus one), selected.
    BookNode AddGroup();
    // A contact in the selected group, or in the selected contact's group,
    // named "Contact N" (N: that group's contacts plus one). Nothing without
    // a selection.
    BookNode AddContact(BookNode selected);
    // Asks first; true when the node (and a group's contacts) went.
    bool Remove(BookNode node);
    // Changes place with the previous or next sibling; the node's new place
    // (unchanged at the ends).
    BookNode MoveUp(BookNode node);
    BookNode MoveDown(BookNode node);
    // "Set Password for Contacts Book...": stored with the next save.
    void SetPasswordClick();
    // "OK": duty and save; true when the window closes (Tag 1).
    bool OkClick();
    // "Connect..." for the contact shown in the details panel: the checks,
    // duty and save; true when the window closes (Tag 3) with RemotePC*.
    bool ConnectClick(const TAddressBookItem& shown);
    // "Export..." to a chosen file: the book is saved, then the saved file
    // copied there. "Import...": the file's groups appended at the end.
    bool Export(const QString& path);
    bool Import(const QString& path);

    // ---- State the window shows.
    const QList<BookGroup>& Groups() const { return FBook.Groups; }
    // The node's item, for the details panel and its edits; null for none.
    TAddressBookItem* Item(BookNode node);
    int NodeCount() const;
    const QString& AddressBookPassword() const { return FBook.Password; }
    BookNode LastSelectedNode() const { return FLastSelectedNode; }
    // 0 closed without saving, 1 saved with OK, 3 saved and a contact chosen.
    int Tag = 0;
    QString RemotePCName, RemotePCID, RemotePCPassword;

private:
    enum class Notice { Load, Save, Import };
    void ShowErrorNotice(Notice notice, const QString& message);
    // Reads and unscrambles a book file; nothing after the notice.
    std::optional<BookContents> ReadFile(const QString& path, Notice notice);
    std::optional<BookContents> Unsealed(const QByteArray& bytes, const QString& path, Notice notice);
    // A protected book's password asked and compared; false when refused.
    bool PasswordAccepted(const QString& password);
    bool Saved();

    QString FFilePath;
    TBookState& FState;
    IBookPrompts& FPrompts;
    QString FSupportContact;
    BookContents FBook;
    BookNode FLastSelectedNode;
};

// The text a book error shows: "Error" and the number, the error's own
// message, a line break, and where to ask for help.
QString BookErrorNotice(const char* number, const QString& message, const QString& supportContact);

}  // namespace corvala

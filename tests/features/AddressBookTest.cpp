// The contacts book: its file read back exactly, the book password and when
// it is asked, the duty to set one, the names of new nodes, import and
// export, and files that are broken or hostile.
#include "features/AddressBook.h"

#include "settings/DtRecord.h"
#include "settings/DtScramble.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <deque>

namespace corvala {
namespace {

// Answers queued by the test; everything shown is recorded.
class FakePrompts final : public IBookPrompts {
public:
    std::optional<QString> AskNewBookPassword(const QString& current) override {
        newPasswordAsked.append(current);
        return Next(newPasswords);
    }
    std::optional<QString> AskBookPassword() override {
        ++passwordAsked;
        return Next(passwords);
    }
    void ShowWarning(const QString& text) override { warnings.append(text); }
    void ShowError(const QString& text) override { errors.append(text); }
    bool Confirm(const QString& text) override {
        questions.append(text);
        return confirmAnswer;
    }

    std::deque<std::optional<QString>> passwords, newPasswords;
    int passwordAsked = 0;
    QStringList newPasswordAsked, warnings, errors, questions;
    bool confirmAnswer = true;

private:
    static std::optional<QString> Next(std::deque<std::optional<QString>>& queue) {
        if (queue.empty()) return std::nullopt;
        auto answer = queue.front();
        queue.pop_front();
        return answer;
    }
};

TAddressBookItem Contact(const QString& name, const QString& id, const QString& password = {}) {
    return {name, id, password, {}, {}, {}, {}};
}

// Two groups, three contacts, one of them with a password; every field used,
// letters beyond ASCII and beyond the basic plane among them.
BookContents RichBook() {
    BookContents book;
    book.Password = QStringLiteral("bücher-Schlüssel 🔑");
    BookGroup office{{QStringLiteral("Büro Zürich"), {}, {}, {}, {}, {}, {}}, {}};
    office.Contacts.append({QStringLiteral("Ulla Trevik"), QStringLiteral("123456789"), QStringLiteral("p@ss wört"),
                            QStringLiteral("ulla@example.org"), QStringLiteral("+46 70 123 45 67"),
                            QStringLiteral("ulla.t"), QStringLiteral("Zweite Zeile\nmit 李 und 😀")});
    office.Contacts.append(Contact(QStringLiteral("Ελένη"), QStringLiteral("987654321")));
    BookGroup home{{QStringLiteral("Дом"), {}, {}, {}, {}, {}, {}}, {}};
    home.Contacts.append(Contact(QStringLiteral("Mum"), QStringLiteral("555666777")));
    book.Groups = {office, home};
    return book;
}

// Groups A (a1, a2) and B (b1).
BookContents TwoGroupsThreeContacts() {
    BookContents book;
    book.Groups = {{{"A", {}, {}, {}, {}, {}, {}}, {Contact("a1", "1"), Contact("a2", "2")}},
                   {{"B", {}, {}, {}, {}, {}, {}}, {Contact("b1", "3")}}};
    return book;
}

class AddressBookTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    QString Path(const char* name = "adbook.dt") const { return folder.filePath(QString::fromLatin1(name)); }
    void WriteFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    QByteArray ReadFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    TAddressBook Book() { return TAddressBook(Path(), state, prompts, QStringLiteral("help@example.org")); }

    QTemporaryDir folder;
    TBookState state;
    FakePrompts prompts;
};

TEST_F(AddressBookTest, ABookWrittenAndReadBackIsIdentical) {
    const BookContents rich = RichBook();
    EXPECT_EQ(ReadBookRecord(WriteBookRecord(rich)), rich);

    WriteFile(Path(), SealBook(rich));
    prompts.passwords = {rich.Password};
    TAddressBook book = Book();
    ASSERT_TRUE(book.Load());
    EXPECT_EQ(book.Groups(), rich.Groups);
    EXPECT_EQ(book.AddressBookPassword(), rich.Password);
    const QByteArray before = ReadFile(Path());
    ASSERT_TRUE(book.Save());
    EXPECT_EQ(ReadFile(Path()), before) << "loading and saving changed the file";
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('\n').toStdString();
}

TEST_F(AddressBookTest, AVersionOneBookLoadsWithoutPasswordsAndIsWrittenAsVersionTwo) {
    DtWriter v1;
    v1.writeInt32(1);
    v1.writeInt32(1);                              // groups
    v1.writeString(QStringLiteral("Old"));
    v1.writeInt32(1);                              // contacts
    for (const char* field : {"Anna", "111222333", "anna@example.org", "12345", "anna.m", "info"})
        v1.writeString(QString::fromLatin1(field));
    WriteFile(Path(), dtSeal(v1.data()));

    TAddressBook book = Book();
    ASSERT_TRUE(book.Load());
    EXPECT_EQ(prompts.passwordAsked, 0);
    EXPECT_TRUE(book.AddressBookPassword().isEmpty());
    ASSERT_EQ(book.Groups().size(), 1);
    const TAddressBookItem expected{"Anna", "111222333", "", "anna@example.org", "12345", "anna.m", "info"};
    EXPECT_EQ(book.Groups()[0].Contacts, QList<TAddressBookItem>{expected});

    ASSERT_TRUE(book.OkClick());
    EXPECT_TRUE(prompts.newPasswordAsked.isEmpty()) << "no contact password, yet a book password was demanded";
    DtReader written(dtUnseal(ReadFile(Path())));
    EXPECT_EQ(written.readInt32(), 2);
    EXPECT_EQ(UnsealBook(ReadFile(Path())).Groups, book.Groups());
}

TEST_F(AddressBookTest, AProtectedBookOpensOnlyWithItsPassword) {
    struct Case {
        const char* name;
        std::optional<QString> answer;
        bool opens;
        bool warned;
    } cases[] = {
        {"right password", QStringLiteral("Geheim 1"), true, false},
        {"wrong password", QStringLiteral("geheim 1"), false, true},
        {"blanks around it", QStringLiteral(" Geheim 1"), false, true},
        {"cancelled", std::nullopt, false, false},
    };
    BookContents stored = RichBook();
    stored.Password = QStringLiteral("Geheim 1");
    WriteFile(Path(), SealBook(stored));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state = {};
        prompts = {};
        prompts.passwords = {c.answer};
        TAddressBook book = Book();
        EXPECT_EQ(book.Load(), c.opens);
        EXPECT_EQ(prompts.passwordAsked, 1);
        EXPECT_EQ(prompts.warnings, c.warned ? QStringList{"Invalid password."} : QStringList{});
        EXPECT_EQ(state.BookUnlocked, c.opens);
        EXPECT_EQ(book.Groups().isEmpty(), !c.opens) << "a refused book must show nothing";
    }
}

TEST_F(AddressBookTest, TheBookStaysUnlockedUntilItsFileChangesOrAViewerIsAdmitted) {
    BookContents stored = RichBook();
    stored.Password = QStringLiteral("Geheim 1");
    WriteFile(Path(), SealBook(stored));
    prompts.passwords = {stored.Password, stored.Password, stored.Password};

    ASSERT_TRUE(Book().Load());
    ASSERT_TRUE(Book().Load());
    EXPECT_EQ(prompts.passwordAsked, 1) << "reopened without a save in between: asked again";

    {
        TAddressBook book = Book();
        ASSERT_TRUE(book.Load());
        book.AddGroup();
        ASSERT_TRUE(book.OkClick());
    }
    ASSERT_TRUE(Book().Load());
    EXPECT_EQ(prompts.passwordAsked, 2) << "the file changed: the password must be asked";

    // What the core does when the host admits a viewer.
    state.BookUnlocked = false;
    state.BookDigest.clear();
    ASSERT_TRUE(Book().Load());
    EXPECT_EQ(prompts.passwordAsked, 3) << "a viewer was admitted: the password must be asked";
}

// Before "OK" and "Connect..." save, contact passwords need a book password.
TEST_F(AddressBookTest, ContactPasswordsDemandABookPassword) {
    struct Case {
        const char* name;
        QString contactPassword;
        QString bookPassword;
        std::optional<QString> newPassword;  // the password-set dialog's answer
        bool asked;
        bool saved;
        QString storedPassword;
    } cases[] = {
        {"no contact password", "", "", std::nullopt, false, true, ""},
        {"book already protected", "x", "book pw", std::nullopt, false, true, "book pw"},
        {"a new book password given", "x", "", QStringLiteral("new book pw"), true, true, "new book pw"},
        {"the dialog cancelled", "x", "", std::nullopt, true, false, ""},
        {"protection switched off", "x", "", QString(), true, false, ""},
    };
    for (bool viaConnect : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (viaConnect ? " (Connect...)" : " (OK)"));
            QFile::remove(Path());
            state = {};
            prompts = {};
            BookContents stored;
            stored.Password = c.bookPassword;
            stored.Groups = {{{"G", {}, {}, {}, {}, {}, {}}, {Contact("Anna", "111222333", c.contactPassword)}}};
            WriteFile(Path(), SealBook(stored));
            const QByteArray before = ReadFile(Path());
            prompts.passwords = {c.bookPassword};
            prompts.newPasswords = {c.newPassword};
            TAddressBook book = Book();
            ASSERT_TRUE(book.Load());
            book.AddGroup();
            const bool closed = viaConnect ? book.ConnectClick(book.Groups()[0].Contacts[0]) : book.OkClick();
            EXPECT_EQ(closed, c.saved);
            EXPECT_EQ(book.Tag, c.saved ? (viaConnect ? 3 : 1) : 0);
            EXPECT_EQ(prompts.newPasswordAsked.size(), c.asked ? 1 : 0);
            EXPECT_EQ(prompts.warnings.size(), c.asked ? 1 : 0);
            if (c.saved) {
                const BookContents written = UnsealBook(ReadFile(Path()));
                EXPECT_EQ(written.Password, c.storedPassword);
                EXPECT_EQ(written.Groups.size(), 2);
            } else {
                EXPECT_EQ(ReadFile(Path()), before) << "saved although no book password was given";
            }
        }
    }
}

TEST_F(AddressBookTest, SwitchingProtectionOffWhileContactsHoldPasswordsIsRefusedAtTheNextSave) {
    BookContents stored;
    stored.Password = QStringLiteral("old book pw");
    stored.Groups = {{{"G", {}, {}, {}, {}, {}, {}}, {Contact("Anna", "111222333", "host pw")}}};
    WriteFile(Path(), SealBook(stored));
    prompts.passwords = {stored.Password};
    TAddressBook book = Book();
    ASSERT_TRUE(book.Load());
    prompts.newPasswords = {QString(), std::nullopt, QStringLiteral("newer book pw")};
    book.SetPasswordClick();
    EXPECT_EQ(prompts.newPasswordAsked, QStringList{"old book pw"}) << "the dialog is offered the current password";
    EXPECT_TRUE(book.AddressBookPassword().isEmpty());
    EXPECT_FALSE(book.OkClick());
    EXPECT_EQ(UnsealBook(ReadFile(Path())).Password, stored.Password);
    EXPECT_TRUE(book.OkClick());
    EXPECT_EQ(UnsealBook(ReadFile(Path())).Password, QStringLiteral("newer book pw"));
}

TEST_F(AddressBookTest, NewNodesAreNamedAfterTheirCount) {
    WriteFile(Path(), SealBook(TwoGroupsThreeContacts()));
    TAddressBook book = Book();
    ASSERT_TRUE(book.Load());

    const BookNode group = book.AddGroup();
    EXPECT_EQ(group, (BookNode{2, -1}));
    EXPECT_EQ(book.Item(group)->Name, QStringLiteral("Group 6"));

    // A contact goes into the selected group, or into the selected
    // contact's group; its number counts that group's contacts.
    struct Case {
        BookNode selected;
        BookNode added;
        QString name;
    } cases[] = {
        {{0, -1}, {0, 2}, "Contact 3"},
        {{1, 0}, {1, 1}, "Contact 2"},
        {{2, -1}, {2, 0}, "Contact 1"},
        {{}, {}, ""},
    };
    for (const Case& c : cases) {
        const BookNode added = book.AddContact(c.selected);
        EXPECT_EQ(added, c.added);
        if (c.added.Valid()) EXPECT_EQ(book.Item(added)->Name, c.name);
    }
    EXPECT_EQ(book.NodeCount(), 3 + 6);
}

TEST_F(AddressBookTest, MovingAndRemovingKeepTheTreeInOrder) {
    WriteFile(Path(), SealBook(TwoGroupsThreeContacts()));
    TAddressBook book = Book();
    ASSERT_TRUE(book.Load());

    EXPECT_EQ(book.MoveUp({0, 0}), (BookNode{0, 0})) << "the first contact has nothing above it";
    EXPECT_EQ(book.MoveDown({0, 0}), (BookNode{0, 1}));
    EXPECT_EQ(book.Groups()[0].Contacts[0].Name, QStringLiteral("a2"));
    EXPECT_EQ(book.MoveDown({0, 1}), (BookNode{0, 1})) << "a contact never leaves its group";
    EXPECT_EQ(book.MoveUp({1, -1}), (BookNode{0, -1}));
    EXPECT_EQ(book.Groups()[0].Item.Name, QStringLiteral("B"));
    EXPECT_EQ(book.MoveDown({1, -1}), (BookNode{1, -1}));

    prompts.confirmAnswer = false;
    EXPECT_FALSE(book.Remove({1, 0}));
    prompts.confirmAnswer = true;
    EXPECT_TRUE(book.Remove({1, -1}));
    EXPECT_EQ(prompts.questions,
              (QStringList{"Do you really want to remove the contact \"a2\"?",
                           "Do you really want to remove the group \"A\" with all its contacts?"}));
    ASSERT_EQ(book.Groups().size(), 1);
    EXPECT_EQ(book.Groups()[0].Item.Name, QStringLiteral("B"));
}

TEST_F(AddressBookTest, ConnectNeedsAnIdAndANameAndRemembersTheContact) {
    BookContents stored;
    stored.Groups = {{{"G", {}, {}, {}, {}, {}, {}}, {Contact("Anna", "111222333"), Contact("Bo", "444555666")}}};
    WriteFile(Path(), SealBook(stored));
    struct Case {
        TAddressBookItem shown;
        QString error;
    } refused[] = {
        {Contact("Anna", "  "), "The field \"ID\" cannot be empty."},
        {Contact(" ", "111222333"), "The field \"Name\" cannot be empty."},
    };
    for (const Case& c : refused) {
        prompts = {};
        TAddressBook book = Book();
        ASSERT_TRUE(book.Load());
        EXPECT_FALSE(book.ConnectClick(c.shown));
        EXPECT_EQ(prompts.errors, QStringList{c.error});
        EXPECT_EQ(book.Tag, 0);
    }
    TAddressBook book = Book();
    ASSERT_TRUE(book.Load());
    ASSERT_TRUE(book.ConnectClick(Contact("Bo", "444555666", "host pw")));
    EXPECT_EQ(book.Tag, 3);
    EXPECT_EQ(book.RemotePCName, QStringLiteral("Bo"));
    EXPECT_EQ(book.RemotePCID, QStringLiteral("444555666"));
    EXPECT_EQ(book.RemotePCPassword, QStringLiteral("host pw"));
    TAddressBook next = Book();
    ASSERT_TRUE(next.Load());
    EXPECT_EQ(next.LastSelectedNode(), (BookNode{0, 1}));
}

TEST_F(AddressBookTest, ImportAppendsTheFilesGroupsAndExportWritesTheSavedBook) {
    BookContents own;
    own.Groups = {{{"Own", {}, {}, {}, {}, {}, {}}, {Contact("Anna", "111222333")}}};
    WriteFile(Path(), SealBook(own));
    BookContents other = RichBook();
    other.Groups.append(own.Groups[0]);  // a duplicate is appended all the same
    WriteFile(Path("other.crc"), SealBook(other));

    TAddressBook book = Book();
    ASSERT_TRUE(book.Load());
    prompts.passwords = {QStringLiteral("wrong"), std::nullopt, other.Password};
    EXPECT_FALSE(book.Import(Path("other.crc")));
    EXPECT_EQ(prompts.warnings, QStringList{"Invalid password."});
    EXPECT_FALSE(book.Import(Path("other.crc")));
    EXPECT_EQ(book.Groups().size(), 1) << "a refused import changed the book";
    ASSERT_TRUE(book.Import(Path("other.crc")));
    EXPECT_EQ(book.Groups(), own.Groups + other.Groups);
    EXPECT_TRUE(book.AddressBookPassword().isEmpty()) << "the imported book's password was taken over";

    prompts.newPasswords = {QStringLiteral("book pw")};  // the imported contacts hold a password
    ASSERT_TRUE(book.OkClick());
    ASSERT_TRUE(book.Export(Path("exported.crc")));
    EXPECT_EQ(ReadFile(Path("exported.crc")), ReadFile(Path()));
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('\n').toStdString();
}

// Broken and hostile files end in the error notice, never in a crash, and
// leave the stored book as it was.
TEST_F(AddressBookTest, BrokenFilesEndInTheNoticeAndTouchNothing) {
    const QByteArray good = WriteBookRecord(RichBook());
    const auto withGroupCount = [](std::int32_t count) {
        DtWriter w;
        w.writeInt32(2);
        w.writeString({});
        w.writeInt32(count);
        w.writeString(QStringLiteral("G"));
        w.writeInt32(0);
        return w.data();
    };
    const auto withStringCount = [](std::int32_t count) {
        DtWriter w;
        w.writeInt32(2);
        w.writeInt32(count);
        return w.data();
    };
    QByteArray flipped = dtSeal(good);
    flipped[40] = char(flipped[40] ^ 0x5A);
    struct Case {
        const char* name;
        QByteArray fileBytes;
    } cases[] = {
        {"empty file", {}},
        {"three bytes", dtSeal(good.left(3))},
        {"cut inside a string", dtSeal(good.left(good.size() / 2 + 1))},
        {"last byte missing", dtSeal(good.left(good.size() - 1))},
        {"one byte flipped", flipped},
        {"negative group count", dtSeal(withGroupCount(-1))},
        {"group count far beyond the data", dtSeal(withGroupCount(0x7FFFFFFF))},
        {"negative string length", dtSeal(withStringCount(-5))},
        {"string length beyond the data", dtSeal(withStringCount(0x40000000))},
        {"larger than any book", QByteArray(MaxBookFileBytes + 1, '\0')},
    };
    BookContents stored;
    stored.Groups = {{{"Kept", {}, {}, {}, {}, {}, {}}, {Contact("Anna", "111222333")}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Load: the broken file is the book.
        state = {};
        prompts = {};
        WriteFile(Path(), c.fileBytes);
        TAddressBook broken = Book();
        EXPECT_FALSE(broken.Load());
        ASSERT_EQ(prompts.errors.size(), 1);
        EXPECT_TRUE(prompts.errors[0].startsWith("Error 7704.")) << prompts.errors[0].toStdString();
        EXPECT_TRUE(prompts.errors[0].endsWith("\nPlease contact developers (help@example.org).")) << prompts.errors[0].toStdString();
        EXPECT_EQ(ReadFile(Path()), c.fileBytes) << "loading changed the file";
        EXPECT_EQ(prompts.passwordAsked, 0);

        // Import: the broken file is the one picked.
        prompts = {};
        WriteFile(Path(), SealBook(stored));
        WriteFile(Path("broken.crc"), c.fileBytes);
        TAddressBook book = Book();
        ASSERT_TRUE(book.Load());
        EXPECT_FALSE(book.Import(Path("broken.crc")));
        ASSERT_EQ(prompts.errors.size(), 1);
        EXPECT_TRUE(prompts.errors[0].startsWith("Error 7794.")) << prompts.errors[0].toStdString();
        EXPECT_EQ(book.Groups(), stored.Groups);
        EXPECT_EQ(ReadFile(Path()), SealBook(stored));
    }
}

TEST_F(AddressBookTest, AFailedSaveShowsItsNoticeAndKeepsTheWindowOpen) {
    TAddressBook book(folder.filePath("missing-folder/adbook.dt"), state, prompts, QStringLiteral("help@example.org"));
    ASSERT_TRUE(book.Load()) << "a missing book is an empty book";
    EXPECT_TRUE(book.Groups().isEmpty());
    book.AddGroup();
    EXPECT_FALSE(book.OkClick());
    EXPECT_EQ(book.Tag, 0);
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].startsWith("Error 773.")) << prompts.errors[0].toStdString();
    EXPECT_FALSE(QFile::exists(folder.filePath("missing-folder/adbook.dt")));
    // No half-written file is left beside the book either.
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{});
}

}  // namespace
}  // namespace corvala

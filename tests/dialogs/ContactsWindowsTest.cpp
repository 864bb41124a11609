// The contacts book's and Wake-on-LAN's windows: what they show for the
// selection, what typing does, and how they close.
#include "dialogs/FormAddressBook.h"
#include "dialogs/FormWake.h"

#include "features/AddressBookFile.h"
#include "i18n/Translator.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "fakes/QtTestApplication.h"

namespace corvala {
namespace {

class NoNetworkSender final : public IDatagramSender {
public:
    std::optional<QString> SendDatagram(const QByteArray& datagram, const QString&, quint16) override {
        sent.append(datagram);
        return std::nullopt;
    }
    QList<QByteArray> sent;
};

class ContactsWindows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("CORVALA_AUTO_ANSWER", "ok");
        qputenv("CORVALA_MESSAGE_LOG", dir.filePath("messages.log").toUtf8());
    }
    void TearDown() override {
        qunsetenv("CORVALA_AUTO_ANSWER");
        qunsetenv("CORVALA_MESSAGE_LOG");
    }
    QTemporaryDir dir;
};

TEST_F(ContactsWindows, TheDetailsFollowTheSelectionAndConnectChoosesTheContact) {
    BookContents stored;
    stored.Password = "book pw";  // contact passwords need one
    stored.Groups = {{{"Office", {}, {}, {}, {}, {}, {}},
                      {{"Ulla", "123456789", "host pw", "ulla@example.org", "+46 1", "ulla.t", "info"}}}};
    QFile file(dir.filePath("adbook.dt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(SealBook(stored));
    file.close();
    // Unlocked for this very file: the password dialog is another window's test.
    TBookState state;
    state.BookUnlocked = true;
    state.BookDigest = QString::fromLatin1(QCryptographicHash::hash(SealBook(stored), QCryptographicHash::Md5).toHex());
    TFormAddressBook book(dir.filePath("adbook.dt"), state, "help@example.org");
    auto* edtName = book.findChild<QLineEdit*>("edtName");
    auto* edtEmail = book.findChild<QLineEdit*>("edtEmail");
    auto* btnConnect = book.findChild<QPushButton*>("btnConnect");
    auto* tree = book.findChild<QTreeWidget*>("tvContacts");
    ASSERT_TRUE(edtName && edtEmail && btnConnect && tree);

    QTimer::singleShot(0, &book, [&] {
        EXPECT_EQ(book.windowTitle(), "Contacts Book");
        EXPECT_FALSE(book.findChild<QWidget*>("panDetails")->isVisible()) << "nothing selected, details shown";
        EXPECT_FALSE(btnConnect->isEnabled());

        book.Select({0, -1});
        EXPECT_EQ(edtName->text(), "Office");
        EXPECT_FALSE(edtEmail->isVisible()) << "a group shows only its name";
        EXPECT_FALSE(btnConnect->isEnabled());

        book.Select({0, 0});
        EXPECT_TRUE(edtEmail->isVisible());
        EXPECT_EQ(edtEmail->text(), "ulla@example.org");
        EXPECT_EQ(book.findChild<QLineEdit*>("edtPassword")->echoMode(), QLineEdit::Password);
        EXPECT_TRUE(btnConnect->isEnabled());

        // The parenthesis keys are refused; the caption follows the name.
        edtName->setFocus();
        edtName->selectAll();
        QTest::keyClicks(edtName, "Ulla (Home)");
        EXPECT_EQ(edtName->text(), "Ulla Home");
        EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), "Ulla Home");

        btnConnect->click();
    });
    EXPECT_EQ(book.Execute(), 3);
    EXPECT_EQ(book.Book().RemotePCName, "Ulla Home");
    EXPECT_EQ(book.Book().RemotePCID, "123456789");
    EXPECT_EQ(book.Book().RemotePCPassword, "host pw");
    EXPECT_EQ(state.strLastUsedContactNameFromAddressBook, "Ulla Home");
}

TEST_F(ContactsWindows, OnlyAWaitThatRunsOutLeadsToTheConnection) {
    WakeTable table;
    table.Learn("123456789", "00-1A-2B-3C-4D-5E");
    NoNetworkSender sender;
    for (bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "cancelled during the wait" : "the wait ran out");
        TfrmWake wake(table, dir.filePath("mc.dt"), sender, {});
        wake.DataToControls("Office (123456789)");
        auto* btnWakeUp = wake.findChild<QPushButton*>("btnWakeUp");
        auto* edtMac = wake.findChild<QLineEdit*>("edtMac");
        auto* progress = wake.findChild<QProgressBar*>("pbWait");
        ASSERT_TRUE(btnWakeUp && edtMac && progress);
        wake.ProgressTimer().setInterval(1);
        int ticks = 0;
        QObject::connect(&wake.ProgressTimer(), &QTimer::timeout, &wake, [&] {
            if (++ticks == 3 && cancel) wake.findChild<QPushButton*>("btnCancel")->click();
        });
        QTimer::singleShot(0, &wake, [&] {
            EXPECT_EQ(wake.windowTitle(), "Wake up Office (123456789)");
            EXPECT_EQ(edtMac->text(), "00-1A-2B-3C-4D-5E");
            edtMac->clear();
            EXPECT_FALSE(btnWakeUp->isEnabled()) << "Wake Up! without a MAC";
            edtMac->setText("00-1A-2B-3C-4D-5E");
            EXPECT_TRUE(btnWakeUp->isEnabled());
            btnWakeUp->click();
            EXPECT_FALSE(btnWakeUp->isEnabled()) << "Wake Up! stays enabled during the wait";
        });
        EXPECT_EQ(wake.Execute(), cancel ? 0 : 1);
        EXPECT_EQ(progress->value(), cancel ? 3 : TfrmWake::WaitSteps);
        EXPECT_FALSE(wake.ProgressTimer().isActive());
    }
    EXPECT_EQ(sender.sent.size(), 2);
}

}  // namespace
}  // namespace corvala

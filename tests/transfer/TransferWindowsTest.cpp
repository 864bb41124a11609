// The transfer's windows, offscreen: the choosers over a real folder (what
// the tree refuses, what OK accepts, the destination kept from one showing
// to the next), the transfer window's Abort, and the texts in the user's
// language.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "dialogs/FolderTree.h"
#include "dialogs/FormDirChoose.h"
#include "dialogs/FormFileChoose.h"
#include "dialogs/FormFileTransfer.h"
#include "fakes/QtTestApplication.h"
#include "i18n/Translator.h"

namespace corvala {
namespace {

class TransferWindows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        translator().buildFromUtf8(embeddedLanguageTable());
        translator().setLanguageCode("en");
    }
    void TearDown() override { translator().setLanguageCode("en"); }

    QString Make(const QString& name, bool folder) {
        const QString path = dir.filePath(name);
        if (folder)
            QDir().mkpath(path);
        else
            QFile(path).open(QIODevice::WriteOnly);
        return path;
    }

    // Answers a modal showing with `press` (a button's name) as soon as it
    // runs, and with Cancel a moment later should the first press leave it open.
    static void Press(QWidget* window, const char* press) {
        QTimer::singleShot(50, window, [window, press] { window->findChild<QPushButton*>(press)->click(); });
        QTimer::singleShot(400, window, [window] {
            if (window->isVisible()) window->findChild<QPushButton*>("btnCancel")->click();
        });
    }

    // The rows the tree shows below `folder`, by name.
    static QStringList TreeRows(TFolderTree& tree, const QString& folder) {
        tree.SelectPath(folder);
        EXPECT_TRUE(QTest::qWaitFor([&] { return tree.SelectedPath() == folder; }, 5000));
        const QPersistentModelIndex parent(tree.currentIndex());
        EXPECT_TRUE(QTest::qWaitFor([&] { return tree.model()->rowCount(parent) > 0; }, 5000));
        QTest::qWait(100);
        QStringList names;
        for (int row = 0; row < tree.model()->rowCount(parent); ++row)
            names << tree.model()->index(row, 0, parent).data().toString();
        names.sort();
        return names;
    }

    QTemporaryDir dir;
};

TEST_F(TransferWindows, TheFolderTreeRefusesArchiveFoldersWhichTheListStillOffers) {
    Make("docs", true);
    Make("backup.zip", true);
    Make("disk.iso", true);
    Make("Capital.ZIP", true);
    Make("real.zip", false);
    TFormFileChoose chooser;
    EXPECT_EQ(TreeRows(*chooser.Tree(), dir.path()), (QStringList{"Capital.ZIP", "docs"}));
    chooser.List()->ShowFolder(dir.path());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return chooser.List()->model()->rowCount(chooser.List()->rootIndex()) == 5; }, 5000));
}

TEST_F(TransferWindows, TheFileChooserAcceptsOnlyItemsThatExistAndStaysOpenOtherwise) {
    const QString folder = Make("a-folder", true);
    const QString file = Make("b.txt", false);
    const QString gone = Make("c-gone.txt", false);
    TFormFileChoose chooser;
    chooser.Tree()->SelectPath(dir.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return chooser.Tree()->SelectedPath() == dir.path(); }, 5000));
    TItemList* list = chooser.List();
    const QPersistentModelIndex root(list->rootIndex());
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->model()->rowCount(root) == 3; }, 5000));

    Press(&chooser, "btnOK");
    EXPECT_FALSE(chooser.Execute()) << "nothing selected: OK keeps it open";

    list->selectAll();
    QFile::remove(gone);
    Press(&chooser, "btnOK");
    EXPECT_EQ(chooser.Execute(), (QStringList{folder, file}));
    EXPECT_EQ(chooser.Tag, 1);
    EXPECT_EQ(chooser.size(), TFormFileChoose::ClientSize);
}

TEST_F(TransferWindows, TheFolderChooserKeepsItsDestinationAndRefusesNone) {
    const QString first = Make("first", true);
    TFormDirChoose chooser;
    Press(&chooser, "btnOK");
    EXPECT_EQ(chooser.Execute(first), first);
    EXPECT_EQ(chooser.findChild<QLabel*>("lblPath")->text(), first);

    // A node without a path keeps the previous destination while it exists...
    Press(&chooser, "btnOK");
    QTimer::singleShot(10, &chooser, [&] { chooser.Tree()->setCurrentIndex(QModelIndex()); });
    EXPECT_EQ(chooser.Execute(first), first);
    // ... and with none the chooser stays open.
    QDir(first).removeRecursively();
    Press(&chooser, "btnOK");
    QTimer::singleShot(10, &chooser, [&] { chooser.Tree()->setCurrentIndex(QModelIndex()); });
    EXPECT_FALSE(chooser.Execute(first));
    EXPECT_EQ(chooser.size(), TFormDirChoose::ClientSize);
}

TEST_F(TransferWindows, TheTransferWindowShowsProgressAndItsAbortStopsOnce) {
    TFormFileTransfer window;
    QSignalSpy aborts(&window, &TFormFileTransfer::Abort);
    window.ShowTransfer(false);
    transfer::TransferWindowState state;
    state.Caption = "File Transfer";
    state.Status = "Sending file a.bin";
    state.Percent = 42;
    state.ProgressLine = "1.0 MB of 2.4 MB (42 %)";
    window.ShowState(state);
    EXPECT_EQ(window.findChild<QLabel*>("lblStatus")->text(), state.Status);
    EXPECT_EQ(window.findChild<QLabel*>("lblProgress")->text(), state.ProgressLine);
    EXPECT_EQ(window.findChild<QProgressBar*>("pbTransfer")->value(), 42);
    EXPECT_EQ(window.size(), QSize(461, 83));

    window.close();  // the window manager's cross is an Abort, not a close
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(aborts.size(), 1);
    QPushButton* abort = window.findChild<QPushButton*>("btnAbort");
    EXPECT_FALSE(abort->isEnabled());
    abort->click();
    EXPECT_EQ(aborts.size(), 1);
    window.CloseTransfer();
    EXPECT_FALSE(window.isVisible());
}

TEST_F(TransferWindows, TextsFollowTheLanguage) {
    translator().setLanguageCode("de");
    TFormFileChoose files;
    TFormDirChoose folders;
    TFormFileTransfer progress;
    Press(&files, "btnCancel");
    files.Execute();
    Press(&folders, "btnCancel");
    folders.Execute(QString());
    progress.ShowTransfer(false);
    EXPECT_EQ(files.windowTitle(), "Datei senden");
    EXPECT_EQ(files.findChild<QLabel*>("lblPrompt")->text(), translate("Choose files and folders for transfer"));
    EXPECT_EQ(folders.windowTitle(), "Datei empfangen");
    EXPECT_EQ(folders.findChild<QPushButton*>("btnCancel")->text(), translate("Cancel"));
    EXPECT_EQ(progress.findChild<QPushButton*>("btnAbort")->text(), "Abbrechen");
    EXPECT_EQ(files.List()->model()->headerData(0, Qt::Horizontal).toString(), "Name");
    EXPECT_EQ(files.List()->model()->headerData(1, Qt::Horizontal).toString(), "Größe");
}

}  // namespace
}  // namespace corvala

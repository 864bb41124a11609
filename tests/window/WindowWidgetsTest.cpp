// The tab strip, the control menu and the viewer's toolbar as the user meets
// them, offscreen: real clicks on tabs and buttons, the monitor items
// following the rule, the toolbar's buttons sized to their captions.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include "fakes/QtTestApplication.h"
#include "i18n/Translator.h"
#include "window/AngledTabBar.h"
#include "window/ControlMenu.h"
#include "window/TabStrip.h"
#include "window/ViewerToolbar.h"

namespace corvala {
namespace {

class TabStripTest : public ::testing::Test {
protected:
    void SetUp() override {
        strip.resize(900, strip.height());
        strip.show();
        strip.AddTab("Home (111222333)");
        strip.AddTab("Office with a long name that does not fit (444555666)");
    }
    QWidget* CloseButtonOf(int index) { return strip.Bar()->tabButton(index, QTabBar::RightSide); }
    QPoint Middle(int index) { return strip.Bar()->tabRect(index).center(); }

    TTabStrip strip{nullptr};
};

TEST_F(TabStripTest, NewTabIsSelectedAndOnlyTheActiveTabShowsItsCloseButton) {
    EXPECT_EQ(strip.CurrentIndex(), 1);
    EXPECT_FALSE(CloseButtonOf(0)->isVisible());
    EXPECT_TRUE(CloseButtonOf(1)->isVisible());

    QSignalSpy changed(&strip, &TTabStrip::TabChanged);
    QTest::mouseClick(strip.Bar(), Qt::LeftButton, {}, Middle(0));
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0][0].toInt(), 0);
    EXPECT_EQ(changed[0][1].toString(), "Home (111222333)");
    EXPECT_TRUE(CloseButtonOf(0)->isVisible());
    EXPECT_FALSE(CloseButtonOf(1)->isVisible());
}

TEST_F(TabStripTest, CloseButtonAsksAndTheStripKeepsTheTabUntilTold) {
    QSignalSpy close(&strip, &TTabStrip::CloseRequested);
    QTest::mouseClick(CloseButtonOf(1), Qt::LeftButton);
    ASSERT_EQ(close.size(), 1);
    EXPECT_EQ(close[0][0].toInt(), 1);
    EXPECT_EQ(strip.Count(), 2);
}

TEST_F(TabStripTest, MiddleAndDoubleClicksNeitherCloseNorDragTabs) {
    QSignalSpy close(&strip, &TTabStrip::CloseRequested);
    QTest::mouseClick(strip.Bar(), Qt::MiddleButton, {}, Middle(1));
    QTest::mouseDClick(strip.Bar(), Qt::LeftButton, {}, Middle(1));
    QTest::mousePress(strip.Bar(), Qt::LeftButton, {}, Middle(0));
    QTest::mouseMove(strip.Bar(), Middle(1));
    QTest::mouseRelease(strip.Bar(), Qt::LeftButton, {}, Middle(1));
    EXPECT_TRUE(close.isEmpty());
    EXPECT_EQ(strip.Count(), 2);
    EXPECT_EQ(strip.Caption(0), "Home (111222333)");
    EXPECT_FALSE(strip.Bar()->isMovable());
}

TEST_F(TabStripTest, EachReleaseOnTheStripCountsOnce) {
    QSignalSpy released(&strip, &TTabStrip::Released);
    // On a tab (the bar takes it) and beside the tabs (the strip gets it too).
    QTest::mouseClick(strip.Bar(), Qt::LeftButton, {}, Middle(0));
    const QPoint beside(strip.width() - 80, strip.height() / 2);
    QTest::mouseClick(&strip, Qt::LeftButton, {}, beside);
    EXPECT_EQ(released.size(), 2);
}

TEST_F(TabStripTest, SelectsTheTabOfAPeerByTheIdInParentheses) {
    EXPECT_TRUE(strip.SelectTabOfPeer("111222333"));
    EXPECT_EQ(strip.CurrentIndex(), 0);
    EXPECT_FALSE(strip.SelectTabOfPeer("11122233"));
    EXPECT_EQ(strip.CurrentIndex(), 0);
}

TEST_F(TabStripTest, PlusButtonAsksForANewConnectionAndTheListSelectsATab) {
    QSignalSpy add(&strip, &TTabStrip::AddClicked);
    QTest::mouseClick(strip.findChild<QToolButton*>("btnAddTab"), Qt::LeftButton);
    EXPECT_EQ(add.size(), 1);
    EXPECT_EQ(strip.Count(), 2) << "the tab comes with the session, not with the click";

    auto* list = strip.findChild<QToolButton*>("btnTabsList");
    ASSERT_NE(list, nullptr);
    emit list->menu()->aboutToShow();
    const QList<QAction*> entries = list->menu()->actions();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0]->text(), "Home (111222333)");
    EXPECT_TRUE(entries[1]->isChecked());
    entries[0]->trigger();
    EXPECT_EQ(strip.CurrentIndex(), 0);
}

TEST(ControlMenu, MonitorItemsFollowTheHostsMonitorsAndReportTheirCaption) {
    TControlMenu menu("Monitor", "MIMonitor", nullptr);
    menu.ShowMonitorItems(UpdateMonitorMenu(3, 1));
    for (int i = 0; i < MonitorMenuItems; ++i) {
        EXPECT_EQ(menu.MonitorItem(i)->isVisible(), i < 3) << i;
        EXPECT_EQ(menu.MonitorItem(i)->isChecked(), i == 1) << i;
        EXPECT_EQ(menu.MonitorItem(i)->objectName(), QString("MIMonitor%1").arg(i + 1));
    }
    QSignalSpy chosen(&menu, &TControlMenu::MonitorChosen);
    menu.MonitorItem(2)->trigger();
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(MonitorFromCaption(chosen[0][0].toString()), 2);
}

TEST(ControlMenu, CommandsInTheirMenuOrderWithTheirNumbers) {
    TControlMenu menu("Monitor", "MIMonitor", nullptr);
    QList<int> numbers;
    for (QAction* action : menu.actions())
        if (action->data().isValid()) numbers << action->data().toInt();
    EXPECT_EQ(numbers, (QList<int>{7, 2, 8, 1, 3, 4, 5, 6}));
    QSignalSpy command(&menu, &TControlMenu::ControlCommand);
    menu.actions().first()->trigger();
    ASSERT_EQ(command.size(), 1);
    EXPECT_EQ(command[0][0].toInt(), 7);
}

// Each toolbar button is as wide as its caption followed by four spaces, in
// the window's font, in every language.
TEST(ViewerToolbar, ButtonsAreAsWideAsTheirCaptionAndFourSpaces) {
    translator().buildFromUtf8(embeddedLanguageTable());
    QWidget window;
    TViewerToolbar toolbar(&window);
    window.show();
    struct Case {
        const char* code;
        const char* fileTransfer;  // the first button's caption
    };
    const Case cases[] = {{"en", "File Transfer"}, {"de", "Datei\u00fcbertragung"}, {"ru", nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        translator().setLanguageCode(c.code);
        toolbar.Translate();
        QApplication::processEvents();
        const QFontMetrics metrics(toolbar.font());  // the window's font
        for (const char* name : {"btnFileTransfer", "btnSendMessage", "btnSpeak", "btnControl"}) {
            SCOPED_TRACE(name);
            auto* button = toolbar.findChild<QToolButton*>(name);
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->width(), metrics.horizontalAdvance(button->text() + "    "));
        }
        if (c.fileTransfer) {
            EXPECT_EQ(toolbar.findChild<QToolButton*>("btnFileTransfer")->text(), QString::fromUtf8(c.fileTransfer));
        }
    }
    translator().setLanguageIndex(0);
}

}  // namespace
}  // namespace corvala

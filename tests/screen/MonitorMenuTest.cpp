// The monitor menus, the full-screen menu rule and the panel background rule.
#include "screen/MonitorMenu.h"

#include <gtest/gtest.h>

namespace corvala {
namespace {

TEST(MonitorMenu, ShowsOneItemPerReportedMonitorAndChecksTheChosenOne) {
    const auto three = UpdateMonitorMenu(3, 2);
    for (int i = 0; i < MonitorMenuItems; ++i) {
        EXPECT_EQ(three[i].Visible, i < 3) << "item " << i + 1;
        EXPECT_EQ(three[i].Checked, i == 2) << "item " << i + 1;
    }
}

TEST(MonitorMenu, FirstItemAlwaysStays) {
    for (int count : {0, 1}) {
        const auto items = UpdateMonitorMenu(count, 0);
        EXPECT_TRUE(items[0].Visible);
        EXPECT_TRUE(items[0].Checked);
        for (int i = 1; i < MonitorMenuItems; ++i) EXPECT_FALSE(items[i].Visible);
    }
    const auto nine = UpdateMonitorMenu(9, 8);
    EXPECT_TRUE(nine[8].Visible && nine[8].Checked);
    EXPECT_FALSE(nine[0].Checked);
}

TEST(MonitorMenu, CaptionNamesTheMonitor) {
    EXPECT_EQ(MonitorFromCaption("1"), 0);
    EXPECT_EQ(MonitorFromCaption("&2"), 1);
    EXPECT_EQ(MonitorFromCaption("9"), 8);
    EXPECT_FALSE(MonitorFromCaption("0"));
    EXPECT_FALSE(MonitorFromCaption("10"));
    EXPECT_FALSE(MonitorFromCaption("Monitor"));
}

struct RevealCase {
    int y;
    bool visible;
    FullScreenMenuAction expected;
};

TEST(FullScreenMenu, ShowsAtTheTopEdgeAndHidesBelowTwiceItsHeight) {
    const int menuHeight = 30;
    const RevealCase cases[] = {
        {0, false, FullScreenMenuAction::Show},  {4, false, FullScreenMenuAction::Show},
        {5, false, FullScreenMenuAction::None},  {0, true, FullScreenMenuAction::None},
        {60, true, FullScreenMenuAction::None},  {61, true, FullScreenMenuAction::Hide},
        {500, false, FullScreenMenuAction::None},
    };
    for (const RevealCase& c : cases)
        EXPECT_EQ(RevealFullScreenMenu(c.y, c.visible, menuHeight), c.expected) << "y " << c.y << " visible " << c.visible;
}

TEST(PanelBackground, ErasesOnlyAfterARealChange) {
    PanelBackgroundRule rule;
    EXPECT_FALSE(rule.ShouldErase(0, 0));  // nothing changed since start
    rule.NeedToRepaintBackgroundPanel = true;
    EXPECT_TRUE(rule.ShouldErase(0, 0));
    EXPECT_FALSE(rule.NeedToRepaintBackgroundPanel);
    EXPECT_FALSE(rule.ShouldErase(0, 0));
    EXPECT_TRUE(rule.ShouldErase(10, 0));  // window moved
    EXPECT_FALSE(rule.ShouldErase(10, 0));
    EXPECT_TRUE(rule.ShouldErase(10, 5));
}

}  // namespace
}  // namespace corvala

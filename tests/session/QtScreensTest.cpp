#include "session/QtScreens.h"

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

namespace corvala {
namespace {

TEST(QtScreens, MonitorsOfTheRunningApplication) {
    EXPECT_TRUE(ScreensFromQt().Monitors.isEmpty()) << "no application, no screens";

    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "session_tests";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    const LocalScreens screens = ScreensFromQt();
    ASSERT_EQ(screens.Monitors.size(), QGuiApplication::screens().size());
    ASSERT_FALSE(screens.Monitors.isEmpty());
    const QRect primary = QGuiApplication::primaryScreen()->geometry();
    const MonitorRect& m = screens.Monitors[screens.PrimaryIndex];
    EXPECT_EQ(QRect(m.left, m.top, m.width, m.height), primary);  // the offscreen screen has ratio 1
    // What a host then reports as its desktop.
    const SessionInfoPayload info = SessionInfoPayload::Make({}, screens.Monitors, screens.PrimaryIndex, false, "");
    EXPECT_EQ(info.desktopWidth, primary.width());
    EXPECT_EQ(info.desktopHeight, primary.height());
}

}  // namespace
}  // namespace corvala

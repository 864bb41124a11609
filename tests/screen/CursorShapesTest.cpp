// Cursor-shape codes: the host's X cursor names, the viewer's parsing of
// "C" messages, and the host's monitor that sends a shape only on change.
#include "screen/CursorShapes.h"

#include <gtest/gtest.h>

namespace corvala {
namespace {

TEST(CursorCodes, ClassicAndCssNamesGiveTheSameCode) {
    const std::pair<const char*, int> cases[] = {
        {"left_ptr", 1},   {"default", 1},       {"xterm", 2},        {"text", 2},         {"watch", 3},
        {"wait", 3},       {"crosshair", 4},     {"up_arrow", 5},     {"nwse-resize", 6},  {"size_fdiag", 6},
        {"nesw-resize", 7}, {"sb_h_double_arrow", 8}, {"ew-resize", 8}, {"sb_v_double_arrow", 9},
        {"ns-resize", 9},  {"fleur", 10},        {"not-allowed", 11}, {"hand2", 12},       {"pointer", 12},
        {"left_ptr_watch", 13}, {"progress", 13}, {"question_arrow", 14}, {"help", 14},
        {"", 0},           {"pirate", 0},        {"LEFT_PTR", 0},
    };
    for (const auto& [name, code] : cases) EXPECT_EQ(CursorCodeForName(name), code) << name;
}

TEST(CursorCodes, EveryCodeHasItsOwnKindOfCursor) {
    EXPECT_EQ(CursorShapeForCode(0), Qt::ArrowCursor);
    EXPECT_EQ(CursorShapeForCode(1), Qt::ArrowCursor);
    for (int a = 1; a <= CursorCodeCount; ++a)
        for (int b = a + 1; b <= CursorCodeCount; ++b) EXPECT_NE(CursorShapeForCode(a), CursorShapeForCode(b)) << a << " " << b;
}

TEST(CursorMessage, AcceptsDigitsUpToFourteen) {
    EXPECT_EQ(CursorShapeForMessage("C2"), Qt::IBeamCursor);
    EXPECT_EQ(CursorShapeForMessage("C0"), Qt::ArrowCursor);
    EXPECT_EQ(CursorShapeForMessage("C14"), Qt::WhatsThisCursor);
    EXPECT_EQ(CursorShapeForMessage("C12xyz"), Qt::PointingHandCursor);  // digits up to the first non-digit
    EXPECT_EQ(CursorShapeForMessage("C007"), Qt::SizeBDiagCursor);
    EXPECT_FALSE(CursorShapeForMessage("C15"));
    EXPECT_FALSE(CursorShapeForMessage("C99999999999999999999"));
    EXPECT_FALSE(CursorShapeForMessage("Cabc"));
    EXPECT_FALSE(CursorShapeForMessage("C"));
}

TEST(CursorMonitor, SendsOnlyChangesAndOnlyWhileAViewerCanUseThem) {
    CursorShapeMonitor monitor;
    CursorShapeMonitor::Conditions ok;
    ok.anyPeer = true;
    EXPECT_EQ(monitor.Tick(ok, std::string("left_ptr")), QString("C1"));
    EXPECT_FALSE(monitor.Tick(ok, std::string("default")));  // same code
    EXPECT_EQ(monitor.Tick(ok, std::string("some_app_cursor")), QString("C0"));
    EXPECT_FALSE(monitor.Tick(ok, std::nullopt));  // failed query sends nothing

    const auto blocked = [](auto change) {
        CursorShapeMonitor::Conditions c;
        c.anyPeer = true;
        change(c);
        return c;
    };
    const CursorShapeMonitor::Conditions refusals[] = {
        blocked([](auto& c) { c.eventsSuspended = true; }), blocked([](auto& c) { c.masterMode = true; }),
        blocked([](auto& c) { c.allowOnlyViewing = true; }), blocked([](auto& c) { c.anyPeer = false; }),
        blocked([](auto& c) { c.transferIdle = false; })};
    for (const auto& c : refusals) EXPECT_FALSE(monitor.Tick(c, std::string("xterm")));
    EXPECT_EQ(monitor.LastCursorCode(), QString("C0"));  // demonstration mode keeps the last shape
    EXPECT_EQ(monitor.Tick(ok, std::string("xterm")), QString("C2"));
}

}  // namespace
}  // namespace corvala

// The host's input parser and injection: the token walk over one message,
// the key and mouse events it injects, and the deferral to the replay tables
// while the lock screen is up.
#include "control/HostInput.h"

#include "fakes/RecordingInjector.h"

#include <gtest/gtest.h>

namespace corvala {
namespace {

using Events = std::vector<std::string>;

class HostInputTest : public testing::Test {
protected:
    testing_support::RecordingInjector injector;
    bool lockScreen = false;
    double clock = 45000.5;  // a fixed date-time; tests move it by hand
    HostInput input{injector, [this] { return lockScreen; }, [this] { return clock; }};
};

struct ParseCase {
    const char* name;
    friend void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }
    const char16_t* message;
    Events expected;
};

class Parser : public HostInputTest, public testing::WithParamInterface<ParseCase> {};

TEST_P(Parser, InjectsTheEventsOfEveryToken) {
    input.ParseAndInject(QString::fromUtf16(GetParam().message));
    EXPECT_EQ(injector.Take(), GetParam().expected);
}

// Absolute moves scale to 0..65535 over the 1920x1080 primary screen:
// 65535/1920*100 = 3413.28 -> 3413, 65535/1080*200 = 12136.1 -> 12136.
INSTANTIATE_TEST_SUITE_P(Cases, Parser, testing::Values(
    ParseCase{"MoveThenPressAtThatPosition", u"x100y200L", {"mouse 0x8001 3413,12136 0", "mouse 0x0002 0,0 0"}},
    ParseCase{"ReleaseWhereverThePointerIs", u"l", {"mouse 0x0004 0,0 0"}},
    ParseCase{"PressAndReleaseA", u"K65k65", {"key 65 down", "key 65 up"}},
    ParseCase{"ArrowIsExtended", u"K37", {"key 37 down ext"}},
    ParseCase{"NavigationKeysAreExtended", u"K33k40K45k46",
              {"key 33 down ext", "key 40 up ext", "key 45 down ext", "key 46 up ext"}},
    ParseCase{"NeighboursAreNotExtended", u"K32K41K44K47", {"key 32 down", "key 41 down", "key 44 down", "key 47 down"}},
    ParseCase{"TypesAUnicodeCharacter", u"c\u00e9", {"char 233 down", "char 233 up"}},
    ParseCase{"CapitalCAlsoTypes", u"CL", {"char 76 down", "char 76 up"}},
    ParseCase{"TypedLettersAreNotTokens", u"cKcx", {"char 75 down", "char 75 up", "char 120 down", "char 120 up"}},
    ParseCase{"CharacterOutsideTheBasicPlaneTypesBothUnits", u"c\U0001F600L",
              {"char 55357 down", "char 55357 up", "char 56832 down", "char 56832 up", "mouse 0x0002 0,0 0"}},
    ParseCase{"WheelTowardsTheUser", u"W-120", {"mouse 0x0800 0,0 -120"}},
    ParseCase{"WheelThenButton", u"W240R", {"mouse 0x0800 0,0 240", "mouse 0x0008 0,0 0"}},
    ParseCase{"RelativeMove", u"X-5y3", {"mouse 0x0001 -5,3 0"}},
    ParseCase{"AllButtons", u"LlRrMm",
              {"mouse 0x0002 0,0 0", "mouse 0x0004 0,0 0", "mouse 0x0008 0,0 0", "mouse 0x0010 0,0 0",
               "mouse 0x0020 0,0 0", "mouse 0x0040 0,0 0"}},
    ParseCase{"SeveralTokensInOneMessage", u"K16K65k65k16x0y0",
              {"key 16 down", "key 65 down", "key 65 up", "key 16 up", "mouse 0x8001 0,0 0"}},
    ParseCase{"LettersThatMeanNothingAreSkipped", u"abe fghi, jot pqs? 123 -4", {}},
    // Token letters inside words still count: "l" and "r" release buttons.
    ParseCase{"TokenLettersInTextAreEvents", u"world", {"mouse 0x0010 0,0 0", "mouse 0x0004 0,0 0"}},
    ParseCase{"EmptyMessage", u"", {}},
    // Absurd coordinates from a peer saturate instead of overflowing.
    ParseCase{"HugeCoordinatesSaturate", u"x2147483647y-2147483648",
              {"mouse 0x8001 2147483647,-2147483648 0"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HostInputTest, BadNumberEndsTheMessageAndKeepsEarlierEvents) {
    EXPECT_THROW(input.ParseAndInject("K65W-L"), BadInputNumber);
    EXPECT_EQ(injector.Take(), (Events{"key 65 down"}));
    EXPECT_THROW(input.ParseAndInject("Lx-y5k65"), BadInputNumber);
    EXPECT_EQ(injector.Take(), (Events{"mouse 0x0002 0,0 0"}));
    // A number beyond 32 bits does not parse either.
    EXPECT_THROW(input.ParseAndInject("W120x99999999999y1"), BadInputNumber);
    EXPECT_EQ(injector.Take(), (Events{"mouse 0x0800 0,0 120"}));
    // A key code wider than 16 bits would wrap to another key ("K65601"
    // would press A): refused like a number that does not parse.
    EXPECT_THROW(input.ParseAndInject("K16K65601"), BadInputNumber);
    EXPECT_EQ(injector.Take(), (Events{"key 16 down"}));
    // The next message is handled normally.
    input.ParseAndInject("k65k16");
    EXPECT_EQ(injector.Take(), (Events{"key 65 up", "key 16 up"}));
}

// A viewer whose call ends while it holds keys or buttons leaves nothing
// pressed on this desktop; another viewer's keys stay as they are.
TEST_F(HostInputTest, EndedCallsReleaseWhatTheirViewerHeld) {
    input.ParseAndInject("K17K65k65K16LR", "111111111");
    input.ParseAndInject("K18M", "222222222");
    injector.Take();
    input.ReleaseHeldInput("111111111");
    EXPECT_EQ(injector.Take(), (Events{"key 16 up", "key 17 up", "mouse 0x0004 0,0 0", "mouse 0x0010 0,0 0"}));
    input.ReleaseHeldInput("111111111");
    EXPECT_TRUE(injector.Take().empty()) << "released once only";
    input.ReleaseHeldInput("222222222");
    EXPECT_EQ(injector.Take(), (Events{"key 18 up", "mouse 0x0040 0,0 0"}));
}

TEST_F(HostInputTest, RelativeModeLastsUntilTheNextAbsoluteMove) {
    input.ParseAndInject("X-5y3");
    EXPECT_TRUE(input.RelativeMouseMode());
    input.ParseAndInject("L");
    EXPECT_TRUE(input.RelativeMouseMode());
    input.ParseAndInject("x10y10");
    EXPECT_FALSE(input.RelativeMouseMode());
    injector.Take();
}

TEST_F(HostInputTest, OnTheLockScreenEventsWaitForTheCaptureThread) {
    lockScreen = true;
    input.ParseAndInject(QString::fromUtf16(u"x100y200LK65c\u00e9"));
    EXPECT_TRUE(injector.Take().empty());
    EXPECT_EQ(input.PendingMoveX(), 100);
    EXPECT_EQ(input.PendingMoveY(), 200);
    EXPECT_EQ(input.MouseReplayTable().PendingCount(), 1u);
    EXPECT_EQ(input.KeyReplayTable().PendingCount(), 3u);

    input.ReplayDeferredInput();
    EXPECT_EQ(injector.Take(), (Events{"mouse 0x8001 3413,12136 0", "mouse 0x0002 0,0 0", "key 65 down",
                                       "char 233 down", "char 233 up"}));
    EXPECT_EQ(input.PendingMoveX(), 0);
    // Replayed once only.
    input.ReplayDeferredInput();
    EXPECT_TRUE(injector.Take().empty());
}

TEST_F(HostInputTest, OnTheLockScreenOnlyTheNewestMoveIsReplayedAndAZeroCoordinateIsNot) {
    lockScreen = true;
    input.ParseAndInject("x10y10x20y30");
    input.ReplayDeferredInput();
    EXPECT_EQ(injector.Take(), (Events{"mouse 0x8001 683,1820 0"}));
    input.ParseAndInject("x0y500");
    input.ReplayDeferredInput();
    EXPECT_TRUE(injector.Take().empty());
}

TEST_F(HostInputTest, FullTableDropsFurtherEventsUntilSlotsAreFree) {
    lockScreen = true;
    for (std::size_t i = 0; i < HostInput::ReplaySlots + 5; ++i) input.InjectMouse(platform::mouse_flags::Wheel, static_cast<int>(i));
    EXPECT_EQ(input.MouseReplayTable().PendingCount(), HostInput::ReplaySlots);
    input.ReplayDeferredInput();
    const Events replayed = injector.Take();
    ASSERT_EQ(replayed.size(), HostInput::ReplaySlots);
    EXPECT_EQ(replayed.back(), "mouse 0x0800 0,0 99");
    input.InjectMouse(platform::mouse_flags::Wheel, 1000);
    input.ReplayDeferredInput();
    EXPECT_EQ(injector.Take(), (Events{"mouse 0x0800 0,0 1000"}));
}

TEST_F(HostInputTest, SlotReusedWithinTheSameMillisecondIsNeitherLostNorReplayedTwice) {
    lockScreen = true;
    // The clock does not move: the stamps alone must still tell pending from done.
    for (int round = 0; round < 3; ++round) {
        input.InjectKey(65, false, false, false);
        input.ReplayDeferredInput();
        EXPECT_EQ(injector.Take(), (Events{"key 65 down"})) << "round " << round;
    }
    // A clock that goes back (local time changed) does not hide new events either.
    clock -= 1.0;
    input.InjectKey(66, false, false, false);
    input.ReplayDeferredInput();
    EXPECT_EQ(injector.Take(), (Events{"key 66 down"}));
    input.ReplayDeferredInput();
    EXPECT_TRUE(injector.Take().empty());
}

TEST_F(HostInputTest, ClearingDropsPendingEvents) {
    lockScreen = true;
    input.InjectMouse(platform::mouse_flags::LeftDown, 0);
    input.InjectKey(65, false, false, false);
    input.ClearReplayTables();
    input.ReplayDeferredInput();
    EXPECT_TRUE(injector.Take().empty());
    input.InjectKey(66, false, false, false);
    input.ReplayDeferredInput();
    EXPECT_EQ(injector.Take(), (Events{"key 66 down"}));
}

}  // namespace
}  // namespace corvala

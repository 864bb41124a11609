// Input tokens injected into a real X display: the host's parser drives the
// XTest injector on an Xvfb of the test's own, and a small X client on that
// display records what arrives (keys as keysyms, buttons, pointer motion).
#include "control/HostInput.h"
#include "platform/linux/XTestInputInjector.h"

#include "E2eSupport.h"

// Before Xlib, whose macros (None, Status) clash with GoogleTest's names.
#include <gtest/gtest.h>

#include "X11EventRecorder.h"

#include <chrono>
#include <string>
#include <vector>

namespace corvala {
namespace {

using namespace std::chrono_literals;

class X11Injection : public testing::Test {
protected:
    static void SetUpTestSuite() { display_ = new e2e::XvfbDisplay(1280, 800); }
    static void TearDownTestSuite() {
        delete display_;
        display_ = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(recorder.Ready());
        ASSERT_TRUE(injector.Available());
    }

    // Injects one message's tokens and returns the first `count` events seen.
    std::vector<std::string> Inject(const QString& message, std::size_t count) {
        input.ParseAndInject(message);
        return recorder.Take(count);
    }

    static e2e::XvfbDisplay* display_;
    testing_support::EventRecorder recorder{display_->name()};
    platform::linuxos::XTestInputInjector injector{display_->name()};
    HostInput input{injector, [] { return false; }};
};

e2e::XvfbDisplay* X11Injection::display_ = nullptr;

using Lines = std::vector<std::string>;

TEST_F(X11Injection, MoveThenClickLandsAtTheHostPosition) {
    // 65535 / 1280 * 100 and back: exactly pixel 100 again.
    EXPECT_EQ(Inject("x100y200L", 2), (Lines{"motion 100,200", "button 1 down at 100,200"}));
    EXPECT_EQ(Inject("lRrMm", 5), (Lines{"button 1 up at 100,200", "button 3 down at 100,200", "button 3 up at 100,200",
                                         "button 2 down at 100,200", "button 2 up at 100,200"}));
}

TEST_F(X11Injection, RelativeMoveGoesFromThePointer) {
    Inject("x640y400", 1);
    EXPECT_EQ(Inject("X-5y3", 1), (Lines{"motion 635,403"}));
}

TEST_F(X11Injection, WheelNotchesBecomeButtonClicks) {
    Inject("x10y10", 1);
    EXPECT_EQ(Inject("W-120", 2), (Lines{"button 5 down at 10,10", "button 5 up at 10,10"}));
    EXPECT_EQ(Inject("W240", 4), (Lines{"button 4 down at 10,10", "button 4 up at 10,10", "button 4 down at 10,10",
                                        "button 4 up at 10,10"}));
    // Finer wheels add up to a notch.
    EXPECT_EQ(Inject("W60W60", 2), (Lines{"button 4 down at 10,10", "button 4 up at 10,10"}));
}

TEST_F(X11Injection, VirtualKeysArriveAsTheirKeys) {
    EXPECT_EQ(Inject("K65k65", 2), (Lines{"press a", "release a"}));
    EXPECT_EQ(Inject("K16K65k65k16", 4), (Lines{"press Shift_L", "press A", "release A", "release Shift_L"}));
    EXPECT_EQ(Inject("K37k37K46k46", 4), (Lines{"press Left", "release Left", "press Delete", "release Delete"}));
    EXPECT_EQ(Inject("K112k112K186k186", 4), (Lines{"press F1", "release F1", "press semicolon", "release semicolon"}));
    EXPECT_EQ(Inject("K107k107K13k13", 4), (Lines{"press KP_Add", "release KP_Add", "press Return", "release Return"}));
}

TEST_F(X11Injection, KeysTheKeymapLacksAreBoundToSpareKeycodes) {
    // F24 and the volume key are not on Xvfb's default keymap.
    EXPECT_EQ(Inject("K135k135", 2), (Lines{"press F24", "release F24"}));
    EXPECT_EQ(Inject("K175k175", 2), (Lines{"press XF86AudioRaiseVolume", "release XF86AudioRaiseVolume"}));
}

TEST_F(X11Injection, TypedCharactersArriveWhateverTheLayout) {
    EXPECT_EQ(Inject(QString::fromUtf16(u"c\u00e9"), 2), (Lines{"press eacute", "release eacute"}));
    EXPECT_EQ(Inject(QString::fromUtf16(u"c\u0416"), 2), (Lines{"press U0416", "release U0416"}));
    // A held Shift does not change a typed character.
    EXPECT_EQ(Inject("K16cxk16", 4), (Lines{"press Shift_L", "press x", "release x", "release Shift_L"}));
    // A character outside the basic plane, from its two halves.
    const Lines emoji = Inject(QString::fromUtf16(u"c\U0001F600"), 2);
    EXPECT_EQ(emoji, (Lines{"press U0001F600", "release U0001F600"}));
}

}  // namespace
}  // namespace corvala

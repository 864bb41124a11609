// Clipboard sharing: the echo guard, the length limit, nothing while a
// transfer runs, empty text, and the copy icon's local copy.
#include "control/ClipboardSharing.h"

#include <gtest/gtest.h>

#include "base/ProcessState.h"
#include "fakes/DesktopFakes.h"
#include "fakes/RecordingRtc.h"

namespace corvala {
namespace {

using Lines = std::vector<std::string>;

class ClipboardSharingTest : public ::testing::Test {
protected:
    ClipboardSharingTest() {
        rtc.Activate({});
        rtc.AddPeer("111111111", rtc.FindEndPoint());
        rtc.AddPeer("222222222", rtc.FindEndPoint());
        sharing.Start();
    }
    ~ClipboardSharingTest() override { processState().TransferMode = TTransferMode::Idle; }

    testing::RecordingRtc rtc;
    PeerMessenger messenger{rtc};
    fakes::FakeClipboard clipboard;
    ClipboardSharing sharing{clipboard, messenger};
};

TEST_F(ClipboardSharingTest, CopiedTextGoesToEveryPeerOnce) {
    clipboard.UserCopies("hello");
    clipboard.UserCopies("hello");
    EXPECT_EQ(rtc.TakeData(), (Lines{"111111111: CLIPBRDhello", "222222222: CLIPBRDhello"}));
}

TEST_F(ClipboardSharingTest, ReceivedTextGoesOnTheClipboardAndNotBack) {
    sharing.Receive("111111111", QString::fromUtf8("gr\xc3\xbc\xc3\x9f"
                                                   "e"));
    EXPECT_EQ(clipboard.setTexts, std::vector<QString>{QString::fromUtf8("gr\xc3\xbc\xc3\x9f"
                                                                         "e")});
    EXPECT_TRUE(rtc.TakeData().empty()) << "the change it caused was sent back";
    EXPECT_EQ(sharing.ClipboardText(), QString::fromUtf8("gr\xc3\xbc\xc3\x9f"
                                                         "e"));
}

struct LimitCase {
    const char* name;
    QString text;
    bool sent;
};
void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class ClipboardLimit : public ClipboardSharingTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(ClipboardLimit, SendsWhatFitsOneMessage) {
    clipboard.UserCopies(GetParam().text);
    EXPECT_EQ(rtc.TakeData().size(), GetParam().sent ? 2u : 0u);
    // Too long or not, it is the text now: copying it again sends nothing.
    EXPECT_EQ(sharing.ClipboardText(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClipboardLimit,
    ::testing::Values(LimitCase{"AtTheLimit", QString(32757, u'a'), true},
                      LimitCase{"OneOverTheLimit", QString(32758, u'a'), false},
                      // Two bytes each in UTF-8: 65,521 bytes with the keyword still fit.
                      LimitCase{"TwoByteCharactersAtTheLimit", QString(32757, QChar(0x044F)), true},
                      // Three bytes each: the keyword and 21,843 fill one message exactly; one
                      // more is within the length limit but too large for the data channel.
                      LimitCase{"ThreeByteCharactersFillingOneMessage", QString(21843, QChar(0x20AC)), true},
                      LimitCase{"ThreeByteCharactersOverOneMessage", QString(21844, QChar(0x20AC)), false},
                      LimitCase{"EmptyTextIsNotSent", QString(), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClipboardSharingTest, NothingWhileATransferRunsAndTheTextGoesLater) {
    processState().TransferMode = TTransferMode::Receiving;
    clipboard.UserCopies("during");
    EXPECT_TRUE(rtc.TakeData().empty());
    processState().TransferMode = TTransferMode::Idle;
    clipboard.UserCopies("during");
    EXPECT_EQ(rtc.TakeData().size(), 2u);
}

TEST_F(ClipboardSharingTest, NonTextAndTheCopyIconStayHere) {
    clipboard.text.reset();
    sharing.ClipboardChanged();
    sharing.CopyLocally("123456789");
    EXPECT_EQ(clipboard.setTexts, std::vector<QString>{"123456789"});
    EXPECT_TRUE(rtc.TakeData().empty());
    // Copied from elsewhere after that, the same ID goes out.
    clipboard.UserCopies("x");
    clipboard.UserCopies("123456789");
    EXPECT_EQ(rtc.TakeData().size(), 4u);
}

}  // namespace
}  // namespace corvala

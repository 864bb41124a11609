// Chat: whom a recipient entry names, the recipient list and its selection,
// what is sent and logged, and received lines.
#include "control/Chat.h"

#include <gtest/gtest.h>

#include "base/ProcessState.h"
#include "fakes/RecordingRtc.h"

namespace corvala {
namespace {

using Lines = std::vector<std::string>;

class ChatTest : public ::testing::Test, private IChatEvents {
protected:
    ChatTest() {
        rtc.Activate({});
        rtc.AddPeer("111111111", rtc.FindEndPoint())->UserName = "Ulla";
        rtc.AddPeer("222222222", rtc.FindEndPoint())->UserName = "Bo";
    }
    ~ChatTest() override { processState().MasterMode = false; }

    Lines Targets(const QString& entry) {
        Lines ids;
        for (const auto& peer : chat.Targets(entry)) ids.push_back(peer->FId.toStdString());
        return ids;
    }

    testing::RecordingRtc rtc;
    PeerMessenger messenger{rtc};
    Chat chat{rtc, messenger, *this};
    std::vector<ChatLine> log;
    int shown = 0;

private:
    void ShowChatWindow() override { ++shown; }
    void AppendChatLine(const ChatLine& line) override { log.push_back(line); }
};

TEST_F(ChatTest, RecipientEntryNamesItsPeers) {
    struct Case {
        const char* entry;
        Lines ids;
    };
    const Case cases[] = {
        {"Everybody", {"111111111", "222222222"}},
        {"Ulla (111111111)", {"111111111"}},
        {"  222222222  ", {"222222222"}},     // a bare ID, trimmed
        {"Bo ( 222222222 )", {"222222222"}},  // the ID between the parentheses, trimmed
        {"Bo (333333333)", {}},               // no such peer
        {"Bo, Ulla (111111111)", {}},         // a comma: no ID at all
        {"Ulla; (111111111)", {}},            // a semicolon likewise
        {"Ulla (111 111)", {}},               // an ID holding a space is none
        {"Ulla (111111111", {}},              // an unclosed parenthesis
        {"", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Targets(QString::fromUtf8(c.entry)), c.ids) << c.entry;
}

TEST_F(ChatTest, RecipientListKeepsTheChoiceOrPicksTheViewedPeer) {
    const ChatRecipients first = chat.Recipients("");
    EXPECT_EQ(first.Entries, QStringList({"Everybody", "Ulla (111111111)", "Bo (222222222)"}));
    EXPECT_EQ(first.Selected, 0);
    EXPECT_EQ(chat.Recipients("Bo (222222222)").Selected, 2);
    EXPECT_EQ(chat.Recipients("Gone (999999999)").Selected, 0);

    processState().MasterMode = true;
    rtc.SetCurrentViewingPeerID("111111111");
    EXPECT_EQ(chat.Recipients("Bo (222222222)").Selected, 1) << "a viewer talks to the host it views";
}

TEST_F(ChatTest, SendsTheLineAsTypedAndLogsIt) {
    EXPECT_TRUE(chat.Send("Everybody", "  hi there "));
    EXPECT_EQ(rtc.TakeData(), (Lines{"111111111: CHAT  hi there ", "222222222: CHAT  hi there "}));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].Header, "Me: ");
    EXPECT_EQ(log[0].Text, "  hi there ");
    EXPECT_TRUE(log[0].Own);

    EXPECT_TRUE(chat.Send("Bo (222222222)", QString::fromUtf8("\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82")));
    EXPECT_EQ(rtc.TakeData(), (Lines{"222222222: CHAT\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82"}));
}

TEST_F(ChatTest, BlankTooLongOrWithoutRecipientIsNotSent) {
    EXPECT_FALSE(chat.Send("Everybody", "   "));
    EXPECT_FALSE(chat.Send("", "hello"));
    EXPECT_FALSE(chat.Send("Everybody", QString(Chat::MaxLineLength + 1, u'x')));
    EXPECT_TRUE(chat.Send("Everybody", QString(Chat::MaxLineLength, QChar(0x20AC))));
    for (const std::string& sent : rtc.TakeData()) EXPECT_LE(sent.size() - 11, 65536u) << "one message";
    EXPECT_EQ(log.size(), 1u);
}

TEST_F(ChatTest, ReceivedLineIsLoggedUnderItsSenderAndShown) {
    chat.Receive(*rtc.FindPeer("222222222"), "<b>hi</b>");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].Header, "Bo (222222222): ");
    EXPECT_EQ(log[0].Text, "<b>hi</b>");
    EXPECT_FALSE(log[0].Own);
    EXPECT_EQ(shown, 1);
}

}  // namespace
}  // namespace corvala

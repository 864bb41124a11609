// Voice: opening the window on each side, the microphone per role, and the
// two variants of the no-voice notice.
#include "control/Voice.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include "base/ProcessState.h"
#include "fakes/RecordingRtc.h"
#include "session/ConnectionEntries.h"
#include "settings/Settings.h"

namespace corvala {
namespace {

using Microphone = std::vector<std::pair<QString, bool>>;

class VoiceTest : public ::testing::Test, private IVoiceEvents {
protected:
    VoiceTest() {
        rtc.Activate({});
        rtc.AddPeer("111111111", rtc.FindEndPoint());
        rtc.AddPeer("222222222", rtc.FindEndPoint());
        settings.RecentConnections = TRecentConnections({"Ulla (111111111)", "222222222"}).ToCommaText();
        timer.setInterval(1000);
    }
    ~VoiceTest() override {
        processState().MasterMode = false;
        processState().EventsSuspended = false;
    }

    int argc = 1;
    char name[8] = "test";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    testing::RecordingRtc rtc;
    PeerMessenger messenger{rtc};
    Settings settings{SettingsEnvironment{}};
    QTimer timer;
    Voice voice{rtc, messenger, settings, *this, timer};
    bool showing = false;
    QStringList captions, notices;

private:
    bool VoiceWindowShowing() const override { return showing; }
    void ShowVoiceWindow(const QString& caption) override {
        captions << caption;
        showing = true;
    }
    void ShowNotice(const QString& text) override { notices << text; }
};

TEST_F(VoiceTest, HostOpensForEveryPeer) {
    voice.Open();
    EXPECT_EQ(captions, QStringList{"Talk to Remote Users"});
    EXPECT_EQ(rtc.microphone, (Microphone{{"111111111", true}, {"222222222", true}}));
    EXPECT_TRUE(rtc.TakeData().empty());
    voice.Open();  // already showing
    EXPECT_EQ(captions.size(), 1);
    voice.WindowClosed();
    EXPECT_EQ(rtc.microphone.back(), (std::pair<QString, bool>{"222222222", false}));
}

TEST_F(VoiceTest, ViewerAsksItsHostAndSpeaksToItOnly) {
    processState().MasterMode = true;
    rtc.SetCurrentViewingPeerID("111111111");
    voice.Open();
    EXPECT_EQ(captions, QStringList{"Talk to Ulla (111111111)"});
    EXPECT_EQ(rtc.TakeData(), std::vector<std::string>{"111111111: SPEAK"});
    EXPECT_EQ(rtc.microphone, (Microphone{{"111111111", true}}));
    rtc.microphone.clear();
    voice.WindowClosed();
    EXPECT_EQ(rtc.microphone, (Microphone{{"111111111", false}, {"222222222", false}}));

    // Closing while events are suspended (a tab going) leaves the tracks.
    rtc.microphone.clear();
    processState().EventsSuspended = true;
    voice.WindowClosed();
    EXPECT_TRUE(rtc.microphone.empty());
}

TEST_F(VoiceTest, NothingWhileATransferRuns) {
    processState().TransferMode = TTransferMode::Sending;
    voice.Open();
    processState().TransferMode = TTransferMode::Idle;
    EXPECT_TRUE(captions.isEmpty());
    EXPECT_TRUE(rtc.microphone.empty());
}

TEST_F(VoiceTest, NoSpeakNoticeInBothVariants) {
    const QString first =
        "The remote user is not able to answer, because the speaking function is currently disabled on his side.";
    struct Case {
        bool demonstration;
        QString text;
    };
    const Case cases[] = {
        {false,
         first + "\r\n\r\nSelect the \"Speak...\" item in the main menu of remote Corvala.\r\nOr ask user to do it."},
        {true, first + "\r\n\r\nAsk user to select the \"Speak...\" item in the main menu of his Corvala."},
    };
    for (const Case& c : cases) {
        notices.clear();
        voice.ArmNoSpeakDialog(c.demonstration);
        EXPECT_TRUE(timer.isActive());
        processState().EventsSuspended = true;
        voice.NoSpeakTick();
        EXPECT_TRUE(notices.isEmpty()) << "shown while events were suspended";
        processState().EventsSuspended = false;
        voice.NoSpeakTick();
        EXPECT_FALSE(timer.isActive());
        EXPECT_EQ(notices, QStringList{c.text});
    }
}

}  // namespace
}  // namespace corvala

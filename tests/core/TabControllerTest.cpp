// The tab change and close sequences with fake peers: which effects happen,
// in which order, and when the guards refuse.

#include <gtest/gtest.h>

#include <QStringList>

#include <functional>

#include "base/ProcessState.h"
#include "core/TabController.h"

namespace corvala {
namespace {

// Two connected hosts and a log of every effect in order.
class TabControllerTest : public ::testing::Test, private ITabEvents {
protected:
    void SetUp() override {
        processState().EventsSuspended = false;
        tabs = std::make_unique<TabController>(static_cast<ITabEvents&>(*this), [this] { return now; });
    }

    std::int64_t now = 100000;
    QString viewing;
    QStringList peers{"111222333", "444555666"};
    QStringList log;
    QStringList sent;
    std::unique_ptr<TabController> tabs;
    std::function<void()> pumpAlso;

private:
    void CloseVoiceWindow() override { log << "close voice"; }
    void ClearPressedKeys() override { log << "clear keys"; }
    QString CurrentViewingPeerID() const override { return viewing; }
    void SetCurrentViewingPeerID(const QString& id) override {
        viewing = id;
        log << "viewing " + id;
    }
    void ResetFrameWatch() override { log << "frame watch"; }
    void UpdateMonitorMenu() override { log << "monitor menu"; }
    void UpdateAliveButton() override { log << "alive button"; }
    void SendMessageToPeer(const QString& id, const QString& text) override {
        log << "send " + text + " to " + id;
        sent << id;
    }
    void PumpMessages(int ms) override {
        log << QString("pump %1").arg(ms);
        now += ms;
        // Messages processed meanwhile may hold another click.
        if (pumpAlso) pumpAlso();
    }
    void EndCall(const QString& id) override {
        log << QString("end %1%2").arg(id, processState().EventsSuspended ? " (suspended)" : "");
        peers.removeAll(id);
    }
    int PeerCount() const override { return int(peers.size()); }
    void HideToolbar() override { log << "hide toolbar"; }
    void RefreshChatRecipients() override { log << "chat recipients"; }
};

TEST_F(TabControllerTest, ChangeSelectsThePeerOfTheCaptionAndSendsNothing) {
    tabs->TabChanging(1, "Office (444555666)");
    EXPECT_EQ(log, QStringList({"close voice", "clear keys", "viewing 444555666", "frame watch", "monitor menu",
                                "alive button"}));
    EXPECT_TRUE(sent.isEmpty());
}

TEST_F(TabControllerTest, ChangeToNoTabOnlyResetsTheClocks) {
    tabs->TabChanging(-1, {});
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(TabControllerTest, CloseRunsTheTearDownInOrderWithEventsSuspendedAroundEndCall) {
    tabs->TabChanging(0, "Home (111222333)");
    log.clear();
    now += 300;
    ASSERT_TRUE(tabs->CloseActiveTab());
    EXPECT_EQ(log, QStringList({"close voice", "send DISCONNECT to 111222333", "pump 500", "viewing ",
                                "clear keys", "end 111222333 (suspended)", "alive button", "chat recipients"}));
    EXPECT_FALSE(processState().EventsSuspended);
    EXPECT_EQ(peers, QStringList({"444555666"}));
}

TEST_F(TabControllerTest, ClosingTheLastTabHidesTheToolbar) {
    peers = {"111222333"};
    tabs->TabChanging(0, "Home (111222333)");
    now += 1000;
    log.clear();
    ASSERT_TRUE(tabs->CloseActiveTab());
    EXPECT_EQ(log.mid(log.size() - 3), QStringList({"alive button", "hide toolbar", "chat recipients"}));
}

TEST_F(TabControllerTest, CloseWithin300MsOfAChangeIsRefused) {
    struct Case {
        std::int64_t after;
        bool closes;
    } cases[] = {{0, false}, {299, false}, {300, true}};
    for (const auto& c : cases) {
        peers = {"111222333", "444555666"};
        tabs->TabChanging(1, "Office (444555666)");
        now += c.after;
        log.clear();
        EXPECT_EQ(tabs->CloseActiveTab(), c.closes) << c.after;
        EXPECT_EQ(log.isEmpty(), !c.closes) << c.after;
        now += 1000;
    }
}

TEST_F(TabControllerTest, ASecondCloseWhileTheFirstPumpsMessagesIsRefused) {
    tabs->TabChanging(0, "Home (111222333)");
    now += 1000;
    bool inner = true;
    pumpAlso = [&] { inner = tabs->CloseActiveTab(); };
    ASSERT_TRUE(tabs->CloseActiveTab());
    EXPECT_FALSE(inner);
    EXPECT_EQ(sent, QStringList({"111222333"}));
    EXPECT_EQ(peers, QStringList({"444555666"}));
    // Once done, the next tab closes as usual.
    pumpAlso = nullptr;
    tabs->TabChanging(0, "Office (444555666)");
    now += 1000;
    EXPECT_TRUE(tabs->CloseActiveTab());
}

TEST_F(TabControllerTest, TwoStripReleasesWithin500MsToggleAndATabChangeInBetweenDoesNot) {
    EXPECT_FALSE(tabs->StripReleased());
    now += 499;
    EXPECT_TRUE(tabs->StripReleased());
    now += 500;
    EXPECT_FALSE(tabs->StripReleased());
    now += 100;
    tabs->TabChanging(0, "Home (111222333)");
    EXPECT_FALSE(tabs->StripReleased());  // the click that changed the tab
    now += 100;
    EXPECT_TRUE(tabs->StripReleased());
}

}  // namespace
}  // namespace corvala

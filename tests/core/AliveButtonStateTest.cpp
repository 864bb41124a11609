// The remote-area status controls and the reconnect button's decision, as
// case tables over every input combination that matters.
#include "core/AliveButtonState.h"

#include <gtest/gtest.h>

using namespace corvala;

namespace {

struct ViewCase {
    const char* name;
    AliveButtonInput in;
    AliveButtonView out;
};

AliveButtonView view(bool show, bool fill, const char* label, const char* caption, bool labelVisible,
                     bool buttonVisible) {
    AliveButtonView v;
    v.changes = true;
    v.repaint = true;
    v.showRemoteArea = show;
    v.fillPicture = fill;
    v.centreControls = fill;
    if (label) v.labelText = QString::fromLatin1(label);
    if (caption) v.buttonCaption = QString::fromLatin1(caption);
    v.labelVisible = labelVisible;
    v.buttonVisible = buttonVisible;
    return v;
}

class AliveButton : public ::testing::TestWithParam<ViewCase> {};

TEST_P(AliveButton, ShowsTheCurrentPeersState) {
    const AliveButtonView got = UpdateAliveButton(GetParam().in);
    const AliveButtonView& want = GetParam().out;
    EXPECT_EQ(got.changes, want.changes);
    EXPECT_EQ(got.showRemoteArea, want.showRemoteArea);
    EXPECT_EQ(got.fillPicture, want.fillPicture);
    EXPECT_EQ(got.centreControls, want.centreControls);
    EXPECT_EQ(got.labelText, want.labelText);
    EXPECT_EQ(got.buttonCaption, want.buttonCaption);
    EXPECT_EQ(got.labelVisible, want.labelVisible);
    EXPECT_EQ(got.buttonVisible, want.buttonVisible);
    EXPECT_EQ(got.repaint, want.repaint);
}

//                                   anyPeers current need  alive
INSTANTIATE_TEST_SUITE_P(
    States, AliveButton,
    ::testing::Values(
        ViewCase{"NoPeers", {false, false, false, false},
                 view(true, true, "No connections.", "Connect...", true, true)},
        ViewCase{"PeersButNoneCurrentChangesNothing", {true, false, false, true}, AliveButtonView{}},
        ViewCase{"PeersButNoneCurrentEvenIfFlagsSet", {true, false, true, false}, AliveButtonView{}},
        ViewCase{"ReconnectRequested", {true, true, true, false},
                 view(false, true, "Please wait...", nullptr, true, false)},
        ViewCase{"ReconnectRequestedWinsOverAlive", {true, true, true, true},
                 view(false, true, "Please wait...", nullptr, true, false)},
        ViewCase{"Alive", {true, true, false, true}, view(false, false, nullptr, nullptr, false, false)},
        ViewCase{"Silent", {true, true, false, false},
                 view(false, true, "No signal.", "Reconnect", true, true)}),
    [](const auto& info) { return std::string(info.param.name); });

struct ClickCase {
    const char* name;
    ReconnectInput in;
    ReconnectAction expected;
};

class ReconnectButton : public ::testing::TestWithParam<ClickCase> {};

TEST_P(ReconnectButton, Decides) { EXPECT_EQ(panReconnectButtonClick(GetParam().in), GetParam().expected); }

const QString connectDe = u"Verbinden..."_qs;  // a translated caption

//        caption          translated  server sender-less relay peer
INSTANTIATE_TEST_SUITE_P(
    Clicks, ReconnectButton,
    ::testing::Values(
        ClickCase{"ConnectCaptionRunsConnectEvenWhileDown", {connectDe, connectDe, false, false, false, false},
                  ReconnectAction::RunConnectButton},
        ClickCase{"EnglishCaptionUnderOtherLanguageIsNotConnect", {u"Connect..."_qs, connectDe, false, false, false, true},
                  ReconnectAction::ShowServerUnavailable},
        ClickCase{"DownRefuses", {u"Reconnect"_qs, connectDe, false, true, true, true},
                  ReconnectAction::ShowServerUnavailable},
        ClickCase{"UserClickWithoutRelayAsksForRelay", {u"Reconnect"_qs, connectDe, true, false, false, true},
                  ReconnectAction::SendGetPublicTurn},
        ClickCase{"UserClickWithOwnRelaySendsInit", {u"Reconnect"_qs, connectDe, true, false, true, true},
                  ReconnectAction::SendInitToCurrentPeer},
        ClickCase{"LivenessCheckSendsInit", {u"Reconnect"_qs, connectDe, true, true, false, true},
                  ReconnectAction::SendInitToCurrentPeer},
        ClickCase{"LivenessCheckForVanishedPeerDoesNothing", {u"Reconnect"_qs, connectDe, true, true, false, false},
                  ReconnectAction::Nothing}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

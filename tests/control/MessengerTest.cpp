// The send paths and their gate, demonstration mode's switch, and the
// virtual-key codes the viewer sends for the keys its window receives.
#include "control/DemonstrationMode.h"
#include "control/PeerMessenger.h"
#include "control/QtKeyToVirtualKey.h"
#include "fakes/RecordingRtc.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

namespace corvala {
namespace {

using Lines = std::vector<std::string>;

class Messenger : public ::testing::Test {
protected:
    Messenger() {
        client.Activate({});  // peers exist only in an active component
        a = client.AddPeer("111111111", client.FindEndPoint());
        b = client.AddPeer("222222222", client.FindEndPoint());
    }
    ~Messenger() override { processState().TransferMode = TTransferMode::Idle; }
    // "peer bytes" for each message sent.
    Lines Sent() {
        Lines out;
        for (std::string line : client.dataSent) out.push_back(line.replace(line.find(": "), 2, " "));
        return out;
    }
    testing::RecordingRtc client;
    std::shared_ptr<TPeer> a, b;
    PeerMessenger messenger{client};
};

TEST_F(Messenger, GatedPathDropsSilently) {
    messenger.SendMessageToPeer("111111111", "L");
    messenger.SendMessageToPeer("", "L");
    messenger.SendMessageToPeer("999999999", "L");
    processState().TransferMode = TTransferMode::Sending;
    messenger.SendMessageToPeer("111111111", "CONTROL1");
    messenger.SendMessageToEveryPeer("RECONNECT");
    EXPECT_EQ(Sent(), (Lines{"111111111 L"}));
}

TEST_F(Messenger, DirectPathsIgnoreTheTransferState) {
    processState().TransferMode = TTransferMode::Receiving;
    messenger.SendDataToPeer(*a, QString::fromUtf8("CHAT\xc3\xa9"));
    messenger.SendDataToEveryPeer("C2");
    messenger.SendFileDataToPeer(*b, QByteArray("\x01\x02", 2));
    EXPECT_EQ(Sent(), (Lines{"111111111 CHAT\xc3\xa9", "111111111 C2", "222222222 C2", "222222222 \x01\x02"}));
}

TEST_F(Messenger, EveryPeerHearsTheGatedBroadcast) {
    messenger.SendMessageToEveryPeer("RECONNECT");
    EXPECT_EQ(Sent(), (Lines{"111111111 RECONNECT", "222222222 RECONNECT"}));
}

TEST_F(Messenger, DemonstrationSwitchNotifiesOnlyFromTheMenu) {
    Settings settings{SettingsEnvironment{}};
    DemonstrationMode mode(settings, messenger);
    processState().TransferMode = TTransferMode::Sending;  // the announcement is not gated
    mode.SetAllowOnlyViewing(true, true);
    EXPECT_TRUE(settings.AllowOnlyViewing);
    mode.SetAllowOnlyViewing(false, false);
    EXPECT_FALSE(settings.AllowOnlyViewing);
    mode.SetAllowOnlyViewing(false, true);
    EXPECT_EQ(Sent(), (Lines{"111111111 DEMONSTRATION_ON", "222222222 DEMONSTRATION_ON", "111111111 DEMONSTRATION_OFF",
                             "222222222 DEMONSTRATION_OFF"}));
    EXPECT_EQ(CaptionPrefix(false), QString());
    EXPECT_TRUE(CaptionPrefix(true).endsWith(" - "));
}

TEST(VirtualKeys, KeysOfAUsKeyboard) {
    struct Case {
        int qtKey;
        Qt::KeyboardModifiers modifiers;
        int vk;
    };
    const Case cases[] = {
        {Qt::Key_A, {}, 0x41},          {Qt::Key_Z, Qt::ShiftModifier, 0x5A},
        {Qt::Key_0, {}, 0x30},          {Qt::Key_Exclam, Qt::ShiftModifier, 0x31},
        {Qt::Key_ParenRight, {}, 0x30}, {Qt::Key_F1, {}, 0x70},
        {Qt::Key_F24, {}, 0x87},        {Qt::Key_Left, {}, 0x25},
        {Qt::Key_Delete, {}, 0x2E},     {Qt::Key_Return, {}, 0x0D},
        {Qt::Key_Escape, {}, 0x1B},     {Qt::Key_Tab, {}, 0x09},
        {Qt::Key_Shift, {}, 0x10},      {Qt::Key_Control, {}, 0x11},
        {Qt::Key_Alt, {}, 0x12},        {Qt::Key_Super_L, {}, 0x5B},
        {Qt::Key_Meta, {}, 0x5B},       {Qt::Key_Super_R, {}, 0x5C},
        {Qt::Key_Menu, {}, 0x5D},       {Qt::Key_Semicolon, {}, 0xBA},
        {Qt::Key_Plus, {}, 0xBB},       {Qt::Key_Plus, Qt::KeypadModifier, 0x6B},
        {Qt::Key_Minus, Qt::KeypadModifier, 0x6D}, {Qt::Key_5, Qt::KeypadModifier, 0x65},
        {Qt::Key_Home, Qt::KeypadModifier, 0x24},  {Qt::Key_Enter, Qt::KeypadModifier, 0x0D},
        {Qt::Key_QuoteLeft, {}, 0xC0},  {Qt::Key_Bar, Qt::ShiftModifier, 0xDC},
        {Qt::Key_VolumeUp, {}, 0xAF},   {Qt::Key_MediaTogglePlayPause, {}, 0xB3},
        {Qt::Key_unknown, {}, 0},       {Qt::Key_Eacute, {}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(VirtualKeyFromQtKey(c.qtKey, c.modifiers), c.vk) << std::hex << c.qtKey;
}

}  // namespace
}  // namespace corvala

// The data-channel dispatcher with the host's input parser behind it: a run
// of messages from one peer, in either role, view-only on or off, during a
// transfer or not, into the real component in its designing mode and a
// recording injector. Catches crashes, undefined behaviour and exceptions
// that escape the receive path's guard.
#include "FuzzSupport.h"
#include "base/ProcessState.h"
#include "control/DataChannelDispatcher.h"
#include "fakes/RecordingInjector.h"
#include "fakes/RecordingRtc.h"

namespace corvala {
namespace {

const QString Sender = QStringLiteral("111111111");
const QString Other = QStringLiteral("222222222");

// The situation the messages arrive in, one bit each.
struct Situation {
    explicit Situation(std::uint8_t bits)
        : Master(bits & 1),
          Transfer(static_cast<TTransferMode>((bits >> 1) % 3)),
          AllowOnlyViewing(bits & 8),
          VoiceShowing(bits & 16),
          LockScreen(bits & 32),
          SenderInDemonstration(bits & 64),
          CurrentViewing(bits & 128 ? Other : Sender) {}
    bool Master;
    TTransferMode Transfer;
    bool AllowOnlyViewing;
    bool VoiceShowing;
    bool LockScreen;
    bool SenderInDemonstration;
    QString CurrentViewing;
};

class Session : private IDispatcherEvents {
public:
    explicit Session(const Situation& s) : FSituation(s) {
        FRtc.Activate({});
        FSender = FRtc.AddPeer(Sender, FRtc.FindEndPoint());
        FRtc.AddPeer(Other, FRtc.FindEndPoint());
        FSender->Alive = true;
        FSender->DemonstrationMode = s.SenderInDemonstration;
        FRtc.SetCurrentViewingPeerID(s.CurrentViewing);
        processState().MasterMode = s.Master;
        processState().LockScreenMode = s.LockScreen;
        processState().EventsSuspended = false;
        processState().TransferMode = s.Transfer;
    }

    void Receive(const QByteArray& message) {
        FDispatcher.Receive(*FSender, message);
        FInjector.Take();
        FRtc.TakeData();
    }

private:
    bool AllowOnlyViewing() const override { return FSituation.AllowOnlyViewing; }
    bool VoiceWindowShowing() const override { return FSituation.VoiceShowing; }
    void UpdateAliveButton() override {}
    void OpenDocsDir(TPeer&) override {}
    void ArmNoSpeakDialog(bool) override {}
    void ArmCannotCtrlAltDelDialog() override {}
    void CommandNotAvailable(TPeer&, int) override {}
    void ShowChatLine(TPeer&, const QString&) override {}
    void SetClipboardText(TPeer&, const QString&) override {}
    void ArmControlCommand(TPeer&, int) override {}
    bool HandleFileTransfer(TPeer&, const QString& text, const QByteArray&) override {
        return FSituation.Transfer == TTransferMode::Receiving || text.startsWith(u"FILE");
    }
    void SetRemoteCursor(Qt::CursorShape) override {}

    Situation FSituation;
    testing::RecordingRtc FRtc;
    std::shared_ptr<TPeer> FSender;
    testing_support::RecordingInjector FInjector;
    HostInput FHostInput{FInjector, [] { return processState().LockScreenMode.load(); }};
    PeerMessenger FMessenger{FRtc};
    DataChannelDispatcher FDispatcher{FRtc, FMessenger, FHostInput, *this};
};

}  // namespace
}  // namespace corvala

// Input: one byte of situation, then messages, each a length byte and its
// bytes (255: the rest of the input).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvala;
    fuzz::InputReader input(data, size);
    Session session{Situation(input.Byte())};
    while (!input.Empty()) {
        const std::uint8_t length = input.Byte();
        const std::string_view message = length == 255 ? input.Rest() : input.Take(length);
        session.Receive(QByteArray(message.data(), qsizetype(message.size())));
    }
    return 0;
}

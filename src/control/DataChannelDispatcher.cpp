#include "control/DataChannelDispatcher.h"

#include "app/ProcessState.h"
#include "screen/CursorShapes.h"

#include <stdexcept>
#include <string>

namespace corvala {

namespace {

// "KEYWORD" + at least one character.
bool HasArgument(const QString& text, const char* keyword) {
    const QLatin1StringView word(keyword);
    return text.size() > word.size() && text.startsWith(word);
}

QString ArgumentOf(const QString& text, const char* keyword) {
    return text.mid(static_cast<qsizetype>(std::char_traits<char>::length(keyword)));
}

template <typename F, typename... Args>
void Call(const F& hook, Args&&... args) {
    if (hook) hook(std::forward<Args>(args)...);
}

}  // namespace

DataChannelDispatcher::DataChannelDispatcher(TWebRtcClientVcl& client, PeerMessenger& messenger,
                                             HostInput& hostInput, DispatcherHooks hooks)
    : client_(client), messenger_(messenger), hostInput_(hostInput), hooks_(std::move(hooks)) {}

TTransferMode DataChannelDispatcher::Transfer() const {
    return hooks_.TransferMode ? hooks_.TransferMode() : TTransferMode::Idle;
}

void DataChannelDispatcher::Receive(TPeer& sender, const QByteArray& data) {
    if (processState().EventsSuspended) return;
    try {
        HandlePeerMessage(sender, data);
    } catch (...) {
        // A remote message never takes the program down; the next one is handled normally.
    }
}

void DataChannelDispatcher::HandlePeerMessage(TPeer& sender, const QByteArray& data) {
    const bool master = processState().MasterMode;
    const TTransferMode transfer = Transfer();

    // 1. Raw bytes of a file being received are not text.
    const QString t = transfer != TTransferMode::Receiving ? QString::fromUtf8(data) : QString();

    // 2-4.
    if (t == QLatin1StringView(commands::Reconnect)) {
        sender.NeedToReconnect = true;
        Call(hooks_.UpdateAliveButton);
        return;
    }
    if (t == QLatin1StringView(commands::Disconnect)) {
        sender.Alive = false;
        return;
    }
    if (t == QLatin1StringView(commands::OpenDocsDir)) {
        Call(hooks_.OpenDocsDir);
        return;
    }
    // 5-6: the flag changes and the dispatch goes on.
    if (t == QLatin1StringView(commands::DemonstrationOn)) sender.DemonstrationMode = true;
    if (t == QLatin1StringView(commands::DemonstrationOff)) sender.DemonstrationMode = false;

    // 7-9.
    if (!master && t == QLatin1StringView(commands::Speak) &&
        !(hooks_.VoiceWindowShowing && hooks_.VoiceWindowShowing())) {
        messenger_.SendDataToPeer(sender, QString::fromLatin1(commands::NoSpeak));
        return;
    }
    if (master && t == QLatin1StringView(commands::NoSpeak)) {
        Call(hooks_.ArmNoSpeakDialog, sender.DemonstrationMode ? 1 : 0);
        return;
    }
    if (master && t == QLatin1StringView(commands::LockScreenOff)) {
        Call(hooks_.ArmCannotCtrlAltDelDialog);
        return;
    }

    // 10-11: the Magnifier's zoom chords, as plain keys.
    const auto chord = [this](std::uint16_t key) {
        hostInput_.InjectKey(vk::LeftWin, false, false, false);
        hostInput_.InjectKey(key, false, false, false);
        hostInput_.InjectKey(key, true, false, false);
        hostInput_.InjectKey(vk::LeftWin, true, false, false);
    };
    if (t == QLatin1StringView(commands::ZoomIn)) {
        chord(vk::Add);
        return;
    }
    if (t == QLatin1StringView(commands::ZoomOut)) {
        chord(vk::Subtract);
        return;
    }

    // 12-14.
    if (HasArgument(t, commands::Chat)) {
        Call(hooks_.ShowChatLine, sender, ArgumentOf(t, commands::Chat));
        return;
    }
    if (HasArgument(t, commands::Clipboard)) {
        Call(hooks_.SetClipboardText, ArgumentOf(t, commands::Clipboard));
        return;
    }
    if (!master && HasArgument(t, commands::Control)) {
        client_.SetCurrentViewingPeerID(sender.FId);
        bool ok = false;
        const int n = ArgumentOf(t, commands::Control).toInt(&ok, 10);
        if (!ok) throw std::invalid_argument("CONTROL without a decimal number");
        if (n == ControlSendCtrlAltDel && !processState().LockScreenMode)
            messenger_.SendDataToPeer(sender, QString::fromLatin1(commands::LockScreenOff));
        else
            Call(hooks_.ArmControlCommand, n);
        return;
    }

    // 15. The view-only gate: everything later from a viewer is refused, one reply each.
    if (!master && hooks_.AllowOnlyViewing && hooks_.AllowOnlyViewing()) {
        messenger_.SendDataToPeer(sender, QString::fromLatin1(commands::DemonstrationOn));
        return;
    }

    // 16. File transfer.
    if (hooks_.HandleFileTransfer) {
        const bool consumed = hooks_.HandleFileTransfer(sender, t, transfer == TTransferMode::Receiving ? data : QByteArray());
        if (consumed || transfer != TTransferMode::Idle) return;
    } else if (transfer != TTransferMode::Idle) {
        return;
    }

    // 17. Cursor shapes, only from the peer on screen.
    if (master) {
        if (t.size() >= 2 && t[0] == u'C' && sender.FId == client_.CurrentViewingPeerID()) {
            if (const auto shape = CursorShapeForMessage(t)) Call(hooks_.SetRemoteCursor, *shape);
        }
        return;
    }

    // 18. Input events.
    hostInput_.ParseAndInject(t);
}

}  // namespace corvala

#include "control/DataChannelDispatcher.h"

#include "base/Log.h"
#include "base/ProcessState.h"
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

}  // namespace

DataChannelDispatcher::DataChannelDispatcher(IRtcClientPort& rtc, PeerMessenger& messenger, HostInput& hostInput,
                                             IDispatcherEvents& events)
    : FRtc(rtc), FMessenger(messenger), FHostInput(hostInput), FEvents(events) {}

void DataChannelDispatcher::Receive(TPeer& sender, const QByteArray& data) {
    if (processState().EventsSuspended) return;
    // A remote message never takes the program down; the next one is handled normally.
    try {
        HandlePeerMessage(sender, data);
    } catch (const std::exception& error) {
        qCWarning(lcControl) << "message from" << sender.Id() << "dropped:" << error.what()
                             << "- it began" << data.left(24);
    } catch (...) {
        qCWarning(lcControl) << "message from" << sender.Id() << "dropped: unknown failure - it began"
                             << data.left(24);
    }
}

void DataChannelDispatcher::HandlePeerMessage(TPeer& sender, const QByteArray& data) {
    const bool master = processState().MasterMode;
    const TTransferMode transfer = processState().TransferMode;

    // Raw bytes of a file being received are not text.
    const QString t = transfer != TTransferMode::Receiving ? QString::fromUtf8(data) : QString();

    if (t == QLatin1StringView(commands::Reconnect)) {
        sender.NeedToReconnect = true;
        FEvents.UpdateAliveButton();
        return;
    }
    if (t == QLatin1StringView(commands::Disconnect)) {
        sender.Alive = false;
        return;
    }
    if (t == QLatin1StringView(commands::OpenDocsDir)) {
        FEvents.OpenDocsDir(sender);
        return;
    }
    // The flag changes and the dispatch goes on: the same message may still
    // be a transfer message below.
    if (t == QLatin1StringView(commands::DemonstrationOn)) sender.DemonstrationMode = true;
    if (t == QLatin1StringView(commands::DemonstrationOff)) sender.DemonstrationMode = false;

    if (!master && t == QLatin1StringView(commands::Speak) && !FEvents.VoiceWindowShowing()) {
        FMessenger.SendDataToPeer(sender, QString::fromLatin1(commands::NoSpeak));
        return;
    }
    if (master && t == QLatin1StringView(commands::NoSpeak)) {
        FEvents.ArmNoSpeakDialog(sender.DemonstrationMode);
        return;
    }
    if (master && t == QLatin1StringView(commands::LockScreenOff)) {
        FEvents.ArmCannotCtrlAltDelDialog();
        return;
    }
    if (master && HasArgument(t, commands::NoControl)) {
        bool ok = false;
        const int n = ArgumentOf(t, commands::NoControl).toInt(&ok, 10);
        if (!ok) throw std::invalid_argument("NOCONTROL without a decimal number");
        FEvents.CommandNotAvailable(sender, n);
        return;
    }

    // A view-only host lets nothing from a viewer change it: input, the zoom
    // chords, control commands, clipboard text and file requests are each
    // answered "DEMONSTRATION_ON". Chat still passes.
    const bool viewOnly = !master && FEvents.AllowOnlyViewing();
    const auto refuse = [&] {
        qCDebug(lcControl) << "view-only: refused" << t.left(16) << "from" << sender.Id();
        FMessenger.SendDataToPeer(sender, QString::fromLatin1(commands::DemonstrationOn));
    };

    // The magnifier's zoom chords, as plain keys.
    const bool zoomIn = t == QLatin1StringView(commands::ZoomIn);
    if (zoomIn || t == QLatin1StringView(commands::ZoomOut)) {
        if (viewOnly) return refuse();
        const std::uint16_t key = zoomIn ? vk::Add : vk::Subtract;
        FHostInput.InjectKey(vk::LeftWin, false, false, false);
        FHostInput.InjectKey(key, false, false, false);
        FHostInput.InjectKey(key, true, false, false);
        FHostInput.InjectKey(vk::LeftWin, true, false, false);
        return;
    }

    if (HasArgument(t, commands::Chat)) {
        FEvents.ShowChatLine(sender, ArgumentOf(t, commands::Chat));
        return;
    }
    if (HasArgument(t, commands::Clipboard)) {
        if (viewOnly) return refuse();
        FEvents.SetClipboardText(sender, ArgumentOf(t, commands::Clipboard));
        return;
    }
    if (!master && HasArgument(t, commands::Control)) {
        if (viewOnly) return refuse();
        FRtc.SetCurrentViewingPeerID(sender.FId);
        bool ok = false;
        const int n = ArgumentOf(t, commands::Control).toInt(&ok, 10);
        if (!ok) throw std::invalid_argument("CONTROL without a decimal number");
        if (n == ControlSendCtrlAltDel && !processState().LockScreenMode)
            FMessenger.SendDataToPeer(sender, QString::fromLatin1(commands::LockScreenOff));
        else
            FEvents.ArmControlCommand(sender, n);
        return;
    }

    // Everything later from a viewer of a view-only host is refused, one reply each.
    if (viewOnly) return refuse();

    const bool consumed =
        FEvents.HandleFileTransfer(sender, t, transfer == TTransferMode::Receiving ? data : QByteArray());
    if (consumed || transfer != TTransferMode::Idle) return;

    // Cursor shapes, only from the peer on screen.
    if (master) {
        if (t.size() >= 2 && t[0] == u'C' && sender.FId == FRtc.CurrentViewingPeerID()) {
            if (const auto shape = CursorShapeForMessage(t)) FEvents.SetRemoteCursor(*shape);
        }
        return;
    }

    FHostInput.ParseAndInject(t, sender.FId);
}

}  // namespace corvala

#include "control/ClipboardSharing.h"

#include "base/Log.h"
#include "base/ProcessState.h"

namespace corvala {

ClipboardSharing::ClipboardSharing(platform::IClipboard& clipboard, PeerMessenger& messenger)
    : FClipboard(clipboard), FMessenger(messenger) {}

void ClipboardSharing::Start() {
    FClipboard.Watch([this] { ClipboardChanged(); });
}

void ClipboardSharing::ClipboardChanged() {
    if (processState().TransferMode != TTransferMode::Idle) return;
    const std::optional<QString> text = FClipboard.Text();
    if (!text || *text == FClipboardText) return;
    FClipboardText = *text;
    // "CLIPBRD" alone is no clipboard command at the receiver.
    if (FClipboardText.isEmpty()) return;
    const QString message = QString::fromLatin1(commands::Clipboard) + FClipboardText;
    if (FClipboardText.size() > MaxSentLength || message.toUtf8().size() > MaxMessageBytes) {
        qCInfo(lcControl) << "clipboard text of" << FClipboardText.size() << "characters not shared: too long";
        return;
    }
    FMessenger.SendDataToEveryPeer(message);
}

void ClipboardSharing::Receive(const QString& senderId, const QString& text) {
    qCDebug(lcControl) << "clipboard text of" << text.size() << "characters from" << senderId;
    FClipboardText = text;
    FClipboard.SetText(text);
}

void ClipboardSharing::CopyLocally(const QString& text) {
    FClipboardText = text;
    FClipboard.SetText(text);
}

}  // namespace corvala

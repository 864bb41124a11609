#pragma once
// Clipboard sharing: text copied here goes to every peer as "CLIPBRD" +
// text; text a peer sends goes on this clipboard. ClipboardText, the text
// last sent or received, keeps a text from bouncing back: putting a
// received text on the clipboard raises a change that finds it equal and
// sends nothing.

#include <QString>

#include "control/PeerMessenger.h"
#include "platform/Clipboard.h"

namespace corvala {

class ClipboardSharing {
public:
    // A text is sent while its UTF-16 length times two stays below 65515.
    static constexpr qsizetype MaxSentLength = 32757;
    // ...and while the message fits into one data-channel message.
    static constexpr qsizetype MaxMessageBytes = 65536;

    ClipboardSharing(platform::IClipboard& clipboard, PeerMessenger& messenger);

    // Follows the clipboard's changes from now on.
    void Start();
    // A change of the clipboard: a new text goes to every peer, unless a
    // file transfer runs, the text is empty or too long.
    void ClipboardChanged();
    // "CLIPBRD" + text from a peer.
    void Receive(const QString& senderId, const QString& text);
    // The host panel's copy icon: on this clipboard only, never to peers.
    void CopyLocally(const QString& text);

    const QString& ClipboardText() const { return FClipboardText; }

private:
    platform::IClipboard& FClipboard;
    PeerMessenger& FMessenger;
    QString FClipboardText;
};

}  // namespace corvala

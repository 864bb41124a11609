#pragma once
// Chat: lines to one peer or to every peer ("CHAT" + text), and the lines
// peers send, for the chat window. The window only shows what this class
// decides: the recipient list, its selection, the lines and their headers.

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "control/PeerMessenger.h"
#include "media/RtcClientPort.h"

namespace corvala {

// One line of the chat log: a bold header in its colour, then the text.
struct ChatLine {
    QString Header;  // "Me: " or "name (ID): "
    QString Text;
    bool Own = false;  // ChatOwnNameColour, else ChatPeerNameColour
};

// The recipient list and the entry to select in it.
struct ChatRecipients {
    QStringList Entries;  // the translated "Everybody", then one entry per peer
    int Selected = 0;
};

// What the chat needs of the chat window; the core passes it on to the view.
class IChatEvents {
public:
    virtual void ShowChatWindow() = 0;  // shows it when hidden
    virtual void AppendChatLine(const ChatLine& line) = 0;

protected:
    ~IChatEvents() = default;
};

class Chat {
public:
    // A line the window lets the user type; as UTF-8 it fits one message.
    static constexpr int MaxLineLength = 16000;

    Chat(IRtcClientPort& rtc, PeerMessenger& messenger, IChatEvents& events);

    // The list for the chat window: the previous choice stays selected while
    // its entry exists, else "Everybody"; a viewer with a current peer gets
    // that peer's entry (the last entry naming it).
    ChatRecipients Recipients(const QString& previous) const;
    // The peers a recipient entry names: every peer for "Everybody", else
    // the peer whose ID the entry holds (none when it holds no ID or names
    // no peer).
    std::vector<std::shared_ptr<TPeer>> Targets(const QString& recipient) const;
    // "Send" or Enter: the line exactly as typed to the recipient's peers,
    // and into the log. False, with nothing sent, when the line is blank,
    // too long or there is no recipient.
    bool Send(const QString& recipient, const QString& line);
    // "CHAT" + text from a peer: into the log, the window shown.
    void Receive(const TPeer& sender, const QString& text);

private:
    IRtcClientPort& FRtc;
    PeerMessenger& FMessenger;
    IChatEvents& FEvents;
};

}  // namespace corvala

#pragma once
// Voice: the voice window switches this side's microphone track on; a
// viewer asks its host to join with "SPEAK", and a host whose user has not
// opened the window answers "NOSPEAK", which the viewer shows as a notice.

#include <QString>
#include <QTimer>

#include "control/PeerMessenger.h"
#include "media/RtcClientPort.h"

namespace corvala {

class Settings;

// What voice needs of the voice window and the message box; the core passes
// it on to the view.
class IVoiceEvents {
public:
    virtual bool VoiceWindowShowing() const = 0;
    virtual void ShowVoiceWindow(const QString& caption) = 0;
    virtual void ShowNotice(const QString& text) = 0;

protected:
    ~IVoiceEvents() = default;
};

class Voice {
public:
    Voice(IRtcClientPort& rtc, PeerMessenger& messenger, const Settings& settings, IVoiceEvents& events,
          QTimer& timerShowNoSpeakDialog);

    // Speak1Click: the voice window with its caption, "SPEAK" to the viewed
    // host, the microphone on. Nothing while a transfer runs or the window
    // already shows.
    void Open();
    // The window closed: the microphone off (not while events are suspended).
    void WindowClosed();
    // Viewer: on for the viewed peer only, off for every peer; host: every
    // peer alike.
    void EnableAudio(bool enable);

    // "NOSPEAK" (viewer): the notice a second later; `demonstration` picks
    // the variant for a host in demonstration mode.
    void ArmNoSpeakDialog(bool demonstration);
    // TimerShowNoSpeakDialog.
    void NoSpeakTick();
    static QString NoSpeakNotice(bool demonstration);

private:
    QString Caption() const;

    IRtcClientPort& FRtc;
    PeerMessenger& FMessenger;
    const Settings& FSettings;
    IVoiceEvents& FEvents;
    QTimer& FNoSpeakTimer;
    bool FDemonstrationVariant = false;  // the timer's tag
};

}  // namespace corvala

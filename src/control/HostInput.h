#pragma once
// The host's half of remote input: the parser of received input tokens, the
// injection of key, button, wheel and move events, and the deferral of those
// events to the capture thread while the lock screen is up.
//
// Threads: the parser and the Inject* calls run on the main thread;
// ReplayDeferredInput runs on the capture thread. They share the pending
// move, RelativeMouseMode and the two replay tables, all lock-free.

#include "control/InputTokens.h"
#include "control/ReplayTables.h"
#include "platform/InputInjector.h"

#include <QHash>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>

namespace corvala {

class HostInput : private IInputTokenSink {
public:
    static constexpr std::size_t ReplaySlots = 100;
    using MouseTable = ReplayTable<MouseReplayEvent, ReplaySlots>;
    using KeyTable = ReplayTable<KeyReplayEvent, ReplaySlots>;

    // `lockScreenMode`: whether events must be deferred (LockScreenMode);
    // `now`: the stamp clock (MonotonicDateTime by default).
    HostInput(platform::IInputInjector& injector, std::function<bool()> lockScreenMode,
              std::function<double()> now = {});

    // Parses one received message of `sender` token by token and injects
    // each event. Throws BadInputNumber on a number that does not parse.
    void ParseAndInject(const QString& message, const QString& sender = {});
    // The viewer's call ended: every key and button it still holds goes up,
    // so that nothing stays pressed on this desktop.
    void ReleaseHeldInput(const QString& sender);

    void InjectKey(std::uint16_t code, bool up, bool extended, bool character);
    void InjectMouse(std::uint32_t flags, std::int32_t data);
    void InjectPendingMove();
    // Capture thread, once per round after the picture copy.
    void ReplayDeferredInput();
    // At start-up and whenever lock-screen capture starts.
    void ClearReplayTables();

    bool RelativeMouseMode() const { return relativeMouseMode_.load(std::memory_order_relaxed); }
    int PendingMoveX() const { return pendingMoveX_.load(std::memory_order_relaxed); }
    int PendingMoveY() const { return pendingMoveY_.load(std::memory_order_relaxed); }
    const MouseTable& MouseReplayTable() const { return mouseTable_; }
    const KeyTable& KeyReplayTable() const { return keyTable_; }

private:
    // IInputTokenSink: one parsed event each.
    void InputKey(std::uint16_t virtualKey, bool up) override;
    void InputCharacter(char16_t unit) override;
    void InputButton(MouseButton button, bool up) override;
    void InputMoveMode(bool relative) override;
    void InputMove(int x, int y) override;
    void InputWheel(int delta) override;

    void SendKey(const KeyReplayEvent& event);

    platform::IInputInjector& injector_;
    std::function<bool()> lockScreenMode_;
    std::atomic<bool> relativeMouseMode_{false};
    // Written by the main thread, read and reset by the capture thread; a
    // replayed move may mix the coordinates of two messages.
    std::atomic<int> pendingMoveX_{0};
    std::atomic<int> pendingMoveY_{0};
    MouseTable mouseTable_;
    KeyTable keyTable_;
    // What each viewer holds down now, main thread only.
    struct Held {
        QList<std::uint16_t> keys;
        QList<MouseButton> buttons;
    };
    QHash<QString, Held> FHeld;
    QString FSender;  // whose message is being parsed
};

}  // namespace corvala

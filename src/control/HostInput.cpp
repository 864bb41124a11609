#include "control/HostInput.h"

#include "control/DateTime.h"
#include "screen/Rounding.h"

namespace corvala {

namespace mf = platform::mouse_flags;

namespace {

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool IsNumberChar(QChar c) { return c == u'-' || IsDigit(c); }

// A buffer is open when it is not empty; opening puts a single space in it,
// which is trimmed before the number is read.
void Open(QString& buffer) { buffer = QStringLiteral(" "); }
bool IsOpen(const QString& buffer) { return !buffer.isEmpty(); }

int NumberOf(const QString& buffer) {
    bool ok = false;
    const int value = buffer.trimmed().toInt(&ok, 10);
    if (!ok) throw BadInputNumber("input number does not parse: \"" + buffer.trimmed().toStdString() + "\"");
    return value;
}

// The dedicated navigation keys (Page Up .. Down, Insert, Delete) whose codes
// the numeric pad shares: injected as extended keys.
bool IsExtendedKey(int code) { return (code >= 33 && code <= 40) || code == 45 || code == 46; }

}  // namespace

HostInput::HostInput(platform::IInputInjector& injector, std::function<bool()> lockScreenMode,
                     std::function<double()> now)
    : injector_(injector),
      lockScreenMode_(std::move(lockScreenMode)),
      mouseTable_(now ? now : MonotonicDateTime),
      keyTable_(now ? now : MonotonicDateTime) {}

void HostInput::ParseAndInject(const QString& message) {
    QString key, x, y, wheel;
    bool typing = false;
    bool keyUp = false;
    const qsizetype n = message.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = message[i];
        const bool atEnd = i == n - 1;
        const QChar next = atEnd ? QChar() : message[i + 1];
        if (c == u'c' || c == u'C') {
            typing = true;
            continue;
        }
        if (typing) {
            InjectKey(c.unicode(), false, false, true);
            InjectKey(c.unicode(), true, false, true);
            // A character outside the basic plane is one character in two
            // code units: type both.
            typing = c.isHighSurrogate() && next.isLowSurrogate();
            continue;
        }
        if (c == u'k' || c == u'K') {
            keyUp = c == u'k';
            Open(key);
            continue;
        }
        if (IsOpen(key) && IsDigit(c)) {
            key += c;
            if (atEnd || !IsDigit(next)) {
                const int code = NumberOf(key);
                key.clear();
                InjectKey(static_cast<std::uint16_t>(code), keyUp, IsExtendedKey(code), false);
            }
            continue;
        }
        if (c == u'x' || c == u'X') {
            Open(x);
            y.clear();
            relativeMouseMode_.store(c == u'X', std::memory_order_relaxed);
            continue;
        }
        if (c == u'y' || c == u'Y') {
            Open(y);
            continue;
        }
        switch (c.unicode()) {
        case u'L': InjectMouse(mf::LeftDown, 0); continue;
        case u'l': InjectMouse(mf::LeftUp, 0); continue;
        case u'R': InjectMouse(mf::RightDown, 0); continue;
        case u'r': InjectMouse(mf::RightUp, 0); continue;
        case u'M': InjectMouse(mf::MiddleDown, 0); continue;
        case u'm': InjectMouse(mf::MiddleUp, 0); continue;
        default: break;
        }
        if (c == u'W') {
            Open(wheel);
            continue;
        }
        if (IsOpen(wheel)) {
            if (IsNumberChar(c)) wheel += c;
            if (atEnd || !IsNumberChar(next)) {
                const int delta = NumberOf(wheel);
                wheel.clear();
                InjectMouse(mf::Wheel, delta);
            }
        } else if (IsOpen(y)) {
            if (IsNumberChar(c)) y += c;
            if ((atEnd && IsOpen(x)) || !IsNumberChar(next)) {
                const int px = NumberOf(x);
                const int py = NumberOf(y);
                pendingMoveX_.store(px, std::memory_order_relaxed);
                pendingMoveY_.store(py, std::memory_order_relaxed);
                if (!lockScreenMode_()) InjectPendingMove();
                x.clear();
                y.clear();
            }
        } else if (IsOpen(x) && IsNumberChar(c)) {
            x += c;
        }
    }
}

void HostInput::InjectKey(std::uint16_t code, bool up, bool extended, bool character) {
    const KeyReplayEvent event{code, up, extended, character};
    if (lockScreenMode_()) {
        keyTable_.Put(event);
        return;
    }
    SendKey(event);
}

void HostInput::SendKey(const KeyReplayEvent& event) {
    if (event.character)
        injector_.InjectCharacter(static_cast<char16_t>(event.code), event.up);
    else
        injector_.InjectVirtualKey(event.code, event.up, event.extended);
}

void HostInput::InjectMouse(std::uint32_t flags, std::int32_t data) {
    if (lockScreenMode_()) {
        mouseTable_.Put({flags, data});
        return;
    }
    injector_.InjectMouseInput(flags, 0, 0, data);
}

void HostInput::InjectPendingMove() {
    const int x = pendingMoveX_.load(std::memory_order_relaxed);
    const int y = pendingMoveY_.load(std::memory_order_relaxed);
    if (relativeMouseMode_.load(std::memory_order_relaxed)) {
        injector_.InjectMouseInput(mf::Move, x, y, 0);
    } else {
        const int width = injector_.PrimaryScreenWidth();
        const int height = injector_.PrimaryScreenHeight();
        // A screen that cannot be measured gets no absolute move rather than
        // a division by zero.
        if (width > 0 && height > 0)
            injector_.InjectMouseInput(mf::Move | mf::AbsolutePosition, RoundHalfEven(65535.0 / width * x),
                                       RoundHalfEven(65535.0 / height * y), 0);
    }
    pendingMoveX_.store(0, std::memory_order_relaxed);
    pendingMoveY_.store(0, std::memory_order_relaxed);
}

void HostInput::ReplayDeferredInput() {
    if (pendingMoveX_.load(std::memory_order_relaxed) != 0 && pendingMoveY_.load(std::memory_order_relaxed) != 0)
        InjectPendingMove();
    mouseTable_.Drain([this](const MouseReplayEvent& e) { injector_.InjectMouseInput(e.flags, 0, 0, e.data); });
    keyTable_.Drain([this](const KeyReplayEvent& e) { SendKey(e); });
}

void HostInput::ClearReplayTables() {
    mouseTable_.Clear();
    keyTable_.Clear();
}

}  // namespace corvala

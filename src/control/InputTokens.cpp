#include "control/InputTokens.h"

#include <array>
#include <string>
#include <utility>

namespace corvala {

namespace {

struct ButtonLetters {
    MouseButton button;
    char16_t down;
    char16_t up;
};
constexpr std::array<ButtonLetters, 3> Buttons{{
    {MouseButton::Left, u'L', u'l'},
    {MouseButton::Right, u'R', u'r'},
    {MouseButton::Middle, u'M', u'm'},
}};

constexpr int MaxVirtualKey = 0xFFFF;

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool IsNumberChar(QChar c) { return c == u'-' || IsDigit(c); }

// A number being read: open once its letter was seen, even before a digit.
class NumberBuffer {
public:
    void Open() {
        FOpen = true;
        FDigits.clear();
    }
    void Clear() {
        FOpen = false;
        FDigits.clear();
    }
    bool IsOpen() const { return FOpen; }
    void Add(QChar c) { FDigits += c; }
    int Take() {
        const QString digits = std::exchange(FDigits, QString());
        FOpen = false;
        bool ok = false;
        const int value = digits.toInt(&ok, 10);
        if (!ok) throw BadInputNumber("input number does not parse: \"" + digits.toStdString() + "\"");
        return value;
    }

private:
    bool FOpen = false;
    QString FDigits;
};

}  // namespace

namespace input_tokens {

QString Key(int virtualKey, bool up) { return (up ? QStringLiteral("k") : QStringLiteral("K")) + QString::number(virtualKey); }

QString Button(MouseButton button, bool up) {
    for (const ButtonLetters& letters : Buttons)
        if (letters.button == button) return QString(QChar(up ? letters.up : letters.down));
    return {};
}

QString Move(int x, int y) { return QStringLiteral("x%1y%2").arg(x).arg(y); }

QString Wheel(int delta) { return QStringLiteral("W") + QString::number(delta); }

}  // namespace input_tokens

void ParseInputTokens(const QString& message, IInputTokenSink& sink) {
    NumberBuffer key, x, y, wheel;
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
            sink.InputCharacter(c.unicode());
            // A character outside the basic plane is one character in two
            // code units: type both.
            typing = c.isHighSurrogate() && next.isLowSurrogate();
            continue;
        }
        if (c == u'k' || c == u'K') {
            keyUp = c == u'k';
            key.Open();
            continue;
        }
        if (key.IsOpen() && IsDigit(c)) {
            key.Add(c);
            if (atEnd || !IsDigit(next)) {
                const int code = key.Take();
                // A wider code would wrap to another key.
                if (code > MaxVirtualKey) throw BadInputNumber("key code out of range: " + std::to_string(code));
                sink.InputKey(static_cast<std::uint16_t>(code), keyUp);
            }
            continue;
        }
        if (c == u'x' || c == u'X') {
            x.Open();
            y.Clear();
            sink.InputMoveMode(c == u'X');
            continue;
        }
        if (c == u'y' || c == u'Y') {
            y.Open();
            continue;
        }
        bool button = false;
        for (const ButtonLetters& letters : Buttons) {
            if (c == letters.down || c == letters.up) {
                sink.InputButton(letters.button, c == letters.up);
                button = true;
            }
        }
        if (button) continue;
        if (c == u'W') {
            wheel.Open();
            continue;
        }
        if (wheel.IsOpen()) {
            if (IsNumberChar(c)) wheel.Add(c);
            if (atEnd || !IsNumberChar(next)) sink.InputWheel(wheel.Take());
        } else if (y.IsOpen()) {
            if (IsNumberChar(c)) y.Add(c);
            if ((atEnd && x.IsOpen()) || !IsNumberChar(next)) {
                const int px = x.Take();
                const int py = y.Take();
                sink.InputMove(px, py);
            }
        } else if (x.IsOpen() && IsNumberChar(c)) {
            x.Add(c);
        }
    }
}

}  // namespace corvala

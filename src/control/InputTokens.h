#pragma once
// The grammar of input tokens, written once for both ends: the viewer writes
// one token per data-channel message, the host parses a message that may
// hold several (other viewers batch them) and hands each event to a sink.
//
//   K<code> / k<code>   key down / up, Windows virtual-key code 0..65535
//   c<unit> / C<unit>   type the next UTF-16 code unit (a surrogate pair: both)
//   L l R r M m         left, right, middle button down / up
//   x<n>y<n>            absolute move in the host's screen pixels
//   X<n>y<n>            relative move
//   W<n>                wheel, 120 per notch, positive away from the user
//
// Anything else is skipped. A number that does not parse (a lone "-", a
// key code above 65535) ends the message: what came before it stays.

#include <QString>

#include <cstdint>
#include <stdexcept>

namespace corvala {

enum class MouseButton { Left, Right, Middle, Other };

class BadInputNumber : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The viewer's side.
namespace input_tokens {
QString Key(int virtualKey, bool up);
// Empty for MouseButton::Other: the protocol has no token for it.
QString Button(MouseButton button, bool up);
QString Move(int x, int y);
QString Wheel(int delta);
}  // namespace input_tokens

// The host's side: what one parsed message asks for, in order.
class IInputTokenSink {
public:
    virtual void InputKey(std::uint16_t virtualKey, bool up) = 0;
    virtual void InputCharacter(char16_t unit) = 0;
    virtual void InputButton(MouseButton button, bool up) = 0;
    // "x" or "X" began a move: whether the coming one is relative.
    virtual void InputMoveMode(bool relative) = 0;
    virtual void InputMove(int x, int y) = 0;
    virtual void InputWheel(int delta) = 0;

protected:
    ~IInputTokenSink() = default;
};

// Throws BadInputNumber as described above, after the events before it.
void ParseInputTokens(const QString& message, IInputTokenSink& sink);

}  // namespace corvala

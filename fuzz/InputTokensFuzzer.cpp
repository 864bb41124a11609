// The input-token grammar from both ends. Arbitrary text through the host's
// parser (only BadInputNumber may leave it), and the property that tokens
// the viewer writes, batched into one message as other viewers send them,
// parse back into exactly the events they were written for.
#include "FuzzSupport.h"
#include "control/InputTokens.h"

#include <string>
#include <vector>

namespace corvala {
namespace {

class RecordingSink : public IInputTokenSink {
public:
    std::vector<std::string> Events;

    void InputKey(std::uint16_t virtualKey, bool up) override { Add("key", virtualKey, up); }
    void InputCharacter(char16_t unit) override { Add("char", unit, false); }
    void InputButton(MouseButton button, bool up) override { Add("button", int(button), up); }
    void InputMoveMode(bool relative) override { Add("mode", relative, false); }
    void InputMove(int x, int y) override { Add("move", x, y); }
    void InputWheel(int delta) override { Add("wheel", delta, false); }

    void Add(const char* kind, long long a, long long b) {
        Events.push_back(std::string(kind) + " " + std::to_string(a) + " " + std::to_string(b));
    }
};

int Number(fuzz::InputReader& input) {
    const std::uint32_t v = input.Byte() | input.Byte() << 8 | input.Byte() << 16 | std::uint32_t(input.Byte()) << 24;
    return static_cast<int>(v);
}

// Writes one token for the next event the input asks for and records the
// events it stands for.
void WriteToken(fuzz::InputReader& input, QString& message, RecordingSink& expected) {
    switch (input.Byte() % 6) {
        case 0: {
            const int code = (input.Byte() | input.Byte() << 8);
            const bool up = input.Byte() & 1;
            message += input_tokens::Key(code, up);
            expected.InputKey(std::uint16_t(code), up);
            break;
        }
        case 1: {
            const auto button = static_cast<MouseButton>(input.Byte() % 3);
            const bool up = input.Byte() & 1;
            message += input_tokens::Button(button, up);
            expected.InputButton(button, up);
            break;
        }
        case 2:
        case 3: {
            const bool relative = input.Byte() & 1;
            const int x = Number(input), y = Number(input);
            message += relative ? QStringLiteral("X%1y%2").arg(x).arg(y) : input_tokens::Move(x, y);
            expected.InputMoveMode(relative);
            expected.InputMove(x, y);
            break;
        }
        case 4: {
            const int delta = Number(input);
            message += input_tokens::Wheel(delta);
            expected.InputWheel(delta);
            break;
        }
        case 5: {
            // "c" cannot type itself: the grammar reads it as the start of
            // another character token, so the viewer never sends it that way.
            char16_t unit = char16_t(input.Byte() | input.Byte() << 8);
            if (unit == u'c' || unit == u'C') unit = u'a';
            message += u'c';
            message += QChar(unit);
            expected.InputCharacter(unit);
            if (QChar::isHighSurrogate(unit)) {
                const char16_t low = char16_t(0xDC00 | (input.Byte() | input.Byte() << 8) % 0x400);
                message += QChar(low);
                expected.InputCharacter(low);
            }
            break;
        }
    }
}

}  // namespace
}  // namespace corvala

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvala;
    {
        RecordingSink sink;
        const QString message = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
        try {
            ParseInputTokens(message, sink);
        } catch (const BadInputNumber&) {}
    }
    fuzz::InputReader input(data, size);
    QString message;
    RecordingSink expected, parsed;
    while (!input.Empty()) WriteToken(input, message, expected);
    try {
        ParseInputTokens(message, parsed);
    } catch (const BadInputNumber& error) {
        fuzz::Fail(error.what());
    }
    if (parsed.Events != expected.Events) fuzz::Fail("written tokens parse into other events");
    return 0;
}

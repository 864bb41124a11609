#pragma once
// The one string escaping used for every JSON text that goes on a signalling
// line. It keeps the line pure 7-bit ASCII: every UTF-16 code unit above 127
// becomes its own \uXXXX escape (so a character outside the BMP turns into
// two), "/" is written as "\/", and hex digits are upper case. Peers on other
// platforms compare and re-parse these lines, so the exact bytes matter.
//
// Deliberately free of Qt so that the signalling server shares it.

#include <string>
#include <string_view>

namespace corvala {

// Appends `units` as a quoted JSON string.
void AppendJsonString(std::string& out, std::u16string_view units);

// Same for UTF-8 input: it is decoded to UTF-16 code units first. A byte
// sequence that is not valid UTF-8 contributes U+FFFD per bad byte, so the
// output is always valid JSON and always ASCII.
void AppendJsonStringUtf8(std::string& out, std::string_view utf8);

// Writes one flat JSON object with members in the order they are added and
// no whitespace, as the envelope and the nested payload objects need.
class JsonObjectWriter {
public:
    JsonObjectWriter& add(std::string_view key, std::string_view utf8Value);
    JsonObjectWriter& add(std::string_view key, std::u16string_view value);
    JsonObjectWriter& addNumber(std::string_view key, long long value);
    // The finished object; the writer can be reused after take().
    std::string take();

private:
    void key(std::string_view name);
    std::string text_ = "{";
};

}  // namespace corvala

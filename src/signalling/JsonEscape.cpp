#include "signalling/JsonEscape.h"

namespace corvala {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void appendUnit(std::string& out, char16_t u) {
    switch (u) {
    case 8: out += "\\b"; return;
    case 9: out += "\\t"; return;
    case 10: out += "\\n"; return;
    case 12: out += "\\f"; return;
    case 13: out += "\\r"; return;
    case '"': out += "\\\""; return;
    case '/': out += "\\/"; return;
    case '\\': out += "\\\\"; return;
    default: break;
    }
    if (u < 32 || u > 127) {
        out += "\\u";
        out += kHex[(u >> 12) & 0xF];
        out += kHex[(u >> 8) & 0xF];
        out += kHex[(u >> 4) & 0xF];
        out += kHex[u & 0xF];
    } else {
        out += static_cast<char>(u);
    }
}

void appendCodePoint(std::string& out, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        appendUnit(out, static_cast<char16_t>(0xD800 + (cp >> 10)));
        appendUnit(out, static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        appendUnit(out, static_cast<char16_t>(cp));
    }
}

// Decodes one UTF-8 sequence at s[i]; returns its length, or 0 when the bytes
// there do not form a valid, shortest-form, non-surrogate sequence.
size_t decodeUtf8(std::string_view s, size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    size_t len;
    char32_t min;
    if (b0 < 0x80) { cp = b0; return 1; }
    if ((b0 & 0xE0) == 0xC0) { len = 2; cp = b0 & 0x1F; min = 0x80; }
    else if ((b0 & 0xF0) == 0xE0) { len = 3; cp = b0 & 0x0F; min = 0x800; }
    else if ((b0 & 0xF8) == 0xF0) { len = 4; cp = b0 & 0x07; min = 0x10000; }
    else return 0;
    if (i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

}  // namespace

void AppendJsonString(std::string& out, std::u16string_view units) {
    out += '"';
    for (char16_t u : units) appendUnit(out, u);
    out += '"';
}

void AppendJsonStringUtf8(std::string& out, std::string_view utf8) {
    out += '"';
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        const size_t len = decodeUtf8(utf8, i, cp);
        if (len == 0) {
            appendUnit(out, 0xFFFD);
            ++i;
        } else {
            appendCodePoint(out, cp);
            i += len;
        }
    }
    out += '"';
}

void JsonObjectWriter::key(std::string_view name) {
    if (text_.size() > 1) text_ += ',';
    AppendJsonStringUtf8(text_, name);
    text_ += ':';
}

JsonObjectWriter& JsonObjectWriter::add(std::string_view name, std::string_view utf8Value) {
    key(name);
    AppendJsonStringUtf8(text_, utf8Value);
    return *this;
}

JsonObjectWriter& JsonObjectWriter::add(std::string_view name, std::u16string_view value) {
    key(name);
    AppendJsonString(text_, value);
    return *this;
}

JsonObjectWriter& JsonObjectWriter::addNumber(std::string_view name, long long value) {
    key(name);
    text_ += std::to_string(value);
    return *this;
}

std::string JsonObjectWriter::take() {
    std::string done = std::move(text_);
    done += '}';
    text_ = "{";
    return done;
}

}  // namespace corvala

#include "identity/DriveText.h"

#include <cstdint>

namespace corvala::identity {

namespace {

// Plain ASCII classes: bytes above 127 belong to none.
bool IsSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsPrintable(unsigned char c) { return c >= 0x20 && c <= 0x7E; }
bool IsAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string TrimRight(std::string text) {
    while (!text.empty() && IsSpace(static_cast<unsigned char>(text.back()))) text.pop_back();
    return text;
}

std::string Trim(std::string text) {
    text = TrimRight(std::move(text));
    std::size_t start = 0;
    while (start < text.size() && IsSpace(static_cast<unsigned char>(text[start]))) ++start;
    return text.substr(start);
}

int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The characters from offset up to a zero byte or the end of the buffer.
std::string_view RawText(const std::vector<char>& buffer, int offset) {
    std::size_t start = static_cast<std::size_t>(offset);
    if (start >= buffer.size()) return {};
    std::size_t end = start;
    while (end < buffer.size() && buffer[end] != '\0') ++end;
    return std::string_view(buffer.data() + start, end - start);
}

std::optional<std::string> DecodeHex(std::string_view raw) {
    std::string out;
    unsigned int byte = 0;
    int digits = 0;
    for (char ch : raw) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
        if (IsSpace(c)) c = '0';
        int value = HexValue(c);
        if (value < 0) return std::nullopt;
        byte = ((byte << 4) + static_cast<unsigned>(value)) & 0xFF;
        if (++digits == 2) {
            if (byte != 0 && !IsPrintable(static_cast<unsigned char>(byte))) return std::nullopt;
            // Zero bytes are padding: they add nothing to the text.
            if (byte != 0) out += static_cast<char>(byte);
            byte = 0;
            digits = 0;
        }
    }
    return out;
}

}  // namespace

std::string IdentifyText(const platform::IdentifyWords& words, int first, int last) {
    std::string text;
    for (int w = first; w <= last; ++w) {
        text += static_cast<char>(words[static_cast<std::size_t>(w)] >> 8);
        text += static_cast<char>(words[static_cast<std::size_t>(w)] & 0xFF);
    }
    return TrimRight(std::move(text));
}

std::string DescriptorText(const std::vector<char>& buffer, int offset, bool swapPairs) {
    if (offset <= 0) return {};
    std::string_view raw = RawText(buffer, offset);
    std::string text;
    if (auto decoded = DecodeHex(raw)) {
        text = std::move(*decoded);
    } else {
        for (char c : raw) {
            if (!IsPrintable(static_cast<unsigned char>(c))) return {};
            text += c;
        }
    }
    if (swapPairs)
        for (std::size_t i = 0; i + 1 < text.size(); i += 2) std::swap(text[i], text[i + 1]);
    return Trim(std::move(text));
}

void DriveSearch::Consider(const std::string& serial, const std::string& model) {
    if (HasSerial()) return;
    auto usableAt = [&](std::size_t index) {
        return index < serial.size() && IsAlnum(static_cast<unsigned char>(serial[index]));
    };
    if (!usableAt(0) && !usableAt(19)) return;
    serial_ = serial.substr(0, 1024);
    model_ = model.substr(0, 1024);
}

std::string DiskIdNumber(const std::string& serial, const std::string& model) {
    // Two's-complement wrap-around: unsigned arithmetic, read back as signed.
    std::uint64_t v = 0;
    std::size_t start = serial.rfind("WD-W", 0) == 0 ? 5 : 0;
    for (std::size_t i = start; i < serial.size() && i <= 1023; ++i) {
        unsigned char c = static_cast<unsigned char>(serial[i]);
        if (c == '-') continue;
        std::uint64_t d = 0;
        if (c >= '1' && c <= '9') d = c - '0';
        else if (c >= 'A' && c <= 'Z') d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'z') d = c - 'a' + 10;
        v = v * 10 + d;
    }
    std::int64_t value = static_cast<std::int64_t>(v) % 100000000;
    if (model.find("IBM-") != std::string::npos) value += 300000000;
    else if (model.find("MAXTOR") != std::string::npos || model.find("Maxtor") != std::string::npos)
        value += 400000000;
    else if (model.find("WDC ") != std::string::npos) value += 500000000;
    else value += 600000000;
    return std::to_string(value);
}

std::optional<std::string> FindDiskIdNumber(platform::IDriveIdentification& drives) {
    DriveSearch search;
    auto considerWords = [&](const platform::IdentifyWords& words) {
        search.Consider(IdentifyText(words, SerialFirstWord, SerialLastWord),
                        IdentifyText(words, ModelFirstWord, ModelLastWord));
    };
    // Each source counts as the answer once any drive answered it; a later
    // source is tried only when an earlier one got no answer at all.
    bool succeeded = false;
    try {
        auto answers = drives.IdentifyWithRights();
        for (const auto& words : answers) considerWords(words);
        succeeded = !answers.empty();
    } catch (...) {
    }
    if (!succeeded) {
        try {
            for (const auto& words : drives.IdentifyThroughPassThrough()) {
                if (words[ModelFirstWord] == 0) continue;  // not a drive that answered
                considerWords(words);
                succeeded = true;
            }
        } catch (...) {
        }
    }
    if (!succeeded) {
        try {
            for (const auto& d : drives.StorageDescriptors())
                search.Consider(DescriptorText(d.buffer, d.serialOffset, d.serialSwapped),
                                DescriptorText(d.buffer, d.productOffset, false));
        } catch (...) {
        }
    }
    if (!search.HasSerial()) return std::nullopt;
    return DiskIdNumber(search.Serial(), search.Model());
}

}  // namespace corvala::identity

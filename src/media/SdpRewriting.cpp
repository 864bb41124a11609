#include "media/SdpRewriting.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdint>
#include <memory>
#include <stdexcept>

namespace corvala {
namespace {

// One compiled, case-sensitive pattern matched against single lines.
class LinePattern {
public:
    explicit LinePattern(const std::string& pattern)
    {
        int error = 0;
        PCRE2_SIZE offset = 0;
        code_.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), 0,
                                  &error, &offset, nullptr));
        if (!code_)
            throw std::invalid_argument("bad SDP pattern: " + pattern);
        data_.reset(pcre2_match_data_create_from_pattern(code_.get(), nullptr));
    }

    // True when the line matches with a non-empty match; `group` receives the
    // first capture group when the pattern has one.
    bool Match(const std::string& line, std::string* group = nullptr)
    {
        const int rc = pcre2_match(code_.get(), reinterpret_cast<PCRE2_SPTR>(line.data()), line.size(), 0,
                                   PCRE2_NOTEMPTY, data_.get(), nullptr);
        if (rc < 0)
            return false;
        if (group) {
            const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data_.get());
            if (rc > 1 && ov[2] != PCRE2_UNSET)
                *group = line.substr(ov[2], ov[3] - ov[2]);
            else
                group->clear();
        }
        return true;
    }

private:
    struct CodeFree { void operator()(pcre2_code* c) const { pcre2_code_free(c); } };
    struct DataFree { void operator()(pcre2_match_data* d) const { pcre2_match_data_free(d); } };
    std::unique_ptr<pcre2_code, CodeFree> code_;
    std::unique_ptr<pcre2_match_data, DataFree> data_;
};

// Codec names are fixed words today; quoting keeps a name with a regex
// metacharacter from changing the pattern's meaning.
std::string Quote(const std::string& text)
{
    std::string out;
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (!((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u >= 0x80))
            out += '\\';
        out += c;
    }
    return out;
}

bool StartsWith(const std::string& line, const char* prefix)
{
    return line.rfind(prefix, 0) == 0;
}

LinePattern RtpmapPattern(const std::string& codec)
{
    return LinePattern("^a=rtpmap:(\\d+) " + Quote(codec));
}

std::vector<std::string> SplitAtSpaces(const std::string& line)
{
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (;;) {
        const auto space = line.find(' ', start);
        if (space == std::string::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, space - start));
        start = space + 1;
    }
}

} // namespace

std::vector<std::string> SplitSdpLines(const std::string& sdp)
{
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    std::string::size_type i = 0;
    while (i < sdp.size()) {
        const char c = sdp[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(sdp.substr(start, i - start));
            if (c == '\r' && i + 1 < sdp.size() && sdp[i + 1] == '\n')
                ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < sdp.size())
        lines.push_back(sdp.substr(start));
    return lines;
}

std::string JoinSdpLines(const std::vector<std::string>& lines)
{
    std::string out;
    for (const auto& line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

std::string PreferCodec(const std::string& sdp, const std::string& codec, bool audio)
{
    std::vector<std::string> lines = SplitSdpLines(sdp);
    LinePattern rtpmap = RtpmapPattern(codec);
    const char* mediaPrefix = audio ? "m=audio " : "m=video ";

    // The codec's rtpmap line normally follows its media line, but the walk
    // goes on until both are seen, whichever comes first.
    long mediaLine = -1;
    std::string payloadType;
    for (std::size_t i = 0; i < lines.size() && (mediaLine < 0 || payloadType.empty()); ++i) {
        std::string group;
        if (StartsWith(lines[i], mediaPrefix))
            mediaLine = static_cast<long>(i);
        else if (StartsWith(lines[i], "a=rtpmap:") && rtpmap.Match(lines[i], &group))
            payloadType = group;
    }
    if (mediaLine < 0 || payloadType.empty())
        return sdp;

    const std::vector<std::string> fields = SplitAtSpaces(lines[mediaLine]);
    if (fields.size() > 3) {
        std::string rebuilt = fields[0] + ' ' + fields[1] + ' ' + fields[2] + ' ' + payloadType;
        for (std::size_t f = 3; f < fields.size(); ++f)
            if (fields[f] != payloadType)
                rebuilt += ' ' + fields[f];
        lines[mediaLine] = rebuilt;
    }
    return JoinSdpLines(lines);
}

std::string SetCodecBitrate(const std::string& codec, bool video, int bitrate, const std::string& sdp)
{
    std::vector<std::string> lines = SplitSdpLines(sdp);
    LinePattern rtpmap = RtpmapPattern(codec);

    std::string payloadType;
    std::size_t rtpmapLine = 0;
    for (; rtpmapLine < lines.size(); ++rtpmapLine)
        if (StartsWith(lines[rtpmapLine], "a=rtpmap:") && rtpmap.Match(lines[rtpmapLine], &payloadType))
            break;
    if (rtpmapLine == lines.size())
        return sdp;

    // 64 bits: the audio form multiplies by 1000, which would overflow an int
    // for bitrates above two million kbit/s.
    const std::string parameter = video
        ? "x-google-start-bitrate=" + std::to_string(bitrate)
        : "maxaveragebitrate=" + std::to_string(static_cast<std::int64_t>(bitrate) * 1000);

    // No anchor after the payload type: a format line of a longer payload type
    // that begins with the same digits is extended too.
    LinePattern fmtp("^a=fmtp:" + payloadType);
    bool changed = false;
    for (auto& line : lines) {
        if (StartsWith(line, "a=fmtp:") && fmtp.Match(line)) {
            line += "; " + parameter;
            changed = true;
        }
    }
    if (!changed)
        lines.insert(lines.begin() + static_cast<long>(rtpmapLine) + 1, "a=fmtp:" + payloadType + " " + parameter);
    return JoinSdpLines(lines);
}

} // namespace corvala

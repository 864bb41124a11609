#pragma once
// What crsignal reads of a client's line: the whole line must be one JSON
// object (anything else is ignored as malformed), and of its members only
// the five the server acts on are kept, as views, without building a
// document of the rest. Relaying a "message" is the server's busiest work
// and needs three members of a line it passes on untouched, so the line is
// validated by simdjson into a parser that keeps its buffers between lines.
//
// A line that names one of these members twice is malformed: the server and
// the receiving peer must not read different values from one line (JSON
// readers differ on which copy wins), or a sender could pass the identity
// check with one "from" and show the peer another.

#include <memory>
#include <optional>
#include <string_view>

namespace corvala::signal {

// One member as the server reads it: a missing member reads as empty text;
// nullopt when the member is there with a value that is not text.
using TextMember = std::optional<std::string_view>;

struct LineMembers {
    TextMember msg{""}, from{""}, to{""}, type{""}, payload{""};
};

namespace detail {
class Parser;  // simdjson's, kept out of this header
}

// One per thread: the views it hands out point into its own buffers.
class LineReader {
public:
    LineReader();
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Reads `line` into `out`; nullptr when it is one JSON object, otherwise
    // why the line is malformed. The views stay valid until the next read.
    const char* read(std::string_view line, LineMembers& out);

private:
    std::unique_ptr<detail::Parser> parser_;
};

}  // namespace corvala::signal

#include "LineMembers.h"

#include <simdjson.h>

#include <array>
#include <utility>

namespace corvala::signal {

namespace detail {
class Parser {
public:
    simdjson::dom::parser dom;
    std::string padded;  // the line and simdjson's zero padding after it
};
}  // namespace detail

LineReader::LineReader() : parser_(std::make_unique<detail::Parser>()) {}
LineReader::~LineReader() = default;

const char* LineReader::read(std::string_view line, LineMembers& out) {
    out = LineMembers{};
    // simdjson reads past the end in wide steps: the line goes into a
    // buffer with the padding it needs, reused from line to line.
    std::string& padded = parser_->padded;
    padded.assign(line);
    padded.append(simdjson::SIMDJSON_PADDING, '\0');
    simdjson::dom::element doc;
    if (parser_->dom.parse(padded.data(), line.size(), false).get(doc) != simdjson::SUCCESS) return "not a JSON object";
    simdjson::dom::object object;
    if (doc.get_object().get(object) != simdjson::SUCCESS) return "not a JSON object";

    const std::array<std::pair<std::string_view, TextMember*>, 5> wanted{{
        {"msg", &out.msg}, {"from", &out.from}, {"to", &out.to}, {"type", &out.type}, {"payload", &out.payload}}};
    std::array<bool, wanted.size()> seen{};
    for (const auto field : object) {
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            if (field.key != wanted[i].first) continue;
            if (seen[i]) return "a member named twice";
            seen[i] = true;
            std::string_view text;
            if (field.value.get_string().get(text) == simdjson::SUCCESS) *wanted[i].second = text;
            else *wanted[i].second = std::nullopt;
        }
    }
    return nullptr;
}

}  // namespace corvala::signal

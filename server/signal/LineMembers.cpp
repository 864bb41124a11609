#include "LineMembers.h"

#include <array>
#include <utility>

namespace corvala::signal {

const char* LineReader::read(std::string_view line, LineMembers& out) {
    out = LineMembers{std::string_view(), std::string_view(), std::string_view(), std::string_view(), std::string_view()};
    // simdjson reads past the end in wide steps: the line goes into a
    // buffer with the padding it needs, reused from line to line.
    padded_.assign(line);
    padded_.append(simdjson::SIMDJSON_PADDING, '\0');
    simdjson::dom::element doc;
    if (parser_.parse(padded_.data(), line.size(), false).get(doc) != simdjson::SUCCESS) return "not a JSON object";
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

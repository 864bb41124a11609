// Framing of received bytes into lines, as both the program and crsignal cut
// them: CR LF and LF endings, the line limit with the CR that may still come,
// and the over-long line that ends the stream instead of being cut into pieces.
#include "signalling/LineFramer.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using corvala::LineFramer;

namespace {

constexpr std::size_t kLimit = 8;

struct Outcome {
    std::vector<std::string> lines;
    bool withinLimit = true;
    friend bool operator==(const Outcome&, const Outcome&) = default;
    friend void PrintTo(const Outcome& o, std::ostream* os) {
        *os << (o.withinLimit ? "within limit:" : "overflowed:");
        for (const auto& l : o.lines) *os << " [" << l << "]";
    }
};

// Feeds the chunks in order, as reads from a socket would deliver them, and
// keeps feeding after an overflow: nothing may come out after it.
Outcome frame(const std::vector<std::string>& chunks) {
    LineFramer framer(kLimit);
    Outcome out;
    for (const auto& chunk : chunks)
        out.withinLimit = framer.feed(chunk, [&](std::string_view line) {
            out.lines.emplace_back(line);
            return true;
        });
    return out;
}

std::vector<std::string> oneBytePerRead(const std::vector<std::string>& chunks) {
    std::vector<std::string> bytes;
    for (const auto& chunk : chunks)
        for (char c : chunk) bytes.emplace_back(1, c);
    return bytes;
}

struct Case {
    const char* name;
    std::vector<std::string> chunks;
    Outcome expected;
};

class LineFraming : public ::testing::TestWithParam<Case> {};

TEST_P(LineFraming, FramesAsTheWireDoesHoweverTheBytesArrive) {
    EXPECT_EQ(frame(GetParam().chunks), GetParam().expected);
    EXPECT_EQ(frame(oneBytePerRead(GetParam().chunks)), GetParam().expected) << "one byte per read";
}

INSTANTIATE_TEST_SUITE_P(
    Signalling, LineFraming,
    ::testing::Values(
        Case{"crlf_and_lf_unfinished_tail_kept_back", {"a\r\nb\nc"}, {{"a", "b"}, true}},
        Case{"only_the_cr_before_lf_is_dropped", {"a\r\r\n\rb\nc\rd\n"}, {{"a\r", "\rb", "c\rd"}, true}},
        Case{"split_across_reads", {"ab", "c", "\r", "\nd\n"}, {{"abc", "d"}, true}},
        Case{"empty_lines_are_lines", {"\n\r\n"}, {{"", ""}, true}},
        Case{"longest_line_with_and_without_cr", {"12345678\r\n12345678\n"}, {{"12345678", "12345678"}, true}},
        Case{"longest_line_cr_in_its_own_read", {"12345678", "\r", "\n"}, {{"12345678"}, true}},
        Case{"longest_line_waiting_for_its_lf", {"12345678\r"}, {{}, true}},
        Case{"one_too_long_finished", {"123456789\n"}, {{}, false}},
        Case{"one_too_long_unfinished", {"123456789"}, {{}, false}},
        Case{"cr_inside_a_too_long_line", {"12345678\rx"}, {{}, false}},
        Case{"too_long_over_reads", {"1234", "56789", "\n"}, {{}, false}},
        Case{"lines_before_the_long_one_count", {"ok\n123456789"}, {{"ok"}, false}},
        Case{"nothing_after_the_long_one", {"123456789\nnext\n", "late\n"}, {{}, false}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LineFramer, StopsWhenTheHandlerSaysSoAndGoesOnWithTheNextRead) {
    LineFramer framer(100);
    std::vector<std::string> seen;
    auto record = [&](std::string_view line) {
        seen.emplace_back(line);
        return seen.size() != 2;
    };
    EXPECT_TRUE(framer.feed("a\nb\nc\n", record));
    EXPECT_TRUE(framer.feed("d\n", record));
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "d"}));
}

TEST(LineFramer, ALineCollectedOverReadsStaysValidUntilTheNextCall) {
    LineFramer framer(100);
    std::string_view first = "hel", second = "lo\nworld\n";
    EXPECT_FALSE(framer.next(first));
    const auto hello = framer.next(second);
    ASSERT_TRUE(hello);
    EXPECT_EQ(*hello, "hello");
    EXPECT_EQ(framer.next(second), "world");
    EXPECT_TRUE(second.empty());
}

}  // namespace

#include "LineSplitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using corvala::signal::LineSplitter;

namespace {

struct Outcome {
    std::vector<std::string> lines;
    bool withinLimit = true;
};

// Feeds the chunks in order, as reads from a socket would deliver them.
Outcome split(const std::vector<std::string>& chunks, std::size_t maxLine = 8) {
    LineSplitter splitter(maxLine);
    Outcome out;
    for (const auto& chunk : chunks) {
        out.withinLimit = splitter.feed(chunk, [&](std::string_view line) {
            out.lines.emplace_back(line);
            return true;
        });
        if (!out.withinLimit) break;
    }
    return out;
}

struct Case {
    const char* name;
    std::vector<std::string> chunks;
    std::vector<std::string> lines;
    bool withinLimit;
};

class LineSplitting : public ::testing::TestWithParam<Case> {};

TEST_P(LineSplitting, FramesAsTheWireDoes) {
    const Outcome out = split(GetParam().chunks);
    EXPECT_EQ(out.lines, GetParam().lines);
    EXPECT_EQ(out.withinLimit, GetParam().withinLimit);
}

INSTANTIATE_TEST_SUITE_P(
    Signal, LineSplitting,
    ::testing::Values(
        Case{"crlf_and_lf", {"a\r\nb\nc"}, {"a", "b"}, true},
        Case{"only_the_last_cr_is_dropped", {"a\r\r\n\rb\n"}, {"a\r", "\rb"}, true},
        Case{"split_across_reads", {"ab", "c", "\r", "\nd\n"}, {"abc", "d"}, true},
        Case{"empty_lines_are_lines", {"\n\r\n"}, {"", ""}, true},
        Case{"longest_line", {"12345678\r\n"}, {"12345678"}, true},
        Case{"longest_line_cr_in_its_own_read", {"12345678", "\r", "\n"}, {"12345678"}, true},
        Case{"one_too_long_finished", {"123456789\n"}, {}, false},
        Case{"one_too_long_unfinished", {"123456789"}, {}, false},
        Case{"too_long_over_reads", {"1234", "56789", "\n"}, {}, false},
        Case{"lines_before_the_long_one_count", {"ok\n123456789"}, {"ok"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LineSplitter, StopsWhenTheHandlerSaysSo) {
    LineSplitter splitter(100);
    std::vector<std::string> seen;
    EXPECT_TRUE(splitter.feed("a\nb\nc\n", [&](std::string_view line) {
        seen.emplace_back(line);
        return seen.size() < 2;
    }));
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b"}));
}

}  // namespace

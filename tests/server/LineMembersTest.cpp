// How crsignal reads a client's line: one table of lines and what the server
// may act on, including the lines a sender could use to show the server one
// identity and the receiving peer another.
#include "LineMembers.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using corvala::signal::LineMembers;
using corvala::signal::LineReader;
using corvala::signal::TextMember;

namespace {

// "-" stands for a member that is there but not text (nullopt).
std::string shown(const TextMember& m) { return m ? std::string(*m) : std::string("-"); }

struct LineCase {
    const char* name;
    std::string line;
    bool wellFormed;
    // msg, from, to, type, payload as read (only checked when well formed)
    const char* msg = "";
    const char* from = "";
    const char* to = "";
    const char* type = "";
    const char* payload = "";
    friend void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }
};

class LineReading : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineReading, KeepsTheServersMembersOrRefusesTheLine) {
    const LineCase& c = GetParam();
    LineReader reader;
    LineMembers m;
    // A longer line read first: nothing of it may show through the next.
    ASSERT_EQ(reader.read(R"({"msg":"message","from":")" + std::string(3000, 'a') + R"(","to":"b","payload":"p"})", m),
              nullptr);
    const char* why = reader.read(c.line, m);
    if (!c.wellFormed) {
        EXPECT_NE(why, nullptr);
        return;
    }
    ASSERT_EQ(why, nullptr);
    EXPECT_EQ(shown(m.msg), c.msg);
    EXPECT_EQ(shown(m.from), c.from);
    EXPECT_EQ(shown(m.to), c.to);
    EXPECT_EQ(shown(m.type), c.type);
    EXPECT_EQ(shown(m.payload), c.payload);
}

INSTANTIATE_TEST_SUITE_P(
    Signal, LineReading,
    ::testing::Values(
        LineCase{"full_envelope",
                 R"({"msg":"message","from":"111","to":"222","type":"init","payload":"{\"a\":1}","password":"","username":"u","version":"4"})",
                 true, "message", "111", "222", "init", R"({"a":1})"},
        LineCase{"missing_members_read_as_empty", R"({"msg":"join"})", true, "join"},
        LineCase{"members_that_are_not_text", R"({"msg":"join","payload":{"msg":"x"},"to":5,"from":null,"type":[]})",
                 true, "join", "-", "-", "-", "-"},
        LineCase{"escapes_are_undone", R"({"msg":"join","payload":"\u00e9\n\"1\""})", true, "join", "", "", "",
                 "\xc3\xa9\n\"1\""},
        LineCase{"unknown_members_may_repeat", R"({"msg":"p","x":1,"x":2})", true, "p"},
        // JSON readers differ on which copy of a repeated member wins: the
        // server must not check one "from" while the peer reads the other.
        LineCase{"repeated_from", R"({"msg":"message","from":"mallory","to":"bob","from":"alice"})", false},
        LineCase{"repeated_to", R"({"msg":"message","from":"a","to":"bob","to":"eve"})", false},
        LineCase{"repeated_msg", R"({"msg":"join","msg":"message"})", false},
        LineCase{"not_an_object", R"(["msg","join"])", false},
        LineCase{"text_after_the_object", R"({"msg":"join"} {"msg":"join"})", false},
        LineCase{"cut_short", R"({"msg":"join","payload":"12)", false},
        LineCase{"invalid_utf8", std::string("{\"msg\":\"join\",\"payload\":\"\xff\xfe\"}"), false},
        LineCase{"lone_surrogate", R"({"msg":"join","payload":"\ud800"})", false},
        LineCase{"empty", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

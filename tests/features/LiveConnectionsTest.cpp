// The live-connections window's lines and what "Disconnect Selected" ends.
#include "features/LiveConnections.h"

#include <gtest/gtest.h>

namespace corvala {
namespace {

TEST(LiveConnections, LinesNameEachPeerWithoutLettingANameForgeAnId) {
    EXPECT_EQ(LiveConnectionLines({{"Ulla", "111222333"}, {"", "444555666"}, {"(777888999)", "123123123"}}),
              QStringList({"Ulla (111222333)", "444555666", "777888999 (123123123)"}));
}

TEST(LiveConnections, DisconnectSelectedRemovesSelectedLinesAndEndsTheirIds) {
    const QStringList lines{"A (111111111)", "B (222222222)", "no id (", "C (333333333)"};
    struct Case {
        const char* name;
        QList<bool> selected;
        QStringList remaining;
        QStringList ended;
    } cases[] = {
        {"none", {false, false, false, false}, lines, {}},
        {"one", {false, true, false, false}, {"A (111111111)", "no id (", "C (333333333)"}, {"222222222"}},
        {"several, ended in the lines' order",
         {true, false, false, true},
         {"B (222222222)", "no id ("},
         {"111111111", "333333333"}},
        {"a line without an ID goes but ends nothing",
         {false, false, true, false},
         {"A (111111111)", "B (222222222)", "C (333333333)"},
         {}},
        {"all", {true, true, true, true}, {}, {"111111111", "222222222", "333333333"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DisconnectSelection result = DisconnectSelected(lines, c.selected);
        EXPECT_EQ(result.RemainingLines, c.remaining);
        EXPECT_EQ(result.IdsToEnd, c.ended);
    }
}

}  // namespace
}  // namespace corvala

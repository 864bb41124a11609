#include <gtest/gtest.h>

#include "core/CloseQuery.h"
#include "base/ProductInfo.h"

namespace corvala {
namespace {

// Answers the questions from a list and writes down what was asked.
struct RecordingAnswers : ICloseQuestions {
    std::vector<bool> confirmAnswers;  // in order; Cancel once they run out
    std::size_t next = 0;
    std::vector<QString> asked;        // "W:" warnings, "C:" confirmations
    bool disabled = false;

    void ShowWarning(const QString& text) override { asked.push_back("W:" + text); }
    bool Confirm(const QString& text) override {
        asked.push_back("C:" + text);
        return next < confirmAnswers.size() ? confirmAnswers[next++] : false;
    }
    void DisableAutostart() override { disabled = true; }
};

// Every path through the questions asked before the program closes.
TEST(CloseQuery, AsksTheRightQuestionsInOrder) {
    struct Case {
        const char* name;
        CloseQueryState state;
        std::vector<bool> confirmAnswers;   // answers given, in order
        bool closes;
        std::vector<QString> asked;         // "W:" warnings, "C:" confirmations
        bool autostartDisabled;
    };
    const QString exit = "Do you really want to exit?";
    const QString autostart = "Please disable autostart!";
    const QString withPeers = "All active connections will be closed. Do you really want to exit?";
    const Case cases[] = {
        {"plain host, OK", {}, {true}, true, {"C:" + exit}, false},
        {"plain host, Cancel", {}, {false}, false, {"C:" + exit}, false},
        {"viewer without peers asks nothing", {.MasterMode = true}, {}, true, {}, false},
        {"peers connected", {.PeersConnected = true}, {true}, true, {"C:" + withPeers}, false},
        {"viewer with peers", {.MasterMode = true, .PeersConnected = true}, {false}, false, {"C:" + withPeers}, false},
        {"autostart on, OK then OK", {.AutostartMarkerExists = true}, {true, true}, true,
         {"C:" + autostart, "C:" + exit}, true},
        {"autostart on, Cancel", {.AutostartMarkerExists = true}, {false}, false, {"C:" + autostart}, false},
        {"autostart on, OK then Cancel", {.AutostartMarkerExists = true}, {true, false}, false,
         {"C:" + autostart, "C:" + exit}, true},
        {"autostart on in a forced update", {.AutostartMarkerExists = true, .ForcedUpdateShown = true}, {}, false,
         {"W:" + autostart}, false},
        {"autostart marker ignored in viewer mode", {.AutostartMarkerExists = true, .MasterMode = true}, {}, true, {}, false},
        {"session ending asks nothing", {.EndingSession = true, .AutostartMarkerExists = true, .PeersConnected = true},
         {}, true, {}, false},
    };
    for (const auto& c : cases) {
        RecordingAnswers answers;
        answers.confirmAnswers = c.confirmAnswers;
        EXPECT_EQ(QueryClose(c.state, answers), c.closes) << c.name;
        EXPECT_EQ(answers.asked, c.asked) << c.name;
        EXPECT_EQ(answers.disabled, c.autostartDisabled) << c.name;
    }
}

TEST(ProductInfo, VersionTextPutsAPointBeforeTheLastDigit) {
    EXPECT_EQ(VersionText(42), "4.2");
    EXPECT_EQ(VersionText(110), "11.0");
    EXPECT_EQ(VersionText(7), "0.7");
}

}  // namespace
}  // namespace corvala

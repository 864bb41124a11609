// The caption text in every peer and mode combination, with the real
// language table, and the activity indicator's sequence.

#include <gtest/gtest.h>

#include "i18n/Translator.h"
#include "window/WindowCaption.h"

namespace corvala {
namespace {

class WindowCaptionTest : public ::testing::Test {
protected:
    void SetUp() override { translator().buildFromUtf8(embeddedLanguageTable()); }
    void TearDown() override { translator().setLanguageIndex(0); }
};

TEST_F(WindowCaptionTest, Cases) {
    struct Case {
        const char* language;
        int peers;
        bool onlyViewing;
        const char* text;
        bool infoButtons;
    } cases[] = {
        {"en", 0, false, "Corvala 4.2", false},
        {"en", 0, true, "DEMONSTRATION - Corvala", false},
        {"en", 1, false, "Connections: 1", true},
        {"en", 3, true, "DEMONSTRATION - Connections: 3", true},
        {"de", 2, false, nullptr, true},
    };
    for (const auto& c : cases) {
        translator().setLanguageCode(c.language);
        const WindowCaption caption = ComposeWindowCaption(c.peers, c.onlyViewing, "Corvala", "4.2");
        if (c.text) EXPECT_EQ(caption.Text, QString::fromUtf8(c.text)) << c.peers << c.onlyViewing;
        else {
            // Translated first, then filled.
            QString expected = translate("Connections: %s");
            expected.replace("%s", "2");
            EXPECT_NE(expected, "Connections: 2");
            EXPECT_EQ(caption.Text, expected);
        }
        EXPECT_EQ(caption.ShowInfoButtons, c.infoButtons) << c.peers;
    }
}

TEST(ActivitySequence, LightsOneShapeAfterAnotherThenNoneAndPausesWhileHidden) {
    ActivitySequence sequence;
    std::vector<int> lit;
    for (int i = 0; i < 6; ++i) lit.push_back(sequence.Step(true));
    EXPECT_EQ(lit, (std::vector<int>{0, 1, 2, 3, ActivitySequence::None, 0}));
    EXPECT_EQ(sequence.Step(false), 0);
    EXPECT_EQ(sequence.Step(true), 1);
}

}  // namespace
}  // namespace corvala

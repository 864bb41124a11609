#include "i18n/WindowTexts.h"

#include <QVariant>

#include <gtest/gtest.h>

#include "i18n/Translator.h"

namespace corvala {
namespace {

class WindowTexts : public ::testing::Test {
protected:
    void SetUp() override {
        translator().build({"2", "English", "Deutsch", "en", "de", "Send File", "Datei senden",
                            "Language", "Sprache", "Chat", ""});
        translator().setLanguageCode("de");
        window.setObjectName("window");
        menuItem.setObjectName("SendFile1");
        label.setObjectName("labelLanguage");
        menuItem.setParent(&window);
        label.setParent(&window);
    }
    void TearDown() override { translator().build({}); }
    QObject window, menuItem, label;
};

TEST_F(WindowTexts, SetsTranslatedTextsWithSuffix) {
    static constexpr TextTarget kTargets[] = {
        {"", "windowTitle", "Chat"},
        {"SendFile1", "text", "Send File", "..."},
        {"labelLanguage", "text", "Language"},
    };
    EXPECT_EQ(translateTexts(&window, kTargets), 0);
    EXPECT_EQ(window.property("windowTitle").toString(), "Chat");  // empty cell
    EXPECT_EQ(menuItem.property("text").toString(), "Datei senden...");
    EXPECT_EQ(label.property("text").toString(), "Sprache");

    // A later language choice runs the same table again.
    translator().setLanguageCode("en");
    translateTexts(&window, kTargets);
    EXPECT_EQ(menuItem.property("text").toString(), "Send File...");
}

TEST_F(WindowTexts, ReportsTargetsThatAreMissing) {
    static constexpr TextTarget kTargets[] = {
        {"SendFile1", "text", "Send File", "..."},
        {"NoSuchItem", "text", "Language"},
    };
    EXPECT_EQ(translateTexts(&window, kTargets), 1);
    EXPECT_EQ(menuItem.property("text").toString(), "Datei senden...");
}

}  // namespace
}  // namespace corvala

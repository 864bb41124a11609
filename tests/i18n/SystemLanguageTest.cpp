#include "i18n/SystemLanguage.h"

#include <gtest/gtest.h>

namespace corvala {
namespace {

TEST(SystemLanguage, PrimaryLanguageDecides) {
    struct Case {
        std::uint16_t id;
        const char* code;
    };
    const Case cases[] = {
        {0x0407, "de"}, {0x0807, "de"}, {0x0408, "el"}, {0x0409, "en"}, {0x0809, "en"},
        {0x040A, "es"}, {0x0C0A, "es"}, {0x040C, "fr"}, {0x0410, "it"}, {0x0413, "nl"},
        {0x0416, "pt"},  // Brazilian Portuguese
        {0x0816, "pt"}, {0x0419, "ru"}, {0x041D, "se"}, {0x041F, "tr"},
        {0x0414, "en"},  // Norwegian Bokmål
        {0x0814, "en"},  // Norwegian Nynorsk
        {0x0411, "en"}, {0x0000, "en"}, {0xFFFF, "en"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(defaultLanguageCode(c.id), c.code) << std::hex << c.id;
}

TEST(SystemLanguage, LocalesMapToTheirColumn) {
    struct Case {
        const char* locale;
        const char* code;
    };
    const Case cases[] = {
        {"pt_BR", "pt"}, {"pt_PT", "pt"}, {"nb_NO", "en"}, {"nn_NO", "en"}, {"sv_SE", "se"},
        {"sv_FI", "se"}, {"el_GR", "el"}, {"tr_TR", "tr"}, {"ru_RU", "ru"}, {"de_AT", "de"},
        {"nl_BE", "nl"}, {"fr_CA", "fr"}, {"it_CH", "it"}, {"es_MX", "es"}, {"en_US", "en"},
        {"ja_JP", "en"}, {"C", "en"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(defaultLanguageCode(primaryLanguageId(QLocale(c.locale))), c.code) << c.locale;
}

}  // namespace
}  // namespace corvala

// The branding file's text: the two lines, the line ends and marks it may
// carry, and the banner names that are no plain file name.
#include "core/BrandingFile.h"

#include <gtest/gtest.h>

namespace corvala {
namespace {

TEST(BrandingFile, ReadsExactlyTwoLines) {
    struct Case {
        const char* name;
        QByteArray bytes;
        std::optional<std::pair<QString, QString>> expected;  // contact, banner name
    };
    const Case cases[] = {
        {"lf", "help@example.org\nbanner.png", {{"help@example.org", "banner.png"}}},
        {"crlf and a final line end", "help@example.org\r\nbanner.png\r\n", {{"help@example.org", "banner.png"}}},
        {"byte-order mark", "\xEF\xBB\xBFhelp\nb.png\n", {{"help", "b.png"}}},
        {"utf-8 contact", "Zo\xC3\xAB\nb.png", {{u"Zo\u00EB"_qs, "b.png"}}},
        {"empty banner line", "help\n\n", {{"help", ""}}},
        {"banner as a path", "help\n../b.png", {{"help", ""}}},
        {"banner as an absolute path", "help\n/etc/b.png", {{"help", ""}}},
        {"one line", "help\n", std::nullopt},
        {"three lines", "help\nb.png\nmore\n", std::nullopt},
        {"two final line ends", "help\nb.png\n\n", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<BrandingText> read = ReadBrandingText(c.bytes);
        ASSERT_EQ(read.has_value(), c.expected.has_value()) << c.name;
        if (!read) continue;
        EXPECT_EQ(read->Contact, c.expected->first) << c.name;
        EXPECT_EQ(read->BannerName, c.expected->second) << c.name;
    }
}

}  // namespace
}  // namespace corvala

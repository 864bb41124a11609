// Framing of received bytes into lines, including the over-long line that
// must end the stream instead of being cut into pieces.
#include "signalling/LineFramer.h"

#include <gtest/gtest.h>

#include <vector>

using namespace corvala;

namespace {

std::vector<QByteArray> feed(LineFramer& f, const QByteArray& bytes, qsizetype piece) {
    std::vector<QByteArray> lines;
    for (qsizetype i = 0; i < bytes.size(); i += piece) {
        f.append(bytes.constData() + i, std::min(piece, bytes.size() - i));
        while (auto l = f.takeLine()) lines.push_back(*l);
    }
    return lines;
}

TEST(LineFramer, SplitsAtLfAndDropsOnlyTheCrBeforeIt) {
    for (qsizetype piece : {1, 3, 1000}) {
        LineFramer f(16);
        const auto lines = feed(f, "a\r\nb\n\r\nc\rd\r\n\npartial", piece);
        EXPECT_EQ(lines, (std::vector<QByteArray>{"a", "b", "", "c\rd", ""})) << piece;
        EXPECT_FALSE(f.overflowed());
    }
}

TEST(LineFramer, AcceptsALineOfExactlyTheLimitWithItsCr) {
    LineFramer f(16);
    const QByteArray full(16, 'x');
    EXPECT_EQ(feed(f, full + "\r\n" + full + "\n", 1), (std::vector<QByteArray>{full, full}));
    EXPECT_FALSE(f.overflowed());
}

TEST(LineFramer, OverLongLineEndsTheStreamWhetherOrNotItsEndArrived) {
    for (const QByteArray& input : {QByteArray(17, 'x') + "\nnext\n", QByteArray(40, 'x')}) {
        LineFramer f(16);
        EXPECT_TRUE(feed(f, input, 5).empty());
        EXPECT_TRUE(f.overflowed());
        f.append("late\n", 5);
        EXPECT_FALSE(f.takeLine()) << "nothing after the over-long line may pass as a line";
    }
}

}  // namespace

// The review line: its payload as the server expects it, and the bound that
// keeps the escaped line within the wire's limit.
#include "features/Review.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "signalling/SignallingMessage.h"

namespace corvala {
namespace {

TEST(Review, PayloadAndLine) {
    TReview review;
    EXPECT_FALSE(review.Rated());
    review.Ratings = {5, 4, 3, 1};
    review.Text = QString::fromUtf8("très bien\nmerci");
    ASSERT_TRUE(review.Rated());
    EXPECT_EQ(review.Payload("123456789", true), QString::fromUtf8("ID:123456789; first review:yes; ratings:5431; review:très bien\nmerci"));
    EXPECT_EQ(review.Payload("123456789", false).section(';', 1, 1), " first review:no");
    const auto object = ParseSignallingLine(review.Line("123456789", true));
    ASSERT_TRUE(object);
    const Envelope e = Envelope::FromObject(*object);
    EXPECT_EQ(e.msg, "review");
    EXPECT_EQ(e.from, "123456789");
    EXPECT_TRUE(e.to.isEmpty() && e.password.isEmpty() && e.username.isEmpty() && e.version.isEmpty());
    EXPECT_EQ(e.payload, review.Payload("123456789", true));
}

TEST(Review, RatingsOutsideOneToFiveAreNotARating) {
    for (const std::array<int, 4>& ratings : {std::array<int, 4>{0, 5, 5, 5}, {5, 6, 5, 5}, {5, 5, -1, 5}}) {
        TReview review;
        review.Ratings = ratings;
        EXPECT_FALSE(review.Rated());
    }
}

// A character outside ASCII takes six characters on the wire: the allowance
// follows the escaped line, not the number of characters typed.
TEST(Review, TheBoundFollowsTheEscapedLine) {
    TReview ascii, greek;
    ascii.Ratings = greek.Ratings = {1, 2, 3, 4};
    while (ascii.Excess("1", true) < 0) ascii.Text += 'a';
    while (greek.Excess("1", true) < 0) greek.Text += QChar(0x03B1);
    EXPECT_EQ(ascii.Excess("1", true), 0);
    EXPECT_EQ(ascii.Line("1", true).size(), qsizetype(wire::MaxLineLength));
    EXPECT_GT(ascii.Text.size(), 5 * greek.Text.size());
    ascii.Text += 'a';
    EXPECT_EQ(ascii.Excess("1", true), 1);
}

TEST(ReviewRecord, TheFirstReviewIsRememberedOutsideTheSettings) {
    QTemporaryDir folder;
    TReviewRecord record(folder.filePath(TReviewRecord::FileName));
    EXPECT_TRUE(record.FirstReview());
    EXPECT_TRUE(record.MarkSent());
    EXPECT_FALSE(TReviewRecord(folder.filePath(TReviewRecord::FileName)).FirstReview());
}

}  // namespace
}  // namespace corvala

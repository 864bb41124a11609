#include "settings/DtRecord.h"

#include <gtest/gtest.h>

namespace corvala {
namespace {

TEST(DtRecord, FieldEncodingIsLittleEndianAndUtf16) {
    DtWriter w;
    w.writeInt32(7);
    w.writeString(QStringLiteral("Aé"));
    w.writeFlag(true);
    w.writeString(QString());
    w.writeRect({-1, 2, 0x01020304, -2147483647 - 1});
    const QByteArray expected = QByteArray::fromHex(
        "07000000"
        "02000000" "4100" "e900"
        "01"
        "00000000"
        "ffffffff" "02000000" "04030201" "00000080");
    EXPECT_EQ(w.data().toHex(), expected.toHex());

    DtReader r(w.data());
    EXPECT_EQ(r.readInt32(), 7);
    EXPECT_EQ(r.readString(), QStringLiteral("Aé"));
    EXPECT_TRUE(r.readFlag());
    EXPECT_EQ(r.readString(), QString());
    EXPECT_EQ(r.readRect(), (WindowRect{-1, 2, 0x01020304, -2147483647 - 1}));
    EXPECT_EQ(r.remaining(), 0);
}

TEST(DtRecord, SurrogatePairsCountAsTwoUnits) {
    DtWriter w;
    w.writeString(QString::fromUtf8("\xF0\x9F\x98\x80"));  // one emoji, two UTF-16 units
    EXPECT_EQ(w.data().left(4), QByteArray::fromHex("02000000"));
    DtReader r(w.data());
    EXPECT_EQ(r.readString(), QString::fromUtf8("\xF0\x9F\x98\x80"));
}

TEST(DtRecord, ImpossibleFieldsThrowInsteadOfReadingPastTheEnd) {
    struct Case {
        const char* name;
        QByteArray data;
    };
    const Case cases[] = {
        {"int32 short", QByteArray::fromHex("010203")},
        {"string count beyond data", QByteArray::fromHex("03000000" "4100" "4200")},
        {"negative string count", QByteArray::fromHex("ffffffff")},
        {"huge string count", QByteArray::fromHex("ffffff7f")},
        {"empty", QByteArray()},
    };
    for (const auto& c : cases) {
        DtReader r(c.data);
        EXPECT_THROW(r.readString(), DtReadError) << c.name;
    }
    DtReader r(QByteArray::fromHex("01"));
    EXPECT_THROW(r.readBytes(2), DtReadError);
    EXPECT_TRUE(r.readFlag());
    EXPECT_THROW(r.readFlag(), DtReadError);
}

TEST(CommaText, Join) {
    struct Case {
        QStringList items;
        QString text;
    };
    const Case cases[] = {
        {{}, ""},
        {{""}, "\"\""},
        {{"123456789"}, "123456789"},
        {{"123456789", "987654321"}, "123456789,987654321"},
        {{"Ulla Trevik (123456789)", "555"}, "\"Ulla Trevik (123456789)\",555"},
        {{"a,b"}, "\"a,b\""},
        {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
        {{"a", "", "b"}, "a,,b"},
        {{"tab\there"}, "\"tab\there\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(joinCommaText(c.items), c.text) << c.text.toStdString();
}

TEST(CommaText, Split) {
    struct Case {
        QString text;
        QStringList items;
    };
    const Case cases[] = {
        {"", {}},
        {"   ", {}},
        {"\"\"", {""}},
        {"1,2,3", {"1", "2", "3"}},
        {"1 2  3", {"1", "2", "3"}},          // unquoted space separates too
        {" 1 , 2 ", {"1", "2"}},              // blanks around items are dropped
        {"a,,b", {"a", "", "b"}},
        {"a,", {"a", ""}},
        {",a", {"", "a"}},
        {"\"Ulla Trevik (1)\",2", {"Ulla Trevik (1)", "2"}},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
        {"\"unterminated", {"unterminated"}},
        {"\"a\"b", {"a", "b"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(splitCommaText(c.text), c.items) << c.text.toStdString();
}

TEST(CommaText, RoundTripOfAwkwardItems) {
    const QStringList lists[] = {
        {""},
        {"", ""},
        {"x", "", ""},
        {" leading", "trailing ", "in side", "com,ma", "\"", "\"\"", "plain"},
        {"Ünïcødé name (123)", "Ελληνικά"},
    };
    for (const auto& items : lists)
        EXPECT_EQ(splitCommaText(joinCommaText(items)), items) << joinCommaText(items).toStdString();
}

}  // namespace
}  // namespace corvala

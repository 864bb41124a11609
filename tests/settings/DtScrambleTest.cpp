#include "settings/DtScramble.h"

#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace corvala {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes encoded(const Bytes& in, const DtScrambleKey& key = kDtScrambleKey) {
    Bytes out(in.size());
    EXPECT_TRUE(dtEncode(in, out, key));
    return out;
}

Bytes decoded(const Bytes& in, const DtScrambleKey& key = kDtScrambleKey) {
    Bytes out(in.size());
    EXPECT_TRUE(dtDecode(in, out, key));
    return out;
}

TEST(DtScramble, DecodeUndoesEncodeForAnyBlock) {
    std::mt19937 rng(7);
    for (std::size_t len : {0u, 1u, 2u, 3u, 255u, 256u, 4097u}) {
        Bytes block(len);
        for (auto& b : block)
            b = static_cast<std::uint8_t>(rng());
        EXPECT_EQ(decoded(encoded(block)), block) << "length " << len;
    }
    // Another key, including the degenerate multiplier 0.
    const Bytes text{'s', 'e', 't', '.', 'd', 't'};
    for (DtScrambleKey key : {DtScrambleKey{0, 0, 0}, DtScrambleKey{1, 2, 3}, DtScrambleKey{0xFFFF, 0xFFFF, 0xFFFF}})
        EXPECT_EQ(decoded(encoded(text, key), key), text);
}

TEST(DtScramble, EveryBlockStartsFromTheInitialState) {
    const Bytes abc{'a', 'b', 'c'};
    const Bytes first = encoded(abc);
    EXPECT_EQ(encoded(abc), first);
    EXPECT_NE(first, abc);
    // The first byte only depends on K0.
    EXPECT_EQ(first[0], std::uint8_t('a' ^ (kDtScrambleKey.K0 >> 8)));
}

TEST(DtScramble, PlaintextDrivesTheState) {
    // Same byte repeated does not give a repeated pattern once the state moves,
    // and two plaintexts that differ in byte 0 differ in the scrambled tail.
    const Bytes a{'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    Bytes b = a;
    b[0] = 'y';
    const Bytes ea = encoded(a), eb = encoded(b);
    int tailDiffers = 0;
    for (std::size_t i = 1; i < ea.size(); ++i)
        tailDiffers += ea[i] != eb[i];
    EXPECT_GT(tailDiffers, 0);
}

TEST(DtScramble, InPlaceWorks) {
    const Bytes original{1, 2, 3, 4, 5, 250, 0};
    Bytes block = original;
    ASSERT_TRUE(dtEncode(block, block));
    EXPECT_EQ(block, encoded(original));
    ASSERT_TRUE(dtDecode(block, block));
    EXPECT_EQ(block, original);
}

TEST(DtScramble, UnequalLengthsAreRefusedWithoutWriting) {
    const Bytes in{1, 2, 3};
    for (std::size_t outLen : {0u, 2u, 4u}) {
        Bytes out(outLen, 0xAA);
        EXPECT_FALSE(dtEncode(in, out));
        EXPECT_FALSE(dtDecode(in, out));
        EXPECT_EQ(out, Bytes(outLen, 0xAA));
    }
}

TEST(DtScramble, ComplementAndSeal) {
    Bytes block{0x00, 0xFF, 0x5A};
    dtComplement(block);
    EXPECT_EQ(block, (Bytes{0xFF, 0x00, 0xA5}));

    const QByteArray plain("record \0 with a zero", 20);
    const QByteArray sealed = dtSeal(plain);
    ASSERT_EQ(sealed.size(), plain.size());
    EXPECT_NE(sealed, plain);
    EXPECT_EQ(dtUnseal(sealed), plain);
    // Sealing is encoding followed by complement.
    Bytes raw(plain.begin(), plain.end());
    Bytes expected = encoded(raw);
    dtComplement(expected);
    EXPECT_EQ(Bytes(sealed.begin(), sealed.end()), expected);
}

TEST(DtScramble, FlippedByteGarblesFromThereOn) {
    QByteArray plain(64, 'q');
    QByteArray sealed = dtSeal(plain);
    sealed[10] = char(sealed[10] ^ 0x01);
    const QByteArray back = dtUnseal(sealed);
    EXPECT_EQ(back.left(10), plain.left(10));
    EXPECT_NE(back[10], plain[10]);
    EXPECT_NE(back.mid(11), plain.mid(11));
}

}  // namespace
}  // namespace corvala

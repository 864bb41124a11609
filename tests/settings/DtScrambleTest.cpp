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

// A block of 512 bytes pinned end to end, so that a wrong state update (which
// would still round-trip) is caught. The expected bytes were computed outside
// this program from the routine's arithmetic with the delivered key:
//   k = K0; for each p: s = p ^ (k >> 8); k = (((p + (k & 0xFF)) & 0xFF) * M + A) & 0xFFFF
// over the plaintext p[i] = (i * 167 + 13) & 0xFF (every byte value, twice).
TEST(DtScramble, KnownBlockEncodesToPinnedBytes) {
    static const char* const expectedHex =
        "53c7ab27f902d285c9cfb8387ba8510cc52b68adfdebb0db95a718163d01aed2"
        "647c6d7b3ff75df1d418bd6cfcfdecf80787a3067e007aa4564c63bbe0b6ac2e"
        "e628e3cc312c9b5a52e56011030e699682d120fa3594f8705df8e0cf625a67bc"
        "3c85a620f44005471c31e6ba869324027f6e7b2f37e9439d9f6a2b5029cfa1c9"
        "7b71dbb60ab243f39b5e29abcb3822bf3abaf91c6dbd006a05d76ee1aa705f65"
        "f5e3decbcc66ce61a4ea2e1c4e4c7c6bb41733b1ef528b3780c3ec4a51255abe"
        "b098515fc3dbc8cde374918090d137c47263b165a2244980c268b65ed4c9970a"
        "8d3416b005cfb6366dc057351662b575a9fdf4de5878d36c4814b4e3997e1258"
        "08e189049b64f1622badd9d958b74f2eab0909b21acddeb98a46ff341c23d0f4"
        "4a5d4f995dd67e0ff67adc42dfdb0ddb61a68c2091211cc531b27cc5de54cb01"
        "c00fc1ee504ab97d708602f322608877e3f307d5d276e713331fc7ae44b9459d"
        "dfbb8703953f27a93e5084a4a7b5c6205e4f4449c9c764fff98bca7206ed83f6"
        "99503a9768936212b83c4a49ea19c09c1b99df228b5c2f4824308f878d923e04"
        "17cc38e8af082c7e47894dfd6c2b9e4a96351d960eb1ad54a6dd122b73063b90"
        "51b972bda0f92a2b0015b2a6b2ff19e60d42900b430577e1ec8e5039f5ebf62d"
        "ac16359267ae95d78fa275d734049393cfded5f8469af54f6efb5a82b89d7479";
    const QByteArray expected = QByteArray::fromHex(expectedHex);
    ASSERT_EQ(expected.size(), 512);
    Bytes plain(512);
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<std::uint8_t>(i * 167 + 13);

    EXPECT_EQ(encoded(plain), Bytes(expected.begin(), expected.end()));
    EXPECT_EQ(decoded(Bytes(expected.begin(), expected.end())), plain);
    // On disk: the same bytes complemented.
    const QByteArray plainBytes(reinterpret_cast<const char*>(plain.data()), qsizetype(plain.size()));
    QByteArray complemented = expected;
    for (char& c : complemented) c = char(~c);
    EXPECT_EQ(dtSeal(plainBytes), complemented);
    EXPECT_EQ(dtUnseal(complemented), plainBytes);
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

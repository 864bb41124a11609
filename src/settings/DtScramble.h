#pragma once
// The keyed byte stream that keeps the ".dt" files ("set.dt", "mc.dt",
// "adbook.dt") from being read or edited as text. It is obfuscation, not
// encryption: the key is fixed in the program.

#include <cstdint>
#include <span>

#include <QByteArray>

namespace corvala {

// Multiplier M, addend A and initial state K0 of the byte stream. The values
// are part of the file formats: changing them makes every existing file
// unreadable.
struct DtScrambleKey {
    std::uint16_t M;
    std::uint16_t A;
    std::uint16_t K0;
};

inline constexpr DtScrambleKey kDtScrambleKey{0xA7C3, 0x3D29, 0x5E1B};

// Encode (scramble) or decode (unscramble) `in` into `out`. The state starts
// at K0 for every call and is driven by the plaintext byte in both directions,
// so one wrong byte garbles everything after it. `in` and `out` may be the
// same block. Blocks of unequal length are refused: false, nothing written.
bool dtEncode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
              const DtScrambleKey& key = kDtScrambleKey);
bool dtDecode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
              const DtScrambleKey& key = kDtScrambleKey);

// Bitwise NOT of every byte, in place.
void dtComplement(std::span<std::uint8_t> block);

// What a ".dt" file holds on disk: the plaintext encoded, then complemented;
// and the way back.
QByteArray dtSeal(const QByteArray& plain);
QByteArray dtUnseal(const QByteArray& sealed);

}  // namespace corvala

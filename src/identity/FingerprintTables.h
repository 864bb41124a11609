#pragma once
// Fixed tables of the MAC-derived machine fingerprint. Changing any of them
// changes every fingerprint and with it invalidates every settings file.

#include <array>
#include <string_view>

namespace corvala::identity {

// The order in which MAC digits are looked up.
inline constexpr std::string_view FingerprintAlphabet = "CF51DB08462A3E79";

// One permutation of "23456789ABKMNPVX" per MAC digit position.
inline constexpr std::array<std::string_view, 12> FingerprintTables = {
    "67P84M953KX2BNAV", "KA93542VXM6P78BN", "BAMKN85294V37P6X", "AXB58NVK369PM427",
    "6KBPXV3N529M4A78", "B73AP48X96N25MKV", "X8NBP5934VAM726K", "5PXV2K4M86AB973N",
    "MA47B5VP29638NXK", "P82M579NVK36AB4X", "754BNVKX389AM6P2", "29VP85MA7X64BKN3",
};

}  // namespace corvala::identity

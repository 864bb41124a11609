#include "settings/DtScramble.h"

namespace corvala {
namespace {

std::uint16_t nextState(std::uint16_t k, std::uint8_t plain, const DtScrambleKey& key) {
    const unsigned mixed = (plain + (k & 0xFFu)) & 0xFFu;
    return static_cast<std::uint16_t>(mixed * key.M + key.A);
}

std::span<std::uint8_t> bytesOf(QByteArray& a) {
    return {reinterpret_cast<std::uint8_t*>(a.data()), static_cast<std::size_t>(a.size())};
}

}  // namespace

bool dtEncode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, const DtScrambleKey& key) {
    if (in.size() != out.size())
        return false;
    std::uint16_t k = key.K0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const std::uint8_t p = in[i];
        out[i] = static_cast<std::uint8_t>(p ^ (k >> 8));
        k = nextState(k, p, key);
    }
    return true;
}

bool dtDecode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, const DtScrambleKey& key) {
    if (in.size() != out.size())
        return false;
    std::uint16_t k = key.K0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const std::uint8_t p = static_cast<std::uint8_t>(in[i] ^ (k >> 8));
        out[i] = p;
        k = nextState(k, p, key);
    }
    return true;
}

void dtComplement(std::span<std::uint8_t> block) {
    for (auto& b : block)
        b = static_cast<std::uint8_t>(~b);
}

QByteArray dtSeal(const QByteArray& plain) {
    QByteArray out = plain;
    auto bytes = bytesOf(out);
    dtEncode(bytes, bytes);
    dtComplement(bytes);
    return out;
}

QByteArray dtUnseal(const QByteArray& sealed) {
    QByteArray out = sealed;
    auto bytes = bytesOf(out);
    dtComplement(bytes);
    dtDecode(bytes, bytes);
    return out;
}

}  // namespace corvala

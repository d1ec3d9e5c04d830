#pragma once

#include <QByteArrayView>

#include <bit>
#include <cstring>

// A quick hash of the short texts the header engine indexes (keys, posters, part tails), taken
// for every overview line: eight bytes a step, then mixed so that the low and the high bits both
// spread. Not for anything an outsider could aim collisions at beyond slowing a lookup down.
namespace bytehash {

inline constexpr quint64 kMultiplier = 0x517cc1b727220a95ULL;

[[nodiscard]] inline quint64 mix(quint64 x)
{
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

// Unmixed: chain several texts through `h`, then mix once.
[[nodiscard]] inline quint64 add(quint64 h, QByteArrayView text)
{
    const char* p = text.data();
    auto n = static_cast<size_t>(text.size());
    h = (std::rotl(h, 5) ^ n) * kMultiplier;
    for (; n >= 8; p += 8, n -= 8) {
        quint64 w;
        std::memcpy(&w, p, 8);
        h = (std::rotl(h, 5) ^ w) * kMultiplier;
    }
    if (n > 0) {
        quint64 w = 0;
        std::memcpy(&w, p, n);
        h = (std::rotl(h, 5) ^ w) * kMultiplier;
    }
    return h;
}

[[nodiscard]] inline quint64 of(QByteArrayView text, quint64 seed = 0)
{
    return mix(add(seed, text));
}

} // namespace bytehash

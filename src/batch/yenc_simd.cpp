#include "batch/yenc_kernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <array>
#include <cstdint>

// Both kernels take 64 input bytes at a time: the "=", CR and LF of the block become one bit each
// in 64-bit masks, the escapes are resolved on those masks, and the bytes to drop are squeezed out
// with byte shuffles looked up per eight bytes.
namespace yenc::kernel {
namespace {

struct CompactTables {
    // For each mask of the bytes to keep out of eight: their indices, first the lower eight bytes
    // of a 16-byte lane, then the upper eight; and how many there are.
    std::array<std::array<unsigned char, 8>, 256> low {}, high {};
    std::array<unsigned char, 256> count {};
};

constexpr CompactTables makeCompactTables()
{
    CompactTables t;
    for (int mask = 0; mask < 256; ++mask) {
        int n = 0;
        for (int bit = 0; bit < 8; ++bit) {
            if (mask & (1 << bit)) {
                t.low[mask][n] = static_cast<unsigned char>(bit);
                t.high[mask][n] = static_cast<unsigned char>(bit + 8);
                ++n;
            }
        }
        for (int rest = n; rest < 8; ++rest)
            t.low[mask][rest] = t.high[mask][rest] = 0x80; // shuffles in a zero
        t.count[mask] = static_cast<unsigned char>(n);
    }
    return t;
}

alignas(64) constexpr CompactTables kCompact = makeCompactTables();

// Bit i set: byte i of the block is escaped. A "=" escapes the next byte even when that is a "=",
// so within a run of "=" escapers and escaped bytes alternate from the run's first "=" on; the
// runs that start on odd bits are found with one carrying add. `carry` says the block's first
// byte is escaped on the way in, and on the way out whether the next block's first byte is.
inline std::uint64_t escapedBytes(std::uint64_t eq, std::uint64_t& carry)
{
    constexpr std::uint64_t kEven = 0x5555555555555555ULL;
    const std::uint64_t e = eq & ~carry; // an escaped "=" escapes nothing
    const std::uint64_t follows = (e << 1) | carry;
    const std::uint64_t oddStarts = e & ~(e << 1) & ~kEven;
    // Adding a run's first bit clears the run: odd-start runs vanish, even-start runs stay set.
    const std::uint64_t escaped = (kEven ^ ((e + oddStarts) << 1)) & follows;
    carry = (e & ~escaped) >> 63;
    return escaped;
}

__attribute__((target("ssse3"))) inline __m128i maskToBytes16(std::uint32_t mask)
{
    const __m128i spread = _mm_shuffle_epi8(
        _mm_cvtsi32_si128(static_cast<int>(mask)), _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1));
    const __m128i bits = _mm_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
    return _mm_cmpeq_epi8(_mm_and_si128(spread, bits), bits);
}

__attribute__((target("ssse3"))) inline __m128i compactIndex(unsigned lowKeep, unsigned highKeep)
{
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(kCompact.low[lowKeep].data())),
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kCompact.high[highKeep].data())));
}

// Writes the kept bytes of a shuffled lane: the lower eight land first, the upper eight right after
// them. Both stores stay within the 16 bytes from `out`, which the input has already passed.
__attribute__((target("ssse3"))) inline unsigned char* storeLane(
    __m128i lane, unsigned lowKeep, unsigned highKeep, unsigned char* out)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), lane);
    out += kCompact.count[lowKeep];
    // An unaligned 8-byte store: the upper half moved down, then written as a plain 64-bit value.
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_unpackhi_epi64(lane, lane));
    return out + kCompact.count[highKeep];
}

__attribute__((target("ssse3"))) inline unsigned char* compact16(__m128i bytes, unsigned keep, unsigned char* out)
{
    const unsigned lo = keep & 0xff, hi = (keep >> 8) & 0xff;
    return storeLane(_mm_shuffle_epi8(bytes, compactIndex(lo, hi)), lo, hi, out);
}

} // namespace

__attribute__((target("ssse3"))) size_t ssse3(const unsigned char* in, size_t n, unsigned char* out)
{
    unsigned char* const first = out;
    const __m128i equals = _mm_set1_epi8('='), cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    const __m128i k42 = _mm_set1_epi8(42), k64 = _mm_set1_epi8(64);
    std::uint64_t carry = 0;
    size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        __m128i v[4];
        std::uint64_t eq = 0, breaks = 0;
        for (int k = 0; k < 4; ++k) {
            v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 16 * k));
            eq |= std::uint64_t(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v[k], equals)))) << (16 * k);
            const __m128i nl = _mm_or_si128(_mm_cmpeq_epi8(v[k], cr), _mm_cmpeq_epi8(v[k], lf));
            breaks |= std::uint64_t(unsigned(_mm_movemask_epi8(nl))) << (16 * k);
        }
        if ((eq | breaks | carry) == 0) {
            for (int k = 0; k < 4; ++k)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * k), _mm_sub_epi8(v[k], k42));
            out += 64;
            continue;
        }
        const std::uint64_t escaped = escapedBytes(eq, carry);
        const std::uint64_t keep = ~(eq | breaks) | escaped;
        for (int k = 0; k < 4; ++k) {
            const __m128i minus64 = _mm_and_si128(maskToBytes16(std::uint32_t(escaped >> (16 * k))), k64);
            const __m128i d = _mm_sub_epi8(_mm_sub_epi8(v[k], k42), minus64);
            out = compact16(d, unsigned(keep >> (16 * k)) & 0xffff, out);
        }
    }
    out += scalar(in + i, n - i, out, carry != 0);
    return size_t(out - first);
}

namespace {

__attribute__((target("avx2"))) inline __m256i maskToBytes32(std::uint32_t mask)
{
    const __m256i spread = _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(mask)),
        _mm256_setr_epi8(
            0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3));
    const __m256i bits = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
    return _mm256_cmpeq_epi8(_mm256_and_si256(spread, bits), bits);
}

__attribute__((target("avx2"))) inline unsigned char* compact32(__m256i bytes, std::uint32_t keep, unsigned char* out)
{
    const unsigned k0 = keep & 0xff, k1 = (keep >> 8) & 0xff, k2 = (keep >> 16) & 0xff, k3 = keep >> 24;
    const __m256i index
        = _mm256_inserti128_si256(_mm256_castsi128_si256(compactIndex(k0, k1)), compactIndex(k2, k3), 1);
    const __m256i packed = _mm256_shuffle_epi8(bytes, index);
    out = storeLane(_mm256_castsi256_si128(packed), k0, k1, out);
    return storeLane(_mm256_extracti128_si256(packed, 1), k2, k3, out);
}

} // namespace

__attribute__((target("avx2,popcnt"))) size_t avx2(const unsigned char* in, size_t n, unsigned char* out)
{
    unsigned char* const first = out;
    const __m256i equals = _mm256_set1_epi8('='), cr = _mm256_set1_epi8('\r'), lf = _mm256_set1_epi8('\n');
    const __m256i k42 = _mm256_set1_epi8(42), k64 = _mm256_set1_epi8(64);
    std::uint64_t carry = 0;
    size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 32));
        const std::uint64_t eq = unsigned(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, equals)))
            | std::uint64_t(unsigned(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, equals)))) << 32;
        const __m256i nlA = _mm256_or_si256(_mm256_cmpeq_epi8(a, cr), _mm256_cmpeq_epi8(a, lf));
        const __m256i nlB = _mm256_or_si256(_mm256_cmpeq_epi8(b, cr), _mm256_cmpeq_epi8(b, lf));
        const std::uint64_t breaks
            = unsigned(_mm256_movemask_epi8(nlA)) | std::uint64_t(unsigned(_mm256_movemask_epi8(nlB))) << 32;
        if ((eq | breaks | carry) == 0) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_sub_epi8(a, k42));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_sub_epi8(b, k42));
            out += 64;
            continue;
        }
        const std::uint64_t escaped = escapedBytes(eq, carry);
        const std::uint64_t keep = ~(eq | breaks) | escaped;
        const __m256i da
            = _mm256_sub_epi8(_mm256_sub_epi8(a, k42), _mm256_and_si256(maskToBytes32(std::uint32_t(escaped)), k64));
        const __m256i db = _mm256_sub_epi8(
            _mm256_sub_epi8(b, k42), _mm256_and_si256(maskToBytes32(std::uint32_t(escaped >> 32)), k64));
        out = compact32(da, std::uint32_t(keep), out);
        out = compact32(db, std::uint32_t(keep >> 32), out);
    }
    out += scalar(in + i, n - i, out, carry != 0);
    return size_t(out - first);
}

} // namespace yenc::kernel

#else

namespace yenc::kernel {
// Never chosen off x86: available() says no.
size_t ssse3(const unsigned char* in, size_t n, unsigned char* out)
{
    return scalar(in, n, out);
}
size_t avx2(const unsigned char* in, size_t n, unsigned char* out)
{
    return scalar(in, n, out);
}
} // namespace yenc::kernel

#endif

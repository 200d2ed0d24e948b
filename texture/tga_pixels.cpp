// Pixel conversions of the TGA loader. Once a large picture's bytes are in
// memory, the passes over them are most of its load, so the archive's mask
// comes off in the same pass that swaps blue and red (XOR with one byte
// everywhere does not care where a byte ends up), and on x86 the pass uses
// the widest vectors the processor has.
#include "texture/tga_pixels.h"

#include <bit>     // std::endian
#include <cstring> // memcpy

#if defined(__GNUC__) && defined(__x86_64__)
#define TGA_X86_PATHS 1
#include <immintrin.h> // SSE2 (always there on x86-64), SSSE3 and AVX2 (asked of the processor)
#endif

namespace {

// Pixels [begin, count) a 32-bit word at a time.
void UnmaskSwap32Plain(uint8_t* pixels, size_t begin, const size_t count, const uint8_t mask) {
    static_assert(std::endian::native == std::endian::little, "pixels are read as little-endian words");
    const uint32_t wide = 0x01010101u * mask;
    for (size_t i = begin; i < count; ++i) {
        uint32_t word = 0;
        std::memcpy(&word, pixels + i * 4, sizeof word);
        word ^= wide;
        word = (word & 0xFF00FF00u) | ((word >> 16) & 0xFFu) | ((word & 0xFFu) << 16);
        std::memcpy(pixels + i * 4, &word, sizeof word);
    }
}

// Pixels [begin, count) of a 24-bit block, one at a time.
void UnmaskSwap24Plain(uint8_t* pixels, const size_t begin, const size_t count, const uint8_t mask) {
    for (size_t i = begin; i < count; ++i) {
        uint8_t* p = pixels + i * 3;
        const uint8_t blue = p[0];
        p[0] = static_cast<uint8_t>(p[2] ^ mask);
        p[1] = static_cast<uint8_t>(p[1] ^ mask);
        p[2] = static_cast<uint8_t>(blue ^ mask);
    }
}

#if defined(TGA_X86_PATHS)
// Whole steps of eight pixels; returns the pixels done.
size_t UnmaskSwap32Sse2(uint8_t* pixels, const size_t count, const uint8_t mask) {
    const __m128i wide = _mm_set1_epi8(static_cast<char>(mask));
    const __m128i blueRed = _mm_set1_epi32(0x00FF00FF);
    // Swapping the 16-bit halves of a pixel puts red and blue where they
    // belong; green and alpha are taken from the pixel as it was.
    auto convert = [&](const __m128i stored) {
        const __m128i halves = _mm_shufflehi_epi16(_mm_shufflelo_epi16(stored, 0xB1), 0xB1);
        return _mm_xor_si128(_mm_xor_si128(stored, wide), _mm_and_si128(_mm_xor_si128(stored, halves), blueRed));
    };
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m128i* at = reinterpret_cast<__m128i*>(pixels + i * 4);
        const __m128i first = _mm_loadu_si128(at);
        const __m128i second = _mm_loadu_si128(at + 1);
        _mm_storeu_si128(at, convert(first));
        _mm_storeu_si128(at + 1, convert(second));
    }
    return i;
}

// Whole steps of eight pixels; returns the pixels done.
__attribute__((target("avx2"))) size_t UnmaskSwap32Avx2(uint8_t* pixels, const size_t count, const uint8_t mask) {
    const __m256i wide = _mm256_set1_epi8(static_cast<char>(mask));
    // The shuffle works within each 16-byte half: bytes 2, 1, 0, 3 of every pixel.
    const __m256i order = _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15, 2, 1, 0, 3, 6, 5, 4,
                                           7, 10, 9, 8, 11, 14, 13, 12, 15);
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256i* at = reinterpret_cast<__m256i*>(pixels + i * 4);
        _mm256_storeu_si256(at, _mm256_shuffle_epi8(_mm256_xor_si256(_mm256_loadu_si256(at), wide), order));
    }
    return i;
}

// Byte shuffles for sixteen 24-bit pixels held in three 16-byte vectors:
// kSwap24[out][in] picks, for each byte of output vector `out`, its source
// byte when that lies in input vector `in`, and 0x80 (a zero) otherwise.
struct Swap24Table {
    uint8_t pick[3][3][16];
};
constexpr Swap24Table MakeSwap24Table() {
    Swap24Table table{};
    for (int out = 0; out < 3; ++out) {
        for (int in = 0; in < 3; ++in) {
            for (int j = 0; j < 16; ++j) {
                const int at = out * 16 + j;
                const int from = at - at % 3 + (2 - at % 3); // channel 0 and 2 trade places
                table.pick[out][in][j] = static_cast<uint8_t>(from / 16 == in ? from % 16 : 0x80);
            }
        }
    }
    return table;
}
constexpr Swap24Table kSwap24 = MakeSwap24Table();

// Whole steps of sixteen pixels (48 bytes, three vectors); returns the pixels
// done. A pixel may straddle two vectors, so each output vector is put
// together from the one or two inputs that hold its bytes.
__attribute__((target("ssse3"))) size_t UnmaskSwap24Ssse3(uint8_t* pixels, const size_t count,
                                                          const uint8_t mask) {
    const __m128i wide = _mm_set1_epi8(static_cast<char>(mask));
    auto pick = [](const int out, const int in) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSwap24.pick[out][in]));
    };
    const __m128i p00 = pick(0, 0);
    const __m128i p01 = pick(0, 1);
    const __m128i p10 = pick(1, 0);
    const __m128i p11 = pick(1, 1);
    const __m128i p12 = pick(1, 2);
    const __m128i p21 = pick(2, 1);
    const __m128i p22 = pick(2, 2);
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        __m128i* at = reinterpret_cast<__m128i*>(pixels + i * 3);
        const __m128i a = _mm_xor_si128(_mm_loadu_si128(at), wide);
        const __m128i b = _mm_xor_si128(_mm_loadu_si128(at + 1), wide);
        const __m128i c = _mm_xor_si128(_mm_loadu_si128(at + 2), wide);
        _mm_storeu_si128(at, _mm_or_si128(_mm_shuffle_epi8(a, p00), _mm_shuffle_epi8(b, p01)));
        _mm_storeu_si128(at + 1, _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, p10), _mm_shuffle_epi8(b, p11)),
                                              _mm_shuffle_epi8(c, p12)));
        _mm_storeu_si128(at + 2, _mm_or_si128(_mm_shuffle_epi8(b, p21), _mm_shuffle_epi8(c, p22)));
    }
    return i;
}
#endif

} // namespace

bool TgaPixelPathAvailable(const TgaPixelPath path) {
    switch (path) {
    case TgaPixelPath::kPlain:
        return true;
#if defined(TGA_X86_PATHS)
    case TgaPixelPath::kSse2:
        return true;
    case TgaPixelPath::kSsse3:
        return __builtin_cpu_supports("ssse3") != 0;
    case TgaPixelPath::kAvx2:
        return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("ssse3") != 0;
#else
    case TgaPixelPath::kSse2:
    case TgaPixelPath::kSsse3:
    case TgaPixelPath::kAvx2:
        return false;
#endif
    }
    return false;
}

TgaPixelPath TgaFastestPixelPath() {
    static const TgaPixelPath s_fastest = TgaPixelPathAvailable(TgaPixelPath::kAvx2)    ? TgaPixelPath::kAvx2
                                          : TgaPixelPathAvailable(TgaPixelPath::kSsse3) ? TgaPixelPath::kSsse3
                                          : TgaPixelPathAvailable(TgaPixelPath::kSse2)  ? TgaPixelPath::kSse2
                                                                                        : TgaPixelPath::kPlain;
    return s_fastest;
}

void TgaUnmaskSwap32(uint8_t* pixels, const size_t count, const uint8_t mask, const TgaPixelPath path) {
    size_t done = 0;
#if defined(TGA_X86_PATHS)
    if (path == TgaPixelPath::kAvx2) {
        done = UnmaskSwap32Avx2(pixels, count, mask);
    } else if (path != TgaPixelPath::kPlain) {
        done = UnmaskSwap32Sse2(pixels, count, mask);
    }
#else
    (void)path;
#endif
    UnmaskSwap32Plain(pixels, done, count, mask);
}

void TgaUnmaskSwap24(uint8_t* pixels, const size_t count, const uint8_t mask, const TgaPixelPath path) {
    size_t done = 0;
#if defined(TGA_X86_PATHS)
    if (path == TgaPixelPath::kSsse3 || path == TgaPixelPath::kAvx2) {
        done = UnmaskSwap24Ssse3(pixels, count, mask);
    }
#else
    (void)path;
#endif
    UnmaskSwap24Plain(pixels, done, count, mask);
}

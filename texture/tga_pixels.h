// Insides of the TGA loader, shared with the tests: the conversion of a pixel
// block as stored in the archive (B, G, R(, A), every byte XOR-ed with the
// entry's mask) into R, G, B(, A), in place. The conversions have a path per
// processor generation; the tests run each one this machine has against a
// byte-by-byte statement of the rule.
#pragma once

#include <cstddef> // size_t
#include <cstdint> // uint8_t

// The newest instruction set a conversion may use; each conversion takes the
// best it has at or below it.
enum class TgaPixelPath {
    kPlain, // a pixel at a time, any processor
    kSse2,  // 32-bit: eight pixels a step
    kSsse3, // 24-bit: sixteen pixels a step by byte shuffles
    kAvx2,  // 32-bit: eight pixels a step, one byte shuffle
};

// True when this build and this processor can run `path`.
bool TgaPixelPathAvailable(TgaPixelPath path);

// The fastest available path; decided once.
TgaPixelPath TgaFastestPixelPath();

// `count` 32-bit pixels B, G, R, A (each byte XOR-ed with `mask`) into R, G,
// B, A by `path`, which must be available.
void TgaUnmaskSwap32(uint8_t* pixels, size_t count, uint8_t mask, TgaPixelPath path);

// `count` 24-bit pixels B, G, R (each byte XOR-ed with `mask`) into R, G, B
// by `path`, which must be available.
void TgaUnmaskSwap24(uint8_t* pixels, size_t count, uint8_t mask, TgaPixelPath path);

// Insides of the TGA loader, shared with the tests: the conversion of a pixel
// block as stored in the archive (B, G, R(, A), every byte XOR-ed with the
// entry's mask) into R, G, B(, A), in place. The 32-bit conversion has a path
// per processor generation; the tests run each one this machine has against
// the plain one.
#pragma once

#include <cstddef> // size_t
#include <cstdint> // uint8_t

enum class TgaPixelPath {
    kPlain, // a word at a time, any processor
    kSse2,  // four pixels a step
    kAvx2,  // eight pixels a step, one byte shuffle
};

// True when this build and this processor can run `path`.
bool TgaPixelPathAvailable(TgaPixelPath path);

// The fastest available path; decided once.
TgaPixelPath TgaFastestPixelPath();

// `count` 32-bit pixels B, G, R, A (each byte XOR-ed with `mask`) into R, G,
// B, A by `path`, which must be available.
void TgaUnmaskSwap32(uint8_t* pixels, size_t count, uint8_t mask, TgaPixelPath path);

// `count` 24-bit pixels B, G, R (each byte XOR-ed with `mask`) into R, G, B.
void TgaUnmaskSwap24(uint8_t* pixels, size_t count, uint8_t mask);

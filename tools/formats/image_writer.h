// Small image file writers for tests and content tools: JPEG through
// libjpeg's compressor into memory, uncompressed TGA by hand, and helpers that
// damage files on purpose.
#pragma once

#include <cstdint> // uint8_t, int32_t
#include <vector>

struct JpegWriteOptions {
    int32_t quality = 95;     // 1..100
    bool progressive = false; // multi-scan instead of baseline
    bool subsampled = true;   // 2 x 2 chroma subsampling (libjpeg's default); false keeps full colour detail
};

// Encodes width x height pixels of `components` bytes each (3: R G B, 1: grey),
// top row first. Empty on any failure (bad arguments or a libjpeg error).
std::vector<uint8_t> EncodeJpeg(const uint8_t* pixels, int32_t width, int32_t height, int32_t components,
                                const JpegWriteOptions& options = {});

// Rewrites the width and height of the first frame header (SOF0..SOF2) of a
// JPEG in place. False when there is no frame header.
bool PatchJpegSize(std::vector<uint8_t>* jpeg, uint16_t width, uint16_t height);

struct TgaWriteOptions {
    uint8_t imageType = 2;    // 2 true-colour, 3 black-and-white, 9..11 compressed
    uint8_t colorMapType = 0; // 1 claims a colour map
    uint8_t descriptor = 0;   // byte 17; 0x20 for a top-left origin
    std::vector<uint8_t> id;  // ID field stored between header and pixels
};

// Builds a TGA file from R G B (A) pixels of `bits` / 8 bytes each (24 or 32),
// stored in the given row order; the file holds B G R (A). Other depths (16)
// write the header and `pixels` as given, byte count width x height x bits / 8.
std::vector<uint8_t> EncodeTga(const uint8_t* pixels, int32_t width, int32_t height, int32_t bits,
                               const TgaWriteOptions& options = {});

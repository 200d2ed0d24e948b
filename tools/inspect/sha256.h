// SHA-256 of a byte block, for fingerprints of decoded images.
#pragma once

#include <cstddef> // size_t
#include <string>

// Lower-case hexadecimal digest (64 characters) of `size` bytes at `data`;
// data may be null when size is 0.
std::string Sha256Hex(const void* data, size_t size);

// Insides of the JPEG decoder, shared with the tests: the memory data source
// and the error exit that jumps back into DecodeJpegFromMemory.
#pragma once

#include <csetjmp> // jmp_buf
#include <cstddef> // size_t
#include <cstdio>  // jpeglib.h needs FILE declared first

#include <jpeglib.h>

// The library's error manager with the recovery point right behind it, so
// that JpegErrorExit finds the jump buffer from the decompressor's err field.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    jmp_buf recovery;
};

// Points the decompressor at `size` bytes at `data`. The source manager comes
// from the decompressor's permanent pool on first use and is reused after.
// When the bytes run out it supplies an end-of-image marker, so a truncated
// file ends instead of waiting for data; a skip stops at the end of the data.
void SetJpegMemorySource(j_decompress_ptr cinfo, const unsigned char* data, size_t size);

// Error exit for a decompressor whose err points at a JpegErrorManager: prints
// the library's message, then jumps to the recovery point with 1.
[[noreturn]] void JpegErrorExit(j_common_ptr cinfo);

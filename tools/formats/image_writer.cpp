// JPEG and TGA writers for tests.
#include "tools/formats/image_writer.h"

#include <csetjmp> // jmp_buf
#include <cstddef> // size_t
#include <cstdio>  // jpeglib.h needs FILE

#include <jpeglib.h>

namespace {

// Destination manager that grows a vector.
struct VectorDestination {
    jpeg_destination_mgr pub;
    std::vector<uint8_t>* out;
    uint8_t buffer[4096];
};

void InitDestination(j_compress_ptr cinfo) {
    VectorDestination* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = sizeof(dest->buffer);
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    VectorDestination* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    dest->out->insert(dest->out->end(), dest->buffer, dest->buffer + sizeof(dest->buffer));
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = sizeof(dest->buffer);
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    VectorDestination* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    const size_t used = sizeof(dest->buffer) - dest->pub.free_in_buffer;
    dest->out->insert(dest->out->end(), dest->buffer, dest->buffer + used);
}

struct CompressError {
    jpeg_error_mgr pub;
    jmp_buf recovery;
};

void CompressErrorExit(j_common_ptr cinfo) { longjmp(reinterpret_cast<CompressError*>(cinfo->err)->recovery, 1); }

bool Compress(const uint8_t* pixels, int32_t width, int32_t height, int32_t components,
              const JpegWriteOptions& options, std::vector<uint8_t>* out) {
    jpeg_compress_struct cinfo = {};
    CompressError err = {};
    VectorDestination dest = {};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = CompressErrorExit;
    if (setjmp(err.recovery) != 0) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    dest.pub.init_destination = InitDestination;
    dest.pub.empty_output_buffer = EmptyOutputBuffer;
    dest.pub.term_destination = TermDestination;
    dest.out = out;
    cinfo.dest = &dest.pub;
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    if (!options.subsampled && components == 3) {
        cinfo.comp_info[0].h_samp_factor = 1;
        cinfo.comp_info[0].v_samp_factor = 1;
    }
    if (options.progressive) {
        jpeg_simple_progression(&cinfo);
    }
    jpeg_start_compress(&cinfo, TRUE);
    const size_t stride = static_cast<size_t>(width) * static_cast<size_t>(components);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + cinfo.next_scanline * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

std::vector<uint8_t> EncodeJpeg(const uint8_t* pixels, int32_t width, int32_t height, int32_t components,
                                const JpegWriteOptions& options) {
    std::vector<uint8_t> out;
    if (pixels == nullptr || width < 1 || height < 1 || (components != 1 && components != 3)) {
        return out;
    }
    if (!Compress(pixels, width, height, components, options, &out)) {
        out.clear();
    }
    return out;
}

bool PatchJpegSize(std::vector<uint8_t>* jpeg, uint16_t width, uint16_t height) {
    std::vector<uint8_t>& bytes = *jpeg;
    size_t at = 2; // after SOI
    while (at + 4 <= bytes.size() && bytes[at] == 0xFF) {
        const uint8_t marker = bytes[at + 1];
        const size_t length = static_cast<size_t>(bytes[at + 2] << 8 | bytes[at + 3]);
        if (marker >= 0xC0 && marker <= 0xC2) {
            if (at + 9 > bytes.size()) {
                return false;
            }
            // SOFn: length(2) precision(1) height(2) width(2)
            bytes[at + 5] = static_cast<uint8_t>(height >> 8);
            bytes[at + 6] = static_cast<uint8_t>(height & 0xFF);
            bytes[at + 7] = static_cast<uint8_t>(width >> 8);
            bytes[at + 8] = static_cast<uint8_t>(width & 0xFF);
            return true;
        }
        at += 2 + length;
    }
    return false;
}

std::vector<uint8_t> EncodeTga(const uint8_t* pixels, int32_t width, int32_t height, int32_t bits,
                               const TgaWriteOptions& options) {
    const size_t stride = static_cast<size_t>(bits / 8);
    const size_t pixelBytes = pixels != nullptr ? static_cast<size_t>(width) * static_cast<size_t>(height) * stride : 0;
    const size_t start = 18 + options.id.size();
    std::vector<uint8_t> out(start + pixelBytes, 0);
    out[0] = static_cast<uint8_t>(options.id.size());
    out[1] = options.colorMapType;
    out[2] = options.imageType;
    out[12] = static_cast<uint8_t>(width & 0xFF);
    out[13] = static_cast<uint8_t>((width >> 8) & 0xFF);
    out[14] = static_cast<uint8_t>(height & 0xFF);
    out[15] = static_cast<uint8_t>((height >> 8) & 0xFF);
    out[16] = static_cast<uint8_t>(bits);
    out[17] = options.descriptor;
    for (size_t i = 0; i < options.id.size(); ++i) {
        out[18 + i] = options.id[i];
    }
    const bool swap = bits == 24 || bits == 32;
    for (size_t i = 0; i < pixelBytes; ++i) {
        // File pixels are B G R (A): swap the first and third byte of each.
        const size_t inPixel = i % stride;
        const size_t source = swap && inPixel == 0 ? i + 2 : (swap && inPixel == 2 ? i - 2 : i);
        out[start + i] = pixels[source];
    }
    return out;
}

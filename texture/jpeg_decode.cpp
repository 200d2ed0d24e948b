// JPEG decoding from memory through libjpeg's version 6 interface.
#include "texture/image.h"
#include "texture/jpeg_source.h"

#include <jerror.h> // WARNMS, JWRN_JPEG_EOF

#include <cstdint> // uint32_t, uint8_t

namespace {

// The two bytes of an end-of-image marker, handed to the library when the data
// runs out (libjpeg's own memory source does the same).
const JOCTET kFakeEndOfImage[2] = {0xFF, JPEG_EOI};

void InitSource(j_decompress_ptr) {}

void TermSource(j_decompress_ptr) {}

// Called only once every byte has been consumed: there is never more data, so
// warn and feed an end-of-image marker. Returning FALSE would mean suspension,
// which the synchronous decode would turn into an endless wait for rows.
boolean FillInputBuffer(j_decompress_ptr cinfo) {
    WARNMS(cinfo, JWRN_JPEG_EOF);
    cinfo->src->next_input_byte = kFakeEndOfImage;
    cinfo->src->bytes_in_buffer = sizeof(kFakeEndOfImage);
    return TRUE;
}

// Skips at most what is left, so a corrupt length cannot walk past the data.
void SkipInputData(j_decompress_ptr cinfo, long count) {
    jpeg_source_mgr* src = cinfo->src;
    if (count <= 0) {
        return;
    }
    if (static_cast<unsigned long>(count) > src->bytes_in_buffer) {
        src->next_input_byte += src->bytes_in_buffer;
        src->bytes_in_buffer = 0;
        return;
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= static_cast<size_t>(count);
}

} // namespace

void SetJpegMemorySource(j_decompress_ptr cinfo, const unsigned char* data, size_t size) {
    if (cinfo->src == nullptr) {
        cinfo->src = static_cast<jpeg_source_mgr*>(
            (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(jpeg_source_mgr)));
    }
    jpeg_source_mgr* src = cinfo->src;
    src->init_source = InitSource;
    src->fill_input_buffer = FillInputBuffer;
    src->skip_input_data = SkipInputData;
    src->resync_to_restart = jpeg_resync_to_restart;
    src->term_source = TermSource;
    src->next_input_byte = data;
    src->bytes_in_buffer = data != nullptr ? size : 0;
}

void JpegErrorExit(j_common_ptr cinfo) {
    JpegErrorManager* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    (*cinfo->err->output_message)(cinfo);
    longjmp(err->recovery, 1);
}

namespace {

// A header whose sides pass this test gives a pixel block whose byte count
// fits in 32 bits; a 65500 x 65500 claim in a tiny file never reaches SetSize.
bool SidesAcceptable(JDIMENSION width, JDIMENSION height) {
    return width >= 1 && height >= 1 && width <= static_cast<JDIMENSION>(kImageMaxSide) &&
           height <= static_cast<JDIMENSION>(kImageMaxSide);
}

// Decodes rows into the locked storage: R, G, B and 255, top row first.
void ReadRows(jpeg_decompress_struct* cinfo, JSAMPARRAY row, uint8_t* out) {
    const JDIMENSION width = cinfo->output_width;
    while (cinfo->output_scanline < cinfo->output_height) {
        const JDIMENSION y = cinfo->output_scanline;
        if (jpeg_read_scanlines(cinfo, row, 1) != 1) {
            break; // only a suspending source returns 0; ours never suspends
        }
        uint8_t* dst = out + static_cast<size_t>(y) * width * 4u;
        const JSAMPLE* src = row[0];
        for (JDIMENSION x = 0; x < width; ++x) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
            dst[3] = 255;
            dst += 4;
            src += 3;
        }
    }
}

} // namespace

ImageBuffer* DecodeJpegFromMemory(const void* data, uint32_t size) {
    ImageBuffer* image = CreateImageBuffer();
    if (image == nullptr) {
        return nullptr;
    }
    // Only objects without destructors live across the setjmp, and nothing
    // that the recovery path reads is changed after it.
    jpeg_decompress_struct cinfo = {};
    JpegErrorManager err = {};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    if (setjmp(err.recovery) != 0) {
        jpeg_destroy_decompress(&cinfo);
        image->Destroy();
        return nullptr;
    }
    jpeg_create_decompress(&cinfo);
    SetJpegMemorySource(&cinfo, static_cast<const unsigned char*>(data), size);
    jpeg_read_header(&cinfo, TRUE);
    // Refused before start: a progressive image would buffer every coefficient.
    if (!SidesAcceptable(cinfo.image_width, cinfo.image_height)) {
        jpeg_destroy_decompress(&cinfo);
        image->Destroy();
        return nullptr;
    }
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3 || !SidesAcceptable(cinfo.output_width, cinfo.output_height)) {
        jpeg_destroy_decompress(&cinfo);
        image->Destroy();
        return nullptr;
    }
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                cinfo.output_width * 3u, 1);
    ImageLockInfo info = {};
    if (!image->SetSize(static_cast<int32_t>(cinfo.output_width), static_cast<int32_t>(cinfo.output_height))) {
        jpeg_destroy_decompress(&cinfo);
        image->Destroy();
        return nullptr;
    }
    image->Lock(&info, kImageLockWrite);
    ReadRows(&cinfo, row, static_cast<uint8_t*>(info.pixels));
    image->Unlock();
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return image;
}

// JPEG decoding from memory through libjpeg's version 6 interface.
#include "texture/image.h"
#include "texture/jpeg_source.h"

#include <jerror.h> // WARNMS, JWRN_JPEG_EOF

#include <cstdint> // uint32_t, uint8_t

#ifndef JCS_EXTENSIONS
#error "the JPEG decoder needs libjpeg-turbo's extended colour spaces (JCS_EXT_RGBA)"
#endif

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

// False when a Huffman-coded frame has more blocks than `size` bytes can code.
// Arithmetic coding can spend less than a bit on a block, so it is not judged.
bool FrameFitsData(const jpeg_decompress_struct& cinfo, uint32_t size) {
    if (cinfo.arith_code) {
        return true;
    }
    int64_t blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        blocks += static_cast<int64_t>(comp.width_in_blocks) * comp.height_in_blocks;
    }
    return blocks <= kJpegMaxBlocksPerByte * static_cast<int64_t>(size);
}

// Progress monitor that ends a decode whose file goes past kJpegMaxScans
// scans. libjpeg calls it before every row of every scan while it buffers a
// multi-scan image, so the limit holds before the extra scan does any work.
void LimitScans(j_common_ptr common) {
    const j_decompress_ptr cinfo = reinterpret_cast<j_decompress_ptr>(common);
    if (cinfo->input_scan_number > kJpegMaxScans) {
        // Our own limit, not a library error: no message of libjpeg's to print.
        longjmp(reinterpret_cast<JpegErrorManager*>(common->err)->recovery, 1);
    }
}

// Decodes every row straight into the locked storage, top row first:
// libjpeg-turbo's RGBA output writes R, G, B and 255 itself, and is given
// all the rows it can fill in one call. Row pointers come from the
// decompressor's per-image pool, under its memory cap.
void ReadRows(jpeg_decompress_struct* cinfo, uint8_t* out) {
    const JDIMENSION height = cinfo->output_height;
    const size_t stride = static_cast<size_t>(cinfo->output_width) * 4u;
    JSAMPARRAY rows = static_cast<JSAMPARRAY>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, sizeof(JSAMPROW) * height));
    for (JDIMENSION y = 0; y < height; ++y) {
        rows[y] = out + stride * y;
    }
    while (cinfo->output_scanline < height) {
        const JDIMENSION y = cinfo->output_scanline;
        if (jpeg_read_scanlines(cinfo, rows + y, height - y) == 0) {
            break; // only a suspending source returns 0; ours never suspends
        }
    }
}

// What the header says about the image, judged before any decoding work.
ImageLoadStatus JudgeHeader(jpeg_decompress_struct* cinfo, uint32_t size, ImageSizeCheck accept) {
    // The output size and component count are known once the parameters are
    // settled; nothing is decoded yet.
    jpeg_calc_output_dimensions(cinfo);
    if (cinfo->output_components != 3 || !SidesAcceptable(cinfo->output_width, cinfo->output_height)) {
        return ImageLoadStatus::kFailed;
    }
    if (accept != nullptr &&
        !accept(static_cast<int32_t>(cinfo->output_width), static_cast<int32_t>(cinfo->output_height))) {
        return ImageLoadStatus::kSizeRefused;
    }
    return FrameFitsData(*cinfo, size) ? ImageLoadStatus::kLoaded : ImageLoadStatus::kFailed;
}

void SetStatus(ImageLoadStatus* status, ImageLoadStatus value) {
    if (status != nullptr) {
        *status = value;
    }
}

} // namespace

ImageBuffer* DecodeJpegFromMemory(const void* data, uint32_t size) {
    return DecodeJpegFromMemory(data, size, nullptr, nullptr);
}

ImageBuffer* DecodeJpegFromMemory(const void* data, uint32_t size, ImageSizeCheck accept, ImageLoadStatus* status) {
    SetStatus(status, ImageLoadStatus::kFailed);
    // Only objects without destructors live across the setjmp, and nothing
    // that the recovery path reads is changed after it. The image is created
    // only once the header has passed, so a refused file takes no storage.
    ImageBuffer* volatile image = nullptr;
    jpeg_decompress_struct cinfo = {};
    JpegErrorManager err = {};
    jpeg_progress_mgr progress = {};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    if (setjmp(err.recovery) != 0) {
        jpeg_destroy_decompress(&cinfo);
        if (image != nullptr) {
            image->Destroy();
        }
        return nullptr;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kJpegMaxMemory;
    progress.progress_monitor = LimitScans;
    cinfo.progress = &progress;
    SetJpegMemorySource(&cinfo, static_cast<const unsigned char*>(data), size);
    jpeg_read_header(&cinfo, TRUE);
    const ImageLoadStatus verdict = JudgeHeader(&cinfo, size, accept);
    if (verdict != ImageLoadStatus::kLoaded) {
        jpeg_destroy_decompress(&cinfo);
        SetStatus(status, verdict);
        return nullptr;
    }
    image = CreateImageBuffer();
    if (image == nullptr) {
        jpeg_destroy_decompress(&cinfo);
        return nullptr;
    }
    // The header was judged on plain RGB output (three components); the
    // pixels are asked for as RGBA, the layout the image stores.
    cinfo.out_color_space = JCS_EXT_RGBA;
    // A multi-scan file is read whole here, under the scan limit and the
    // memory cap.
    jpeg_start_decompress(&cinfo);
    ImageLockInfo info = {};
    if (!image->SetSize(static_cast<int32_t>(cinfo.output_width), static_cast<int32_t>(cinfo.output_height))) {
        jpeg_destroy_decompress(&cinfo);
        image->Destroy();
        return nullptr;
    }
    image->Lock(&info, kImageLockWrite);
    ReadRows(&cinfo, static_cast<uint8_t*>(info.pixels));
    image->Unlock();
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    SetStatus(status, ImageLoadStatus::kLoaded);
    return image;
}

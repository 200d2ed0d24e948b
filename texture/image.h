// Image decoding: JPEG files held in memory and uncompressed TGA files read
// from the current archive, both turned into R, G, B(, A) bytes ready for
// GL_UNSIGNED_BYTE uploads.
//
// Ownership: an ImageBuffer belongs to whoever created it and is released with
// its own Destroy (the texture table keeps every decoded JPEG until shutdown).
// Its pixel storage comes from the platform's global storage. A TgaImage
// belongs to whoever loaded it and is released with FreeTgaImage. Nothing here
// keeps global state; decompressors live only inside one decode call.
#pragma once

#include <cstdint> // int32_t, uint32_t, uint8_t

// Largest side the decoders accept, so that width x height x 4 always fits in
// 32 bits and a lying header cannot ask for gigabytes.
constexpr int32_t kImageMaxSide = 8192;

// Most scans a JPEG may carry. Every scan of a progressive or multi-scan file
// walks its whole frame, so the scan count multiplies the work of a decode.
// The usual progression scripts for colour images send about ten scans (DC,
// then spectral bands and refinements of each component); 100 leaves ten
// times that for any encoder's own script, while a hostile file that repeats
// empty scans thousands of times is stopped after 100 cheap passes.
constexpr int32_t kJpegMaxScans = 100;

// Most working memory libjpeg may take for one decode (its coefficient
// buffer, row buffers and tables), in bytes. The largest image the texture
// manager accepts (256 x 256, three full-resolution components) needs about
// 0.4 MB of coefficients in a progressive file; a baseline row of the widest
// image we decode (kImageMaxSide) with 4 x 4 sampling needs a few MB of row
// buffers. 16 MiB covers both with room to spare and keeps a lying frame size
// from reserving hundreds of megabytes of coefficients.
constexpr long kJpegMaxMemory = 16L * 1024 * 1024;

// A Huffman-coded JPEG spends at least one bit on every 8 x 8 block of every
// component (the DC code of a sequential or first DC scan), so a file of N
// bytes holds at most 8 N blocks. A frame that claims more is refused from its
// header; a file cut short still decodes while its frame passes this test.
constexpr int64_t kJpegMaxBlocksPerByte = 8;

// ImageBuffer::Lock flag bits.
constexpr int32_t kImageLockRead = 1;
constexpr int32_t kImageLockWrite = 2;

// What Lock and GetTgaInfo report about an image.
struct ImageLockInfo {
    int32_t width;
    int32_t height;
    void* pixels;     // null when the caller asked for no access or there is no storage
    int32_t reserved; // 0 from Lock; the GL format (GL_RGB or GL_RGBA) from GetTgaInfo
};

// A width x height block of 32-bit pixel words stored row after row without
// padding; each word holds R, G, B, A from its lowest-addressed byte. The slot
// order of the operations is fixed.
class ImageBuffer {
  public:
    // Releases the storage if any; width and height stay.
    virtual void FreePixels() = 0;
    // Obtains width x height x 4 bytes (contents undefined) when the size
    // differs from the current one; the same size keeps storage and contents.
    // Returns false, leaving a 0 x 0 image without storage, for a negative size,
    // a side above kImageMaxSide or a failed allocation.
    virtual bool SetSize(int32_t width, int32_t height) = 0;
    // Fills `info`: always width and height and reserved = 0; the storage
    // address when `flags` has the read or the write bit, else null. The write
    // bit increments the change counter.
    virtual void Lock(ImageLockInfo* info, int32_t flags) = 0;
    // Does nothing; pairs with Lock.
    virtual void Unlock() = 0;
    // The change counter: write locks plus SetPixel calls.
    virtual int32_t GetChangeCount() const = 0;
    // Stores `pixel` at (x, y) and increments the change counter; ignored
    // outside the image or without storage.
    virtual void SetPixel(int32_t x, int32_t y, uint32_t pixel) = 0;
    // The word at (x, y); 0 outside the image or without storage.
    virtual uint32_t GetPixel(int32_t x, int32_t y) const = 0;
    // Releases the storage and the object itself.
    virtual void Destroy() = 0;

  protected:
    ~ImageBuffer() = default; // released through Destroy only
};

// A new empty image: no storage, 0 x 0, change counter 0. Released with Destroy.
ImageBuffer* CreateImageBuffer();

// Decides from a header's width and height, before any pixel memory is taken,
// whether the caller wants the image at all (the texture manager passes its
// own size rule). Null accepts every size the decoders can hold.
using ImageSizeCheck = bool (*)(int32_t width, int32_t height);

// Why a checked load gave no image.
enum class ImageLoadStatus {
    kLoaded,
    kSizeRefused, // the header's size failed the caller's ImageSizeCheck
    kFailed,      // anything else: missing, corrupt, unsupported, over a bound
};

// Decodes a complete JPEG file of `size` bytes into a new image, top row
// first, every alpha byte 255. Null for corrupt or unsupported data (libjpeg
// prints its message on standard error), for output other than 3-component
// colour, or for a side above kImageMaxSide. A truncated file ends early with
// the rows that were there. The caller releases the image with Destroy.
// Bound for N input bytes: refused from the header when a side passes
// kImageMaxSide or, Huffman-coded, the frame has more than 8 N blocks; at
// most kJpegMaxScans passes over a frame held in at most kJpegMaxMemory of
// libjpeg memory, then one output pass; memory is kJpegMaxMemory plus the
// pixels, width x height x 4 <= min(2048 N, 256 MiB) bytes for Huffman files.
ImageBuffer* DecodeJpegFromMemory(const void* data, uint32_t size);

// DecodeJpegFromMemory that first asks `accept` about the header's size and
// refuses the image before any pixel memory or decoding work when it says no.
// `status` (when not null) tells why the result is null. Bound: that of
// DecodeJpegFromMemory, with width x height limited further by `accept`.
ImageBuffer* DecodeJpegFromMemory(const void* data, uint32_t size, ImageSizeCheck accept, ImageLoadStatus* status);

// An uncompressed TGA image as loaded from the archive.
struct TgaImage {
    int32_t width;
    int32_t height;
    int32_t bitsPerPixel; // 24 or 32
    int32_t pixelCount;   // width x height
    int32_t format;       // GL_RGBA (6408) for 32 bits, GL_RGB (6407) for 24 bits
    uint8_t* pixels;      // pixelCount x 4 or x 3 bytes, R G B (A), rows in file order
};

// TGA header layout.
constexpr int32_t kTgaHeaderSize = 18;
constexpr int32_t kTgaSizeOffset = 12;

// Loads an uncompressed true-colour or black-and-white (types 2, 3) TGA of 24
// or 32 bits from g_currentPak. Null, with the entry closed and everything
// released, for a missing entry, a header shorter than 18 bytes, a colour map,
// another type or depth, a side of 0 or above kImageMaxSide, an ID field past
// the end or short pixel data. Released with FreeTgaImage.
// Bound for an entry of N bytes: one pass over at most N bytes, and a pixel
// block of at most N - 18 bytes, allocated only once the entry holds it.
TgaImage* LoadTgaImage(const char* name);

// LoadTgaImage that refuses, from the 18-byte header and before any pixel
// memory, an image whose size `accept` rejects; `status` (when not null)
// tells why the result is null.
TgaImage* LoadTgaImage(const char* name, ImageSizeCheck accept, ImageLoadStatus* status);

// Releases the pixel storage of `image` and the record itself; null is ignored.
void FreeTgaImage(TgaImage* image);

// Fills `info` with width, height, pixels and, in `reserved`, the GL format.
// Returns 0 (also, with nothing written, for null arguments).
int GetTgaInfo(const TgaImage* image, ImageLockInfo* info);

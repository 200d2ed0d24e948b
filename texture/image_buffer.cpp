// ImageBuffer: the one concrete image class behind the abstract interface.
#include "texture/image.h"

#include "platform/platform.h" // PlatformGlobalAlloc, PlatformGlobalFree

#include <cstddef> // size_t
#include <new>     // std::nothrow

namespace {

class PixelImage final : public ImageBuffer {
  public:
    void FreePixels() override {
        if (pixels_ != nullptr) {
            PlatformGlobalFree(pixels_);
            pixels_ = nullptr;
        }
    }

    bool SetSize(int32_t width, int32_t height) override {
        if (width == width_ && height == height_ && (pixels_ != nullptr || width == 0 || height == 0)) {
            return true;
        }
        FreePixels();
        width_ = 0;
        height_ = 0;
        // The side limit keeps width x height x 4 far inside 32 bits.
        if (width < 0 || height < 0 || width > kImageMaxSide || height > kImageMaxSide) {
            return false;
        }
        const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4u;
        if (bytes > 0) {
            pixels_ = static_cast<uint32_t*>(PlatformGlobalAlloc(bytes));
            if (pixels_ == nullptr) {
                return false;
            }
        }
        width_ = width;
        height_ = height;
        return true;
    }

    void Lock(ImageLockInfo* info, int32_t flags) override {
        if ((flags & kImageLockWrite) != 0) {
            ++changeCount_;
        }
        if (info == nullptr) {
            return;
        }
        info->width = width_;
        info->height = height_;
        info->pixels = (flags & (kImageLockRead | kImageLockWrite)) != 0 ? pixels_ : nullptr;
        info->reserved = 0;
    }

    void Unlock() override {}

    int32_t GetChangeCount() const override { return changeCount_; }

    void SetPixel(int32_t x, int32_t y, uint32_t pixel) override {
        if (!Inside(x, y)) {
            return;
        }
        pixels_[Index(x, y)] = pixel;
        ++changeCount_;
    }

    uint32_t GetPixel(int32_t x, int32_t y) const override { return Inside(x, y) ? pixels_[Index(x, y)] : 0u; }

    void Destroy() override {
        FreePixels();
        delete this;
    }

  private:
    ~PixelImage() = default;

    bool Inside(int32_t x, int32_t y) const {
        return pixels_ != nullptr && x >= 0 && y >= 0 && x < width_ && y < height_;
    }
    size_t Index(int32_t x, int32_t y) const {
        return static_cast<size_t>(x) + static_cast<size_t>(y) * static_cast<size_t>(width_);
    }

    uint32_t* pixels_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t changeCount_ = 0;
};

} // namespace

ImageBuffer* CreateImageBuffer() { return new (std::nothrow) PixelImage(); }

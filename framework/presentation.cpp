// The presentation preset and the geometry of a picture on a larger surface,
// shared by both backends.
#include "framework/lumora_local.h"
#include "framework/res_dialog_preset.h"

#include <cstdint> // int64_t
#include <cstdlib> // getenv
#include <cstring> // strcmp, strncmp

bool ParsePresentationPreset(const char* text, PresentationChoice* choice) {
    if (text == nullptr || choice == nullptr) {
        return false;
    }
    if (std::strcmp(text, "desktop") == 0) {
        *choice = PresentationChoice{true, 1};
        return true;
    }
    constexpr char kScale[] = "scale=";
    constexpr size_t kScaleLength = sizeof(kScale) - 1;
    if (std::strncmp(text, kScale, kScaleLength) != 0) {
        return false;
    }
    // One or two digits only, so the value can never overflow.
    const char* digits = text + kScaleLength;
    int scale = 0;
    int count = 0;
    for (; digits[count] >= '0' && digits[count] <= '9' && count < 2; ++count) {
        scale = scale * 10 + (digits[count] - '0');
    }
    if (count == 0 || digits[count] != '\0' || scale < 1 || scale > kMaxWindowScale) {
        return false;
    }
    *choice = PresentationChoice{false, scale};
    return true;
}

PresentationChoice TakePresentationPreset() {
    PresentationChoice choice{false, 1};
    ParsePresentationPreset(std::getenv(kPresentationPresetVariable), &choice);
    return choice;
}

PictureRect FitPicture(const int surfaceWidth, const int surfaceHeight, const int pictureWidth,
                       const int pictureHeight) {
    if (surfaceWidth <= 0 || surfaceHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0) {
        return PictureRect{0, 0, 0, 0};
    }
    // Compared as cross products in 64 bits: no rounding decides which side
    // gets the bars.
    const int64_t wide = static_cast<int64_t>(surfaceWidth) * pictureHeight;
    const int64_t tall = static_cast<int64_t>(surfaceHeight) * pictureWidth;
    int width = surfaceWidth;
    int height = surfaceHeight;
    if (wide > tall) {
        // Bars left and right.
        width = static_cast<int>((static_cast<int64_t>(surfaceHeight) * pictureWidth + pictureHeight / 2) /
                                 pictureHeight);
    } else if (wide < tall) {
        // Bars above and below.
        height = static_cast<int>((static_cast<int64_t>(surfaceWidth) * pictureHeight + pictureWidth / 2) /
                                  pictureWidth);
    }
    return PictureRect{(surfaceWidth - width) / 2, (surfaceHeight - height) / 2, width, height};
}

void DesktopPictureSize(const int screenWidth, const int screenHeight, int* width, int* height) {
    const PictureRect fit = FitPicture(screenWidth, screenHeight, 4, 3);
    *width = fit.width;
    *height = fit.height;
}

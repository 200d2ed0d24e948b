// The eight display modes of the dialog and how a confirmed choice becomes the
// settings record.
#include "framework/lumora_local.h"

const DisplayModeEntry kDisplayModes[kDisplayModeCount] = {
    {"320x240   16 Bit", 320, 240, 16}, {"640x480   16 Bit", 640, 480, 16},
    {"800x600   16 Bit", 800, 600, 16}, {"1024x768  16 Bit", 1024, 768, 16},
    {"320x240   32 Bit", 320, 240, 32}, {"640x480   32 Bit", 640, 480, 32},
    {"800x600   32 Bit", 800, 600, 32}, {"1024x768  32 Bit", 1024, 768, 32},
};

void ApplyResChoice(_FrameWork& settings, const ResDialogChoice& choice) {
    // The depth is decided by the index alone, even for "no selection" (-1).
    settings.bits = choice.index < 4 ? 16 : 32;
    if (choice.index >= 0 && choice.index < kDisplayModeCount) {
        settings.width = kDisplayModes[choice.index].width;
        settings.height = kDisplayModes[choice.index].height;
    }
    settings.fullscreen = choice.fullscreen;
    settings.playSounds = choice.playSounds;
}

// What every backend shares: the exported data, the record's copy, the
// failure texts and the pixel format request.
#include "framework/lumora_local.h"

#include <cstdlib> // malloc
#include <cstring> // memcpy, strlen

_FrameWork fwk;
int done = 0;
HDC g_hMainWinDC = nullptr;

_FrameWork& _FrameWork::operator=(const _FrameWork& other) {
    if (this != &other) {
        std::memcpy(static_cast<void*>(this), static_cast<const void*>(&other), sizeof(_FrameWork));
    }
    return *this;
}

extern const char kMsgRegisterClass[] = "Failed To Register The Window Class";
extern const char kMsgFullscreen[] =
    "This Drivers Doesn't Support FullScreen Mode. Try to Download a newer one or change your video card.\n"
    "Please use Windowed mode.\n\n"
    "NOTE : if you have a 3dfx accelerated video card you can try windowed mode. In this case with some "
    "drivers "
    "you will obtain fullscreen accelerated 3D graphic.";
extern const char kMsgWindowCreation[] = "Window Creation Error1";
// The window creation error when no screen could show the window: it says why
// and how the show can still be seen.
extern const char kMsgNoDisplay[] = "Window Creation Error1\n"
                             "No display was found: there is no screen to show the window on.\n"
                             "To render the show off screen, run the player with --capture DIR.";
extern const char kMsgDeviceContext[] = "Can't Create A GL Device Context";
extern const char kMsgChooseFormat[] = "Can't Find A Suitable PixelFormat";
extern const char kMsgSetFormat[] = "Can't Set The PixelFormat";
extern const char kMsgCreateContext[] = "Can't Create A GL Rendering Context";
extern const char kMsgActivateContext[] = "Can't Activate The GL Rendering Context";
extern const char kMsgInitGL[] = "OpenGL initialization Failed";
extern const char kMsgRestoreMode[] = "Can't restore original video mode";
extern const char kMsgReleaseDCRC[] = "Release Of DC And RC Failed";
extern const char kMsgReleaseRC[] = "Release Rendering Context Failed";
extern const char kMsgReleaseDC[] = "Release Device Context Failed";
extern const char kMsgReleaseWnd[] = "Could Not Release hWnd";
extern const char kMsgUnregister[] = "Could Not Unregister Class";

char* CopyTitle(const char* title) {
    const char* source = title != nullptr ? title : "";
    const size_t length = std::strlen(source);
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy != nullptr) {
        std::memcpy(copy, source, length + 1);
    }
    return copy;
}

int FailWith(const char* message) {
    SysError(const_cast<char*>(message));
    return 0;
}

void FillPixelFormatRequest(PIXELFORMATDESCRIPTOR* pfd, const int colourBits) {
    *pfd = PIXELFORMATDESCRIPTOR{};
    pfd->nSize = sizeof(PIXELFORMATDESCRIPTOR);
    pfd->nVersion = 1;
    pfd->dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd->iPixelType = PFD_TYPE_RGBA;
    pfd->cColorBits = static_cast<BYTE>(colourBits);
    pfd->cDepthBits = 16;
    pfd->iLayerType = PFD_MAIN_PLANE;
}

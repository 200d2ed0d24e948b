// The Irrlicht contenders.
#include "bench/peer_irrlicht.h"
#include "bench/corridor_ours.h" // CorridorView

#include <irrlicht/irrlicht.h>

#include <GL/gl.h>
#include <GL/glx.h>

#include <cstdlib> // getenv

namespace {

irr::IrrlichtDevice* s_device = nullptr;

} // namespace

bool IrrlichtStart() {
    s_device = irr::createDevice(irr::video::EDT_NULL);
    if (s_device == nullptr) {
        return false;
    }
    s_device->getLogger()->setLogLevel(irr::ELL_NONE);
    return true;
}

bool IrrlichtLoadMesh(const std::string& path) {
    irr::scene::ISceneManager* manager = s_device->getSceneManager();
    irr::scene::IAnimatedMesh* mesh = manager->getMesh(path.c_str());
    if (mesh == nullptr) {
        return false;
    }
    // The cache would hand the same mesh back on the next round.
    manager->getMeshCache()->removeMesh(mesh);
    return true;
}

bool IrrlichtLoadImage(const std::string& path) {
    irr::video::IImage* image = s_device->getVideoDriver()->createImageFromFile(path.c_str());
    if (image == nullptr) {
        return false;
    }
    image->drop();
    return true;
}

void IrrlichtStop() {
    if (s_device != nullptr) {
        s_device->drop();
        s_device = nullptr;
    }
}

// --- The corridor frame ----------------------------------------------------------

namespace {

irr::IrrlichtDevice* s_glDevice = nullptr;
// The GLX binding the device made at its start, put back by MakeCurrent.
Display* s_glxDisplay = nullptr;
GLXDrawable s_glxDraw = 0;
GLXDrawable s_glxRead = 0;
GLXContext s_glxContext = nullptr;
int s_glWidth = 0;
int s_glHeight = 0;

// Irrlicht's MD2 loader keeps the file's axes with y and z exchanged; ours
// turns them with a rotation. Both stand the character upright; they differ
// by a mirror and this turn about the vertical, so the character faces the
// same way in both pictures (the model is near symmetric; the mirror is left).
constexpr float kCharacterYawOffset = 90.0f;
// Irrlicht counts MD2 frames in quarters.
constexpr int kMd2FrameShift = 2;

float Degrees(const float radians) {
    return radians * 180.0f / irr::core::PI;
}

} // namespace

bool IrrlichtCorridorStart(const std::string& scenePath, const std::string& md2Path, const std::string& skinPath,
                           const CorridorView& view, const int width, const int height, std::string* error) {
    irr::SIrrlichtCreationParameters p;
    p.DriverType = irr::video::EDT_OPENGL;
    p.WindowSize = irr::core::dimension2d<irr::u32>(static_cast<irr::u32>(width), static_cast<irr::u32>(height));
    p.Bits = 24;
    p.ZBufferBits = 16;
    p.Fullscreen = false;
    p.Stencilbuffer = false;
    p.Vsync = false;
    p.Doublebuffer = true;
    p.AntiAlias = 0;
    p.LoggingLevel = std::getenv("TESSARO_BENCH_IRRLICHT_LOG") != nullptr ? irr::ELL_INFORMATION : irr::ELL_NONE;
    s_glDevice = irr::createDeviceEx(p);
    if (s_glDevice == nullptr) {
        *error = "no Irrlicht OpenGL device (no X display?)";
        return false;
    }
    s_glxDisplay = glXGetCurrentDisplay();
    s_glxDraw = glXGetCurrentDrawable();
    s_glxRead = glXGetCurrentReadDrawable();
    s_glxContext = glXGetCurrentContext();
    if (s_glxDisplay == nullptr || s_glxContext == nullptr) {
        *error = "Irrlicht's OpenGL device left no GLX context current";
        return false;
    }
    if (!glXIsDirect(s_glxDisplay, s_glxContext)) {
        // The X server would draw, in its own process: not the same race.
        *error = "Irrlicht's GLX context is indirect";
        return false;
    }
    s_glWidth = width;
    s_glHeight = height;
    irr::scene::ISceneManager* smgr = s_glDevice->getSceneManager();
    irr::video::IVideoDriver* driver = s_glDevice->getVideoDriver();

    irr::scene::IAnimatedMesh* corridor = smgr->getMesh(scenePath.c_str());
    if (corridor == nullptr) {
        *error = "Irrlicht cannot load " + scenePath;
        return false;
    }
    // A static level: its buffers live on the driver's side, as an Irrlicht
    // user would keep them.
    corridor->setHardwareMappingHint(irr::scene::EHM_STATIC);
    smgr->addMeshSceneNode(corridor->getMesh(0));

    if (view.character) {
        irr::scene::IAnimatedMesh* md2 = smgr->getMesh(md2Path.c_str());
        irr::video::ITexture* skin = driver->getTexture(skinPath.c_str());
        if (md2 == nullptr || skin == nullptr) {
            *error = "Irrlicht cannot load " + md2Path + " or " + skinPath;
            return false;
        }
        irr::scene::IAnimatedMeshSceneNode* node = smgr->addAnimatedMeshSceneNode(md2);
        node->setMaterialTexture(0, skin);
        node->setPosition(irr::core::vector3df(view.characterPos[0], view.characterPos[1], view.characterPos[2]));
        node->setRotation(irr::core::vector3df(Degrees(view.characterRot[0]),
                                               Degrees(view.characterRot[1]) + kCharacterYawOffset,
                                               Degrees(view.characterRot[2])));
        node->setAnimationSpeed(0.0f);
        const float frame = static_cast<float>(view.characterFrame << kMd2FrameShift) +
                            view.characterFrac * static_cast<float>(1 << kMd2FrameShift);
        node->setCurrentFrame(frame);
    }

    for (int i = 0; i < view.lightCount; ++i) {
        const irr::video::SColorf colour(view.lightColour[i][0], view.lightColour[i][1], view.lightColour[i][2]);
        irr::scene::ILightSceneNode* light = smgr->addLightSceneNode(
            nullptr, irr::core::vector3df(view.lightPos[i][0], view.lightPos[i][1], view.lightPos[i][2]), colour);
        // Ours: diffuse only, no fall-off with distance.
        irr::video::SLight& data = light->getLightData();
        data.Attenuation = irr::core::vector3df(1.0f, 0.0f, 0.0f);
        data.SpecularColor = irr::video::SColorf(0.0f, 0.0f, 0.0f);
        data.AmbientColor = irr::video::SColorf(0.0f, 0.0f, 0.0f);
    }

    irr::scene::ICameraSceneNode* camera = smgr->addCameraSceneNode(
        nullptr, irr::core::vector3df(view.eye[0], view.eye[1], view.eye[2]),
        irr::core::vector3df(view.target[0], view.target[1], view.target[2]));
    camera->setUpVector(irr::core::vector3df(view.up[0], view.up[1], view.up[2]));
    camera->setFOV(view.fovDegrees * irr::core::PI / 180.0f);
    camera->setAspectRatio(view.aspect);
    camera->setNearValue(view.nearPlane);
    camera->setFarValue(view.farPlane);
    // One frame, so that every lazily made GL object exists before timing.
    return IrrlichtCorridorFrames(1, true);
}

bool IrrlichtCorridorMakeCurrent() {
    return s_glxDisplay != nullptr && glXMakeContextCurrent(s_glxDisplay, s_glxDraw, s_glxRead, s_glxContext);
}

void IrrlichtCorridorDetach() {
    // Releasing when nothing of GLX is current is refused by libglvnd with
    // an X error (BadAccess) that ends the process.
    if (s_glxDisplay != nullptr && glXGetCurrentContext() != nullptr) {
        glXMakeContextCurrent(s_glxDisplay, None, None, nullptr);
    }
}

bool IrrlichtCorridorFrames(const int frames, const bool present) {
    irr::video::IVideoDriver* driver = s_glDevice->getVideoDriver();
    irr::scene::ISceneManager* smgr = s_glDevice->getSceneManager();
    bool ok = true;
    for (int i = 0; i < frames; ++i) {
        ok = driver->beginScene(true, true, irr::video::SColor(255, 0, 0, 0)) && ok;
        smgr->drawAll();
        if (present) {
            ok = driver->endScene() && ok;
        }
    }
    glFinish();
    return ok;
}

std::vector<unsigned char> IrrlichtCorridorReadBack() {
    std::vector<unsigned char> pixels(static_cast<size_t>(s_glWidth) * static_cast<size_t>(s_glHeight) * 4u);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, s_glWidth, s_glHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

void IrrlichtCorridorStop() {
    if (s_glDevice != nullptr) {
        IrrlichtCorridorMakeCurrent();
        s_glDevice->closeDevice();
        s_glDevice->run();
        s_glDevice->drop();
        s_glDevice = nullptr;
        s_glxDisplay = nullptr;
    }
}

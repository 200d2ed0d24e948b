// The Irrlicht contenders.
#include "bench/peer_irrlicht.h"

#include <irrlicht/irrlicht.h>

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

// tessaro-bench-irrlicht-start: the peer of the player's start-up to its
// first frame, as a whole process. An Irrlicht user's program that opens an
// OpenGL window, loads the corridor (a 3DS file, its textures beside it) and
// the character with its skin, draws one frame and shows it, then ends.
// Run by tessaro-bench's start-up section; not a test.
//
// Usage: tessaro-bench-irrlicht-start SCENE.3ds CHARACTER.md2 SKIN.jpg
#include <irrlicht/irrlicht.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: tessaro-bench-irrlicht-start SCENE.3ds CHARACTER.md2 SKIN.jpg\n");
        return 2;
    }
    irr::SIrrlichtCreationParameters p;
    p.DriverType = irr::video::EDT_OPENGL;
    p.WindowSize = irr::core::dimension2d<irr::u32>(640, 480);
    p.Bits = 24;
    p.ZBufferBits = 16;
    p.Doublebuffer = true;
    p.LoggingLevel = irr::ELL_NONE;
    irr::IrrlichtDevice* device = irr::createDeviceEx(p);
    if (device == nullptr) {
        std::fprintf(stderr, "tessaro-bench-irrlicht-start: no OpenGL device\n");
        return 1;
    }
    irr::scene::ISceneManager* smgr = device->getSceneManager();
    irr::video::IVideoDriver* driver = device->getVideoDriver();
    irr::scene::IAnimatedMesh* corridor = smgr->getMesh(argv[1]);
    irr::scene::IAnimatedMesh* character = smgr->getMesh(argv[2]);
    irr::video::ITexture* skin = driver->getTexture(argv[3]);
    if (corridor == nullptr || character == nullptr || skin == nullptr) {
        std::fprintf(stderr, "tessaro-bench-irrlicht-start: cannot load the content\n");
        device->drop();
        return 1;
    }
    smgr->addMeshSceneNode(corridor->getMesh(0));
    smgr->addAnimatedMeshSceneNode(character)->setMaterialTexture(0, skin);
    smgr->addCameraSceneNode(nullptr, irr::core::vector3df(0.0f, 30.0f, -150.0f), irr::core::vector3df(0.0f, 0.0f, 0.0f));
    bool ok = driver->beginScene(true, true, irr::video::SColor(255, 0, 0, 0));
    smgr->drawAll();
    ok = driver->endScene() && ok;
    device->closeDevice();
    device->drop();
    return ok ? 0 : 1;
}

// A scene's material textures: the 3DS reader records the map file names, and
// the engine loads them from the archive as GL textures (needs the headless
// GL context).
#include "engine/engine.h"
#include "loader3ds/format3ds.h"
#include "scene/scene.h"
#include "tests/support/gl_context.h"
#include "tools/formats/image_writer.h"
#include "tests/support/load3ds_helper.h"
#include "tools/formats/writer3ds.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Texture3dsTest : public Pool3dsTest {
  protected:
    void SetUp() override {
        Pool3dsTest::SetUp();
        if (!TestGlMakeCurrent(64, 64)) {
            GTEST_SKIP() << "no GL context: " << TestGlError();
        }
    }
};

std::vector<uint8_t> MaterialsFile(const std::vector<std::string>& maps) {
    Writer3DS w;
    w.Begin(kChunkMain);
    w.Begin(kChunkEditor);
    w.Material("Plain", {0, 0, 0}, {1, 1, 1}, {0, 0, 0});
    for (size_t i = 0; i < maps.size(); ++i) {
        w.Material("M" + std::to_string(i), {0, 0, 0}, {1, 1, 1}, {0, 0, 0}, maps[i]);
    }
    return w.Finish();
}

PakWriteEntry TgaEntry(const std::string& name) {
    const std::vector<uint8_t> pixels(8 * 8 * 3, 0x80);
    return PakWriteEntry{name, 0x11, EncodeTga(pixels.data(), 8, 8, 24)};
}

// LoadSceneTextures, with the thrown text or "" when nothing was thrown.
std::string LoadTextures(Scene* scene) {
    try {
        LoadSceneTextures(scene);
    } catch (const char* message) {
        return message;
    }
    return "";
}

TEST_F(Texture3dsTest, TheReaderRecordsMapNamesAndLoadsNoTexture) {
    Loaded3ds l(MaterialsFile({"nowhere.jpg"}));
    ASSERT_TRUE(l.ok()) << l.error();
    ASSERT_EQ(l.scene().materialCount, 2);
    EXPECT_EQ(l.scene().materials[0]->mapFile, nullptr);
    EXPECT_STREQ(l.scene().materials[1]->mapFile, "nowhere.jpg");
    EXPECT_EQ(l.scene().materials[1]->texture, 0u);
}

TEST_F(Texture3dsTest, MapFileInTheArchiveGetsATextureName) {
    Loaded3ds l(MaterialsFile({"wall.tga", "FLOOR.TGA"}), {TgaEntry("wall.tga"), TgaEntry("floor.tga")});
    ASSERT_TRUE(l.ok()) << l.error();
    EXPECT_EQ(LoadTextures(&l.scene()), "");
    Scene& s = l.scene();
    ASSERT_EQ(s.materialCount, 3);
    EXPECT_EQ(s.materials[0]->texture, 0u); // no map file: nothing loaded
    EXPECT_NE(s.materials[1]->texture, 0u);
    EXPECT_NE(s.materials[2]->texture, 0u);
    EXPECT_NE(s.materials[1]->texture, s.materials[2]->texture);
    EXPECT_EQ(LoadTextures(nullptr), "");
}

TEST_F(Texture3dsTest, MissingMapFileIsFatal) {
    Loaded3ds l(MaterialsFile({"wall.tga", "nowhere.jpg"}), {TgaEntry("wall.tga")});
    ASSERT_TRUE(l.ok()) << l.error();
    EXPECT_EQ(LoadTextures(&l.scene()), "Caricamento materiale fallito, texture non trovata");
    EXPECT_NE(l.scene().materials[1]->texture, 0u); // materials before it were loaded
}

} // namespace

// 3DS reader with textures on: material map files are loaded from the archive
// as GL textures after the walk (needs the headless GL context).
#include "loader3ds/format3ds.h"
#include "loader3ds/loader3ds.h"
#include "scene/scene.h"
#include "tests/support/gl_context.h"
#include "tests/support/image_writer.h"
#include "tests/support/load3ds_helper.h"
#include "tests/support/writer3ds.h"

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

TEST_F(Texture3dsTest, MapFileInTheArchiveGetsATextureName) {
    Loaded3ds l(MaterialsFile({"wall.tga", "FLOOR.TGA"}), 1, {TgaEntry("wall.tga"), TgaEntry("floor.tga")});
    ASSERT_TRUE(l.ok()) << l.error();
    Scene& s = l.scene();
    ASSERT_EQ(s.materialCount, 3);
    EXPECT_EQ(s.materials[0]->texture, 0u); // no map file: nothing loaded
    EXPECT_NE(s.materials[1]->texture, 0u);
    EXPECT_NE(s.materials[2]->texture, 0u);
    EXPECT_NE(s.materials[1]->texture, s.materials[2]->texture);
}

TEST_F(Texture3dsTest, MissingMapFileIsFatal) {
    Loaded3ds l(MaterialsFile({"wall.tga", "nowhere.jpg"}), 1, {TgaEntry("wall.tga")});
    EXPECT_EQ(l.error(), "Caricamento materiale fallito, texture non trovata");
    EXPECT_NE(l.scene().materials[1]->texture, 0u); // materials before it were loaded
}

TEST_F(Texture3dsTest, TexturesOffLoadsNothing) {
    Loaded3ds l(MaterialsFile({"nowhere.jpg"}), 0);
    ASSERT_TRUE(l.ok()) << l.error();
    EXPECT_EQ(l.scene().materials[1]->texture, 0u);
}

} // namespace

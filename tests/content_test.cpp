// The content builder: every file it makes is read back through our own
// loaders and compared with what was written; the names the scene script asks
// for are present; the archive holds exactly the script's files and the
// scenes' maps; the build gives the same bytes every time.
#include "tools/content/content.h"
#include "tools/content/mesh_kit.h"
#include "tests/support/test_env.h"

#include "app/show_file.h" // kShowFile
#include "archive/archive.h"
#include "archive/pak_writer.h"
#include "engine/engine.h" // LoadSceneTextures
#include "keyframe/keyframe.h"
#include "md2/md2.h"
#include "scene/sky_box.h" // kSkyBoxFaces
#include "texture/image.h"
#include "texture/texture.h"
#include "tests/support/debug_capture.h"
#include "tests/support/gl_context.h"
#include "tests/support/load3ds_helper.h"

#include <gtest/gtest.h>


#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

struct SceneCase {
    const char* file;
    Scene3ds (*make)();
};

Scene3ds Logo() {
    return MakeLogoScene();
}
Scene3ds Blur0() {
    return MakeBlurScene(0);
}
Scene3ds Blur1() {
    return MakeBlurScene(1);
}
Scene3ds Corridors() {
    return MakeCorridorScene(false);
}
Scene3ds Corridoru() {
    return MakeCorridorScene(true);
}

const SceneCase kScenes[] = {{kLogoFile, Logo},
                             {kBlur0File, Blur0},
                             {kBlur1File, Blur1},
                             {kCorridorsFile, Corridors},
                             {kCorridoruFile, Corridoru}};

// Every mesh name the scene script looks up in corridoru.
const char* const kScriptMeshes[] = {
    "NGon01",     "NGon02",  "NGon03",  "NGon06",  "NGon11",  "NGon12",     "NGon13",    "NGon14", "NGon15",
    "NGon16",     "NGon17",  "NGon18",  "NGon19",  "NGon20",  "NGon21",     "NGon22",    "NGon23", "Object01",
    "EsternoVen", "porte04", "porte05", "porte06", "porte07", "Rectangle0", "Rectangle1"};

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string TempPath(const std::string& stem) {
    static int s_serial = 0;
    return ::testing::TempDir() + "tessaro_content_" + std::to_string(::TestProcessId()) + "_" +
           std::to_string(s_serial++) + stem;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool IsPowerOfTwoSide(int32_t v) {
    return v >= 1 && v <= 256 && (v & (v - 1)) == 0;
}

// The built content written into a temporary archive that becomes g_currentPak.
class ContentArchive {
  public:
    ContentArchive() {
        std::string why;
        ok_ = BuildContent(&entries_, &why);
        path_ = TempPath(".qdz");
        ok_ = ok_ && PakWriteArchive(path_, entries_, &why);
        pak_ = ok_ ? PakOpen(path_.c_str(), "rb") : nullptr;
        ok_ = ok_ && pak_ != nullptr;
    }
    ~ContentArchive() {
        if (pak_) {
            PakClose(pak_);
            if (g_currentPak == pak_) {
                g_currentPak = nullptr;
            }
        }
        std::remove(path_.c_str());
    }
    ContentArchive(const ContentArchive&) = delete;
    ContentArchive& operator=(const ContentArchive&) = delete;
    bool ok() const { return ok_; }
    const std::vector<PakWriteEntry>& entries() const { return entries_; }

  private:
    bool ok_ = false;
    std::string path_;
    PAKFile* pak_ = nullptr;
    std::vector<PakWriteEntry> entries_;
};

using ContentTest = Pool3dsTest;

// --- scenes --------------------------------------------------------------

void ExpectMeshAsWritten(Scene& scene, const Scene3ds& desc, size_t index) {
    const Mesh3ds& m = desc.meshes[index];
    SCOPED_TRACE(m.name);
    MeshObject* o = scene.FindObject(m.name.c_str());
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->vertexCount, static_cast<int32_t>(m.vertices.size()));
    EXPECT_EQ(o->faceCount, static_cast<int32_t>(m.faces.size()));
    ASSERT_EQ(o->groupCount, static_cast<int32_t>(m.groups.size()));
    for (size_t g = 0; g < m.groups.size(); ++g) {
        EXPECT_STREQ(o->groups[g].material->name, m.groups[g].material.c_str());
        EXPECT_EQ(o->groups[g].faceCount, static_cast<int32_t>(m.groups[g].faces.size()));
    }
    EXPECT_EQ(o->positionTrack.keyCount, m.position.size());
    EXPECT_EQ(o->rotationTrack.keyCount, m.rotation.size());
    EXPECT_EQ(o->scaleTrack.keyCount, m.scale.size());
    EXPECT_EQ(o->nodeId, static_cast<int32_t>(index));
    if (m.parent < 0) {
        EXPECT_EQ(o->parent, nullptr);
    } else {
        ASSERT_NE(o->parent, nullptr);
        EXPECT_STREQ(o->parent->name, desc.meshes[static_cast<size_t>(m.parent)].name.c_str());
    }
    // The pivot became the object's position, file axes exchanged.
    EXPECT_FLOAT_EQ(o->pos[0], m.origin.x);
    EXPECT_FLOAT_EQ(o->pos[1], m.origin.z);
    EXPECT_FLOAT_EQ(o->pos[2], m.origin.y);
}

TEST_F(ContentTest, ScenesReadBackAsWritten) {
    for (const SceneCase& sc : kScenes) {
        SCOPED_TRACE(sc.file);
        const Scene3ds desc = sc.make();
        Loaded3ds loaded(Encode3ds(desc), {}, sc.file);
        ASSERT_TRUE(loaded.ok()) << loaded.error();
        Scene& scene = loaded.scene();
        EXPECT_EQ(scene.frameCount, desc.lastFrame - desc.firstFrame + 1);
        EXPECT_EQ(scene.objectCount, static_cast<int32_t>(desc.meshes.size() + desc.dummies.size()));
        ASSERT_EQ(scene.materialCount, static_cast<int32_t>(desc.materials.size()));
        for (size_t i = 0; i < desc.materials.size(); ++i) {
            EXPECT_STREQ(scene.materials[i]->name, desc.materials[i].name.c_str());
            ASSERT_NE(scene.materials[i]->mapFile, nullptr);
            EXPECT_STREQ(scene.materials[i]->mapFile, desc.materials[i].mapFile.c_str());
            EXPECT_FLOAT_EQ(scene.materials[i]->diffuse[0], desc.materials[i].diffuse.x);
        }
        for (size_t i = 0; i < desc.meshes.size(); ++i) {
            ExpectMeshAsWritten(scene, desc, i);
        }
        // Dummies: numbered after the meshes, linked under their parents.
        size_t dummies = 0;
        for (MeshObject* o = scene.objects; o; o = o->nextObject) {
            if (std::strcmp(o->name, kDummyNodeName) != 0) {
                continue;
            }
            const size_t k = static_cast<size_t>(o->nodeId) - desc.meshes.size();
            ASSERT_LT(k, desc.dummies.size());
            ASSERT_NE(o->parent, nullptr);
            EXPECT_STREQ(o->parent->name,
                         desc.meshes[static_cast<size_t>(desc.dummies[k].parent)].name.c_str());
            EXPECT_EQ(o->positionTrack.keyCount, desc.dummies[k].position.size());
            ++dummies;
        }
        EXPECT_EQ(dummies, desc.dummies.size());
        EXPECT_GE(dummies, 1u);
        ASSERT_EQ(scene.lightCount, static_cast<int32_t>(desc.lights.size()));
        ASSERT_LE(scene.lightCount, kSceneLightCapacity);
        for (size_t i = 0; i < desc.lights.size(); ++i) {
            const Light* l = scene.lights[i];
            EXPECT_STREQ(l->name, desc.lights[i].name.c_str());
            EXPECT_EQ(l->kind, desc.lights[i].spot ? 0x503 : 0x502);
            EXPECT_FLOAT_EQ(l->pos[1], desc.lights[i].position.z);
            EXPECT_EQ(l->positionTrack.keyCount, desc.lights[i].positionKeys.size());
            EXPECT_EQ(l->colourTrack.keyCount, desc.lights[i].colourKeys.size());
            EXPECT_EQ(l->targetTrack.keyCount, desc.lights[i].targetKeys.size());
        }
        ASSERT_EQ(scene.cameraCount, static_cast<int32_t>(desc.cameras.size()));
        for (size_t i = 0; i < desc.cameras.size(); ++i) {
            const Camera* c = scene.cameras[i];
            EXPECT_STREQ(c->name, desc.cameras[i].name.c_str());
            EXPECT_EQ(c->positionTrack.keyCount, desc.cameras[i].positionKeys.size());
            EXPECT_EQ(c->targetTrack.keyCount, desc.cameras[i].targetKeys.size());
            EXPECT_EQ(c->rollTrack.keyCount, desc.cameras[i].rollKeys.size());
            EXPECT_EQ(c->fovTrack.keyCount, desc.cameras[i].fovKeys.size());
            EXPECT_GE(c->fovTrack.keyCount, 1);
            EXPECT_GE(c->rollTrack.keyCount, 1);
        }
    }
}

// The flight down the empty corridor shapes its camera path with spline
// parameters; the character's corridor frames its shots with plain keys.
TEST_F(ContentTest, SplineParametersReachTheKeys) {
    const Scene3ds desc = MakeCorridorScene(false);
    Loaded3ds loaded(Encode3ds(desc), {}, kCorridorsFile);
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    const Camera3ds& written = desc.cameras[0];
    const Camera* camera = loaded.scene().cameras[0];
    int32_t withSpline = 0;
    for (size_t k = 0; k < written.positionKeys.size(); ++k) {
        const VectorKey& key = static_cast<const VectorKey*>(camera->positionTrack.keys)[k];
        const TrackKey3ds& w = written.positionKeys[k];
        EXPECT_EQ(key.frame, w.frame);
        const float tension = (w.splineFlags & 1) ? w.spline[0] : 0.0f;
        EXPECT_FLOAT_EQ(key.tension, tension);
        withSpline +=
            (w.splineFlags & 7) != 0 && (key.tension != 0.0f || key.continuity != 0.0f || key.bias != 0.0f);
        // Values arrive with y and z exchanged.
        EXPECT_FLOAT_EQ(key.value[1], w.value[2]);
        EXPECT_FLOAT_EQ(key.value[2], w.value[1]);
    }
    EXPECT_GE(withSpline, 1);
}

TEST_F(ContentTest, CorridorsHoldEveryNameTheScriptLooksUp) {
    for (const bool flight : {true, false}) {
        Loaded3ds loaded(Encode3ds(MakeCorridorScene(flight)), {},
                         flight ? kCorridoruFile : kCorridorsFile);
        ASSERT_TRUE(loaded.ok()) << loaded.error();
        for (const char* name : kScriptMeshes) {
            MeshObject* o = loaded.scene().FindObject(name);
            ASSERT_NE(o, nullptr) << name;
            EXPECT_GT(o->faceCount, 0) << name;
            EXPECT_GE(o->groupCount, 1) << name;
            EXPECT_EQ(o->parent, nullptr) << name << " must be drawn";
        }
        EXPECT_EQ(loaded.scene().cameraCount, 1);
    }
}

TEST_F(ContentTest, CorridorPairLinesUp) {
    const Scene3ds u = MakeCorridorScene(true);
    const Scene3ds s = MakeCorridorScene(false);
    for (const char* name : kScriptMeshes) {
        const int32_t iu = MeshNodeNumber(u, name);
        const int32_t is = MeshNodeNumber(s, name);
        ASSERT_GE(iu, 0);
        ASSERT_GE(is, 0);
        const Mesh3ds& a = u.meshes[static_cast<size_t>(iu)];
        const Mesh3ds& b = s.meshes[static_cast<size_t>(is)];
        ASSERT_EQ(a.vertices.size(), b.vertices.size()) << name;
        for (size_t v = 0; v < a.vertices.size(); ++v) {
            ASSERT_EQ(a.vertices[v].x, b.vertices[v].x) << name;
            ASSERT_EQ(a.vertices[v].y, b.vertices[v].y) << name;
            ASSERT_EQ(a.vertices[v].z, b.vertices[v].z) << name;
        }
        // Both start where the other's unplayed tracks leave it: at the pivot.
        ASSERT_FALSE(a.position.empty());
        ASSERT_FALSE(b.position.empty());
        EXPECT_EQ(a.position[0].value, b.position[0].value) << name;
        EXPECT_EQ(a.position[0].frame, 0) << name;
        EXPECT_EQ(a.position[0].value, (std::vector<float>{a.origin.x, a.origin.y, a.origin.z})) << name;
    }
}

// No floor face inside the mirror's rectangle, floor beyond it at both ends.
TEST_F(ContentTest, MirrorRectangleIsLeftToTheMirror) {
    Loaded3ds loaded(Encode3ds(MakeCorridorScene(true)), {}, kCorridoruFile);
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    int32_t before = 0;
    int32_t after = 0;
    for (MeshObject* o = loaded.scene().objects; o; o = o->nextObject) {
        for (int32_t f = 0; f < o->faceCount; ++f) {
            const Face& face = o->faces[f];
            float centre[3] = {0.0f, 0.0f, 0.0f};
            bool flat = true;
            for (const uint16_t v : {face.a, face.b, face.c}) {
                const float* p = o->vertices[v].position;
                for (int k = 0; k < 3; ++k) {
                    centre[k] += (p[k] + o->pos[k]) / 3.0f;
                }
                flat = flat && std::fabs(p[1] + o->pos[1]) < 0.5f;
            }
            if (!flat) {
                continue;
            }
            const bool inside =
                centre[0] > -50.0f && centre[0] < 50.0f && centre[2] > -200.0f && centre[2] < 200.0f;
            EXPECT_FALSE(inside) << o->name << " has a face on the mirror at z " << centre[2];
            before += centre[2] < -200.0f;
            after += centre[2] > 200.0f;
        }
    }
    EXPECT_GT(before, 0);
    EXPECT_GT(after, 0);
}

// Draw lengths: the logo between 150 and 250 frames, the blur scenes long
// enough for their fades, corridoru long enough for the whole choreography.
TEST_F(ContentTest, SceneLengthsFitTheTimeline) {
    const Scene3ds logo = MakeLogoScene();
    const int32_t ll = logo.lastFrame - logo.firstFrame + 1;
    EXPECT_GE(ll, 150);
    EXPECT_LE(ll, 250);
    EXPECT_GE(MakeBlurScene(0).lastFrame + 1, 120);
    EXPECT_GE(MakeBlurScene(1).lastFrame + 1, 160);
    const Scene3ds u = MakeCorridorScene(true);
    const int32_t lc = u.lastFrame - u.firstFrame + 1;
    // Moves of the script: two fixed durations, then loops at speed 1/3.
    const std::vector<CharacterMotion>& m = CharacterMotions();
    const int32_t loops[][2] = {{5, 1}, {0, 2}, {6, 1}, {4, 1}, {11, 1}, {8, 1}, {0, 1}, {1, 2}, {1, 1}};
    int32_t choreography = 92 + 30;
    for (const auto& l : loops) {
        choreography += 3 * m[static_cast<size_t>(l[0])].frames * l[1];
    }
    EXPECT_EQ(choreography, 647);
    // corridoru is shown until 100 frames before its end.
    EXPECT_GE(lc - 100, choreography);
    // The corridors flight outlasts its 100 frames on screen.
    EXPECT_GT(MakeCorridorScene(false).lastFrame + 1, 100);
}

// Every face a camera may see has at least one light in front of it (the
// renderer has no ambient term).
TEST_F(ContentTest, VisibleFacesHaveALightInFront) {
    for (const SceneCase& sc : kScenes) {
        SCOPED_TRACE(sc.file);
        const Scene3ds desc = sc.make();
        std::vector<Vec3f> eyes;
        for (const Camera3ds& c : desc.cameras) {
            eyes.push_back(c.position);
            for (const TrackKey3ds& k : c.positionKeys) {
                eyes.push_back({k.value[0], k.value[1], k.value[2]});
            }
        }
        std::vector<Vec3f> lamps;
        for (const Light3ds& l : desc.lights) {
            lamps.push_back(l.position);
        }
        int32_t checked = 0;
        for (const Mesh3ds& m : desc.meshes) {
            for (const Face3ds& f : m.faces) {
                const Vec3f a = m.vertices[f.a];
                const Vec3f n = Cross(Sub(m.vertices[f.b], a), Sub(m.vertices[f.c], a));
                const Vec3f centre = Scale(Add(a, Add(m.vertices[f.b], m.vertices[f.c])), 1.0f / 3.0f);
                bool seen = false;
                for (const Vec3f& e : eyes) {
                    seen = seen || Dot(n, Sub(e, centre)) > 0.0f;
                }
                if (!seen) {
                    continue;
                }
                bool lit = false;
                for (const Vec3f& l : lamps) {
                    lit = lit || Dot(n, Sub(l, centre)) > 0.0f;
                }
                EXPECT_TRUE(lit) << m.name << " face " << f.a << " normal " << n.x << " " << n.y << " " << n.z
                                 << " at " << centre.x << " " << centre.y << " " << centre.z;
                ++checked;
            }
        }
        EXPECT_GT(checked, 0);
    }
}

// --- character -----------------------------------------------------------

TEST(ContentCharacterNames, FrameNamesGroupIntoTheirMotions) {
    const std::vector<CharacterMotion>& m = CharacterMotions();
    ASSERT_EQ(m.size(), 20u);
    const struct {
        size_t motion;
        int32_t index;
        const char* name;
    } cases[] = {{0, 0, "stand01"},   {0, 39, "stand40"},  {1, 0, "run1"},      {1, 5, "run6"},
                 {3, 0, "pain101"},   {5, 3, "pain304"},   {7, 11, "flip12"},   {12, 18, "crstand19"},
                 {17, 5, "death106"}, {19, 7, "death308"}, {14, 8, "crattack9"}};
    for (const auto& c : cases) {
        EXPECT_EQ(CharacterFrameName(m[c.motion], c.index), c.name);
    }
    const int32_t counts[20] = {40, 6, 8, 4, 4, 4, 6, 12, 11, 17, 11, 12, 19, 6, 9, 4, 5, 6, 6, 8};
    for (size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(m[i].frames, counts[i]) << m[i].stem;
    }
}

class ContentCharacterTest : public ContentTest {
  protected:
    void SetUp() override {
        ContentTest::SetUp();
        ASSERT_TRUE(archive_.ok());
        std::memset(static_cast<void*>(&model_), 0, sizeof model_);
        ASSERT_EQ(model_.Load(kCharacterFile), 1);
    }
    // The model's one group lives on the heap for the program's life; a
    // test gives it back.
    void TearDown() override { delete model_.groups; }
    // Box of absolute frame f: min x, y, z, max x, y, z (engine axes).
    const float* Box(uint32_t f) const { return model_.frameBoxes + 6 * f; }
    uint32_t First(size_t motion) const { return model_.anims[motion].firstFrame; }

    ContentArchive archive_;
    Md2Model model_;
};

TEST_F(ContentCharacterTest, MotionsAndMeshReadBack) {
    const std::vector<CharacterMotion>& m = CharacterMotions();
    ASSERT_EQ(model_.animCount, 20u);
    uint32_t first = 0;
    for (size_t i = 0; i < m.size(); ++i) {
        EXPECT_EQ(model_.anims[i].firstFrame, first) << m[i].stem;
        EXPECT_EQ(model_.anims[i].frameCount, static_cast<uint32_t>(m[i].frames)) << m[i].stem;
        first += static_cast<uint32_t>(m[i].frames);
    }
    EXPECT_EQ(model_.frameCount, first);
    const Md2WriterModel written = MakeCharacterModel();
    EXPECT_EQ(model_.facesPerFrame, written.triangles.size());
    EXPECT_GE(model_.facesPerFrame, 200u);
    EXPECT_LE(model_.facesPerFrame, 800u);
    const std::vector<uint8_t> bytes = Md2WriteBytes(written);
    EXPECT_EQ(Md2ReadHeader(bytes, kMd2FieldSkinWidth), 256);
    EXPECT_EQ(Md2ReadHeader(bytes, kMd2FieldSkinCount), 1);
    // GL commands: a three-vertex strip per triangle and the closing 0.
    EXPECT_EQ(Md2ReadHeader(bytes, kMd2FieldGlCommandCount),
              static_cast<int32_t>(written.triangles.size() * 10 + 1));
    ASSERT_FALSE(written.glCommands.empty());
    EXPECT_EQ(written.glCommands.front(), 3);
    EXPECT_EQ(written.glCommands.back(), 0);
    EXPECT_EQ(Md2ReadHeader(bytes, kMd2FieldEndOffset), static_cast<int32_t>(bytes.size()));
}

TEST_F(ContentCharacterTest, StandsOnItsSolesAndIsAboutFiftySixTall) {
    // Engine y is the file's z: soles 24 below the origin.
    const float* stand = Box(First(0));
    EXPECT_NEAR(stand[1], -24.0f, 0.3f);
    EXPECT_NEAR(stand[4] - stand[1], 56.0f, 3.0f);
    // Centred on the origin across and along.
    EXPECT_NEAR(0.5f * (stand[0] + stand[3]), 0.0f, 4.0f);
    EXPECT_NEAR(0.5f * (stand[2] + stand[5]), 0.0f, 4.0f);
}

TEST_F(ContentCharacterTest, MotionsReadAsTheyShould) {
    const float* stand = Box(First(0));
    // Jump: off the floor in the middle frames.
    EXPECT_GT(Box(First(6) + 2)[1], stand[1] + 8.0f);
    // Run: the stride reaches further forward and back than standing.
    EXPECT_GT(Box(First(1) + 1)[5] - Box(First(1) + 1)[2], stand[5] - stand[2] + 6.0f);
    // Point: the arm reaches out ahead (the file's forward is the engine's -z).
    EXPECT_LT(Box(First(11) + 6)[2], stand[2] - 8.0f);
    // Salute: a hand comes up near the head, the figure no taller.
    EXPECT_NEAR(Box(First(8) + 5)[4], stand[4], 3.0f);
    // Flinches: the pose changes from standing.
    for (const size_t pain : {3u, 4u, 5u}) {
        const float* b = Box(First(pain) + 1);
        float change = 0.0f;
        for (int k = 0; k < 6; ++k) {
            change += std::fabs(b[k] - stand[k]);
        }
        EXPECT_GT(change, 4.0f) << pain;
    }
}

// --- textures and archive ------------------------------------------------

TEST_F(ContentTest, EveryPictureDecodesWithPowerOfTwoSides) {
    ContentArchive archive;
    ASSERT_TRUE(archive.ok());
    int32_t jpeg = 0;
    std::set<int32_t> tgaDepths;
    for (const PakWriteEntry& e : archive.entries()) {
        SCOPED_TRACE(e.name);
        EXPECT_LE(e.name.size(), static_cast<size_t>(kPakMaxNameLength));
        if (EndsWith(e.name, ".jpg")) {
            ImageBuffer* image = DecodeJpegFromMemory(e.data.data(), static_cast<uint32_t>(e.data.size()));
            ASSERT_NE(image, nullptr);
            ImageLockInfo info{};
            image->Lock(&info, 0);
            EXPECT_TRUE(IsPowerOfTwoSide(info.width));
            EXPECT_TRUE(IsPowerOfTwoSide(info.height));
            if (e.name == kCharacterSkinFile) {
                EXPECT_EQ(info.width, 256);
                EXPECT_EQ(info.height, 256);
            }
            image->Destroy();
            ++jpeg;
        } else if (EndsWith(e.name, ".tga")) {
            TgaImage* image = LoadTgaImage(e.name.c_str());
            ASSERT_NE(image, nullptr);
            EXPECT_TRUE(IsPowerOfTwoSide(image->width));
            EXPECT_TRUE(IsPowerOfTwoSide(image->height));
            tgaDepths.insert(image->bitsPerPixel);
            FreeTgaImage(image);
        }
    }
    EXPECT_GE(jpeg, 4);
    EXPECT_EQ(tgaDepths, (std::set<int32_t>{24, 32}));
}

TEST_F(ContentTest, ArchiveHoldsTheScriptsFilesAndTheScenesMaps) {
    std::vector<PakWriteEntry> entries;
    std::string why;
    ASSERT_TRUE(BuildContent(&entries, &why)) << why;
    std::set<std::string> expected = {
        kLogoFile,      kBlur0File,         kBlur1File,  kCorridorsFile,      kCorridoruFile,
        kCharacterFile, kCharacterSkinFile, kChromeFile, kCorridorChromeFile, kMirrorFloorFile, kLogoSkyFile,
        kSongFile,      kShowFile};
    for (const std::string& name : SceneTextureNames()) {
        expected.insert(name);
    }
    for (const std::string& name : LogoSkyPictures()) {
        expected.insert(name);
    }
    std::set<std::string> present;
    for (const PakWriteEntry& e : entries) {
        EXPECT_TRUE(present.insert(e.name).second) << "twice: " << e.name;
        EXPECT_FALSE(e.data.empty()) << e.name;
    }
    EXPECT_EQ(present, expected);
    // The build's own archive, read through the archive reader.
    PAKFile* pak = PakOpen(TESSARO_CONTENT_ARCHIVE, "rb");
    ASSERT_NE(pak, nullptr) << TESSARO_CONTENT_ARCHIVE;
    for (const std::string& name : expected) {
        const PakDirEntry* d = PakFind(pak, name.c_str());
        ASSERT_NE(d, nullptr) << name;
        EXPECT_GT(d->size, 0) << name;
    }
    PakClose(pak);
    g_currentPak = nullptr;
}

TEST(ContentBuild, SameBytesEveryTime) {
    std::vector<PakWriteEntry> a;
    std::vector<PakWriteEntry> b;
    ASSERT_TRUE(BuildContent(&a, nullptr));
    ASSERT_TRUE(BuildContent(&b, nullptr));
    std::vector<uint8_t> bytesA;
    std::vector<uint8_t> bytesB;
    ASSERT_TRUE(PakBuildArchive(a, &bytesA, nullptr));
    ASSERT_TRUE(PakBuildArchive(b, &bytesB, nullptr));
    EXPECT_EQ(bytesA, bytesB);
    // The build's archive is exactly these bytes.
    EXPECT_EQ(ReadWholeFile(TESSARO_CONTENT_ARCHIVE), bytesA);
    // And the program writes them again.
    const std::string out = TempPath(".qdz");
    const std::string command = std::string("\"") + TESSARO_CONTENT_TOOL + "\" \"" + out + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadWholeFile(out), bytesA);
    std::remove(out.c_str());
    // A few MB at most.
    EXPECT_LT(bytesA.size(), 4u * 1024u * 1024u);
}

TEST(ContentBuild, ToolRefusesWrongArguments) {
    const std::string command = std::string("\"") + TESSARO_CONTENT_TOOL + "\" > /dev/null 2>&1";
    EXPECT_NE(std::system(command.c_str()), 0);
    const std::string bad =
        std::string("\"") + TESSARO_CONTENT_TOOL + "\" /nonexistent-dir/x/pako.qdz 2>/dev/null";
    EXPECT_NE(std::system(bad.c_str()), 0);
}

} // namespace

namespace {

// --- the whole show's content in the program's own pool sizes ----------------

TEST_F(ContentTest, AllScenesAndTheCharacterFitThePools) {
    ContentArchive archive;
    ASSERT_TRUE(archive.ok());
    DebugCapture capture;
    std::vector<std::unique_ptr<Scene>> scenes;
    for (const SceneCase& sc : kScenes) {
        scenes.push_back(std::make_unique<Scene>());
        try {
            Load3ds(sc.file, scenes.back().get());
        } catch (const char* message) {
            FAIL() << sc.file << ": " << message;
        }
        PrepareTracks(scenes.back().get());
    }
    Md2Model model;
    std::memset(static_cast<void*>(&model), 0, sizeof model);
    EXPECT_EQ(model.Load(kCharacterFile), 1);
    delete model.groups;
    for (const std::string& m : capture.messages) {
        EXPECT_EQ(m.find("Memoria esaurita"), std::string::npos) << m;
    }
    for (auto& s : scenes) {
        s->Destroy();
    }
}

// --- the writers ------------------------------------------------------------

// Every face of a closed box points away from its centre (or toward it).
TEST(ContentWriters, BoxFacesPointOutwardsOrInwards) {
    for (const bool inside : {false, true}) {
        MeshKit kit;
        kit.Box({-1.0f, -2.0f, -3.0f}, {3.0f, 2.0f, 1.0f}, "M", 1.0f, inside);
        const Mesh3ds m = kit.Make("Box", {0.0f, 0.0f, 0.0f});
        ASSERT_EQ(m.faces.size(), 12u);
        const Vec3f centre{1.0f, 0.0f, -1.0f};
        for (const Face3ds& f : m.faces) {
            const Vec3f a = m.vertices[f.a];
            const Vec3f n = Cross(Sub(m.vertices[f.b], a), Sub(m.vertices[f.c], a));
            const float out = Dot(n, Sub(a, centre));
            EXPECT_EQ(out > 0.0f, !inside);
            EXPECT_NE(out, 0.0f);
        }
    }
    MeshKit open;
    open.Box({0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f}, "M", 1.0f, false, true);
    const Mesh3ds m = open.Make("Open", {0.0f, 0.0f, 0.0f});
    ASSERT_EQ(m.faces.size(), 10u);
    for (const Face3ds& f : m.faces) {
        const bool allLow =
            m.vertices[f.a].z == 0.0f && m.vertices[f.b].z == 0.0f && m.vertices[f.c].z == 0.0f;
        EXPECT_FALSE(allLow) << "the bottom is left out";
    }
}

// A bevelled block turned at any angle stays closed and faces outwards, its
// front toward -y.
TEST(ContentWriters, BevelBlockFacesOutwards) {
    for (const float angle : {0.0f, 0.5f, -1.2f}) {
        MeshKit kit;
        kit.BevelBlock({5.0f, 1.0f, 2.0f}, 6.0f, 20.0f, 8.0f, 1.5f, angle, "Face", "Edge");
        const Mesh3ds m = kit.Make("Block", {5.0f, 1.0f, 2.0f});
        ASSERT_EQ(m.groups.size(), 2u);
        EXPECT_EQ(m.groups[0].material, "Face");
        EXPECT_EQ(m.groups[0].faces.size(), 2u);
        float area = 0.0f;
        for (const Face3ds& f : m.faces) {
            const Vec3f a = m.vertices[f.a];
            const Vec3f n = Cross(Sub(m.vertices[f.b], a), Sub(m.vertices[f.c], a));
            const Vec3f centroid = Scale(Add(a, Add(m.vertices[f.b], m.vertices[f.c])), 1.0f / 3.0f);
            EXPECT_GT(Dot(n, Sub(centroid, Vec3f{5.0f, 1.0f, 2.0f})), 0.0f) << angle;
            area += Dot(n, Vec3f{0.0f, 1.0f, 0.0f});
        }
        // A closed surface: the signed projected areas cancel.
        EXPECT_NEAR(area, 0.0f, 1e-2f) << angle;
        const Face3ds& front = m.faces[m.groups[0].faces[0]];
        const Vec3f fa = m.vertices[front.a];
        EXPECT_LT(Cross(Sub(m.vertices[front.b], fa), Sub(m.vertices[front.c], fa)).y, 0.0f);
    }
}

TEST(ContentWriters, PanelCutsIntoPiecesWithContinuousTextureCoordinates) {
    MeshKit kit;
    kit.Panel({0.0f, 0.0f, 0.0f}, {40.0f, 0.0f, 0.0f}, {0.0f, 20.0f, 0.0f}, 4, 2, "M", 10.0f);
    const Mesh3ds m = kit.Make("Panel", {0.0f, 0.0f, 0.0f});
    EXPECT_EQ(m.faces.size(), 16u);
    EXPECT_EQ(m.vertices.size(), 32u);
    float maxU = 0.0f;
    float maxV = 0.0f;
    for (size_t i = 0; i < m.uvs.size(); ++i) {
        // One repeat every 10 units: u = x / 10, v = y / 10.
        EXPECT_FLOAT_EQ(m.uvs[i].u, m.vertices[i].x / 10.0f);
        EXPECT_FLOAT_EQ(m.uvs[i].v, m.vertices[i].y / 10.0f);
        maxU = std::max(maxU, m.uvs[i].u);
        maxV = std::max(maxV, m.uvs[i].v);
    }
    EXPECT_FLOAT_EQ(maxU, 4.0f);
    EXPECT_FLOAT_EQ(maxV, 2.0f);
    for (const Face3ds& f : m.faces) {
        const Vec3f a = m.vertices[f.a];
        EXPECT_GT(Cross(Sub(m.vertices[f.b], a), Sub(m.vertices[f.c], a)).z, 0.0f);
    }
}

// TGA pictures come back pixel for pixel through the image loader, both depths.
TEST_F(ContentTest, TgaPicturesRoundTrip) {
    for (const int32_t channels : {3, 4}) {
        Picture p = MakePicture(8, 4, channels, Rgba{0.0f, 0.0f, 0.0f, 1.0f});
        for (int32_t y = 0; y < 4; ++y) {
            for (int32_t x = 0; x < 8; ++x) {
                SetPixel(&p, x, y, Rgba{x / 7.0f, y / 3.0f, HashNoise(x, y, 5), 0.5f});
            }
        }
        const std::string path = TempPath(".qdz");
        ASSERT_TRUE(PakWriteArchive(path, {PakWriteEntry{"p.tga", kContentMask, PictureToTga(p)}}, nullptr));
        PAKFile* pak = PakOpen(path.c_str(), "rb");
        ASSERT_NE(pak, nullptr);
        TgaImage* image = LoadTgaImage("p.tga");
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->bitsPerPixel, channels * 8);
        ASSERT_EQ(image->width, 8);
        ASSERT_EQ(image->height, 4);
        // The file is stored bottom row first; the loader keeps file order.
        for (int32_t y = 0; y < 4; ++y) {
            for (int32_t x = 0; x < 8; ++x) {
                const size_t at =
                    (static_cast<size_t>(3 - y) * 8 + static_cast<size_t>(x)) * static_cast<size_t>(channels);
                const size_t src =
                    (static_cast<size_t>(y) * 8 + static_cast<size_t>(x)) * static_cast<size_t>(channels);
                for (int32_t k = 0; k < channels; ++k) {
                    ASSERT_EQ(image->pixels[at + static_cast<size_t>(k)],
                              p.pixels[src + static_cast<size_t>(k)])
                        << x << "," << y;
                }
            }
        }
        FreeTgaImage(image);
        PakClose(pak);
        g_currentPak = nullptr;
        std::remove(path.c_str());
    }
}

TEST(ContentWriters, JpegPicturesDecodeCloseToThePaint) {
    Picture p = MakePicture(16, 16, 3, Rgba{0.2f, 0.4f, 0.8f, 1.0f});
    const std::vector<uint8_t> jpeg = PictureToJpeg(p, 95);
    ASSERT_FALSE(jpeg.empty());
    ImageBuffer* image = DecodeJpegFromMemory(jpeg.data(), static_cast<uint32_t>(jpeg.size()));
    ASSERT_NE(image, nullptr);
    const uint32_t px = image->GetPixel(7, 7);
    EXPECT_NEAR(static_cast<int>(px & 0xFF), 51, 4);
    EXPECT_NEAR(static_cast<int>((px >> 8) & 0xFF), 102, 4);
    EXPECT_NEAR(static_cast<int>((px >> 16) & 0xFF), 204, 4);
    image->Destroy();
}

TEST(ContentWriters, PictureEdgesAreSafe) {
    Picture p = MakePicture(4, 2, 4, Rgba{1.0f, 1.0f, 1.0f, 1.0f});
    SetPixel(&p, -1, 0, Rgba{0.0f, 0.0f, 0.0f, 0.0f});
    SetPixel(&p, 4, 0, Rgba{0.0f, 0.0f, 0.0f, 0.0f});
    SetPixel(&p, 0, 2, Rgba{0.0f, 0.0f, 0.0f, 0.0f});
    FillRect(&p, -5, -5, 50, 1, Rgba{2.0f, -1.0f, 0.5f, 1.0f}); // clipped and clamped
    EXPECT_EQ(p.pixels[0], 255);
    EXPECT_EQ(p.pixels[1], 0);
    EXPECT_EQ(p.pixels[2], 128);
    EXPECT_EQ(p.pixels[4 * 4 + 1], 255); // the second row untouched
    // Reads wrap around.
    EXPECT_FLOAT_EQ(GetPixel(p, -1, 0).g, GetPixel(p, 3, 0).g);
    EXPECT_FLOAT_EQ(HashNoise(3, 4, 9), HashNoise(3, 4, 9));
    EXPECT_NE(HashNoise(3, 4, 9), HashNoise(4, 3, 9));
}

TEST(ContentWriters, UnknownTextureGivesNothing) {
    EXPECT_TRUE(MakeTextureFile("nosuch.jpg").empty());
    EXPECT_FALSE(MakeTextureFile(kChromeFile).empty());
}

} // namespace

namespace {

// The scenes with their textures, as the engine loads them: every material
// map is in the archive, decodes and uploads (a failure would throw).
TEST_F(ContentTest, ScenesLoadWithTheirTextures) {
    ASSERT_TRUE(TestGlMakeCurrent(16, 16)) << TestGlError();
    ContentArchive archive;
    ASSERT_TRUE(archive.ok());
    for (const SceneCase& sc : kScenes) {
        SCOPED_TRACE(sc.file);
        Scene scene;
        try {
            Load3ds(sc.file, &scene);
            LoadSceneTextures(&scene);
        } catch (const char* message) {
            FAIL() << message;
        }
        for (int32_t i = 0; i < scene.materialCount; ++i) {
            EXPECT_NE(scene.materials[i]->texture, 0u) << scene.materials[i]->name;
        }
        scene.Destroy();
    }
    FreeTextures();
    TestGlDetach();
}

// The logo's sky description names a picture for each of the six faces, and
// every one of them is in the archive and loads.
TEST_F(ContentTest, LogoSkyGivesEveryFaceAPicture) {
    ASSERT_TRUE(TestGlMakeCurrent(16, 16)) << TestGlError();
    ContentArchive archive;
    ASSERT_TRUE(archive.ok());
    Scene scene;
    DebugCapture capture;
    ASSERT_NE(scene.LoadSkyBox(kLogoSkyFile), nullptr);
    for (int32_t face = 0; face < kSkyBoxFaces; ++face) {
        EXPECT_NE(scene.skyBox->textures[face], 0u) << face;
    }
    EXPECT_EQ(capture.Joined(), "") << "every line of the description is understood";
    scene.Destroy();
    FreeTextures();
    TestGlDetach();
}

} // namespace

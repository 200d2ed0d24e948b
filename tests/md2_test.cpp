// MD2 loading and build: motion grouping, header checks against hostile
// files, render-vertex numbering, axis conversion, deltas, planes and boxes,
// and the third-party corpus files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/pak_writer.h"
#include "math/math3d.h"
#include "md2/md2.h"
#include "md2/md2_normals.h"
#include "memory/memory_pool.h"
#include "tests/support/debug_capture.h"
#include "tools/formats/md2_writer.h"

namespace {

constexpr const char* kEntry = "model.md2";

std::vector<uint8_t> ReadCorpus(const std::string& relative) {
    std::ifstream in(std::string(TESSARO_CORPUS_DIR) + "/" + relative, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The rotation Ry(1.57) Rx(-1.57) computed independently in double, rows first.
void ReferenceAxes(double r[9]) {
    const double a = -1.57f;
    const double b = 1.57f;
    const double rx[9] = {1, 0, 0, 0, std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a)};
    const double ry[9] = {std::cos(b), 0, std::sin(b), 0, 1, 0, -std::sin(b), 0, std::cos(b)};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            r[i * 3 + j] = ry[i * 3] * rx[j] + ry[i * 3 + 1] * rx[3 + j] + ry[i * 3 + 2] * rx[6 + j];
        }
    }
}

void ReferenceApply(const double r[9], const double in[3], double out[3]) {
    for (int i = 0; i < 3; ++i) {
        out[i] = r[i * 3] * in[0] + r[i * 3 + 1] * in[1] + r[i * 3 + 2] * in[2];
    }
}

// Each test gets a fresh pool and its own archive in the build directory.
class Md2Test : public ::testing::Test {
  protected:
    void SetUp() override {
        PoolSetSmallSize(kPoolDefaultSmallSize);
        PoolInit(16 * 1024 * 1024);
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        archivePath_ = std::string("md2_test_") + info->test_suite_name() + "_" + info->name() + ".qdz";
        for (char& c : archivePath_) {
            if (c == '/') {
                c = '_';
            }
        }
    }

    void TearDown() override {
        CloseArchive();
        std::remove(archivePath_.c_str());
        for (MaterialGroup* group : groups_) {
            delete group;
        }
    }

    void CloseArchive() {
        if (pak_ != nullptr) {
            PakClose(pak_);
            pak_ = nullptr;
        }
        g_currentPak = nullptr;
    }

    // Puts `bytes` into a fresh archive as kEntry and makes it current.
    void UseArchive(const std::vector<uint8_t>& bytes) {
        CloseArchive();
        std::string error;
        ASSERT_TRUE(PakWriteArchive(archivePath_, {PakWriteEntry{kEntry, 0x5A, bytes}}, &error)) << error;
        pak_ = PakOpen(archivePath_.c_str(), "rb");
        ASSERT_NE(pak_, nullptr);
    }

    // Loads `bytes` into `model` through an archive; the model's heap group
    // is released at the end of the test (a reload releases the one before).
    int LoadBytes(const std::vector<uint8_t>& bytes, Md2Model* model) {
        UseArchive(bytes);
        MaterialGroup* before = model->groups;
        const int result = model->Load(kEntry);
        if (model->groups != before) {
            std::erase(groups_, before);
            groups_.push_back(model->groups);
        }
        return result;
    }

    std::string archivePath_;
    PAKFile* pak_ = nullptr;
    std::vector<MaterialGroup*> groups_;
};

// A small valid model: four vertices, two triangles, the given frame names.
Md2WriterModel SquareModel(const std::vector<std::string>& names) {
    Md2WriterModel m;
    m.skinWidth = 256;
    m.skinHeight = 128;
    m.vertexCount = 4;
    m.texCoords = {{0, 0}, {128, 0}, {128, 64}, {0, 64}};
    m.triangles = {{{0, 1, 2}, {0, 1, 2}}, {{0, 2, 3}, {0, 2, 3}}};
    uint8_t step = 0;
    for (const std::string& name : names) {
        Md2WriterFrame frame = Md2MakeFrame(name, {static_cast<uint8_t>(step), 0, 0, 0,      //
                                                   static_cast<uint8_t>(10 + step), 0, 0, 1, //
                                                   10, 10, 0, 2,                             //
                                                   0, 10, static_cast<uint8_t>(step), 3});
        step = static_cast<uint8_t>(step + 2);
        m.frames.push_back(frame);
    }
    return m;
}

bool ModelIsUntouched(const Md2Model& m) {
    return m.name == nullptr && m.animCount == 0 && m.frames == nullptr && m.framePlanes == nullptr &&
           m.frameBoxes == nullptr && m.tris == nullptr && m.groups == nullptr &&
           m.loader.fileCopy == nullptr && m.loader.triangles == nullptr && m.loader.frames == nullptr &&
           m.loader.texCoords == nullptr;
}

// ---------------------------------------------------------------- motions

struct BaseNameCase {
    const char* name;
    uint32_t length;
};

TEST(Md2BaseName, DropsTrailingFrameDigits) {
    const BaseNameCase cases[] = {
        {"stand01", 5}, {"run1", 3}, {"death101", 6}, {"taunt001", 6}, {"stand", 5},
        {"a1", 1},      {"a", 1},    {"7", 0},        {"12", 0},       {"ab", 2},
        {"", 0},        {"a1b", 2},  {"x9y8", 2},     {"123456", 4},
    };
    for (const BaseNameCase& c : cases) {
        EXPECT_EQ(Md2BaseNameLength(c.name), c.length) << c.name;
    }
}

struct GroupCase {
    const char* label;
    std::vector<std::string> names;
    std::vector<AnimRange> expected;
};

std::vector<std::string> Numbered(const std::string& base, int from, int to, int width) {
    std::vector<std::string> names;
    for (int i = from; i <= to; ++i) {
        char digits[16] = {};
        std::snprintf(digits, sizeof(digits), "%0*d", width, i);
        names.push_back(base + digits);
    }
    return names;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(Md2Motions, GroupByBaseName) {
    const GroupCase cases[] = {
        {"two bases", {"a1", "a2", "b1"}, {{0, 2}, {2, 1}}},
        {"one frame", {"stand01"}, {{0, 1}}},
        {"stand and run", Concat(Numbered("stand", 1, 40, 2), Numbered("run", 1, 6, 1)), {{0, 40}, {40, 6}}},
        {"three digits keep the first",
         Concat(Numbered("death", 101, 106, 3), Numbered("death", 201, 203, 3)),
         {{0, 6}, {6, 3}}},
        {"separated runs", {"a1", "a2", "b1", "a3"}, {{0, 2}, {2, 1}, {3, 1}}},
        {"short names", {"1", "2", "x", "y"}, {{0, 2}, {2, 1}, {3, 1}}},
        {"plain names", {"idle", "idle", "walk"}, {{0, 2}, {2, 1}}},
        {"case matters", {"run1", "Run2"}, {{0, 1}, {1, 1}}},
    };
    for (const GroupCase& c : cases) {
        std::vector<Md2Frame> frames(c.names.size());
        for (size_t i = 0; i < c.names.size(); ++i) {
            std::snprintf(frames[i].name, sizeof(frames[i].name), "%s", c.names[i].c_str());
        }
        Md2Model model{};
        ASSERT_EQ(Md2GroupMotions(&model, frames.data(), static_cast<uint32_t>(frames.size())), 1) << c.label;
        ASSERT_EQ(model.animCount, c.expected.size()) << c.label;
        for (size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(model.anims[i].firstFrame, c.expected[i].firstFrame) << c.label << " motion " << i;
            EXPECT_EQ(model.anims[i].frameCount, c.expected[i].frameCount) << c.label << " motion " << i;
        }
    }
}

TEST(Md2Motions, NoFramesGiveOneEmptyMotion) {
    Md2Model model{};
    ASSERT_EQ(Md2GroupMotions(&model, nullptr, 0), 1);
    EXPECT_EQ(model.animCount, 1u);
    EXPECT_EQ(model.anims[0].firstFrame, 0u);
    EXPECT_EQ(model.anims[0].frameCount, 0u);
}

TEST(Md2Motions, TwentyFitAndTwentyOneAreRefused) {
    std::vector<Md2Frame> frames(21);
    for (size_t i = 0; i < frames.size(); ++i) {
        std::snprintf(frames[i].name, sizeof(frames[i].name), "m%c01", static_cast<char>('a' + i));
    }
    Md2Model model{};
    ASSERT_EQ(Md2GroupMotions(&model, frames.data(), 20), 1);
    EXPECT_EQ(model.animCount, 20u);
    EXPECT_EQ(model.anims[19].firstFrame, 19u);

    Md2Model refused{};
    refused.animCount = 7;
    EXPECT_EQ(Md2GroupMotions(&refused, frames.data(), 21), 0);
    EXPECT_EQ(refused.animCount, 7u);
}

// ---------------------------------------------------------------- loading

TEST_F(Md2Test, MissingEntryGivesMinusOne) {
    UseArchive({1, 2, 3});
    Md2Model model{};
    EXPECT_EQ(model.Load("absent.md2"), -1);
    EXPECT_TRUE(ModelIsUntouched(model));
}

TEST_F(Md2Test, NoArchiveGivesMinusOne) {
    Md2Model model{};
    EXPECT_EQ(model.Load(kEntry), -1);
    EXPECT_TRUE(ModelIsUntouched(model));
}

TEST_F(Md2Test, WrongMagicGivesZero) {
    std::vector<uint8_t> bytes = Md2WriteBytes(SquareModel({"a1"}));
    Md2PatchHeader(&bytes, kMd2FieldMagic, 0x33504449); // "IDP3"
    Md2Model model{};
    EXPECT_EQ(LoadBytes(bytes, &model), 0);
    EXPECT_TRUE(ModelIsUntouched(model));
}

TEST_F(Md2Test, ShortFilesAreRefused) {
    const std::vector<uint8_t> full = Md2WriteBytes(SquareModel({"a1", "a2"}));
    const size_t lengths[] = {0, 3, 4, 67};
    for (const size_t length : lengths) {
        Md2Model model{};
        EXPECT_EQ(
            LoadBytes(std::vector<uint8_t>(full.begin(), full.begin() + static_cast<long>(length)), &model),
            0)
            << length;
        EXPECT_TRUE(ModelIsUntouched(model)) << length;
    }
}

TEST_F(Md2Test, EveryTruncationIsRefused) {
    const std::vector<uint8_t> full = Md2WriteBytes(SquareModel({"a1", "a2", "b1"}));
    for (size_t length = 0; length < full.size(); ++length) {
        Md2Model model{};
        EXPECT_EQ(
            LoadBytes(std::vector<uint8_t>(full.begin(), full.begin() + static_cast<long>(length)), &model),
            0)
            << length;
        EXPECT_TRUE(ModelIsUntouched(model)) << length;
    }
    Md2Model model{};
    EXPECT_EQ(LoadBytes(full, &model), 1);
}

struct HeaderCase {
    const char* label;
    Md2HeaderField field;
    int32_t value;
};

TEST_F(Md2Test, HostileHeadersAreRefused) {
    const std::vector<uint8_t> good = Md2WriteBytes(SquareModel({"a1", "a2"}));
    const int32_t size = static_cast<int32_t>(good.size());
    const HeaderCase cases[] = {
        {"skin width 0", kMd2FieldSkinWidth, 0},
        {"skin width negative", kMd2FieldSkinWidth, -256},
        {"skin height 0", kMd2FieldSkinHeight, 0},
        {"vertex count 2049", kMd2FieldVertexCount, 2049},
        {"vertex count negative", kMd2FieldVertexCount, -1},
        {"vertex count huge", kMd2FieldVertexCount, 0x40000000},
        {"frame count negative", kMd2FieldFrameCount, -2},
        {"frame count past the end", kMd2FieldFrameCount, 3},
        {"frame count beyond the limit", kMd2FieldFrameCount, kMd2MaxFrames + 1},
        {"triangle count past the end", kMd2FieldTriangleCount, 1000},
        {"triangle count wraps in 32 bits", kMd2FieldTriangleCount, 0x7FFFFFFF},
        {"triangle count negative", kMd2FieldTriangleCount, -1},
        {"texture coordinate count past the end", kMd2FieldTexCoordCount, 0x20000000},
        {"texture coordinate count negative", kMd2FieldTexCoordCount, -5},
        {"triangles offset past the end", kMd2FieldTrianglesOffset, size},
        {"triangles offset negative", kMd2FieldTrianglesOffset, -4},
        {"triangles offset near the limit", kMd2FieldTrianglesOffset, 0x7FFFFFF0},
        {"frames offset past the end", kMd2FieldFramesOffset, size - 10},
        {"frames offset negative", kMd2FieldFramesOffset, -40},
        {"texture coordinates offset past the end", kMd2FieldTexCoordsOffset, size - 2},
        {"texture coordinates offset negative", kMd2FieldTexCoordsOffset, -1},
    };
    for (const HeaderCase& c : cases) {
        std::vector<uint8_t> bytes = good;
        Md2PatchHeader(&bytes, c.field, c.value);
        Md2Model model{};
        EXPECT_EQ(LoadBytes(bytes, &model), 0) << c.label;
        EXPECT_TRUE(ModelIsUntouched(model)) << c.label;
    }
}

TEST_F(Md2Test, UnusedHeaderFieldsAreNotConsulted) {
    std::vector<uint8_t> bytes = Md2WriteBytes(SquareModel({"a1", "a2"}));
    Md2PatchHeader(&bytes, kMd2FieldVersion, 99);
    Md2PatchHeader(&bytes, kMd2FieldFrameSize, -1);
    Md2PatchHeader(&bytes, kMd2FieldSkinsOffset, 0x7FFFFFFF);
    Md2PatchHeader(&bytes, kMd2FieldGlCommandsOffset, -1);
    Md2PatchHeader(&bytes, kMd2FieldEndOffset, 0);
    Md2Model model{};
    EXPECT_EQ(LoadBytes(bytes, &model), 1);
    EXPECT_EQ(model.frameCount, 2u);
}

TEST_F(Md2Test, VertexCountAtTheLimitLoadsAndBeyondIsRefused) {
    for (const int32_t count : {kMd2MaxVerts, kMd2MaxVerts + 1}) {
        Md2WriterModel m;
        m.vertexCount = count;
        m.texCoords = {{0, 0}};
        m.triangles = {{{0, static_cast<uint16_t>(count - 1), 1}, {0, 0, 0}}};
        m.frames = {Md2MakeFrame("a", std::vector<uint8_t>(static_cast<size_t>(count) * 4, 1))};
        Md2Model model{};
        EXPECT_EQ(LoadBytes(Md2WriteBytes(m), &model), count == kMd2MaxVerts ? 1 : 0) << count;
    }
}

TEST_F(Md2Test, FrameCountAtTheLimitLoadsAndBeyondIsRefused) {
    for (const int32_t count : {kMd2MaxFrames, kMd2MaxFrames + 1}) {
        Md2WriterModel m;
        for (int32_t f = 0; f < count; ++f) {
            m.frames.push_back(Md2MakeFrame("idle", {}));
        }
        Md2Model model{};
        EXPECT_EQ(LoadBytes(Md2WriteBytes(m), &model), count == kMd2MaxFrames ? 1 : 0) << count;
        EXPECT_EQ(model.frameCount, count == kMd2MaxFrames ? static_cast<uint32_t>(count) : 0u);
    }
}

// Triangles whose corners are all distinct (vertex, texture coordinate)
// pairs, plus one last triangle with `newCorners` further new pairs.
Md2WriterModel ManyRenderVertices(int newCorners) {
    Md2WriterModel m;
    m.vertexCount = kMd2MaxVerts;
    m.texCoords.assign(40, Md2WriterTexCoord{0, 0});
    const int32_t full = (kMd2MaxRenderVerts - 1) / 3; // 21845 triangles, 65535 pairs
    int32_t corner = 0;
    for (int32_t t = 0; t < full; ++t) {
        Md2WriterTriangle tri{};
        for (int c = 0; c < 3; ++c, ++corner) {
            tri.vertex[c] = static_cast<uint16_t>(corner % kMd2MaxVerts);
            tri.texCoord[c] = static_cast<uint16_t>(corner / kMd2MaxVerts);
        }
        m.triangles.push_back(tri);
    }
    Md2WriterTriangle last{};
    for (int c = 0; c < 3; ++c) {
        const int32_t pair = c < newCorners ? corner + c : c; // old pairs 0, 1, 2 are reused
        last.vertex[c] = static_cast<uint16_t>(pair % kMd2MaxVerts);
        last.texCoord[c] = static_cast<uint16_t>(pair / kMd2MaxVerts);
    }
    m.triangles.push_back(last);
    m.frames = {Md2MakeFrame("a", std::vector<uint8_t>(kMd2MaxVerts * 4, 0))};
    return m;
}

TEST_F(Md2Test, RenderVerticesBeyondUint16AreRefused) {
    Md2Model fits{};
    ASSERT_EQ(LoadBytes(Md2WriteBytes(ManyRenderVertices(1)), &fits), 1);
    EXPECT_EQ(fits.vertsPerFrame, static_cast<uint32_t>(kMd2MaxRenderVerts));
    EXPECT_EQ(fits.tris[(fits.facesPerFrame - 1) * 4], 65535);

    Md2Model refused{};
    EXPECT_EQ(LoadBytes(Md2WriteBytes(ManyRenderVertices(2)), &refused), 0);
    EXPECT_TRUE(ModelIsUntouched(refused));
}

struct IndexCase {
    const char* label;
    Md2WriterTriangle triangle;
};

TEST_F(Md2Test, IndicesBeyondTheirCountsAreRefused) {
    const IndexCase cases[] = {
        {"vertex index = count", {{0, 1, 4}, {0, 1, 2}}},
        {"vertex index far out", {{65535, 1, 2}, {0, 1, 2}}},
        {"texture coordinate index = count", {{0, 1, 2}, {0, 4, 2}}},
        {"texture coordinate index far out", {{0, 1, 2}, {0, 1, 60000}}},
    };
    for (const IndexCase& c : cases) {
        Md2WriterModel m = SquareModel({"a1"});
        m.triangles.push_back(c.triangle);
        Md2Model model{};
        EXPECT_EQ(LoadBytes(Md2WriteBytes(m), &model), 0) << c.label;
        EXPECT_TRUE(ModelIsUntouched(model)) << c.label;
    }
}

TEST_F(Md2Test, NormalIndexOutsideTheTableIsRefused) {
    for (const uint8_t index : {uint8_t{162}, uint8_t{200}, uint8_t{255}}) {
        Md2WriterModel m = SquareModel({"a1", "a2"});
        m.frames[1].verts[7] = index;
        Md2Model model{};
        EXPECT_EQ(LoadBytes(Md2WriteBytes(m), &model), 0) << int{index};
        EXPECT_TRUE(ModelIsUntouched(model));
    }
}

TEST_F(Md2Test, MoreThanTwentyMotionsAreRefused) {
    std::vector<std::string> names;
    for (char c = 'a'; c <= 'u'; ++c) {
        names.push_back(std::string(1, c) + "01");
    }
    Md2Model model{};
    EXPECT_EQ(LoadBytes(Md2WriteBytes(SquareModel(names)), &model), 0);
    EXPECT_TRUE(ModelIsUntouched(model));

    names.pop_back();
    Md2Model twenty{};
    EXPECT_EQ(LoadBytes(Md2WriteBytes(SquareModel(names)), &twenty), 1);
    EXPECT_EQ(twenty.animCount, 20u);
}

TEST_F(Md2Test, NamesWithoutTerminatorUseAllSixteenBytes) {
    // The vertex bytes that follow a full 16-byte name must not join it.
    Md2WriterModel m = SquareModel({"abcdefghijklmn01", "abcdefghijklmn02", "abcdefghijklmnop"});
    Md2Model model{};
    ASSERT_EQ(LoadBytes(Md2WriteBytes(m), &model), 1);
    ASSERT_EQ(model.animCount, 2u);
    EXPECT_EQ(model.anims[0].frameCount, 2u);
    EXPECT_EQ(model.anims[1].firstFrame, 2u);
}

TEST_F(Md2Test, LoadFillsTheModel) {
    Md2Model model{};
    ASSERT_EQ(LoadBytes(Md2WriteBytes(SquareModel({"a1", "a2", "b1"})), &model), 1);
    EXPECT_STREQ(model.name, "Md2 Object");
    EXPECT_EQ(model.groupCount, 1);
    ASSERT_NE(model.groups, nullptr);
    EXPECT_EQ(model.groups->faceCount, 2);
    EXPECT_EQ(model.groups->material, nullptr);
    EXPECT_EQ(model.animCount, 2u);
    EXPECT_EQ(model.frameCount, 3u);
    EXPECT_EQ(model.facesPerFrame, 2u);
    EXPECT_EQ(model.vertsPerFrame, 4u);
    // The parse buffers exist only during the load.
    EXPECT_EQ(model.loader.fileCopy, nullptr);
    EXPECT_EQ(model.loader.triangles, nullptr);
    EXPECT_EQ(model.loader.frames, nullptr);
    EXPECT_EQ(model.loader.texCoords, nullptr);
    EXPECT_EQ(model.loader.model, nullptr);
}

TEST_F(Md2Test, TextureCoordinatesAreDividedBySkinSize) {
    Md2WriterModel m = SquareModel({"a1"});
    m.texCoords = {{128, 32}, {-64, 128}, {256, 0}, {0, 0}};
    Md2Model model{};
    ASSERT_EQ(LoadBytes(Md2WriteBytes(m), &model), 1);
    // Render vertices 0..3 are the pairs (0,0), (1,1), (2,2), (3,3) in first use.
    EXPECT_FLOAT_EQ(model.arrayVerts[0].u, 0.5f);
    EXPECT_FLOAT_EQ(model.arrayVerts[0].v, 0.25f);
    EXPECT_FLOAT_EQ(model.arrayVerts[1].u, -0.25f);
    EXPECT_FLOAT_EQ(model.arrayVerts[1].v, 1.0f);
    EXPECT_FLOAT_EQ(model.arrayVerts[2].u, 1.0f);
}

TEST_F(Md2Test, ReloadReplacesTheModel) {
    Md2Model model{};
    ASSERT_EQ(LoadBytes(Md2WriteBytes(SquareModel({"a1"})), &model), 1);
    ASSERT_EQ(LoadBytes(Md2WriteBytes(SquareModel({"a1", "b1", "c1"})), &model), 1);
    EXPECT_EQ(model.frameCount, 3u);
    EXPECT_EQ(model.animCount, 3u);
}

TEST_F(Md2Test, FailedReloadKeepsThePreviousModel) {
    Md2Model model{};
    ASSERT_EQ(LoadBytes(Md2WriteBytes(SquareModel({"a1", "a2"})), &model), 1);
    const FrameVertex* frames = model.frames;
    std::vector<uint8_t> bad = Md2WriteBytes(SquareModel({"x1"}));
    Md2PatchHeader(&bad, kMd2FieldSkinHeight, 0);
    EXPECT_EQ(LoadBytes(bad, &model), 0);
    EXPECT_EQ(model.frames, frames);
    EXPECT_EQ(model.frameCount, 2u);
    EXPECT_EQ(model.animCount, 1u);
    EXPECT_EQ(model.anims[0].frameCount, 2u);
}

// ---------------------------------------------------------------- empty models

TEST_F(Md2Test, ModelWithoutTrianglesIsEmpty) {
    Md2WriterModel m = SquareModel({"a1", "a2"});
    m.triangles.clear();
    Md2Model model{};
    ASSERT_EQ(LoadBytes(Md2WriteBytes(m), &model), 1);
    EXPECT_EQ(model.vertsPerFrame, 0u);
    EXPECT_EQ(model.facesPerFrame, 0u);
    EXPECT_EQ(model.frameCount, 2u);
    EXPECT_EQ(model.frames, nullptr);
    EXPECT_EQ(model.tris, nullptr);
    EXPECT_EQ(model.framePlanes, nullptr);
    ASSERT_NE(model.frameBoxes, nullptr);
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(model.frameBoxes[k], 0.0f);
    }
    EXPECT_EQ(model.groups->faceCount, 0);
}

TEST_F(Md2Test, ModelWithoutFramesIsEmpty) {
    Md2WriterModel m = SquareModel({});
    Md2Model model{};
    ASSERT_EQ(LoadBytes(Md2WriteBytes(m), &model), 1);
    EXPECT_EQ(model.frameCount, 0u);
    EXPECT_EQ(model.animCount, 1u);
    EXPECT_EQ(model.anims[0].firstFrame, 0u);
    EXPECT_EQ(model.anims[0].frameCount, 0u);
    EXPECT_EQ(model.frames, nullptr);
    EXPECT_EQ(model.framePlanes, nullptr);
    EXPECT_EQ(model.frameBoxes, nullptr);
    EXPECT_EQ(model.facesPerFrame, 2u);
    EXPECT_EQ(model.vertsPerFrame, 4u);
    ASSERT_NE(model.tris, nullptr);
}

TEST_F(Md2Test, ModelWithNothingIsEmpty) {
    Md2WriterModel m;
    Md2Model model{};
    ASSERT_EQ(LoadBytes(Md2WriteBytes(m), &model), 1);
    EXPECT_EQ(model.vertsPerFrame, 0u);
    EXPECT_EQ(model.facesPerFrame, 0u);
    EXPECT_EQ(model.frameCount, 0u);
    EXPECT_EQ(model.animCount, 1u);
    EXPECT_STREQ(model.name, "Md2 Object");
}

// ---------------------------------------------------------------- build

TEST_F(Md2Test, RenderVerticesInOrderOfFirstUse) {
    Md2WriterModel m;
    m.vertexCount = 4;
    m.texCoords = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}};
    // Vertex 2 is shared with the same texture coordinate; vertex 0 appears
    // with a second texture coordinate (4) in the second triangle.
    m.triangles = {{{3, 2, 0}, {3, 2, 0}}, {{2, 1, 0}, {2, 1, 4}}};
    m.frames = {Md2MakeFrame("a", {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0})};
    Md2Model model{};
    ASSERT_EQ(LoadBytes(Md2WriteBytes(m), &model), 1);
    ASSERT_EQ(model.vertsPerFrame, 5u);
    const uint16_t expected[2][3] = {{0, 1, 2}, {1, 3, 4}};
    for (int t = 0; t < 2; ++t) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(model.tris[t * 4 + c], expected[t][c]) << t << "," << c;
        }
    }
    // Render vertices 2 and 4 both come from MD2 vertex 0: equal positions.
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(model.frames[2].position[k], model.frames[4].position[k]);
    }
    EXPECT_FLOAT_EQ(model.arrayVerts[2].u, 0.0f);
    EXPECT_FLOAT_EQ(model.arrayVerts[4].u, 4.0f / 256.0f);
}

TEST_F(Md2Test, PositionsAndNormalsUseTheAxisMatrix) {
    Md2WriterModel m;
    m.vertexCount = 3;
    m.texCoords = {{0, 0}};
    m.triangles = {{{0, 1, 2}, {0, 0, 0}}};
    Md2WriterFrame frame = Md2MakeFrame("a", {10, 20, 30, 0, 255, 0, 7, 161, 0, 128, 1, 52});
    frame.scale[0] = 0.5f;
    frame.scale[1] = 2.0f;
    frame.scale[2] = -1.0f;
    frame.translate[0] = 3.0f;
    frame.translate[1] = -4.0f;
    frame.translate[2] = 100.0f;
    m.frames = {frame};
    Md2Model model{};
    ASSERT_EQ(LoadBytes(Md2WriteBytes(m), &model), 1);

    double r[9] = {};
    ReferenceAxes(r);
    const uint8_t packed[3][4] = {{10, 20, 30, 0}, {255, 0, 7, 161}, {0, 128, 1, 52}};
    for (int v = 0; v < 3; ++v) {
        const double local[3] = {0.5 * packed[v][0] + 3.0, 2.0 * packed[v][1] - 4.0,
                                 -1.0 * packed[v][2] + 100.0};
        double position[3] = {};
        ReferenceApply(r, local, position);
        double normal[3] = {};
        ReferenceApply(r, kMd2Normals[packed[v][3]], normal);
        const FrameVertex& fv = model.frames[v];
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(fv.position[k], position[k], 1e-3) << v << "," << k;
            EXPECT_NEAR(fv.normal[k], -normal[k], 1e-5) << v << "," << k;
        }
        // Nearly x' = -y, y' = z, z' = -x.
        EXPECT_NEAR(fv.position[0], -local[1], 0.01 * (std::fabs(local[1]) + std::fabs(local[0]) + 1.0));
        EXPECT_NEAR(fv.position[1], local[2], 0.01 * (std::fabs(local[2]) + std::fabs(local[1]) + 1.0));
        EXPECT_NEAR(fv.position[2], -local[0], 0.01 * (std::fabs(local[0]) + std::fabs(local[2]) + 1.0));
    }
    // Normal index 161 is the table's last entry.
    EXPECT_NEAR(kMd2Normals[161][0], -0.688191, 1e-9);
    EXPECT_NEAR(kMd2Normals[161][1], -0.587785, 1e-9);
    EXPECT_NEAR(kMd2Normals[161][2], -0.425325, 1e-9);
}

TEST(Md2Normals, TableHoldsDistinctUnitVectors) {
    for (int i = 0; i < kMd2NormalCount; ++i) {
        const double* n = kMd2Normals[i];
        EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0, 1e-5) << i;
        for (int j = 0; j < i; ++j) {
            const double* o = kMd2Normals[j];
            EXPECT_GT(std::fabs(n[0] - o[0]) + std::fabs(n[1] - o[1]) + std::fabs(n[2] - o[2]), 0.1)
                << i << "," << j;
        }
    }
    EXPECT_NEAR(kMd2Normals[0][0], -0.525731, 1e-9);
    EXPECT_NEAR(kMd2Normals[0][2], 0.850651, 1e-9);
    EXPECT_NEAR(kMd2Normals[5][2], 1.0, 1e-9);
}

TEST_F(Md2Test, SingleFrameMotionHasZeroDeltas) {
    Md2Model model{};
    ASSERT_EQ(LoadBytes(Md2WriteBytes(SquareModel({"a1", "a2", "b1"})), &model), 1);
    ASSERT_EQ(model.animCount, 2u);
    const FrameVertex* single = model.frames + 2 * model.vertsPerFrame;
    for (uint32_t v = 0; v < model.vertsPerFrame; ++v) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(single[v].positionDelta[k], 0.0f);
            EXPECT_EQ(single[v].normalDelta[k], 0.0f);
        }
    }
    const FramePlane* plane = model.framePlanes + 2 * model.facesPerFrame;
    for (uint32_t t = 0; t < model.facesPerFrame; ++t) {
        EXPECT_EQ(plane[t].distanceDelta, 0.0f);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(plane[t].normalDelta[k], 0.0f);
        }
    }
}

TEST_F(Md2Test, DeltasPointToTheNextFrameOfTheSameMotion) {
    // Motion a: frames 0..2, motion b: frames 3..4; the last frame of a
    // wraps to frame 0, not to frame 3.
    Md2Model model{};
    ASSERT_EQ(LoadBytes(Md2WriteBytes(SquareModel({"a1", "a2", "a3", "b1", "b2"})), &model), 1);
    const uint32_t n = model.vertsPerFrame;
    const uint32_t expectedNext[5] = {1, 2, 0, 4, 3};
    for (uint32_t f = 0; f < 5; ++f) {
        const FrameVertex* here = model.frames + f * n;
        const FrameVertex* next = model.frames + expectedNext[f] * n;
        for (uint32_t v = 0; v < n; ++v) {
            for (int k = 0; k < 3; ++k) {
                EXPECT_NEAR(here[v].position[k] + here[v].positionDelta[k], next[v].position[k], 1e-4)
                    << f << "," << v;
                EXPECT_NEAR(here[v].normal[k] + here[v].normalDelta[k], next[v].normal[k], 1e-6)
                    << f << "," << v;
            }
        }
        const FramePlane* planeHere = model.framePlanes + f * model.facesPerFrame;
        const FramePlane* planeNext = model.framePlanes + expectedNext[f] * model.facesPerFrame;
        for (uint32_t t = 0; t < model.facesPerFrame; ++t) {
            EXPECT_NEAR(planeHere[t].distance + planeHere[t].distanceDelta, planeNext[t].distance, 1e-4);
            for (int k = 0; k < 3; ++k) {
                EXPECT_NEAR(planeHere[t].normal[k] + planeHere[t].normalDelta[k], planeNext[t].normal[k],
                            1e-6);
            }
        }
    }
    // The frames really differ, so the wrap is visible.
    EXPECT_NE(model.frames[2 * n].positionDelta[2], 0.0f);
}

TEST_F(Md2Test, PlanesHoldTheirCorners) {
    Md2Model model{};
    ASSERT_EQ(LoadBytes(Md2WriteBytes(SquareModel({"a1", "a2"})), &model), 1);
    for (uint32_t f = 0; f < model.frameCount; ++f) {
        for (uint32_t t = 0; t < model.facesPerFrame; ++t) {
            const FramePlane& plane = model.framePlanes[f * model.facesPerFrame + t];
            const float len2 = plane.normal[0] * plane.normal[0] + plane.normal[1] * plane.normal[1] +
                               plane.normal[2] * plane.normal[2];
            EXPECT_NEAR(len2, 1.0f, 1e-2);
            for (int c = 0; c < 3; ++c) {
                const float* p = model.frames[f * model.vertsPerFrame + model.tris[t * 4 + c]].position;
                const float d = plane.normal[0] * p[0] + plane.normal[1] * p[1] + plane.normal[2] * p[2];
                EXPECT_NEAR(d, plane.distance, 1e-2) << f << "," << t << "," << c;
            }
        }
    }
}

TEST_F(Md2Test, DegenerateTriangleHasZeroPlane) {
    Md2WriterModel m;
    m.vertexCount = 2;
    m.texCoords = {{0, 0}};
    m.triangles = {{{0, 0, 1}, {0, 0, 0}}};
    Md2WriterFrame frame = Md2MakeFrame("a", {10, 20, 30, 0, 40, 50, 60, 0});
    frame.translate[1] = 7.0f;
    m.frames = {frame};
    Md2Model model{};
    ASSERT_EQ(LoadBytes(Md2WriteBytes(m), &model), 1);
    const FramePlane& plane = model.framePlanes[0];
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(plane.normal[k], 0.0f);
    }
    EXPECT_EQ(plane.distance, 0.0f);
}

TEST_F(Md2Test, FrameBoxesEncloseEveryRenderVertex) {
    Md2WriterModel m;
    m.vertexCount = 4;
    m.texCoords = {{0, 0}, {9, 9}};
    // Vertex 3 is used only through the second texture coordinate.
    m.triangles = {{{0, 1, 2}, {0, 0, 0}}, {{0, 1, 3}, {0, 0, 1}}};
    m.frames = {Md2MakeFrame("a1", {5, 5, 5, 0, 6, 7, 8, 0, 9, 3, 4, 0, 250, 1, 200, 0}),
                Md2MakeFrame("a2", {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 255, 0, 0})};
    Md2Model model{};
    ASSERT_EQ(LoadBytes(Md2WriteBytes(m), &model), 1);
    ASSERT_EQ(model.vertsPerFrame, 4u);
    for (uint32_t f = 0; f < model.frameCount; ++f) {
        const float* box = model.frameBoxes + f * 6;
        for (int k = 0; k < 3; ++k) {
            float lo = model.frames[f * 4].position[k];
            float hi = lo;
            for (uint32_t v = 0; v < 4; ++v) {
                const float c = model.frames[f * 4 + v].position[k];
                lo = c < lo ? c : lo;
                hi = c > hi ? c : hi;
            }
            EXPECT_EQ(box[k], lo) << f << "," << k;
            EXPECT_EQ(box[k + 3], hi) << f << "," << k;
        }
    }
    // The far vertex 3 of frame 0 sets the box's z minimum (z' = -x).
    EXPECT_EQ(model.frameBoxes[2], model.frames[3].position[2]);
}

TEST_F(Md2Test, PoolExhaustionLeavesTheModelUntouched) {
    PoolSetSmallSize(kPoolDefaultSmallSize);
    PoolInit(64 * 1024);
    DebugCapture capture;
    Md2Model model{};
    EXPECT_EQ(LoadBytes(ReadCorpus("md2/sydney.md2"), &model), 0);
    EXPECT_TRUE(ModelIsUntouched(model));
    EXPECT_NE(capture.Joined().find("Memoria esaurita! Aumentare le richieste.\n"), std::string::npos);
}

// ---------------------------------------------------------------- corpus

struct CorpusMotion {
    uint32_t first;
    uint32_t count;
};

void ExpectSaneModel(const Md2Model& model) {
    for (uint32_t t = 0; t < model.facesPerFrame * 4; t += 4) {
        for (int c = 0; c < 3; ++c) {
            ASSERT_LT(model.tris[t + c], model.vertsPerFrame);
        }
    }
    for (uint32_t f = 0; f < model.frameCount; ++f) {
        const float* box = model.frameBoxes + f * 6;
        for (uint32_t v = 0; v < model.vertsPerFrame; ++v) {
            const FrameVertex& fv = model.frames[f * model.vertsPerFrame + v];
            for (int k = 0; k < 3; ++k) {
                ASSERT_GE(fv.position[k], box[k]);
                ASSERT_LE(fv.position[k], box[k + 3]);
            }
            const float len2 =
                fv.normal[0] * fv.normal[0] + fv.normal[1] * fv.normal[1] + fv.normal[2] * fv.normal[2];
            ASSERT_NEAR(len2, 1.0f, 1e-4);
        }
    }
    uint32_t covered = 0;
    for (uint32_t a = 0; a < model.animCount; ++a) {
        EXPECT_EQ(model.anims[a].firstFrame, covered);
        covered += model.anims[a].frameCount;
    }
    EXPECT_EQ(covered, model.frameCount);
}

TEST_F(Md2Test, CorpusSydneyLoads) {
    Md2Model model{};
    ASSERT_EQ(LoadBytes(ReadCorpus("md2/sydney.md2"), &model), 1);
    EXPECT_EQ(model.frameCount, 198u);
    EXPECT_EQ(model.facesPerFrame, 679u);
    EXPECT_GE(model.vertsPerFrame, 342u);
    // stand1..stand40 share "stand"; run001..run006 share "run0"; pain1..pain12 share "pain".
    const CorpusMotion expected[] = {{0, 40},  {40, 6},  {46, 8},   {54, 12},  {66, 6},   {72, 12},
                                     {84, 11}, {95, 17}, {112, 11}, {123, 12}, {135, 19}, {154, 6},
                                     {160, 9}, {169, 4}, {173, 5},  {178, 20}};
    ASSERT_EQ(model.animCount, std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(model.anims[i].firstFrame, expected[i].first) << i;
        EXPECT_EQ(model.anims[i].frameCount, expected[i].count) << i;
    }
    ExpectSaneModel(model);
}

TEST_F(Md2Test, CorpusFaerieLoadsWithItsPainMotionsApart) {
    Md2Model model{};
    ASSERT_EQ(LoadBytes(ReadCorpus("md2/faerie.md2"), &model), 1);
    EXPECT_EQ(model.frameCount, 198u);
    EXPECT_EQ(model.facesPerFrame, 654u);
    // pain101..pain104, pain201.., pain301.. are three motions, as are the deaths.
    const CorpusMotion expected[] = {{0, 40},  {40, 6},  {46, 8},  {54, 4},   {58, 4},   {62, 4},   {66, 6},
                                     {72, 12}, {84, 11}, {95, 17}, {112, 11}, {123, 12}, {135, 19}, {154, 6},
                                     {160, 9}, {169, 4}, {173, 5}, {178, 6},  {184, 6},  {190, 8}};
    ASSERT_EQ(model.animCount, std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(model.anims[i].firstFrame, expected[i].first) << i;
        EXPECT_EQ(model.anims[i].frameCount, expected[i].count) << i;
    }
    ExpectSaneModel(model);
}

// The model's records computed the slow way, one vertex and one triangle at a
// time straight from the file's bytes, in the documented order of operations.
struct OneAtATime {
    std::vector<uint16_t> tris;
    std::vector<FrameVertex> verts;
    std::vector<FramePlane> planes;
    std::vector<float> boxes;
};

OneAtATime BuildOneAtATime(const std::vector<uint8_t>& file, const Md2Model& model) {
    auto i32 = [&](size_t at) {
        int32_t v = 0;
        std::memcpy(&v, file.data() + at, 4);
        return v;
    };
    auto f32 = [&](size_t at) {
        float v = 0;
        std::memcpy(&v, file.data() + at, 4);
        return v;
    };
    auto u16 = [&](size_t at) { return static_cast<uint16_t>(file[at] | file[at + 1] << 8); };
    const size_t vertexCount = static_cast<size_t>(i32(24));
    const size_t triangleCount = static_cast<size_t>(i32(32));
    const size_t frameCount = static_cast<size_t>(i32(40));
    const size_t triangles = static_cast<size_t>(i32(52));
    const size_t frames = static_cast<size_t>(i32(56));
    const size_t frameBytes = 40 + 4 * vertexCount;

    OneAtATime out;
    std::vector<std::pair<uint16_t, uint16_t>> pairs;
    for (size_t t = 0; t < triangleCount; ++t) {
        for (size_t c = 0; c < 3; ++c) {
            const std::pair<uint16_t, uint16_t> pair = {u16(triangles + t * 12 + c * 2),
                                                        u16(triangles + t * 12 + 6 + c * 2)};
            const auto found = std::find(pairs.begin(), pairs.end(), pair);
            out.tris.push_back(static_cast<uint16_t>(found - pairs.begin()));
            if (found == pairs.end()) {
                pairs.push_back(pair);
            }
        }
        out.tris.push_back(model.tris[t * 4 + 3]); // never read
    }
    const float angles[3] = {-1.57f, 1.57f, 0.0f};
    float m[12] = {};
    EulerToMatrix(angles, nullptr, m);
    auto decode = [&](size_t f, size_t v, float p[3], float n[3]) {
        const size_t at = frames + f * frameBytes;
        const uint8_t* packed = file.data() + at + 40 + 4 * pairs[v].first;
        float local[3];
        for (int k = 0; k < 3; ++k) {
            local[k] = f32(at + 4 * k) * static_cast<float>(packed[k]) + f32(at + 12 + 4 * k);
        }
        float table[3];
        for (int k = 0; k < 3; ++k) {
            table[k] = static_cast<float>(kMd2Normals[packed[3]][k]);
        }
        for (int r = 0; r < 3; ++r) {
            p[r] = m[r * 4] * local[0] + m[r * 4 + 1] * local[1] + m[r * 4 + 2] * local[2] + m[r * 4 + 3];
            n[r] = -(m[r * 4] * table[0] + m[r * 4 + 1] * table[1] + m[r * 4 + 2] * table[2]);
        }
    };
    auto plane = [&](size_t f, size_t t, float n[3], float* d) {
        float c[3][3], unused[3];
        for (int k = 0; k < 3; ++k) {
            decode(f, out.tris[t * 4 + k], c[k], unused);
        }
        const float e1[3] = {c[1][0] - c[0][0], c[1][1] - c[0][1], c[1][2] - c[0][2]};
        const float e2[3] = {c[2][0] - c[0][0], c[2][1] - c[0][1], c[2][2] - c[0][2]};
        n[0] = e1[1] * e2[2] - e1[2] * e2[1];
        n[1] = e1[2] * e2[0] - e1[0] * e2[2];
        n[2] = e1[0] * e2[1] - e1[1] * e2[0];
        const float length = FastLength(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (length != 0.0f) {
            for (int k = 0; k < 3; ++k) {
                n[k] *= 1.0f / length;
            }
        }
        *d = c[0][0] * n[0] + c[0][1] * n[1] + c[0][2] * n[2];
    };
    out.verts.resize(frameCount * pairs.size());
    out.planes.resize(frameCount * triangleCount);
    for (uint32_t a = 0; a < model.animCount; ++a) {
        const AnimRange& anim = model.anims[a];
        for (size_t f = anim.firstFrame; f < anim.firstFrame + anim.frameCount; ++f) {
            const size_t g = f + 1 == anim.firstFrame + anim.frameCount ? anim.firstFrame : f + 1;
            for (size_t v = 0; v < pairs.size(); ++v) {
                FrameVertex& r = out.verts[f * pairs.size() + v];
                float pg[3], ng[3];
                decode(f, v, r.position, r.normal);
                decode(g, v, pg, ng);
                for (int k = 0; k < 3; ++k) {
                    r.positionDelta[k] = pg[k] - r.position[k];
                    r.normalDelta[k] = ng[k] - r.normal[k];
                }
            }
            for (size_t t = 0; t < triangleCount; ++t) {
                FramePlane& r = out.planes[f * triangleCount + t];
                float ng[3], dg = 0;
                plane(f, t, r.normal, &r.distance);
                plane(g, t, ng, &dg);
                for (int k = 0; k < 3; ++k) {
                    r.normalDelta[k] = ng[k] - r.normal[k];
                }
                r.distanceDelta = dg - r.distance;
            }
        }
    }
    for (size_t f = 0; f < frameCount; ++f) {
        float box[6] = {};
        for (size_t v = 0; v < pairs.size(); ++v) {
            const float* p = out.verts[f * pairs.size() + v].position;
            for (int k = 0; k < 3; ++k) {
                box[k] = v == 0 || p[k] < box[k] ? p[k] : box[k];
                box[k + 3] = v == 0 || p[k] > box[k + 3] ? p[k] : box[k + 3];
            }
        }
        out.boxes.insert(out.boxes.end(), box, box + 6);
    }
    return out;
}

// The build works on many vertices and triangles at once; every bit of every
// record must still be what one vertex at a time gives. The corpus models
// have counts that are not multiples of four; the square has exactly four
// vertices and two triangles.
TEST_F(Md2Test, RecordsMatchTheOneAtATimeBuildBitForBit) {
    const std::vector<std::vector<uint8_t>> files = {
        ReadCorpus("md2/sydney.md2"), ReadCorpus("md2/faerie.md2"),
        Md2WriteBytes(SquareModel({"walk1", "walk2", "walk3", "pain1"}))};
    for (const std::vector<uint8_t>& file : files) {
        PoolRelease();
        PoolSetSmallSize(kPoolDefaultSmallSize);
        PoolInit(16 * 1024 * 1024);
        Md2Model model{};
        ASSERT_EQ(LoadBytes(file, &model), 1);
        const OneAtATime expected = BuildOneAtATime(file, model);
        ASSERT_EQ(expected.tris.size(), model.facesPerFrame * 4u);
        ASSERT_EQ(expected.verts.size(), size_t{model.vertsPerFrame} * model.frameCount);
        EXPECT_EQ(std::memcmp(expected.tris.data(), model.tris, expected.tris.size() * 2), 0);
        EXPECT_EQ(
            std::memcmp(expected.verts.data(), model.frames, expected.verts.size() * sizeof(FrameVertex)), 0);
        EXPECT_EQ(std::memcmp(expected.planes.data(), model.framePlanes,
                              expected.planes.size() * sizeof(FramePlane)),
                  0);
        EXPECT_EQ(std::memcmp(expected.boxes.data(), model.frameBoxes, expected.boxes.size() * sizeof(float)),
                  0);
    }
}

TEST_F(Md2Test, CorpusZeroVerticesIsRefused) {
    const std::vector<uint8_t> bytes = ReadCorpus("md2/broken/malformed_zero_numvertices.md2");
    ASSERT_EQ(bytes.size(), 256u);
    Md2Model model{};
    EXPECT_EQ(LoadBytes(bytes, &model), 0);
    EXPECT_TRUE(ModelIsUntouched(model));
}

} // namespace

// Synthetic demo content: see show_archive.h.
#include "tests/support/show_archive.h"
#include "tests/support/test_song.h" // TestSongBytes
#include "tools/content/show.h"      // BuiltInShowText

#include "tools/formats/image_writer.h"
#include "tools/formats/md2_writer.h"
#include "tools/formats/writer3ds.h"

namespace {

// Every mesh name the script finds in corridoru.
const char* const kCorridorMeshes[] = {"NGon01", "NGon02", "NGon03", "NGon06", "NGon11", "NGon12", "NGon13",
                                       "NGon14", "NGon15", "NGon16", "NGon17", "NGon18", "NGon19", "NGon20",
                                       "NGon21", "NGon22", "NGon23", "Object01", "EsternoVen", "porte04",
                                       "porte05", "porte06", "porte07", "Rectangle1", "Rectangle0"};

// A quad in the file's axes (z up) at height z, centred on (cx, cy).
void Quad(Writer3DS* w, const std::string& name, const float cx, const float cy, const float half, const float z,
          const std::string& material) {
    w->Mesh(name,
            {{cx - half, cy - half, z}, {cx + half, cy - half, z}, {cx + half, cy + half, z}, {cx - half, cy + half, z}},
            {{0, 1, 2, 7}, {0, 2, 3, 7}}, {{material, {0, 1}}},
            {{0.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}});
}

std::vector<uint8_t> SceneFile(const std::vector<std::string>& meshes, const Vec3f& colour, const int32_t frames) {
    Writer3DS w;
    w.Begin(kChunkMain);
    w.Begin(kChunkEditor);
    w.Material("Paint", colour, colour, {0.2f, 0.2f, 0.2f});
    Quad(&w, "Floor", 0.0f, 0.0f, 150.0f, 0.0f, "Paint");
    float x = -120.0f;
    for (const std::string& name : meshes) {
        Quad(&w, name, x, 60.0f, 8.0f, 20.0f, "Paint");
        x += 10.0f;
    }
    w.NamedLight("Lamp", {0.0f, -60.0f, 120.0f}, {1.0f, 1.0f, 1.0f});
    w.NamedCamera("Eye", {0.0f, -260.0f, 90.0f}, {0.0f, 0.0f, 0.0f});
    w.End();
    const int32_t last = frames > 0 ? frames - 1 : 0;
    w.Begin(kChunkKeyframer);
    w.FrameSegment(0, last);
    uint16_t id = 0;
    std::vector<std::string> nodes = {"Floor"};
    nodes.insert(nodes.end(), meshes.begin(), meshes.end());
    for (const std::string& name : nodes) {
        w.Begin(kChunkObjectNode);
        w.NodeId(id++);
        w.NodeHeader(name, 0xFFFF);
        w.Pivot({0.0f, 0.0f, 0.0f});
        w.Track(kChunkPositionTrack, {VectorKey3ds(0, 0.0f, 0.0f, 0.0f)});
        w.Track(kChunkRotationTrack, {RotationKey3ds(0, 0.0f, 0.0f, 0.0f, 1.0f)});
        w.Track(kChunkScaleTrack, {VectorKey3ds(0, 1.0f, 1.0f, 1.0f)});
        w.End();
    }
    // The camera swings from one side to the other over the scene's length.
    w.Begin(kChunkCameraNode);
    w.NodeId(id++);
    w.NodeHeader("Eye", 0xFFFF);
    w.Track(kChunkPositionTrack, {VectorKey3ds(0, -120.0f, -260.0f, 90.0f), VectorKey3ds(last, 120.0f, -260.0f, 90.0f)});
    w.Track(kChunkFovTrack, {ScalarKey3ds(0, 60.0f)});
    w.Track(kChunkRollTrack, {ScalarKey3ds(0, 0.0f)});
    w.End();
    w.Begin(kChunkCameraTargetNode);
    w.NodeId(id++);
    w.NodeHeader("Eye", 0xFFFF);
    w.Track(kChunkPositionTrack, {VectorKey3ds(0, 0.0f, 0.0f, 0.0f)});
    w.End();
    w.Begin(kChunkLightNode);
    w.NodeId(id++);
    w.NodeHeader("Lamp", 0xFFFF);
    w.Track(kChunkPositionTrack, {VectorKey3ds(0, 0.0f, -60.0f, 120.0f)});
    w.Track(kChunkColourTrack, {VectorKey3ds(0, 1.0f, 1.0f, 1.0f)});
    w.End();
    w.End();
    return w.Finish();
}

std::vector<uint8_t> Picture(const uint8_t r, const uint8_t g, const uint8_t b) {
    constexpr int32_t kSide = 8;
    std::vector<uint8_t> pixels;
    for (int32_t i = 0; i < kSide * kSide; ++i) {
        const bool odd = ((i / kSide) + i) % 2 != 0;
        pixels.push_back(odd ? r : static_cast<uint8_t>(r / 2));
        pixels.push_back(odd ? g : static_cast<uint8_t>(g / 2));
        pixels.push_back(odd ? b : static_cast<uint8_t>(b / 2));
    }
    return EncodeJpeg(pixels.data(), kSide, kSide, 3);
}

// A standing triangle that leans a little further in each frame.
std::vector<uint8_t> Character() {
    Md2WriterModel model;
    model.skinWidth = 8;
    model.skinHeight = 8;
    model.vertexCount = 3;
    model.texCoords = {{0, 0}, {8, 0}, {4, 8}};
    model.triangles = {{{0, 1, 2}, {0, 1, 2}}};
    for (int32_t motion = 0; motion < kShowArchiveMotions; ++motion) {
        const std::string base(1, static_cast<char>('a' + motion));
        for (int32_t f = 0; f < ShowArchiveMotionFrames(motion); ++f) {
            const uint8_t lean = static_cast<uint8_t>(100 + 10 * f);
            Md2WriterFrame frame = Md2MakeFrame(base + "0" + std::to_string(f + 1),
                                                {80, 128, 0, 0, 176, 128, 0, 0, lean, 128, 90, 0});
            frame.translate[0] = -128.0f;
            frame.translate[1] = -128.0f;
            frame.translate[2] = -24.0f;
            frame.scale[0] = 0.3f;
            frame.scale[1] = 0.3f;
            frame.scale[2] = 0.5f;
            model.frames.push_back(frame);
        }
    }
    return Md2WriteBytes(model);
}

} // namespace

int32_t ShowArchiveMotionFrames(const int32_t motion) {
    return 2 + motion % 3;
}

std::vector<PakWriteEntry> BuildShowArchive(const ShowArchiveOptions& options) {
    std::vector<std::string> corridorMeshes;
    for (const char* name : kCorridorMeshes) {
        if (options.omit.count(name) == 0) {
            corridorMeshes.push_back(name);
        }
    }
    const std::string show = options.showText.empty() ? BuiltInShowText() : options.showText;
    const std::vector<PakWriteEntry> all = {
        {"show.toml", 0, std::vector<uint8_t>(show.begin(), show.end())},
        {"logo.3ds", 0, SceneFile({}, {0.9f, 0.6f, 0.2f}, options.logoFrames)},
        {"blur0.3ds", 0, SceneFile({}, {0.2f, 0.4f, 0.9f}, options.otherFrames)},
        {"blur1.3ds", 0, SceneFile({}, {0.9f, 0.2f, 0.5f}, options.otherFrames)},
        {"corridors.3ds", 0, SceneFile({}, {0.3f, 0.8f, 0.3f}, options.otherFrames)},
        {"corridoru.3ds", 0, SceneFile(corridorMeshes, {0.7f, 0.7f, 0.7f}, options.corridoruFrames)},
        {"zuzez.md2", 0, Character()},
        {"zuzez1.jpg", 0, Picture(200, 150, 100)},
        {"chrome.jpg", 0, Picture(220, 220, 240)},
        {"chromer.jpg", 0, Picture(180, 200, 220)},
        {"mtlplat2.jpg", 0, Picture(120, 120, 140)},
    };
    std::vector<PakWriteEntry> entries;
    for (const PakWriteEntry& entry : all) {
        if (options.omit.count(entry.name) == 0) {
            entries.push_back(entry);
        }
    }
    if (options.songBars > 0) {
        entries.push_back(PakWriteEntry{"music.xm", 0, TestSongBytes(options.songBars)});
    }
    return entries;
}

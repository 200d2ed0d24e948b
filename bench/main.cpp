// tessaro-bench: our loaders raced against the libraries people would use
// instead, on the same files, in one process. Run by scripts/bench; not a test.
//
// Usage: tessaro-bench CORPUS_DIR CONTENT_ARCHIVE PLAYER [REPETITIONS [SECTION...]]
// With SECTIONs (3ds, order, md2, jpeg, tga, startup, corridor) only those
// run. The corridor section needs an X display for Irrlicht's OpenGL driver
// (scripts/bench runs the bench under xvfb-run); without one it is skipped.
// With TESSARO_BENCH_SHOTS=DIR it writes one picture of each of its
// contenders into DIR; TESSARO_BENCH_IRRLICHT_LOG=1 lets Irrlicht's OpenGL
// device log what it loads.
//
// Our loaders read from an open archive that holds every file, as the player
// does; the peers read the same bytes from files on disk (the page cache
// holds them after the first round). What each contender builds is printed
// with its section.
#include "archive/archive.h"     // PakOpen, g_currentPak, PakLoadEntry
#include "archive/pak_writer.h"  // PakWriteArchive: the bench's own archive
#include "loader3ds/loader3ds.h" // Load3ds
#include "md2/md2.h"             // Md2Model
#include "memory/memory_pool.h"  // PoolInit, PoolRelease
#include "scene/scene.h"         // Scene
#include "texture/image.h"       // DecodeJpegFromMemory, LoadTgaImage

#include "app/app.h"             // WriteFramePng
#include "bench/corridor_ours.h"
#include "bench/peer_irrlicht.h"
#include "bench/race.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <lib3ds/file.h>
#include <jpeglib.h>

#include <unistd.h> // getpid

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The pool as the player sets it up.
constexpr int32_t kSmallBytes = 200000;
constexpr int32_t kTotalBytes = 20000000;

struct BenchFile {
    std::string name; // entry name in the bench archive, base name on disk
    std::string path; // the file on disk the peers read
};

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Files of `dir` (not below it) whose extension is one of `extensions`.
std::vector<BenchFile> FilesIn(const std::string& dir, const std::vector<std::string>& extensions) {
    std::vector<BenchFile> files;
    if (!fs::is_directory(dir)) {
        return files;
    }
    for (const auto& item : fs::directory_iterator(dir)) {
        const std::string ext = Lower(item.path().extension().string());
        if (item.is_regular_file() && std::find(extensions.begin(), extensions.end(), ext) != extensions.end() &&
            item.path().filename().string().size() <= static_cast<size_t>(kPakMaxNameLength)) {
            files.push_back({item.path().filename().string(), item.path().string()});
        }
    }
    std::sort(files.begin(), files.end(), [](const BenchFile& a, const BenchFile& b) { return a.name < b.name; });
    return files;
}

// Every entry of the content archive written out as a file of `dir`.
std::vector<BenchFile> ExtractContent(const std::string& archive, const std::string& dir) {
    std::vector<BenchFile> files;
    PAKFile* pak = PakOpen(archive.c_str(), "rb");
    if (pak == nullptr) {
        return files;
    }
    for (const PakDirEntry* e = pak->entries; e != nullptr; e = e->next) {
        int32_t size = 0;
        uint8_t* data = PakLoadEntry(pak, e->name, INT32_MAX - kPakLoadPadding, &size, nullptr);
        if (data == nullptr) {
            continue;
        }
        const std::string path = dir + "/" + e->name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), size);
        PakFreeEntry(data);
        files.push_back({e->name, path});
    }
    PakClose(pak);
    return files;
}

// An empty pool in the same region, as the player's own pool starts empty:
// the region's pages are the system's work once, not each round's.
void FreshPool() {
    PoolSetSmallSize(kSmallBytes);
    PoolInit(kTotalBytes);
}

// --- Contenders ---------------------------------------------------------------

// As the engine loads a scene: the reader with its post-pass, then the set-up
// of every keyframe track.
bool OursLoad3ds(const std::string& name) {
    Scene scene;
    try {
        Load3ds(name.c_str(), &scene);
    } catch (const char*) {
        scene.Destroy();
        return false;
    }
    PrepareTracks(&scene);
    scene.Destroy();
    return true;
}

bool Lib3dsLoad(const std::string& path) {
    Lib3dsFile* file = lib3ds_file_load(path.c_str());
    if (file == nullptr) {
        return false;
    }
    lib3ds_file_free(file);
    return true;
}

bool AssimpLoad(const std::string& path, unsigned flags) {
    Assimp::Importer importer;
    return importer.ReadFile(path, flags) != nullptr;
}

bool OursLoadMd2(const std::string& name) {
    Md2Model model{};
    const bool ok = model.Load(name.c_str()) == 1;
    delete model.groups;
    return ok;
}

bool OursDecodeJpeg(const std::vector<uint8_t>& bytes) {
    ImageBuffer* image = DecodeJpegFromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()));
    if (image == nullptr) {
        return false;
    }
    image->Destroy();
    return true;
}

// libjpeg-turbo as its users call it: its own extended colour space, a
// malloc'd image (no zero fill: every byte is written by the decoder) and as
// many rows per call as it offers.
bool TurboDecodeRgba(const std::vector<uint8_t>& bytes) {
    jpeg_decompress_struct info = {};
    jpeg_error_mgr errors = {};
    info.err = jpeg_std_error(&errors);
    errors.error_exit = [](j_common_ptr) { std::abort(); };
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_RGBA;
    jpeg_start_decompress(&info);
    const size_t stride = static_cast<size_t>(info.output_width) * 4;
    auto* pixels = static_cast<uint8_t*>(std::malloc(stride * info.output_height));
    auto* rows = static_cast<JSAMPROW*>(std::malloc(sizeof(JSAMPROW) * info.output_height));
    if (pixels == nullptr || rows == nullptr) {
        std::abort();
    }
    for (JDIMENSION y = 0; y < info.output_height; ++y) {
        rows[y] = pixels + stride * y;
    }
    while (info.output_scanline < info.output_height) {
        jpeg_read_scanlines(&info, rows + info.output_scanline, info.output_height - info.output_scanline);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::free(rows);
    std::free(pixels);
    return true;
}

bool OursLoadTga(const std::string& name) {
    TgaImage* image = LoadTgaImage(name.c_str());
    if (image == nullptr) {
        return false;
    }
    FreeTgaImage(image);
    return true;
}

// --- Sections -------------------------------------------------------------------

// The corridor frame: the moment of the show (the capture's frame number on
// its 40 ms clock) with the character walking down corridoru away from the
// camera over the floor mirror; frames per timed run; picture size.
constexpr int32_t kCorridorFrame = 500;
constexpr int32_t kCorridorBatch = 10;
constexpr int32_t kCorridorWidth = 640;
constexpr int32_t kCorridorHeight = 480;

void SaveShot(const std::string& dir, const std::string& name, const std::vector<uint8_t>& rgba) {
    if (dir.empty()) {
        return;
    }
    std::string error;
    const std::string path = dir + "/" + name;
    if (!WriteFramePng(path, rgba, kCorridorWidth, kCorridorHeight, &error)) {
        std::fprintf(stderr, "tessaro-bench: %s\n", error.c_str());
    } else {
        std::fprintf(stderr, "tessaro-bench: wrote %s\n", path.c_str());
    }
}

struct Bench {
    std::vector<BenchFile> files3ds;
    std::vector<BenchFile> filesMd2;
    std::vector<BenchFile> filesJpeg;
    std::vector<BenchFile> filesTga;
    int repetitions = 21;
    std::vector<RaceResult> results;

    void Record(const std::string& section, const std::string& file, std::vector<Contender> contenders) {
        RaceResult result{section, file, {}, Race(contenders, repetitions)};
        for (const Contender& c : contenders) {
            result.names.push_back(c.name);
        }
        PrintJsonLine(result);
        results.push_back(result);
    }

    void Section3ds() {
        for (const BenchFile& f : files3ds) {
            Record("3ds fresh", f.name,
                   {{"ours", [&] { return OursLoad3ds(f.name); }, FreshPool},
                    {"lib3ds", [&] { return Lib3dsLoad(f.path); }, nullptr},
                    {"assimp", [&] { return AssimpLoad(f.path, aiProcess_GenSmoothNormals); }, nullptr},
                    {"irrlicht", [&] { return IrrlichtLoadMesh(f.path); }, nullptr}});
        }
    }

    // The show's last scene, loaded after the four before it into the same
    // pool, against the same load into a fresh pool.
    void Section3dsShowOrder() {
        const char* earlier[] = {"logo.3ds", "blur0.3ds", "blur1.3ds", "corridors.3ds"};
        std::vector<Scene*> kept;
        auto loadEarlier = [&] {
            FreshPool();
            for (const char* name : earlier) {
                kept.push_back(new Scene());
                try {
                    Load3ds(name, kept.back());
                } catch (const char*) {
                }
            }
        };
        auto dropEarlier = [&] {
            for (Scene* s : kept) {
                s->Destroy();
                delete s;
            }
            kept.clear();
        };
        Record("3ds show order", "corridoru.3ds",
               {{"ours in show order", [&] {
                     const bool ok = OursLoad3ds("corridoru.3ds");
                     dropEarlier();
                     return ok;
                 },
                 loadEarlier},
                {"ours fresh", [&] { return OursLoad3ds("corridoru.3ds"); }, FreshPool}});
    }

    void SectionMd2() {
        for (const BenchFile& f : filesMd2) {
            Record("md2 every frame", f.name,
                   {{"ours", [&] { return OursLoadMd2(f.name); }, FreshPool},
                    {"irrlicht", [&] { return IrrlichtLoadMesh(f.path); }, nullptr}});
        }
    }

    void SectionJpeg() {
        for (const BenchFile& f : filesJpeg) {
            const std::vector<uint8_t> bytes = ReadBytes(f.path);
            Record("jpeg rgba", f.name,
                   {{"ours", [&] { return OursDecodeJpeg(bytes); }, nullptr},
                    {"turbo", [&] { return TurboDecodeRgba(bytes); }, nullptr}});
        }
    }

    void SectionTga() {
        for (const BenchFile& f : filesTga) {
            Record("tga", f.name,
                   {{"ours", [&] { return OursLoadTga(f.name); }, nullptr},
                    {"irrlicht", [&] { return IrrlichtLoadImage(f.path); }, nullptr}});
        }
    }

    // Start-up to the first frame as a whole process: the player against an
    // Irrlicht program that loads the corridor and the character and draws
    // once, run alternately.
    void SectionStartUp(const std::string& player, const std::string& archive, const std::string& scratch,
                        const std::string& peer, const std::string& contentDir) {
        const std::string ours = "'" + player + "' --capture '" + scratch + "/startup' --frames 1 --pak '" +
                                 archive + "' >/dev/null 2>&1";
        const std::string theirs = "'" + peer + "' '" + contentDir + "/corridoru.3ds' '" + contentDir +
                                   "/zuzez.md2' '" + contentDir + "/zuzez1.jpg' >/dev/null 2>&1";
        std::vector<Contender> contenders = {
            {"player", [&] { return std::system(ours.c_str()) == 0; }, nullptr},
            {"irrlicht", [&] { return std::system(theirs.c_str()) == 0; }, nullptr},
        };
        RaceResult result{"start-up to first frame", "pako.qdz", {"player", "irrlicht"},
                          Race(contenders, std::max(5, repetitions / 2))};
        PrintJsonLine(result);
        results.push_back(result);
    }

    // One frame of the corridor with the character, drawn by our engine
    // plainly and as the show draws it, and by Irrlicht's OpenGL driver from
    // the same files. Our context (EGL) and Irrlicht's (GLX) live in this one
    // process; each contender's reset makes its own current, outside the clock.
    void SectionCorridor(const std::string& content, const std::string& contentDir) {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') {
            std::printf("corridor: skipped, no X display for Irrlicht's OpenGL driver (run under xvfb-run)\n");
            return;
        }
        const char* shotsVar = std::getenv("TESSARO_BENCH_SHOTS");
        const std::string shots = shotsVar != nullptr ? shotsVar : "";
        PAKFile* benchPak = g_currentPak;
        std::string error;
        auto finish = [&] {
            IrrlichtCorridorStop();
            CorridorOursStop();
            g_currentPak = benchPak;
        };
        if (!CorridorOursStart(content, kCorridorFrame, kCorridorWidth, kCorridorHeight, &error)) {
            std::printf("corridor: skipped, ours cannot start: %s\n", error.c_str());
            finish();
            return;
        }
        const CorridorView view = CorridorOursView();
        CorridorOursDetach();
        if (!IrrlichtCorridorStart(contentDir + "/corridoru.3ds", contentDir + "/zuzez.md2",
                                   contentDir + "/zuzez1.jpg", view, kCorridorWidth, kCorridorHeight, &error)) {
            std::printf("corridor: skipped, irrlicht cannot start: %s\n", error.c_str());
            IrrlichtCorridorDetach();
            finish();
            return;
        }
        IrrlichtCorridorDetach();

        // A contender whose context did not become current fails its run.
        bool current = false;
        auto ours = [&current] {
            IrrlichtCorridorDetach();
            current = CorridorOursMakeCurrent();
        };
        auto peer = [&current] {
            CorridorOursDetach();
            current = IrrlichtCorridorMakeCurrent();
        };
        std::vector<Contender> contenders = {
            {"ours plain", [&current] { return current && CorridorOursFrames(kCorridorBatch, false); }, ours},
            {"ours show", [&current] { return current && CorridorOursFrames(kCorridorBatch, true); }, ours},
            {"irrlicht", [&current] { return current && IrrlichtCorridorFrames(kCorridorBatch, false); }, peer},
            {"irrlicht+present", [&current] { return current && IrrlichtCorridorFrames(kCorridorBatch, true); },
             peer},
        };
        std::vector<int64_t> medians = Race(contenders, repetitions);
        for (int64_t& m : medians) {
            m = m >= 0 ? m / kCorridorBatch : -1; // per frame
        }
        // One race, two rows: ours plain and ours as the show draws it, each
        // against the same peer times.
        const std::string file = "corridoru f" + std::to_string(kCorridorFrame) + " " +
                                 std::to_string(kCorridorWidth) + "x" + std::to_string(kCorridorHeight);
        const RaceResult plain{"corridor frame, plain", file,
                               {"ours", "irrlicht", "irrlicht+present"},
                               {medians[0], medians[2], medians[3]}};
        const RaceResult show{"corridor frame, show", file,
                              {"ours", "irrlicht", "irrlicht+present"},
                              {medians[1], medians[2], medians[3]}};
        for (const RaceResult& r : {plain, show}) {
            PrintJsonLine(r);
            results.push_back(r);
        }
        // The pictures after the race, through the same switches of context
        // as the timed runs.
        if (!shots.empty()) {
            ours();
            CorridorOursFrames(1, false);
            SaveShot(shots, "corridor_ours_plain.png", CorridorOursReadBack());
            CorridorOursFrames(1, true);
            SaveShot(shots, "corridor_ours_show.png", CorridorOursReadBack());
            peer();
            IrrlichtCorridorFrames(1, false);
            SaveShot(shots, "corridor_irrlicht.png", IrrlichtCorridorReadBack());
        }
        auto fps = [](const int64_t ns) { return ns > 0 ? 1e9 / static_cast<double>(ns) : 0.0; };
        std::printf("corridor frame %d fps: ours plain %.1f, ours show %.1f, irrlicht %.1f, irrlicht+present %.1f\n",
                    static_cast<int>(kCorridorFrame), fps(medians[0]), fps(medians[1]), fps(medians[2]),
                    fps(medians[3]));
        peer();
        finish();
    }
};

void PrintWhatEachBuilds() {
    std::printf(
        "\nWhat each contender builds:\n"
        "  3ds   ours: the scene model from an open archive (objects, averaged normals, faces sorted by material,\n"
        "        boxes, hierarchy, keyframe tracks) into the memory pool, then every track's set-up (tangents,\n"
        "        accumulated rotations), as the engine loads a scene. lib3ds: its file records (meshes, nodes,\n"
        "        keys), no normals. assimp: its scene with smooth normals. irrlicht: its mesh with normals and\n"
        "        hardware buffers prepared (null driver), material textures looked up by name.\n"
        "  md2   ours: every frame's render vertices and face planes with deltas to the next frame, boxes.\n"
        "        irrlicht: all frames' vertices and normals kept for interpolation at draw time.\n"
        "  jpeg  ours: RGBA image through the player's image interface. turbo: libjpeg-turbo straight to RGBA\n"
        "        (JCS_EXT_RGBA, all rows a call) into a malloc'd image, as its users call it; both from memory.\n"
        "  tga   ours: from the archive, colour order swapped for GL. irrlicht: its image in its own format.\n"
        "  start-up: whole processes, run alternately: the player with --capture --frames 1 (EGL, content\n"
        "        load, one frame, PNG) against tessaro-bench-irrlicht-start, a program linking only Irrlicht that\n"
        "        opens a 640x480 GLX window, loads corridoru.3ds (textures beside it) and zuzez.md2 with\n"
        "        zuzez1.jpg, draws once and shows it.\n"
        "  corridor frame: the show's frame %d (corridoru, the character walking away over the floor mirror)\n"
        "        at %dx%d on Mesa llvmpipe, a median over runs of %d frames each, given per frame.\n"
        "        ours: the player's engine in this process on its EGL context, the show loaded by the scene script\n"
        "        and run on the capture's 40 ms clock to that frame, then Engine::RenderFrame on a clock that\n"
        "        stands still (clear, timeline, tracks, Scene::Render of corridoru with CPU transform and\n"
        "        lighting), the character's pose put back before each frame, glFinish at the end. \"show\": as\n"
        "        the show draws it, with the floor mirror (26 corridor meshes and the character drawn reflected,\n"
        "        the blended floor quad) and the additive chrome passes (corridor mesh NGon01, the character).\n"
        "        \"plain\": the same frame with corridoru's mirror list emptied and every environment texture\n"
        "        set to 0, both put back after each run.\n"
        "        irrlicht: its OpenGL driver on a GLX window under the X server (Xvfb), the same corridoru.3ds\n"
        "        through its 3DS loader (textures beside it, static hardware buffers) and zuzez.md2 with\n"
        "        zuzez1.jpg as an animated mesh node held at our frame, position and heading, our camera (eye,\n"
        "        target, up, fov, aspect, near, far) and our scene's lights as point lights without fall-off,\n"
        "        diffuse only; beginScene clearing colour and depth, drawAll, glFinish at the end, no\n"
        "        endScene (ours presents nothing either). irrlicht+present: the same with endScene, which\n"
        "        swaps the window's buffers. No mirror, no chrome: it is the peer of \"plain\".\n",
        static_cast<int>(kCorridorFrame), static_cast<int>(kCorridorWidth), static_cast<int>(kCorridorHeight),
        static_cast<int>(kCorridorBatch));
}

// The start-up peer's program, beside this one.
std::string PeerProgram(const char* self) {
    return (fs::path(self).parent_path() / "tessaro-bench-irrlicht-start").string();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: tessaro-bench CORPUS_DIR CONTENT_ARCHIVE PLAYER [REPETITIONS [SECTION...]]\n");
        return 2;
    }
    const std::string corpus = argv[1];
    const std::string content = argv[2];
    const std::string player = argv[3];
    Bench bench;
    bench.repetitions = argc > 4 ? std::max(3, std::atoi(argv[4])) : 21;

    const std::string scratch = (fs::temp_directory_path() / ("tessaro-bench-" + std::to_string(::getpid()))).string();
    fs::create_directories(scratch + "/content");
    const std::vector<BenchFile> ours = ExtractContent(content, scratch + "/content");
    if (ours.empty()) {
        std::fprintf(stderr, "tessaro-bench: cannot read %s\n", content.c_str());
        return 1;
    }
    auto pick = [&](const std::vector<std::string>& ext, const std::string& sub) {
        std::vector<BenchFile> files = FilesIn(corpus + "/" + sub, ext);
        for (const BenchFile& f : ours) {
            if (std::find(ext.begin(), ext.end(), Lower(fs::path(f.name).extension().string())) != ext.end()) {
                files.push_back(f);
            }
        }
        return files;
    };
    bench.files3ds = pick({".3ds"}, "3ds");
    bench.filesMd2 = pick({".md2"}, "md2");
    bench.filesJpeg = pick({".jpg", ".jpeg"}, "3ds");
    bench.filesTga = pick({".tga"}, "tga");

    // One archive with every file, as our loaders read it.
    std::vector<PakWriteEntry> entries;
    for (const auto* list : {&bench.files3ds, &bench.filesMd2, &bench.filesJpeg, &bench.filesTga}) {
        for (const BenchFile& f : *list) {
            entries.push_back({f.name, 0x5A, ReadBytes(f.path)});
        }
    }
    std::string error;
    const std::string archive = scratch + "/bench.qdz";
    if (!PakWriteArchive(archive, entries, &error) || PakOpen(archive.c_str(), "rb") == nullptr) {
        std::fprintf(stderr, "tessaro-bench: %s\n", error.c_str());
        return 1;
    }
    FreshPool();
    if (!IrrlichtStart()) {
        std::fprintf(stderr, "tessaro-bench: no Irrlicht device\n");
        return 1;
    }

    const std::vector<std::string> wanted(argv + std::min(argc, 5), argv + argc);
    auto runs = [&](const char* section) {
        return wanted.empty() || std::find(wanted.begin(), wanted.end(), section) != wanted.end();
    };
    if (runs("3ds")) {
        bench.Section3ds();
    }
    if (runs("order")) {
        bench.Section3dsShowOrder();
    }
    if (runs("md2")) {
        bench.SectionMd2();
    }
    if (runs("jpeg")) {
        bench.SectionJpeg();
    }
    if (runs("tga")) {
        bench.SectionTga();
    }
    if (runs("startup")) {
        bench.SectionStartUp(player, content, scratch, PeerProgram(argv[0]), scratch + "/content");
    }
    // Last: it loads the show into a fresh pool.
    if (runs("corridor")) {
        bench.SectionCorridor(content, scratch + "/content");
    }

    PrintTable(bench.results);
    PrintSummary(bench.results);
    PrintWhatEachBuilds();
    IrrlichtStop();
    PakClose(g_currentPak);
    PoolRelease();
    fs::remove_all(scratch);
    return 0;
}

// The capture run: the show drawn off screen on a fixed clock, each displayed
// frame written as a PNG file.
#include "app/app.h"
#include "app/command_line.h"
#include "app/scene_script.h" // RunSceneScript

#include "archive/archive.h"      // PakOpen, g_currentPak
#include "engine/engine.h"        // g_engine, EngineSetScreenSize
#include "framework/lumora.h"     // fwk, done, InitGL, ReSizeGLScene
#include "platform/headless_gl.h" // HeadlessGlMakeCurrent, HeadlessGlReadColorBuffer, HeadlessGlDetach

#include <GL/gl.h>
#include <png.h>

#include <cstdio>     // fopen, fprintf, snprintf
#include <filesystem> // create_directories

namespace {

// Frame file names: frame_00000.png onward; wider numbers once past 99999.
std::string FramePath(const std::string& dir, const int64_t index) {
    char name[48] = {};
    std::snprintf(name, sizeof name, "frame_%05lld.png", static_cast<long long>(index));
    return dir + "/" + name;
}

// libpng reports failures through a jump; the file and the write structures
// are released on every way out.
struct PngFile {
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngFile() {
        if (png != nullptr) {
            png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
        }
        if (file != nullptr) {
            std::fclose(file);
        }
    }
};

// Takes the image row by row from the top; the frame is bottom row first.
bool WriteRows(PngFile* out, const std::vector<uint8_t>& rgba, const int32_t width, const int32_t height,
               std::vector<uint8_t>* row) {
    if (setjmp(png_jmpbuf(out->png)) != 0) {
        return false;
    }
    png_init_io(out->png, out->file);
    png_set_IHDR(out->png, out->info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(out->png, out->info);
    const size_t w = static_cast<size_t>(width);
    for (int32_t y = height - 1; y >= 0; --y) {
        const uint8_t* source = rgba.data() + static_cast<size_t>(y) * w * 4u;
        for (size_t x = 0; x < w; ++x) {
            (*row)[x * 3u] = source[x * 4u];
            (*row)[x * 3u + 1u] = source[x * 4u + 1u];
            (*row)[x * 3u + 2u] = source[x * 4u + 2u];
        }
        png_write_row(out->png, row->data());
    }
    png_write_end(out->png, nullptr);
    return true;
}

// Raised as the shell raises its errors; the text lives until the run ends.
std::string s_captureError;

[[noreturn]] void Raise(const std::string& text) {
    s_captureError = text;
    throw static_cast<const char*>(s_captureError.c_str());
}

// The mode's size, the off-screen context and the framework's initial GL state.
void StartDisplay(const CommandLine& options) {
    int width = 0;
    int height = 0;
    int bits = 0;
    if (!ModeFromIndex(options.modeIndex, &width, &height, &bits)) {
        Raise("no display mode " + std::to_string(options.modeIndex));
    }
    fwk.width = width;
    fwk.height = height;
    fwk.bits = bits;
    fwk.fullscreen = false;
    fwk.playSounds = false;
    EngineSetScreenSize(width, height);
    if (!HeadlessGlMakeCurrent(width, height)) {
        Raise("no off-screen OpenGL context: " + HeadlessGlError());
    }
    InitGL();
    ReSizeGLScene(width, height);
    glClear(GL_COLOR_BUFFER_BIT);
}

void PrepareFolder(const std::string& dir) {
    std::error_code failure;
    std::filesystem::create_directories(dir, failure);
    if (failure || !std::filesystem::is_directory(dir)) {
        Raise("cannot make the folder " + dir);
    }
}

// The main loop without a window: one engine frame per pass; the frame in
// which the show finishes is not written, as a window would never show it.
void CaptureLoop(const CommandLine& options) {
    // Fixed steps add up exactly for 40 ms; the margin covers others.
    const double start = static_cast<double>(options.startFrame) - 1e-3;
    // A show whose archive never lets it finish must not write frames for
    // ever: four hours of show is far beyond any real one.
    constexpr int64_t kMaxPasses = 4LL * 60 * 60 * 25;
    int64_t written = 0;
    int64_t passes = 0;
    std::string error;
    while (done == 0) {
        if (++passes > kMaxPasses) {
            Raise("the show did not finish within four hours of frames");
        }
        g_frameCount += 1;
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        done = done | g_engine.RenderFrame();
        if (done != 0 || static_cast<double>(g_engine.time) < start) {
            continue;
        }
        const std::string path = FramePath(options.captureDir, written);
        if (!WriteFramePng(path, HeadlessGlReadColorBuffer(), fwk.width, fwk.height, &error)) {
            Raise(error);
        }
        written += 1;
        if (options.frameLimit > 0 && written >= options.frameLimit) {
            done = 1;
        }
    }
    std::printf("capture frames=%lld engine_time=%.3f\n", static_cast<long long>(written),
                static_cast<double>(g_engine.time));
}

} // namespace

bool WriteFramePng(const std::string& path, const std::vector<uint8_t>& rgba, const int32_t width,
                   const int32_t height, std::string* error) {
    if (width < 1 || height < 1 || rgba.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4u) {
        *error = "no frame to write to " + path;
        return false;
    }
    PngFile out;
    out.file = std::fopen(path.c_str(), "wb");
    if (out.file == nullptr) {
        *error = "cannot write " + path;
        return false;
    }
    out.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    out.info = out.png != nullptr ? png_create_info_struct(out.png) : nullptr;
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3u);
    if (out.info == nullptr || !WriteRows(&out, rgba, width, height, &row)) {
        *error = "cannot write " + path;
        return false;
    }
    if (std::fflush(out.file) != 0) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

int TessaroCapture(const CommandLine& options) {
    int status = 0;
    try {
        PrepareFolder(options.captureDir);
        StartDisplay(options);
        if (PakOpen(options.pakPath.c_str(), "rb") == nullptr) {
            throw "Impossibile trovare il PAKFile";
        }
        RunSceneScript();
        UseFixedFrameClock(options.fixedStepMs > 0 ? options.fixedStepMs : kCaptureStepMs);
        g_runTimer.Start();
        ResetFrameTimer();
        CaptureLoop(options);
        const uint32_t total = g_runTimer.ElapsedMs();
        g_engine.StopSong(g_song);
        std::printf("%s\n", ComposeRunReport(g_frameCount, total).c_str());
    } catch (const char* message) {
        std::fprintf(stderr, "tessaro: %s\n", message);
        status = -1;
    }
    std::fflush(stdout);
    // Detached, not terminated: the display goes with the process, and Mesa
    // leaves allocations behind when its driver is unloaded by a terminate.
    HeadlessGlDetach();
    ReleaseShowContent();
    UseFixedFrameClock(0);
    return status;
}

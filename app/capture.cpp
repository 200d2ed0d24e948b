// The capture run: the show drawn off screen on a fixed clock, each displayed
// frame written as a PNG file and the music mixed on the same clock into one
// WAVE file beside them.
#include "app/app.h"
#include "app/command_line.h"
#include "app/player.h"       // ReplayWithoutDrawing
#include "app/scene_script.h" // RunSceneScript

#include "archive/archive.h"      // PakOpen, g_currentPak
#include "engine/engine.h"        // g_engine, EngineSetScreenSize
#include "framework/lumora.h"     // fwk, done, InitGL, ReSizeGLScene
#include "platform/headless_gl.h" // HeadlessGlMakeCurrent, HeadlessGlReadColorBuffer, HeadlessGlDetach
#include "platform/platform.h"    // PlatformStderrIsTerminal, PlatformPerfCounter
#include "platform/sound/sound.h" // SoundSetManualOutput, SoundMix
#include "texture/texture.h"      // TextureDeferUploads, TextureFlushDeferred

#include <png.h>

#include <cmath>      // ceil
#include <cstdio>     // fopen, fprintf, snprintf
#include <filesystem> // create_directories

namespace {

constexpr uint32_t kWaveHeaderBytes = 44;

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
    // A film's worth of frames is written once and read once: zlib's fastest
    // level with the one "sub" filter writes about four times as fast as the
    // defaults for files about a third larger; the pixels are the same.
    png_set_compression_level(out->png, 1);
    png_set_filter(out->png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
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

// A 16-bit stereo WAVE file written as it grows; Finish puts the sizes into
// its header.
class WaveWriter {
  public:
    ~WaveWriter() {
        if (file != nullptr) {
            std::fclose(file);
        }
    }
    bool Open(const std::string& path) {
        file = std::fopen(path.c_str(), "wb");
        return file != nullptr && WriteHeader();
    }
    bool Append(const int16_t* samples, const size_t frames) {
        const size_t values = frames * kMusicChannels;
        std::vector<uint8_t> bytes(values * 2u);
        for (size_t i = 0; i < values; ++i) {
            const uint16_t v = static_cast<uint16_t>(samples[i]);
            bytes[2 * i] = static_cast<uint8_t>(v & 0xFFu);
            bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        }
        dataBytes += static_cast<uint32_t>(bytes.size());
        return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    }
    bool Finish() {
        const bool ok = std::fseek(file, 0, SEEK_SET) == 0 && WriteHeader() && std::fflush(file) == 0;
        std::fclose(file);
        file = nullptr;
        return ok;
    }

  private:
    // RIFF header of a PCM file: the chunk sizes count the data written so far.
    bool WriteHeader() {
        std::vector<uint8_t> h;
        auto tag = [&h](const char* t) { h.insert(h.end(), t, t + 4); };
        auto u32 = [&h](const uint32_t v) {
            for (int i = 0; i < 4; ++i) {
                h.push_back(static_cast<uint8_t>(v >> (8 * i)));
            }
        };
        auto u16 = [&h](const uint32_t v) {
            h.push_back(static_cast<uint8_t>(v & 0xFFu));
            h.push_back(static_cast<uint8_t>(v >> 8));
        };
        tag("RIFF");
        u32(kWaveHeaderBytes - 8 + dataBytes);
        tag("WAVE");
        tag("fmt ");
        u32(16);
        u16(1); // PCM
        u16(kMusicChannels);
        u32(kMusicRate);
        u32(kMusicRate * kMusicChannels * 2);
        u16(kMusicChannels * 2);
        u16(16);
        tag("data");
        u32(dataBytes);
        return std::fwrite(h.data(), 1, h.size(), file) == h.size();
    }

    std::FILE* file = nullptr;
    uint32_t dataBytes = 0;
};

// Raised as the shell raises its errors; the text lives until the run ends.
std::string s_captureError;

[[noreturn]] void Raise(const std::string& text) {
    s_captureError = text;
    throw static_cast<const char*>(s_captureError.c_str());
}

// The mode's size.
void ChooseMode(const CommandLine& options) {
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
}

// The off-screen context and the framework's initial GL state.
void StartDisplay() {
    const int width = fwk.width;
    const int height = fwk.height;
    if (!HeadlessGlMakeCurrent(width, height)) {
        Raise("no off-screen OpenGL context: " + HeadlessGlError());
    }
    InitGL();
    ReSizeGLScene(width, height);
    g_engine.draw.gl.Clear(GL_COLOR_BUFFER_BIT);
}

void PrepareFolder(const std::string& dir) {
    std::error_code failure;
    std::filesystem::create_directories(dir, failure);
    if (failure || !std::filesystem::is_directory(dir)) {
        Raise("cannot make the folder " + dir);
    }
}

// One line on a terminal that overwrites itself: where the capture is, how
// fast it goes and how long it still needs.
class Progress {
  public:
    Progress(const int64_t firstFrame, const int64_t total)
        : shown(PlatformStderrIsTerminal()), first(firstFrame), count(total), started(PlatformPerfCounter()) {}
    void Frame(const int64_t number, const int64_t written) const {
        if (!shown) {
            return;
        }
        const double seconds = static_cast<double>(PlatformPerfCounter() - started) /
                               static_cast<double>(PlatformPerfFrequency() > 0 ? PlatformPerfFrequency() : 1);
        const double fps = seconds > 0.0 ? static_cast<double>(written) / seconds : 0.0;
        const int64_t left = count > written ? count - written : 0;
        const double eta = fps > 0.0 ? static_cast<double>(left) / fps : 0.0;
        if (count > 0) {
            std::fprintf(stderr, "\rframe %lld of %lld, %.1f fps, %.0f s left   ", static_cast<long long>(number),
                         static_cast<long long>(first + count - 1), fps, eta);
        } else {
            // No finish in the timeline: nothing to count down to.
            std::fprintf(stderr, "\rframe %lld, %.1f fps   ", static_cast<long long>(number), fps);
        }
        std::fflush(stderr);
    }
    void End() const {
        if (shown) {
            std::fputc('\n', stderr);
        }
    }

  private:
    bool shown;
    int64_t first;
    int64_t count;
    int64_t started;
};

// The main loop without a window: one engine frame per pass. A frame is
// numbered by the pass that draws it, counted from 0, which on the 40 ms
// clock is the engine frame at its start; the frame in which the show
// finishes is not written, as a window would never show it. Every pass mixes
// the music of its step, and the written frames' steps go to the WAVE file,
// so picture and sound stay together however the run is cut.
void CaptureLoop(const CommandLine& options, const int stepMs, WaveWriter* audio) {
    // Fixed steps add up exactly for 40 ms; the margin covers others.
    const double start = static_cast<double>(options.startFrame) - 1e-3;
    const double stepFrames = stepMs * kFramesPerMs;
    // A show whose archive never lets it finish must not write frames for
    // ever: four hours of show is far beyond any real one.
    constexpr int64_t kMaxPasses = 4LL * 60 * 60 * 25;
    const int64_t firstNumber = static_cast<int64_t>(std::ceil(start / stepFrames));
    if (firstNumber > kMaxPasses) {
        Raise("the show did not finish within four hours of frames");
    }
    const int64_t last = LastFrameNumber(stepFrames);
    int64_t total = last >= firstNumber ? last - firstNumber + 1 : 0;
    if (options.frameLimit > 0 && (total == 0 || total > options.frameLimit)) {
        total = options.frameLimit;
    }
    const Progress progress(firstNumber, total);
    int64_t written = 0;
    // The frames before the first one written are played without drawing,
    // as the window's seeking does.
    FixedClockRun run;
    run.stepMs = stepMs;
    done = done | ReplayWithoutDrawing(&run, static_cast<double>(options.startFrame));
    int64_t& passes = run.passes;
    int64_t& mixedFrames = run.musicFrames; // audio frames mixed so far, on the fixed clock
    std::vector<int16_t> mix;
    std::string error;
    while (done == 0) {
        if (++passes > kMaxPasses) {
            Raise("the show did not finish within four hours of frames");
        }
        const int64_t number = passes - 1;
        g_frameCount += 1;
        g_engine.draw.gl.MatrixMode(GL_MODELVIEW);
        g_engine.draw.gl.LoadIdentity();
        done = done | g_engine.RenderFrame();
        if (done != 0) {
            continue;
        }
        const int64_t due = MusicFramesDue(passes, stepMs, mixedFrames);
        mix.assign(static_cast<size_t>(due) * kMusicChannels, 0);
        SoundMix(mix.data(), static_cast<int>(due));
        mixedFrames += due;
        const std::string path = FramePath(options.captureDir, number);
        if (!WriteFramePng(path, HeadlessGlReadColorBuffer(), fwk.width, fwk.height, &error)) {
            Raise(error);
        }
        if (!audio->Append(mix.data(), static_cast<size_t>(due))) {
            Raise("cannot write " + options.captureDir + "/audio.wav");
        }
        written += 1;
        progress.Frame(number, written);
        if (options.frameLimit > 0 && written >= options.frameLimit) {
            done = 1;
        }
    }
    progress.End();
    std::printf("capture frames=%lld engine_time=%.3f\n", static_cast<long long>(written),
                static_cast<double>(g_engine.time));
}

// The sound library on an output the capture pulls from, so the song loads
// and plays on the capture's clock. Its messages and errors are the shell's.
void StartSound() {
    SoundSetManualOutput(true);
    fwk.playSounds = true;
    SoundStartUp();
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
        // The GL driver starts on a second thread while the content loads
        // here; the textures reach GL once the context is current.
        HeadlessGlPrepare();
        PrepareFolder(options.captureDir);
        ChooseMode(options);
        OpenShowContent(options);
        StartSound();
        TextureDeferUploads();
        RunSceneScript();
        StartDisplay();
        TextureFlushDeferred();
        WaveWriter audio;
        if (!audio.Open(options.captureDir + "/audio.wav")) {
            Raise("cannot write " + options.captureDir + "/audio.wav");
        }
        const int stepMs = options.fixedStepMs > 0 ? options.fixedStepMs : kCaptureStepMs;
        UseFixedFrameClock(stepMs);
        g_runTimer.Start();
        ResetFrameTimer();
        CaptureLoop(options, stepMs, &audio);
        if (!audio.Finish()) {
            Raise("cannot write " + options.captureDir + "/audio.wav");
        }
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
    SoundShutdown();
    UseFixedFrameClock(0);
    return status;
}

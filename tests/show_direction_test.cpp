// The show as a viewer sees it: the real content archive played in process
// on the headless context, on the capture's fixed 40 ms clock, frame for
// frame as `--capture` writes it. Every frame's mean luminance is measured,
// and in every frame that draws corridoru the character's box is projected
// through the scene's camera. The checks themselves are tried first on
// made-up data, so that a broken measure cannot pass the show.
#include "app/app.h"
#include "app/scene_script.h" // RunSceneScript, g_zuzez1

#include "archive/archive.h"    // PakOpen, g_currentPak
#include "engine/engine.h"      // g_engine
#include "math/math3d.h"        // EulerToMatrix, MatrixCompose
#include "memory/memory_pool.h" // PoolInit
#include "scene/scene.h"
#include "tests/support/gl_context.h"
#include "tests/support/show_on_test_gl.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The capture's smallest mode: the mean of a frame hardly depends on its size.
constexpr int32_t kWidth = 320;
constexpr int32_t kHeight = 240;
constexpr int kStepMs = 40;

// Mean luminance (0..255) below which a frame reads as black to a viewer.
// The logo's last two frames and blur0's first few cannot reach much more:
// blur0 is blended over black at opacity 0.02 per frame from the logo's
// end, so even a white tunnel gives 255 x 0.02 x k in its k-th frame. 12 is
// what the tunnel reaches by its fourth frame, and well below the darkest
// moment any scene has once it plays (the corridor, about 40).
constexpr double kLuminanceFloor = 12.0;
// The cut where the logo gives way to blur0 may be this many frames long.
constexpr int32_t kLongestCut = 3;
// Frames before this one may still be coming up from black.
constexpr int32_t kFirstJudgedFrame = 5;

// Room left between the character's box and the edges of the view, in
// normalised device units (2 across the screen): 4 % of the screen.
constexpr float kFrameMargin = 0.08f;
// The top of the box this tall (model units; the character stands about 56
// high) is its head, which a close-up must show whole.
constexpr float kHeadHeight = 14.0f;
// A frame is a close-up when the character's box is taller than the screen.
constexpr float kCloseUpHeight = 2.0f;

double MeanLuminance(const std::vector<uint8_t>& rgba) {
    if (rgba.size() < 4) {
        return 0.0;
    }
    double sum = 0.0;
    for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
        sum += 0.299 * rgba[i] + 0.587 * rgba[i + 1] + 0.114 * rgba[i + 2];
    }
    return sum / static_cast<double>(rgba.size() / 4);
}

struct DarkRun {
    int32_t start = -1;
    int32_t length = 0;
};

// The longest run of frames in [first, last] darker than `floor`.
DarkRun LongestDarkRun(const std::vector<double>& luminance, int32_t first, int32_t last, double floor) {
    DarkRun longest;
    DarkRun current;
    for (int32_t k = std::max(first, 0); k <= last && k < static_cast<int32_t>(luminance.size()); ++k) {
        if (luminance[static_cast<size_t>(k)] < floor) {
            current.start = current.length == 0 ? k : current.start;
            current.length += 1;
            if (current.length > longest.length) {
                longest = current;
            }
        } else {
            current = DarkRun{};
        }
    }
    return longest;
}

// Where a box lands in normalised device coordinates.
struct ScreenBox {
    float minX = 0.0f;
    float maxX = 0.0f;
    float minY = 0.0f;
    float maxY = 0.0f;
    bool behind = false; // a corner lies at or behind the near plane
};

// The box [lo, hi] (object space) through `toEye` (object to eye) and a
// perspective of vertical `fovDegrees` and `aspect`, as the drawing sets it.
ScreenBox ProjectBox(const float toEye[12], const float lo[3], const float hi[3], float fovDegrees, float aspect) {
    const float f = 1.0f / std::tan(fovDegrees * 0.5f * 3.14159265f / 180.0f);
    ScreenBox box;
    box.minX = box.minY = 1e30f;
    box.maxX = box.maxY = -1e30f;
    for (int c = 0; c < 8; ++c) {
        const float p[3] = {(c & 1) ? hi[0] : lo[0], (c & 2) ? hi[1] : lo[1], (c & 4) ? hi[2] : lo[2]};
        float e[3] = {};
        for (int r = 0; r < 3; ++r) {
            e[r] = toEye[4 * r] * p[0] + toEye[4 * r + 1] * p[1] + toEye[4 * r + 2] * p[2] + toEye[4 * r + 3];
        }
        const float depth = -e[2];
        if (depth <= 2.0f) {
            box.behind = true;
            continue;
        }
        const float x = e[0] * f / aspect / depth;
        const float y = e[1] * f / depth;
        box.minX = std::min(box.minX, x);
        box.maxX = std::max(box.maxX, x);
        box.minY = std::min(box.minY, y);
        box.maxY = std::max(box.maxY, y);
    }
    return box;
}

// Smallest distance from the box to an edge of the view (negative when it
// crosses one); -10 for a box reaching behind the eye.
float MarginInside(const ScreenBox& box) {
    if (box.behind) {
        return -10.0f;
    }
    return std::min(std::min(box.minX + 1.0f, 1.0f - box.maxX), std::min(box.minY + 1.0f, 1.0f - box.maxY));
}

// The character in one frame: the margin of its whole box, the margin of
// its head, and the height of the box on screen.
struct Framing {
    float wholeMargin = 0.0f;
    float headMargin = 0.0f;
    float height = 0.0f;
};

// Framed whole with room to spare, or a close-up that keeps the head whole.
bool FramedOnPurpose(const Framing& f) {
    return f.wholeMargin >= kFrameMargin || (f.height >= kCloseUpHeight && f.headMargin >= kFrameMargin);
}

// The instance's box in the pose just drawn: the frame on screen and the one
// it blends toward, both in the model's own axes (y up, soles at the bottom).
void PoseBox(const Md2Instance& instance, float lo[3], float hi[3]) {
    const AnimRange& range = instance.anims[instance.anim];
    const uint32_t count = range.frameCount > 0 ? range.frameCount : 1;
    const uint32_t frames[2] = {range.firstFrame + instance.frameInAnim % count,
                                range.firstFrame + (instance.frameInAnim + 1) % count};
    for (int k = 0; k < 3; ++k) {
        lo[k] = 1e30f;
        hi[k] = -1e30f;
    }
    for (const uint32_t frame : frames) {
        const float* box = instance.frameBoxes + 6 * static_cast<size_t>(frame);
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], box[k]);
            hi[k] = std::max(hi[k], box[3 + k]);
        }
    }
}

Framing FrameCharacter(const Md2Instance& instance, const Camera& camera) {
    float world[12] = {};
    EulerToMatrix(instance.rot, instance.pos, world);
    float toEye[12] = {};
    MatrixCompose(camera.view, world, toEye);
    float lo[3] = {};
    float hi[3] = {};
    PoseBox(instance, lo, hi);
    const float headLo[3] = {lo[0], std::max(lo[1], hi[1] - kHeadHeight), lo[2]};
    const ScreenBox whole = ProjectBox(toEye, lo, hi, camera.fov, camera.aspect);
    const ScreenBox head = ProjectBox(toEye, headLo, hi, camera.fov, camera.aspect);
    return Framing{MarginInside(whole), MarginInside(head), whole.behind ? 10.0f : whole.maxY - whole.minY};
}

// What the viewer saw: one luminance per written frame and, for the frames
// that draw corridoru, the character's framing.
struct ShowRecord {
    std::vector<double> luminance;
    std::vector<int32_t> corridoruFrames;
    std::vector<Framing> framing;
    int32_t logoFrames = 0;
    int64_t show = 0; // Ll + Lc + 140
    bool logoSky = false;
    std::string error;
};

bool SceneDrawn(const Scene* scene) {
    for (const Scene* s = g_engine.activeHead; s != nullptr; s = s->next) {
        if (s == scene) {
            return static_cast<float>(s->frameCount) > s->time && s->opacity != 0.0f;
        }
    }
    return false;
}

// Plays the show once, as the capture does, and keeps what it measured.
ShowRecord PlayShow() {
    ShowRecord record;
    PoolSetSmallSize(200000);
    if (PoolInit(20000000) != 1 || !ShowOnTestGl(kWidth, kHeight)) {
        record.error = "no pools or GL context: " + TestGlError();
        return record;
    }
    glClear(GL_COLOR_BUFFER_BIT);
    if (PakOpen(TESSARO_CONTENT_ARCHIVE, "rb") == nullptr) {
        record.error = std::string("cannot open ") + TESSARO_CONTENT_ARCHIVE;
        return record;
    }
    RunSceneScript();
    const ShowTimes times = ComputeShowTimes(g_logo->frameCount, g_corridoru->frameCount);
    record.logoFrames = static_cast<int32_t>(times.logoFrames);
    record.logoSky = g_logo->skyBox != nullptr;
    record.show = times.show;
    UseFixedFrameClock(kStepMs);
    for (int32_t frame = 0; frame < times.show + 10; ++frame) {
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        if (g_engine.RenderFrame() != 0) {
            break; // the frame in which the show finishes is never shown
        }
        record.luminance.push_back(MeanLuminance(TestGlReadColorBuffer()));
        if (g_zuzez1 != nullptr && SceneDrawn(g_corridoru)) {
            const Camera* camera = g_corridoru->cameras[g_corridoru->currentCamera];
            record.corridoruFrames.push_back(frame);
            record.framing.push_back(FrameCharacter(*g_zuzez1, *camera));
        }
    }
    UseFixedFrameClock(0);
    // Everything is measured: the content goes, as at the end of a run.
    FreeMd2Instances(&g_character);
    g_zuzez1 = nullptr;
    ReleaseShowContent();
    TestGlDetach();
    return record;
}

const ShowRecord& Show() {
    static const ShowRecord s_record = PlayShow();
    return s_record;
}

bool HaveArchive() {
    return std::filesystem::exists(TESSARO_CONTENT_ARCHIVE);
}

// --- the measures on made-up data ----------------------------------------------

TEST(DarkRuns, LongestRunInsideTheJudgedFrames) {
    const struct {
        std::vector<double> luminance;
        int32_t first;
        int32_t last;
        int32_t start;
        int32_t length;
    } table[] = {
        {{30, 30, 30, 30}, 0, 3, -1, 0},
        {{30, 5, 5, 30, 5, 5, 5, 30}, 0, 7, 4, 3},
        {{5, 5, 5, 5, 30, 30}, 2, 5, 2, 2},      // dark frames before `first` are not judged
        {{30, 30, 5, 5, 5, 5}, 0, 3, 2, 2},      // nor after `last`
        {{30, 11.9, 12.0, 30}, 0, 3, 1, 1},      // the floor itself is bright enough
        {{5, 5, 5, 5, 5}, 0, 100, 0, 5},         // `last` past the end
    };
    for (size_t i = 0; i < std::size(table); ++i) {
        const DarkRun run = LongestDarkRun(table[i].luminance, table[i].first, table[i].last, kLuminanceFloor);
        EXPECT_EQ(run.start, table[i].start) << i;
        EXPECT_EQ(run.length, table[i].length) << i;
    }
}

TEST(DarkRuns, LuminanceWeighsGreenMost) {
    const struct {
        std::vector<uint8_t> rgba;
        double luminance;
    } table[] = {
        {{0, 0, 0, 255}, 0.0},
        {{255, 255, 255, 0}, 255.0},
        {{255, 0, 0, 255, 0, 255, 0, 255}, (0.299 + 0.587) * 255.0 / 2.0},
        {{0, 0, 200, 255}, 0.114 * 200.0},
        {{}, 0.0},
    };
    for (size_t i = 0; i < std::size(table); ++i) {
        EXPECT_NEAR(MeanLuminance(table[i].rgba), table[i].luminance, 1e-9) << i;
    }
}

// A camera at (0, 0, 100) looking down -z at the origin sees a box there in
// the middle; boxes moved aside, grown or put behind it are caught.
TEST(CharacterFraming, ProjectionFindsBoxesOutsideTheView) {
    Camera camera;
    camera.SetDefaults();
    camera.pos[0] = 0.0f;
    camera.pos[1] = 0.0f;
    camera.pos[2] = 100.0f;
    camera.fov = 60.0f;
    camera.aspect = 4.0f / 3.0f;
    camera.UpdateView();
    const struct {
        float lo[3];
        float hi[3];
        bool inside;
    } table[] = {
        {{-10, -10, -10}, {10, 10, 10}, true},
        {{60, -10, -10}, {80, 10, 10}, false},    // beyond a side
        {{-10, 50, -10}, {10, 70, 10}, false},    // above the top
        {{-10, -10, 95}, {10, 10, 120}, false},   // reaching behind the eye
        {{-80, -80, -10}, {80, 80, 10}, false},   // too big for the view
        {{-40, -40, -10}, {40, 40, 10}, true},    // large, still inside
    };
    const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    for (size_t i = 0; i < std::size(table); ++i) {
        float toEye[12] = {};
        MatrixCompose(camera.view, identity, toEye);
        const ScreenBox box = ProjectBox(toEye, table[i].lo, table[i].hi, camera.fov, camera.aspect);
        EXPECT_EQ(MarginInside(box) > 0.0f, table[i].inside) << i;
    }
}

TEST(CharacterFraming, CloseUpMustShowTheHead) {
    const struct {
        Framing framing;
        bool onPurpose;
    } table[] = {
        {{0.2f, 0.5f, 1.0f}, true},    // whole, with room
        {{0.01f, 0.5f, 1.0f}, false},  // whole but touching an edge
        {{-0.5f, 0.3f, 2.5f}, true},   // a close-up with the head in
        {{-0.5f, -0.1f, 2.5f}, false}, // a close-up that cuts the head
        {{-0.5f, 0.3f, 1.2f}, false},  // cut, and too small to be a close-up
    };
    for (size_t i = 0; i < std::size(table); ++i) {
        EXPECT_EQ(FramedOnPurpose(table[i].framing), table[i].onPurpose) << i;
    }
}

// --- the show -------------------------------------------------------------------

// From frame 5 until blur1 starts to fade out (its event at B - 99 acts in
// the next frame) nothing stays black for longer than the cut at the logo's end.
// blur0's streaks are dark: should they cover its tube of light in its first
// frames again, the run after the logo grows to 6.
TEST(ShowDirection, NoDarkStretchUntilBlur1FadesOut) {
    if (!HaveArchive()) {
        GTEST_SKIP() << "no " << TESSARO_CONTENT_ARCHIVE << " (build the content_archive target)";
    }
    const ShowRecord& show = Show();
    ASSERT_TRUE(show.error.empty()) << show.error;
    EXPECT_TRUE(show.logoSky) << "the logo stands on its own sky";
    const int32_t last = static_cast<int32_t>(show.show - 99);
    ASSERT_GT(static_cast<int32_t>(show.luminance.size()), last) << "the show ended early";
    const DarkRun run = LongestDarkRun(show.luminance, kFirstJudgedFrame, last, kLuminanceFloor);
    std::string around;
    for (int32_t k = std::max(run.start - 2, 0); run.length > 0 && k < run.start + run.length + 2; ++k) {
        around += " " + std::to_string(k) + ":" + std::to_string(show.luminance[static_cast<size_t>(k)]);
    }
    EXPECT_LE(run.length, kLongestCut) << "dark from frame " << run.start << ":" << around;
    const auto darkest = std::min_element(show.luminance.begin() + kFirstJudgedFrame + kLongestCut + 1,
                                          show.luminance.begin() + last);
    std::printf("longest dark run %d frames from %d; mean luminance of frames 5..%d: lowest %.1f at %d\n",
                run.length, run.start, last, *darkest,
                static_cast<int>(darkest - show.luminance.begin()));
}

// A frame whose mean luminance is below this is black all over: between two
// lit frames, at 25 frames a second, it reads as a flicker.
constexpr double kBlackFrame = 1.0;

// Not one frame is black all over from the first until blur1 starts its
// final fade-out (only then may the show go to black). The measure is tried
// on made-up data first.
TEST(ShowDirection, NoBlackFrameUntilTheFinalFadeOut) {
    const auto blackFrames = [](const std::vector<double>& luminance, int32_t last) {
        std::vector<int32_t> black;
        for (int32_t k = 0; k <= last && k < static_cast<int32_t>(luminance.size()); ++k) {
            if (luminance[static_cast<size_t>(k)] < kBlackFrame) {
                black.push_back(k);
            }
        }
        return black;
    };
    EXPECT_EQ(blackFrames({201.0, 0.0, 58.0}, 2), std::vector<int32_t>{1});
    EXPECT_TRUE(blackFrames({3.0, 1.0, 0.0}, 1).empty());

    if (!HaveArchive()) {
        GTEST_SKIP() << "no " << TESSARO_CONTENT_ARCHIVE << " (build the content_archive target)";
    }
    const ShowRecord& show = Show();
    ASSERT_TRUE(show.error.empty()) << show.error;
    const int32_t last = static_cast<int32_t>(show.show - 99);
    ASSERT_GT(static_cast<int32_t>(show.luminance.size()), last) << "the show ended early";
    std::string listed;
    for (const int32_t k : blackFrames(show.luminance, last)) {
        listed += " " + std::to_string(k) + " (between " +
                  std::to_string(k > 0 ? show.luminance[static_cast<size_t>(k - 1)] : 0.0) + " and " +
                  std::to_string(show.luminance[static_cast<size_t>(k + 1)]) + ")";
    }
    EXPECT_TRUE(listed.empty()) << "black frames:" << listed;
}

// In every frame that draws corridoru, the character is framed whole with a
// margin, or seen in a close-up that keeps its head in the picture.
TEST(ShowDirection, CharacterStaysInFrameInCorridoru) {
    if (!HaveArchive()) {
        GTEST_SKIP() << "no " << TESSARO_CONTENT_ARCHIVE << " (build the content_archive target)";
    }
    const ShowRecord& show = Show();
    ASSERT_TRUE(show.error.empty()) << show.error;
    // corridoru is on from Ll + 140 to B - 100; every frame of it is judged.
    ASSERT_GE(show.corridoruFrames.size(), static_cast<size_t>(show.show - 100 - show.logoFrames - 140 - 2));
    float tightest = 10.0f;
    int32_t closeUps = 0;
    for (size_t i = 0; i < show.framing.size(); ++i) {
        const Framing& f = show.framing[i];
        EXPECT_TRUE(FramedOnPurpose(f)) << "frame " << show.corridoruFrames[i] << " (corridoru frame "
                                        << show.corridoruFrames[i] - show.logoFrames - 140 << "): margin "
                                        << f.wholeMargin << ", head " << f.headMargin << ", height " << f.height;
        if (f.wholeMargin >= kFrameMargin) {
            tightest = std::min(tightest, f.wholeMargin);
        } else {
            closeUps += 1;
            tightest = std::min(tightest, f.headMargin);
        }
    }
    std::printf("corridoru frames %zu, close-ups %d, tightest margin %.3f\n", show.framing.size(), closeUps,
                tightest);
}

} // namespace

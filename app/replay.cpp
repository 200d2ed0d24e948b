// Replaying the show to a frame without drawing: the capture's --start and
// the window's seeking both arrive at a frame this way.
#include "app/player.h"
#include "app/app.h" // UseFixedFrameClock, MusicFramesDue, g_song

#include "engine/engine.h"        // g_engine
#include "platform/gl_table.h"    // GlTable
#include "platform/sound/sound.h" // SoundMix

#include <vector>

namespace {

void NoClear(GLbitfield) {}
void NoBegin(GLenum) {}
void NoEnd() {}
void NoVertex(const GLfloat*) {}
void NoArrayElement(GLint) {}
void NoDrawElements(GLenum, GLsizei, GLenum, const void*) {}

// `real` with every entry that puts pixels on the screen left out. The state
// entries stay: fog, blending, texture bindings and the rest set during the
// replay must hold when the first drawn pass starts, as they would have.
GlTable TableWithoutDrawing(const GlTable& real) {
    GlTable silent = real;
    silent.Clear = NoClear;
    silent.Begin = NoBegin;
    silent.End = NoEnd;
    silent.Vertex3fv = NoVertex;
    silent.ArrayElement = NoArrayElement;
    silent.DrawElements = NoDrawElements;
    return silent;
}

} // namespace

int64_t LastFrameNumber(const double stepFrames) {
    for (const TimelineEvent* e = g_engine.pendingEvents; e != nullptr; e = e->next) {
        if (e->type == EvFinish) {
            return static_cast<int64_t>(static_cast<double>(e->time) / stepFrames);
        }
    }
    return -1;
}

int ReplayWithoutDrawing(FixedClockRun* run, const double frame) {
    // The drawing moves the character and its reflection on; the scenes are
    // therefore walked as in a drawn pass, only the table is silent.
    const GlTable real = g_engine.draw.gl;
    g_engine.draw.gl = TableWithoutDrawing(real);
    UseFixedFrameClock(run->stepMs);
    std::vector<int16_t> music;
    int finished = g_engine.finished;
    const double until = frame - 1e-3;
    while (finished == 0 && static_cast<double>(g_engine.time) < until) {
        run->passes += 1;
        g_engine.draw.gl.MatrixMode(GL_MODELVIEW);
        g_engine.draw.gl.LoadIdentity();
        finished = g_engine.RenderFrame();
        if (finished != 0) {
            break;
        }
        const int64_t due = MusicFramesDue(run->passes, run->stepMs, run->musicFrames);
        run->musicFrames += due;
        // Without a song the mixer has nothing to move on.
        if (g_song != nullptr && due > 0) {
            music.assign(static_cast<size_t>(due) * kMusicChannels, 0);
            SoundMix(music.data(), static_cast<int>(due));
        }
    }
    g_engine.draw.gl = real;
    return finished;
}

// The audio device in a web page: a Web Audio context at the mixer's rate
// whose script processor node calls the mixer for each block it plays. The
// node's callback runs on the page's one thread, between the show's frames,
// so the mixer never sees a half-made change and the lock has nothing to do.
// The context must be made while the page handles a click (browsers start
// sound only after a gesture): the show's start-up runs inside the click on
// "Enter iperspace". Module.tessaroAudio.frames counts the frames played.
#include "platform/sound/sound.h"
#include "platform/sound/sound_output.h"

#include <emscripten.h>

#include <cstdint> // int16_t
#include <vector>

namespace {

constexpr int kOutputChannels = 2;
bool s_open = false;
std::vector<int16_t> s_block;

} // namespace

// The next block of `frames` stereo frames from the mixer, for the node's
// callback; the buffer stays valid until the next call.
extern "C" EMSCRIPTEN_KEEPALIVE int16_t* SoundWebPull(const int frames) {
    s_block.assign(static_cast<size_t>(frames > 0 ? frames : 0) * kOutputChannels, 0);
    if (s_open && frames > 0) {
        SoundMix(s_block.data(), frames);
    }
    return s_block.data();
}

// clang-format off
EM_JS(int, WebAudioOpen, (int rate), {
    var Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) {
        return 0;
    }
    var context;
    try {
        context = new Context({sampleRate: rate});
    } catch (e) {
        return 0;
    }
    var node = context.createScriptProcessor(2048, 0, 2);
    var audio = {context: context, node: node, frames: 0};
    node.onaudioprocess = function(event) {
        var out = event.outputBuffer;
        var frames = out.length;
        var at = _SoundWebPull(frames) >> 1;
        var left = out.getChannelData(0);
        var right = out.getChannelData(1);
        for (var i = 0; i < frames; ++i) {
            left[i] = HEAP16[at + 2 * i] / 32768;
            right[i] = HEAP16[at + 2 * i + 1] / 32768;
        }
        audio.frames += frames;
    };
    node.connect(context.destination);
    context.resume();
    Module.tessaroAudio = audio;
    return 1;
});

EM_JS(void, WebAudioClose, (), {
    var audio = Module.tessaroAudio;
    if (audio && audio.context) {
        audio.node.onaudioprocess = null;
        audio.node.disconnect();
        audio.context.close();
        audio.context = null;
    }
});

EM_JS(void, WebAudioPause, (int paused), {
    var audio = Module.tessaroAudio;
    if (audio && audio.context) {
        if (paused) {
            audio.context.suspend();
        } else {
            audio.context.resume();
        }
    }
});
// clang-format on

bool SoundOutputOpen(const int rate) {
    if (s_open) {
        return true;
    }
    s_open = WebAudioOpen(rate) != 0;
    return s_open;
}

void SoundOutputClose() {
    if (s_open) {
        WebAudioClose();
        s_open = false;
    }
}

void SoundOutputLock() {}

void SoundOutputUnlock() {}

void SoundOutputPause(const bool paused) {
    if (s_open) {
        WebAudioPause(paused ? 1 : 0);
    }
}

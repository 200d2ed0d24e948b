// Stand-ins for the scene script and the engine; see placeholders.h.
#include "app/app.h"
#include "app/placeholders.h"

#include <GL/gl.h> // glClear

int PlaceholderRunSceneScript() {
    return 1;
}

int PlaceholderRenderFrame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return 0;
}

int PlaceholderStopSong(SoundSong* song) {
    return FMUSIC_StopSong(song);
}

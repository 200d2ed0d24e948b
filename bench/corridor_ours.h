// Our side of the corridor frame: the player's own libraries, in this
// process, on the headless EGL context, brought to one moment of the show
// and drawing that moment again and again on a clock that stands still.
#pragma once

#include <cstdint> // int32_t, uint8_t
#include <string>
#include <vector>

// What the peer needs to draw the same picture: our camera at the moment and
// the character's pose, in engine axes (3DS x, z, y; y up), which are also
// Irrlicht's for a 3DS file.
struct CorridorView {
    float eye[3];
    float target[3];
    float up[3];      // the camera's up in the world (its roll applied)
    float fovDegrees; // vertical, as gluPerspective takes it
    float aspect;
    float nearPlane;
    float farPlane;
    int32_t lightCount;
    float lightPos[8][3];
    float lightColour[8][3];
    bool character; // the character is placed in the scene
    float characterPos[3];
    float characterRot[3];  // Euler angles, radians, our convention
    int32_t characterFrame; // absolute MD2 frame drawn
    float characterFrac;    // 0..1 toward the next frame of its motion
};

// Starts the EGL context at width x height, loads the show from the archive
// `content` into a fresh pool exactly as the player does (scene script, no
// sound), runs it on the capture's 40 ms clock up to and including the frame
// the capture numbers `frame`, then stops the clock. Leaves g_currentPak on
// the show's archive until CorridorOursStop. False with *error set when the
// context, the archive or the scene script fails, or when corridoru is not
// the one scene on screen at that moment.
bool CorridorOursStart(const std::string& content, int32_t frame, int32_t width, int32_t height,
                       std::string* error);
// The camera and the character at the chosen moment.
CorridorView CorridorOursView();
// Makes our context current / leaves the thread without it.
bool CorridorOursMakeCurrent();
void CorridorOursDetach();
// Draws `frames` frames of the moment as the engine draws a displayed frame
// (clear, timeline, tracks, RenderScene of corridoru), then the table's Finish.
// `show`: as the show draws it (floor mirror with its reflected meshes and
// character, chrome passes); otherwise plain (no mirror, no environment
// passes). Every frame draws the same picture: the character's pose is put
// back before each. False when the GL context is not ours.
bool CorridorOursFrames(int32_t frames, bool show);
// The colour buffer after the last frames (RGBA, bottom row first).
std::vector<uint8_t> CorridorOursReadBack();
// Releases the show's content and the archive, detaches the context (the
// pool stays for the caller to release).
void CorridorOursStop();

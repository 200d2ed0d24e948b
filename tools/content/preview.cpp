// tessaro-content-preview: renders frames of one scene of an archive through
// the player's own loaders and drawing, off screen, for checking the content
// by eye. The corridor scenes get the character, its moves and the floor
// mirror as the show sets them up.
//     tessaro-content-preview ARCHIVE SCENE WIDTH HEIGHT OUTSTEM FRAME...
// Each FRAME is written as OUTSTEM_FRAME.ppm (bottom row last).
#include "archive/archive.h"
#include "keyframe/keyframe.h"
#include "loader3ds/loader3ds.h"
#include "md2/md2.h"
#include "memory/memory_pool.h"
#include "scene/scene.h"
#include "tests/support/gl_context.h"
#include "texture/texture.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

Md2Model s_model;
Mirror s_mirror;

// The character and the mirror as the show sets them up; the character is
// drawn in corridoru only, its reflection in both corridors.
void Dress(Scene* scene, bool withCharacter) {
    std::memset(static_cast<void*>(&s_model), 0, sizeof s_model);
    s_model.Load("zuzez.md2");
    if (withCharacter) {
        scene->AddModel(&s_model);
    }
    Md2Instance* who = s_model.AddInstance("Zuzez1", LoadJpegTexture("zuzez1.jpg", true));
    who->groups[0].material->envTexture = LoadJpegTexture("chrome.jpg", true);
    who->groups[0].material->envAlpha = 0.3f;
    if (MeshObject* chrome = scene->FindObject("NGon01")) {
        chrome->groups[0].material->envTexture = LoadJpegTexture("chromer.jpg", true);
        chrome->groups[0].material->envAlpha = 0.5f;
    }
    who->SetPosition(0.0f, 24.0f, -280.0f);
    who->SetRotation(0.0f, 3.14f, 0.0f);
    who->SetMotion(0);
    who->speed = 1.0f / 3.0f;
    struct Move {
        int32_t motion;
        float z, turn, length;
        bool loops;
    };
    const Move moves[] = {{1, -280, 3.14f, 0, false}, {1, -250, 3.14f, 92, false}, {1, 50, 3.14f, 30, false},
                          {5, 50, 6.28f, 1, true},    {0, 50, 6.28f, 2, true},     {6, 50, 6.28f, 1, true},
                          {4, 50, 6.28f, 1, true},    {11, 50, 6.28f, 1, true},    {8, 50, 6.28f, 1, true},
                          {0, 50, 3.14f, 1, true},    {1, 200, 3.14f, 2, true},    {1, 350, 3.14f, 1, true}};
    for (const Move& m : moves) {
        const float p[3] = {0.0f, 24.0f, m.z};
        const float r[3] = {0.0f, m.turn, 0.0f};
        if (m.loops) {
            who->QueueLoops(m.motion, p, r, m.length);
        } else {
            who->QueueMove(m.motion, p, r, m.length);
        }
    }
    s_mirror.SetNormal(0.0f, -1.0f, 0.0f);
    s_mirror.alpha = 0.6f;
    s_mirror.SetCorner(0, -50, 0, -200);
    s_mirror.SetCorner(1, 50, 0, -200);
    s_mirror.SetCorner(2, -50, 0, 200);
    s_mirror.SetCorner(3, 50, 0, 200);
    s_mirror.SetCornerColour(0, 0.2f, 0.2f, 0.2f);
    s_mirror.SetCornerColour(1, 0.5f, 0.5f, 0.5f);
    s_mirror.SetCornerColour(2, 0.5f, 0.5f, 0.5f);
    s_mirror.SetCornerColour(3, 0.8f, 0.8f, 0.8f);
    s_mirror.SetCornerUV(0, 0, 0);
    s_mirror.SetCornerUV(1, 2, 0);
    s_mirror.SetCornerUV(2, 0, 8);
    s_mirror.SetCornerUV(3, 2, 8);
    s_mirror.texture = LoadJpegTexture("mtlplat2.jpg", true);
    s_mirror.textured = 1;
    s_mirror.TakePointFromCorner();
    s_mirror.AddInstance(who);
    const char* meshes[] = {"NGon02",     "NGon15",     "NGon01",  "NGon06",  "NGon18",  "NGon19",
                            "NGon20",     "NGon21",     "NGon22",  "NGon23",  "NGon11",  "NGon12",
                            "NGon13",     "NGon14",     "NGon15",  "NGon16",  "NGon17",  "NGon03",
                            "Object01",   "EsternoVen", "porte04", "porte05", "porte06", "porte07",
                            "Rectangle1", "Rectangle0"};
    for (const char* name : meshes) {
        s_mirror.AddMesh(scene->FindObject(name));
    }
    scene->AddMirror(&s_mirror);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(stderr, "usage: tessaro-content-preview ARCHIVE SCENE WIDTH HEIGHT OUTSTEM FRAME...\n");
        return 2;
    }
    const int32_t width = std::atoi(argv[3]);
    const int32_t height = std::atoi(argv[4]);
    std::set<int32_t> wanted;
    int32_t last = 0;
    for (int i = 6; i < argc; ++i) {
        wanted.insert(std::atoi(argv[i]));
        last = std::max(last, std::atoi(argv[i]));
    }
    PoolSetSmallSize(200000);
    PoolInit(20000000);
    if (!TestGlMakeCurrent(width, height)) {
        std::fprintf(stderr, "no GL: %s\n", TestGlError().c_str());
        return 1;
    }
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    if (!PakOpen(argv[1], "rb")) {
        std::fprintf(stderr, "no archive %s\n", argv[1]);
        return 1;
    }
    Scene* scene = new Scene();
    Loader3DS loader;
    try {
        loader.Load(argv[2], scene, 1);
    } catch (const char* message) {
        std::fprintf(stderr, "load: %s\n", message);
        return 1;
    }
    PrepareTracks(scene);
    if (std::strncmp(argv[2], "corridor", 8) == 0) {
        Dress(scene, std::strcmp(argv[2], "corridoru.3ds") == 0);
    }
    glEnable(GL_TEXTURE_2D);
    for (int32_t f = 1; f <= last; ++f) {
        scene->time += 1.0f;
        scene->dt = 1.0f;
        EvaluateTracks(scene, scene->time);
        glViewport(0, 0, width, height);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        scene->Render();
        if (wanted.count(f) != 0) {
            const std::vector<uint8_t> rgba = TestGlReadColorBuffer();
            const std::string path = std::string(argv[5]) + "_" + std::to_string(f) + ".ppm";
            FILE* out = std::fopen(path.c_str(), "wb");
            if (!out) {
                return 1;
            }
            std::fprintf(out, "P6\n%d %d\n255\n", width, height);
            for (int32_t y = height - 1; y >= 0; --y) {
                for (int32_t x = 0; x < width; ++x) {
                    std::fwrite(&rgba[(static_cast<size_t>(y) * width + x) * 4], 1, 3, out);
                }
            }
            std::fclose(out);
        }
    }
    return 0;
}

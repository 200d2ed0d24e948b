// Assembly of the archive's entries: see content.h.
#include "tools/content/content.h"

#include "app/show_file.h"     // kShowFile
#include "tools/content/show.h" // BuiltInShowText
#include "tools/content/song.h" // MakeSong

#include <algorithm>
#include <set>

namespace {

std::vector<Scene3ds> AllScenes() {
    return {MakeLogoScene(), MakeBlurScene(0), MakeBlurScene(1), MakeCorridorScene(false),
            MakeCorridorScene(true)};
}

// A scene's frameCount as the 3DS reader computes it from the frame segment.
int32_t FrameCount(const Scene3ds& scene) {
    return scene.lastFrame - scene.firstFrame + 1;
}

} // namespace

std::vector<std::string> SceneTextureNames() {
    std::vector<std::string> names;
    for (const Scene3ds& scene : AllScenes()) {
        for (const Material3ds& m : scene.materials) {
            if (!m.mapFile.empty() && std::find(names.begin(), names.end(), m.mapFile) == names.end()) {
                names.push_back(m.mapFile);
            }
        }
    }
    return names;
}

bool BuildContent(std::vector<PakWriteEntry>* entries, std::string* error) {
    entries->clear();
    const char* sceneFiles[5] = {kLogoFile, kBlur0File, kBlur1File, kCorridorsFile, kCorridoruFile};
    const std::vector<Scene3ds> scenes = AllScenes();
    for (size_t i = 0; i < scenes.size(); ++i) {
        entries->push_back(PakWriteEntry{sceneFiles[i], kContentMask, Encode3ds(scenes[i])});
    }
    const std::string showText = BuiltInShowText();
    entries->push_back(PakWriteEntry{kShowFile, kContentMask, std::vector<uint8_t>(showText.begin(), showText.end())});
    entries->push_back(PakWriteEntry{kCharacterFile, kContentMask, Md2WriteBytes(MakeCharacterModel())});
    const std::string sky = LogoSkyDescription();
    entries->push_back(PakWriteEntry{kLogoSkyFile, kContentMask, std::vector<uint8_t>(sky.begin(), sky.end())});
    std::vector<std::string> pictures = {kCharacterSkinFile, kChromeFile, kCorridorChromeFile,
                                         kMirrorFloorFile};
    std::vector<std::string> named = SceneTextureNames();
    for (const std::string& name : LogoSkyPictures()) {
        named.push_back(name);
    }
    for (const std::string& name : named) {
        if (std::find(pictures.begin(), pictures.end(), name) == pictures.end()) {
            pictures.push_back(name);
        }
    }
    for (const std::string& name : pictures) {
        std::vector<uint8_t> bytes = MakeTextureFile(name);
        if (bytes.empty()) {
            if (error) {
                *error = "no picture for " + name;
            }
            return false;
        }
        entries->push_back(PakWriteEntry{name, kContentMask, std::move(bytes)});
    }
    // The song follows the scenes' lengths, as the script's timeline does.
    const ShowTimes times = ComputeShowTimes(FrameCount(scenes[0]), FrameCount(scenes[4]));
    std::vector<uint8_t> song = XmWriteBytes(MakeSong(times));
    if (song.empty()) {
        if (error) {
            *error = "the song does not fit the module format";
        }
        return false;
    }
    entries->push_back(PakWriteEntry{kSongFile, kContentMask, std::move(song)});
    return true;
}

bool WriteContentArchive(const std::string& path, std::string* error) {
    std::vector<PakWriteEntry> entries;
    if (!BuildContent(&entries, error)) {
        return false;
    }
    return PakWriteArchive(path, entries, error);
}

// The demo's content, made in code: the five 3DS scenes, the MD2 character,
// its skin and every texture the scenes name, packed into the resource
// archive the player reads. Everything is procedural and seeded, so two runs
// give the same bytes. The builder program (tessaro-content) writes the
// archive; tests call the same functions to compare what our loaders read
// back with what was written.
#pragma once

#include "app/show_names.h"           // the entry names the scene script asks for
#include "archive/pak_writer.h"       // PakWriteEntry
#include "tools/formats/md2_writer.h" // Md2WriterModel
#include "tools/content/picture.h"    // Picture
#include "tools/content/scene3ds.h"   // Scene3ds

#include <cstdint>
#include <string>
#include <vector>

// Mask byte of every entry the builder writes.
constexpr uint8_t kContentMask = 0x5A;

// The scene descriptions, in the file's own axes.
// logo.3ds: the title letters, lights and a camera sweeping in.
Scene3ds MakeLogoScene();
// The logo's sky box: the description stored as kLogoSkyFile, and the face
// pictures it names, each once.
std::string LogoSkyDescription();
std::vector<std::string> LogoSkyPictures();
// blur0.3ds (which = 0) and blur1.3ds (which = 1): tunnels of glowing streaks.
Scene3ds MakeBlurScene(int32_t which);
// corridoru.3ds (`characterFlight` true: the camera follows the character) or
// corridors.3ds (false: a flight down the empty corridor); same corridor.
Scene3ds MakeCorridorScene(bool characterFlight);

// One motion of the character: its frame-name stem and frame count.
struct CharacterMotion {
    std::string stem;
    int32_t frames;
};
// The 20 motions in file order.
const std::vector<CharacterMotion>& CharacterMotions();
// Name of frame `index` (0-based) of a motion, as written in the file.
std::string CharacterFrameName(const CharacterMotion& motion, int32_t index);
// The character model: mesh, texture coordinates and every baked frame.
Md2WriterModel MakeCharacterModel();
// The character's painted 256 x 256 skin.
Picture MakeCharacterSkin();

// Map file names every material of the five scenes uses, each once.
std::vector<std::string> SceneTextureNames();
// The bytes of texture `name` (JPEG or TGA by its extension); empty for a
// name the builder does not know.
std::vector<uint8_t> MakeTextureFile(const std::string& name);

// Every archive entry, in archive order. False with a reason when a file
// could not be made.
bool BuildContent(std::vector<PakWriteEntry>* entries, std::string* error);
// BuildContent packed into an archive at `path` (written atomically).
bool WriteContentArchive(const std::string& path, std::string* error);

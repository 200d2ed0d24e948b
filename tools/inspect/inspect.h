// Scene inspector: loads one content file through the program's own loaders
// (archive, pools and parsers as the program uses them, no GL) and describes
// what they built as JSON.
//
// The inspectors read entry `entryName` of g_currentPak; the pools must be
// set up. Each one either writes one complete JSON object and returns true, or
// writes nothing and returns false with a one-line reason. Everything a load
// takes is given back before returning.
#pragma once

#include <string>
#include <vector>

#include "tools/inspect/json_writer.h" // JsonWriter

// What to describe and how much.
struct InspectRequest {
    std::string displayName;   // "name" of the output: the name the user gave
    std::string entryName;     // the archive entry to load
    std::vector<float> frames; // --frame values, in command-line order (3DS only)
    bool vertices = false;     // --vertices
};

// The kind of content a name designates, from its extension (ASCII case ignored).
enum class InspectKind { kUnknown, k3ds, kMd2, kJpeg, kTga };

// Kind of `name` by its last extension: .3ds, .md2, .jpg/.jpeg, .tga.
InspectKind InspectKindOf(const std::string& name);

bool Inspect3ds(const InspectRequest& request, JsonWriter* json, std::string* error);
bool InspectMd2(const InspectRequest& request, JsonWriter* json, std::string* error);
bool InspectJpeg(const InspectRequest& request, JsonWriter* json, std::string* error);
bool InspectTga(const InspectRequest& request, JsonWriter* json, std::string* error);

// The whole tool: parses the command line, sets up the pools, opens or builds
// the archive, inspects, and writes the JSON text (with a final newline) to
// *out or one error line to *err ("--help" alone writes the usage to *out).
// Returns the exit status: 0 success, 1 a file the loaders reject or that
// cannot be read, 2 a bad command line.
int RunInspect(const std::vector<std::string>& args, std::string* out, std::string* err);

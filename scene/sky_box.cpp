// Sky box: geometry, the keyword table and its handlers and the description
// reader. Its draw is in scene/sky_box_draw.cpp.
#include <cstdlib> // std::strtof
#include <cstring> // std::memcpy, std::strcmp, std::memset
#include <new>     // std::nothrow

#include "archive/archive.h"    // g_currentPak, PakLoadEntry, PakFreeEntry
#include "math/math3d.h"        // EulerToMatrix, Dot3
#include "memory/memory_pool.h" // PoolAlloc for the box
#include "platform/platform.h"  // PlatformDebugOutput, PlatformDebugPrintf
#include "scene/scene.h"
#include "scene/sky_box.h"
#include "texture/texture.h" // LoadTexture

SkyBox* g_currentSkyBox = nullptr;

// Descriptions are a few lines; anything far larger is not one.
constexpr int32_t kSkyBoxMaxDescriptionBytes = 65536;

namespace {

// Where a face lies as seen from inside: its outward direction and the
// directions of its right and upper edges.
struct FaceFrame {
    float out[3];
    float right[3];
    float up[3];
};

// Up, Down, Left, Right, Front, Back. Left is +x because the eye's x axis
// runs opposite to world x; each right edge is up x out.
const FaceFrame kFaceFrames[kSkyBoxFaces] = {
    {{0.0f, 1.0f, 0.0f}, {-1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}},
    {{0.0f, -1.0f, 0.0f}, {-1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f}},
    {{1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f}, {0.0f, 1.0f, 0.0f}},
    {{-1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, {0.0f, 1.0f, 0.0f}},
    {{0.0f, 0.0f, -1.0f}, {-1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}},
    {{0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}},
};

// Strip order: top-left, bottom-left, top-right, bottom-right; the signs of
// the right and up edges and the texture coordinates of each.
const float kStripCorners[4][4] = {
    {-1.0f, 1.0f, 0.0f, 0.0f},
    {-1.0f, -1.0f, 0.0f, 1.0f},
    {1.0f, 1.0f, 1.0f, 0.0f},
    {1.0f, -1.0f, 1.0f, 1.0f},
};

} // namespace

static void BuildSkyGeometry(SkyBox* box) {
    const float s = kSkyBoxHalfSize;
    for (int32_t f = 0; f < kSkyBoxFaces; ++f) {
        const FaceFrame& frame = kFaceFrames[f];
        for (int k = 0; k < 3; ++k) {
            box->normals[f][k] = -frame.out[k];
        }
        for (int32_t c = 0; c < 4; ++c) {
            const float* corner = kStripCorners[c];
            float* source = box->source[4 * f + c];
            for (int k = 0; k < 3; ++k) {
                source[k] = s * (frame.out[k] + corner[0] * frame.right[k] + corner[1] * frame.up[k]);
            }
            ArrayVertex& vertex = box->verts[4 * f + c];
            vertex.u = corner[2];
            vertex.v = corner[3];
            vertex.r = 1.0f;
            vertex.g = 1.0f;
            vertex.b = 1.0f;
            vertex.x = source[0];
            vertex.y = source[1];
            vertex.z = source[2];
        }
        box->textures[f] = 0;
    }
}

SkyBox* NewSkyBox() {
    SkyBox* box = static_cast<SkyBox*>(PoolAlloc(sizeof(SkyBox)));
    if (box == nullptr) {
        return nullptr;
    }
    std::memset(box, 0, sizeof(SkyBox));
    box->SetSkyRotation(0.0f, 0.0f, 0.0f);
    BuildSkyGeometry(box);
    return box;
}

void SkyBox::SetSkyRotation(float x, float y, float z) {
    const float angles[3] = {x, y, z};
    float m[12] = {};
    EulerToMatrix(angles, nullptr, m);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            rotation[row * 3 + col] = m[row * 4 + col];
        }
    }
}

void SkyBox::SetFaceTexture(const char* file, int32_t face) {
    if (face < 0 || face >= kSkyBoxFaces) {
        return;
    }
    textures[face] = LoadTexture(file, false);
}

static bool EqualsIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        const char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
        const char cb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (ca != cb) {
            return false;
        }
    }
    return *a == *b;
}

int SkyBoxSwitch(int32_t, const char* const* arguments) {
    if (arguments != nullptr && arguments[0] != nullptr && EqualsIgnoringCase(arguments[0], "disable")) {
        g_currentSkyBox = nullptr;
        return -1;
    }
    return 0;
}

int SkyBoxRotation(int32_t, const char* const* arguments) {
    if (g_currentSkyBox == nullptr || arguments == nullptr) {
        return 0;
    }
    float angles[3] = {0.0f, 0.0f, 0.0f};
    for (int i = 0; i < 3 && arguments[i] != nullptr; ++i) {
        angles[i] = std::strtof(arguments[i], nullptr);
    }
    g_currentSkyBox->SetSkyRotation(angles[0], angles[1], angles[2]);
    return 0;
}

int SkyBoxFaceTexture(int32_t handlerArgument, const char* const* arguments) {
    if (g_currentSkyBox != nullptr && arguments != nullptr && arguments[0] != nullptr) {
        g_currentSkyBox->SetFaceTexture(arguments[0], handlerArgument);
    }
    return 0;
}

const SkyBoxKeyword g_skyBoxKeywords[kSkyBoxKeywordCount] = {
    {"SkyBox", &SkyBoxSwitch, 1, 0},
    {"InitialRotation", &SkyBoxRotation, 3, 0},
    {"TextureUp", &SkyBoxFaceTexture, 1, kSkyFaceUp},
    {"TextureDown", &SkyBoxFaceTexture, 1, kSkyFaceDown},
    {"TextureLeft", &SkyBoxFaceTexture, 1, kSkyFaceLeft},
    {"TextureRight", &SkyBoxFaceTexture, 1, kSkyFaceRight},
    {"TextureFront", &SkyBoxFaceTexture, 1, kSkyFaceFront},
    {"TextureBack", &SkyBoxFaceTexture, 1, kSkyFaceBack},
};

const SkyBoxKeyword* FindSkyBoxKeyword(const char* word) {
    if (word == nullptr) {
        return nullptr;
    }
    for (const SkyBoxKeyword& row : g_skyBoxKeywords) {
        if (std::strcmp(row.keyword, word) == 0) {
            return &row;
        }
    }
    return nullptr;
}

static bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Splits `line` (NUL-terminated, changed in place) into at most `capacity`
// words. Returns how many.
static int32_t SplitWords(char* line, char** words, int32_t capacity) {
    int32_t count = 0;
    char* p = line;
    while (*p != '\0' && count < capacity) {
        while (IsBlank(*p)) {
            ++p;
        }
        if (*p == '\0') {
            break;
        }
        words[count++] = p;
        while (*p != '\0' && !IsBlank(*p)) {
            ++p;
        }
        if (*p != '\0') {
            *p++ = '\0';
        }
    }
    return count;
}

// Runs one line (without its newline). Returns the handler's result, or 0
// when the line ran no handler; *ran tells which.
static int RunSkyBoxLine(const char* text, size_t length, int32_t lineNumber, bool* ran) {
    *ran = false;
    if (length >= static_cast<size_t>(kSkyBoxLineBytes)) {
        PlatformDebugPrintf("SkyBox : line %d too long, skipped\n", static_cast<int>(lineNumber));
        return 0;
    }
    char line[kSkyBoxLineBytes] = {};
    std::memcpy(line, text, length);
    char* words[1 + kSkyBoxMaxArguments + 1] = {};
    const int32_t count = SplitWords(line, words, 1 + kSkyBoxMaxArguments);
    if (count == 0 || words[0][0] == '#') {
        return 0;
    }
    const SkyBoxKeyword* row = FindSkyBoxKeyword(words[0]);
    if (row == nullptr) {
        PlatformDebugPrintf("SkyBox : unknown keyword %s on line %d\n", words[0],
                            static_cast<int>(lineNumber));
        return 0;
    }
    if (count - 1 < row->argumentCount) {
        PlatformDebugPrintf("SkyBox : %s needs %d arguments on line %d\n", row->keyword,
                            static_cast<int>(row->argumentCount), static_cast<int>(lineNumber));
        return 0;
    }
    // Handlers read only the row's number of arguments; the rest are dropped.
    const char* arguments[kSkyBoxMaxArguments + 1] = {};
    for (int32_t i = 0; i < row->argumentCount; ++i) {
        arguments[i] = words[1 + i];
    }
    *ran = true;
    return row->handler(row->handlerArgument, arguments);
}

int32_t RunSkyBoxDescription(const char* text, size_t length) {
    if (text == nullptr) {
        return 0;
    }
    int32_t handled = 0;
    int32_t lineNumber = 0;
    size_t start = 0;
    while (start < length) {
        size_t end = start;
        while (end < length && text[end] != '\n' && text[end] != '\0') {
            ++end;
        }
        ++lineNumber;
        bool ran = false;
        const int result = RunSkyBoxLine(text + start, end - start, lineNumber, &ran);
        if (ran) {
            ++handled;
        }
        if (result == -1) {
            break;
        }
        if (end < length && text[end] == '\0') {
            break; // text ends at its terminator
        }
        start = end + 1;
    }
    return handled;
}

// The entry's bytes, NUL-terminated, in a block released with PakFreeEntry;
// null when the entry is missing, oversize or unreadable.
static char* ReadDescription(const char* entryName, int32_t* size) {
    PakLoadStatus status = kPakLoadOk;
    uint8_t* text = PakLoadEntry(g_currentPak, entryName, kSkyBoxMaxDescriptionBytes, size, &status);
    if (status == kPakLoadMissing) {
        PlatformDebugPrintf("SkyBox : %s not found\n", entryName != nullptr ? entryName : "(null)");
    } else if (status == kPakLoadTooLarge) {
        PlatformDebugPrintf("SkyBox : %s is not a description\n", entryName);
    } else if (status == kPakLoadUnreadable) {
        PlatformDebugPrintf("SkyBox : %s could not be read\n", entryName);
    }
    return reinterpret_cast<char*>(text);
}

SkyBox* Scene::LoadSkyBox(const char* entryName) {
    int32_t size = 0;
    char* text = ReadDescription(entryName, &size);
    if (text == nullptr) {
        return nullptr;
    }
    if (skyBox == nullptr) {
        skyBox = NewSkyBox();
    }
    if (skyBox != nullptr) {
        g_currentSkyBox = skyBox;
        RunSkyBoxDescription(text, static_cast<size_t>(size));
    }
    PakFreeEntry(reinterpret_cast<uint8_t*>(text));
    return skyBox;
}

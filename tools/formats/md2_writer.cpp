// Writes MD2 files little-endian, byte by byte, whatever the host order.
#include "tools/formats/md2_writer.h"

#include <cstring> // memcpy

namespace {

constexpr int32_t kHeaderBytes = 68;
constexpr int32_t kFrameHeaderBytes = 40;
constexpr int32_t kSkinNameBytes = 64;
constexpr int32_t kFrameNameBytes = 16;

void PutInt32(std::vector<uint8_t>* out, int32_t value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) {
        out->push_back(static_cast<uint8_t>(bits >> shift));
    }
}

void PutUint16(std::vector<uint8_t>* out, uint16_t value) {
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}

void PutFloat(std::vector<uint8_t>* out, float value) {
    int32_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    PutInt32(out, bits);
}

// The text in a field of `size` bytes, cut to fit and padded with zeros.
void PutFixedText(std::vector<uint8_t>* out, const std::string& text, int32_t size) {
    for (int32_t i = 0; i < size; ++i) {
        out->push_back(
            i < static_cast<int32_t>(text.size()) ? static_cast<uint8_t>(text[static_cast<size_t>(i)]) : 0);
    }
}

} // namespace

std::vector<uint8_t> Md2WriteBytes(const Md2WriterModel& model) {
    const int32_t frameSize = kFrameHeaderBytes + 4 * model.vertexCount;
    const int32_t skinsOffset = kHeaderBytes;
    const int32_t texCoordsOffset = skinsOffset + kSkinNameBytes * static_cast<int32_t>(model.skins.size());
    const int32_t trianglesOffset = texCoordsOffset + 4 * static_cast<int32_t>(model.texCoords.size());
    const int32_t framesOffset = trianglesOffset + 12 * static_cast<int32_t>(model.triangles.size());
    const int32_t glCommandsOffset = framesOffset + frameSize * static_cast<int32_t>(model.frames.size());
    const int32_t endOffset = glCommandsOffset + 4 * static_cast<int32_t>(model.glCommands.size());

    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(endOffset));
    const int32_t header[17] = {0x32504449,
                                8,
                                model.skinWidth,
                                model.skinHeight,
                                frameSize,
                                static_cast<int32_t>(model.skins.size()),
                                model.vertexCount,
                                static_cast<int32_t>(model.texCoords.size()),
                                static_cast<int32_t>(model.triangles.size()),
                                static_cast<int32_t>(model.glCommands.size()),
                                static_cast<int32_t>(model.frames.size()),
                                skinsOffset,
                                texCoordsOffset,
                                trianglesOffset,
                                framesOffset,
                                glCommandsOffset,
                                endOffset};
    for (const int32_t value : header) {
        PutInt32(&out, value);
    }
    for (const std::string& skin : model.skins) {
        PutFixedText(&out, skin, kSkinNameBytes);
    }
    for (const Md2WriterTexCoord& tc : model.texCoords) {
        PutUint16(&out, static_cast<uint16_t>(tc.s));
        PutUint16(&out, static_cast<uint16_t>(tc.t));
    }
    for (const Md2WriterTriangle& tri : model.triangles) {
        for (const uint16_t index : tri.vertex) {
            PutUint16(&out, index);
        }
        for (const uint16_t index : tri.texCoord) {
            PutUint16(&out, index);
        }
    }
    for (const Md2WriterFrame& frame : model.frames) {
        for (const float value : frame.scale) {
            PutFloat(&out, value);
        }
        for (const float value : frame.translate) {
            PutFloat(&out, value);
        }
        PutFixedText(&out, frame.name, kFrameNameBytes);
        for (int32_t i = 0; i < 4 * model.vertexCount; ++i) {
            out.push_back(i < static_cast<int32_t>(frame.verts.size()) ? frame.verts[static_cast<size_t>(i)]
                                                                       : 0);
        }
    }
    for (const int32_t value : model.glCommands) {
        PutInt32(&out, value);
    }
    return out;
}

void Md2PatchHeader(std::vector<uint8_t>* bytes, Md2HeaderField field, int32_t value) {
    if (bytes->size() < static_cast<size_t>(kHeaderBytes)) {
        return;
    }
    const uint32_t bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        (*bytes)[static_cast<size_t>(field) * 4 + static_cast<size_t>(i)] =
            static_cast<uint8_t>(bits >> (8 * i));
    }
}

int32_t Md2ReadHeader(const std::vector<uint8_t>& bytes, Md2HeaderField field) {
    if (bytes.size() < static_cast<size_t>(kHeaderBytes)) {
        return 0;
    }
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        bits |= static_cast<uint32_t>(bytes[static_cast<size_t>(field) * 4 + static_cast<size_t>(i)])
                << (8 * i);
    }
    return static_cast<int32_t>(bits);
}

Md2WriterFrame Md2MakeFrame(const std::string& name, const std::vector<uint8_t>& verts) {
    Md2WriterFrame frame{};
    frame.scale[0] = frame.scale[1] = frame.scale[2] = 1.0f;
    frame.name = name;
    frame.verts = verts;
    return frame;
}

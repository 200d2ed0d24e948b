// Layout facts of the 3DS chunk format as this reader uses them. Shared by the
// reader and by the test-side writer so both speak the same numbers.
//
// A file is a sequence of chunks: id (uint16), length (uint32, including the
// 6-byte header), data, then sub-chunks. All numbers are little-endian; floats
// are IEEE 754 single precision; strings are NUL-terminated ASCII.
#pragma once

#include <cstdint> // int32_t, uint16_t

constexpr int32_t kChunkHeaderSize = 6;

// Chunk ids the reader acts on.
constexpr uint16_t kChunkVersion = 0x0002;       // 4 bytes, not read
constexpr uint16_t kChunkColourFloat = 0x0010;   // r, g, b floats
constexpr uint16_t kChunkColourByte = 0x0011;    // r, g, b bytes
constexpr uint16_t kChunkEditor = 0x3D3D;        // mesh data section
constexpr uint16_t kChunkNamedObject = 0x4000;   // name, then sub-chunks
constexpr uint16_t kChunkTriMesh = 0x4100;
constexpr uint16_t kChunkVertexList = 0x4110;    // uint16 count, count x 3 floats
constexpr uint16_t kChunkFaceList = 0x4120;      // uint16 count, count x 4 uint16
constexpr uint16_t kChunkFaceMaterial = 0x4130;  // name, uint16 count, count x uint16
constexpr uint16_t kChunkTexCoords = 0x4140;     // uint16 count, count x 2 floats
constexpr uint16_t kChunkSmoothGroups = 0x4150;  // not read
constexpr uint16_t kChunkLocalAxes = 0x4160;     // 4 rows of 3 floats
constexpr uint16_t kChunkLight = 0x4600;         // position, then sub-chunks
constexpr uint16_t kChunkSpotlight = 0x4610;     // target, hotspot, falloff
constexpr uint16_t kChunkLightOff = 0x4620;
constexpr uint16_t kChunkLightAttenuation = 0x4625;
constexpr uint16_t kChunkLightInner = 0x4659;
constexpr uint16_t kChunkLightOuter = 0x465A;
constexpr uint16_t kChunkCamera = 0x4700;        // position, target, bank, lens
constexpr uint16_t kChunkMain = 0x4D4D;
constexpr uint16_t kChunkMaterialName = 0xA000;
constexpr uint16_t kChunkAmbient = 0xA010;
constexpr uint16_t kChunkDiffuse = 0xA020;
constexpr uint16_t kChunkSpecular = 0xA030;
constexpr uint16_t kChunkTextureMap = 0xA200;
constexpr uint16_t kChunkMapFile = 0xA300;
constexpr uint16_t kChunkMaterial = 0xAFFF;
constexpr uint16_t kChunkKeyframer = 0xB000;
constexpr uint16_t kChunkAmbientNode = 0xB001;
constexpr uint16_t kChunkObjectNode = 0xB002;
constexpr uint16_t kChunkCameraNode = 0xB003;
constexpr uint16_t kChunkCameraTargetNode = 0xB004;
constexpr uint16_t kChunkLightNode = 0xB005;
constexpr uint16_t kChunkLightTargetNode = 0xB006;
constexpr uint16_t kChunkSpotNode = 0xB007;
constexpr uint16_t kChunkFrameSegment = 0xB008;  // first, last (int32)
constexpr uint16_t kChunkNodeHeader = 0xB010;    // name, flags1, flags2, parent
constexpr uint16_t kChunkInstanceName = 0xB011;
constexpr uint16_t kChunkPivot = 0xB013;
constexpr uint16_t kChunkMorphSmooth = 0xB015;
constexpr uint16_t kChunkPositionTrack = 0xB020;
constexpr uint16_t kChunkRotationTrack = 0xB021;
constexpr uint16_t kChunkScaleTrack = 0xB022;
constexpr uint16_t kChunkFovTrack = 0xB023;
constexpr uint16_t kChunkRollTrack = 0xB024;
constexpr uint16_t kChunkColourTrack = 0xB025;
constexpr uint16_t kChunkNodeId = 0xB030;

// Fixed record sizes inside chunk data.
constexpr int32_t kVertexBytes = 12;       // x, y, z
constexpr int32_t kFaceBytes = 8;          // a, b, c, flags
constexpr int32_t kTexCoordBytes = 8;      // u, v
constexpr int32_t kLocalAxesBytes = 48;    // X, Y, Z, origin
constexpr int32_t kCameraBytes = 32;       // position, target, bank, lens
constexpr int32_t kSpotlightBytes = 20;    // target, hotspot, falloff
constexpr int32_t kTrackHeaderBytes = 14;  // flags, 8 unused, key count
constexpr int32_t kNodeHeaderTailBytes = 6; // flags1, flags2, parent
constexpr int32_t kFrameSegmentBytes = 8;
constexpr int32_t kSplineFlagBits = 5;     // tension, continuity, bias, ease to, ease from
constexpr uint16_t kNoParent = 0xFFFF;

// Local name buffers of the material and face-group handlers.
constexpr int32_t kLocalNameBytes = 100;

// Fixed tables of a Scene.
constexpr int32_t kSceneMaxCameras = 5;
constexpr int32_t kSceneMaxLights = 8;

// Name of a dummy object node, compared without regard to ASCII case.
constexpr const char kDummyName[] = "$$$DUMMY";

// Texture manager: turns an image entry of the current archive into an
// OpenGL texture object and returns its name.
//
// JPEG and TGA files are told apart by the last three characters of the name.
// Both sides must be powers of two from 1 to 256, judged from the file's
// header before any pixel memory is taken. Every image that became a texture
// is kept in the texture table until FreeTextures at shutdown, which makes no
// GL call; an image refused for any reason leaves nothing behind. The most
// pixel memory a load takes is therefore 256 x 256 x 4 bytes whatever the file;
// the returned GL names belong to the caller, who may give them all back at
// once with DeleteUploadedTextures.
// Loads need a current GL context; this subsystem never creates one. Every
// failure writes one "Texture : ..." line to the debugger output and yields 0.
#pragma once

#include "platform/gl_table.h" // GlTable, the uploads' GL calls
#include "texture/image.h"

#include <cstdint> // int32_t, uint32_t

constexpr int32_t kTextureListCapacity = 100;

// The images that became textures, kept until FreeTextures. An image arriving
// when its list is full is not registered; it is released right after its
// upload instead.
struct TextureTable {
    ImageBuffer* jpegImages[kTextureListCapacity];
    int32_t jpegCount;
    TgaImage* tgaImages[kTextureListCapacity];
    int32_t tgaCount;
    const GlTable* gl; // what uploads go through (TextureUseGl); not owned
};

// The program's one texture table.
extern TextureTable g_textureTable;

// Makes every upload go through `gl` (the engine's table in the program; a
// test's own). The table must outlive the uploads; null stops them (an upload
// without a table is a programmer error).
void TextureUseGl(const GlTable* gl);

// Loads a ".jpg" or ".tga" entry (ASCII case ignored) of g_currentPak as a
// texture, with a box-filtered mipmap chain when `mipmaps` is set. Returns the GL
// texture name, or 0 with a message (also for names shorter than 3 characters
// and null). The caller owns the name.
uint32_t LoadTexture(const char* name, bool mipmaps);

// Decodes a JPEG entry and uploads it as GL_RGB. 0 with a message on failure;
// a missing entry gives "Texture : Texture not found!\n" without decoding.
// Bound for an entry of N bytes: N + 1 bytes of pool, libjpeg's working memory
// (at most kJpegMaxMemory) and 256 KiB of pixels; at most kJpegMaxScans passes
// over a frame of at most 256 x 256 pixels, one output pass and one upload.
uint32_t LoadJpegTexture(const char* name, bool mipmaps);

// Loads a TGA entry and uploads it as GL_RGB (24 bits) or GL_RGBA (32 bits).
// 0 with a message on failure.
// Bound for an entry of N bytes: a pixel block of at most min(N, 256 KiB)
// bytes and one pass over it, then one upload.
uint32_t LoadTgaTexture(const char* name, bool mipmaps);

// Creates a texture from `width` x `height` pixels of `layout` (GL_RGB: 3
// bytes, GL_RGBA: 4 bytes a pixel, rows tightly packed) with the given internal
// format, wrap GL_REPEAT and GL_LINEAR filters, and leaves GL_TEXTURE_2D enabled
// and texture 0 bound. Returns the new name (owned by the caller).
uint32_t UploadTexture(const void* pixels, int32_t width, int32_t height, int32_t internalFormat,
                       uint32_t layout, bool mipmaps);

// Start-up before the GL context exists. From TextureDeferUploads on,
// UploadTexture makes no GL call: it keeps a copy of the pixels and returns
// the name the texture will have (1, 2, 3 ... in order, as a fresh context
// hands them out); TextureFlushDeferred, called with that fresh context
// current, creates the kept textures in the order they were asked for, exactly
// as UploadTexture would have, and ends the deferral. Lets the content load
// while the GL driver is still starting.
void TextureDeferUploads();
void TextureFlushDeferred();

// Deletes, through the table, every GL texture this manager has made since
// the last call (a player that loads its show again frees the old show's
// textures so). Needs the uploads' context current; a deferral still pending
// is dropped.
void DeleteUploadedTextures();

// True when width and height are both powers of two from 1 to 256.
bool IsTextureSizeValid(int32_t width, int32_t height);

// Reads the whole entry `name` of g_currentPak into a pool block followed by a
// 0 byte and stores its size in `size`. Null when the entry is missing, short
// or the pool is exhausted. Released with PoolFree.
void* ReadEntryToPool(const char* name, int32_t* size);

// Releases every registered image (TGA list, then JPEG list, last first) and
// empties the table. Makes no GL call.
void FreeTextures();

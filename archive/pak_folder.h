// A folder of loose files read as an archive: a show's maker edits a scene
// or a texture and plays it again without packing. The folder's regular
// files become entries named by their file names, so the same names reach
// the same loaders as from a packed archive.
#pragma once

#include "archive/archive.h" // PAKFile

#include <string>

// Reads every regular file directly in `dir` into an archive held in an
// unnamed temporary file, and opens that for reading as g_currentPak. The
// files are read once, now: later changes need a new open. Returns the
// archive (released with PakClose, which also removes the temporary file),
// or null with a one-line reason in *reason: the folder cannot be read, a
// file name is longer than the archive's 21 characters, or no temporary
// file can be made.
PAKFile* PakOpenFolder(const std::string& dir, std::string* reason);

// Copies the archive at `path` whole into an unnamed temporary file and opens
// that as g_currentPak, so that a later rewrite of the file does not reach
// what reads the copy. Null with a one-line reason (the file cannot be read,
// no temporary file, not an archive).
PAKFile* PakOpenSnapshot(const std::string& path, std::string* reason);

// A temporary archive made current for one test: written with the archive
// writer, opened with PakOpen (which sets g_currentPak), closed and removed
// when the object goes.
#pragma once

#include "archive/archive.h"
#include "archive/pak_writer.h"

#include <gtest/gtest.h>

#include <unistd.h> // getpid

#include <cstdio> // remove
#include <string>
#include <vector>

class TextureArchive {
  public:
    // Writes `entries` to a fresh file and opens it; check ok() afterwards.
    explicit TextureArchive(const std::vector<PakWriteEntry>& entries) {
        static int s_serial = 0;
        path_ = ::testing::TempDir() + "tessaro_test_" + std::to_string(::getpid()) + "_" +
                std::to_string(s_serial++) + ".qdz";
        std::string error;
        if (PakWriteArchive(path_, entries, &error)) {
            pak_ = PakOpen(path_.c_str(), "rb");
        }
    }
    ~TextureArchive() {
        if (pak_ != nullptr) {
            PakClose(pak_);
            if (g_currentPak == pak_) {
                g_currentPak = nullptr;
            }
        }
        std::remove(path_.c_str());
    }
    TextureArchive(const TextureArchive&) = delete;
    TextureArchive& operator=(const TextureArchive&) = delete;

    bool ok() const { return pak_ != nullptr && g_currentPak == pak_; }

  private:
    std::string path_;
    PAKFile* pak_ = nullptr;
};

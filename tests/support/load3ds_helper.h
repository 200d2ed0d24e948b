// Loading 3DS bytes through the real path for tests: the bytes go into a
// temporary archive (with any extra entries), the archive becomes
// g_currentPak, and a Loader3DS reads the entry into a fresh Scene.
// Material textures are not loaded: that is the engine's LoadSceneTextures.
#pragma once

#include "archive/archive.h"     // PakOpen, PakClose, g_currentPak
#include "archive/pak_writer.h"  // PakWriteArchive
#include "loader3ds/loader3ds_local.h" // Loader3DS, to look at the reader's state
#include "memory/memory_pool.h"  // PoolInit
#include "scene/scene.h"         // Scene

#include <gtest/gtest.h>

#include <unistd.h> // getpid

#include <cstdio> // remove
#include <memory>
#include <string>
#include <vector>

// One loaded scene plus the archive it came from; both go with the object.
class Loaded3ds {
  public:
    // Writes `file` as entry `entryName` (plus `extra`), opens the archive and
    // loads the entry. error() holds the thrown text, empty on success.
    explicit Loaded3ds(const std::vector<uint8_t>& file, const std::vector<PakWriteEntry>& extra = {},
                       const std::string& entryName = "t.3ds") {
        static int s_serial = 0;
        path_ = ::testing::TempDir() + "tessaro_l3ds_" + std::to_string(::getpid()) + "_" +
                std::to_string(s_serial++) + ".qdz";
        std::vector<PakWriteEntry> entries = extra;
        entries.push_back(PakWriteEntry{entryName, 0x5A, file});
        std::string why;
        if (!PakWriteArchive(path_, entries, &why)) {
            error_ = "archive: " + why;
            return;
        }
        pak_ = PakOpen(path_.c_str(), "rb");
        if (!pak_) {
            error_ = "archive did not open";
            return;
        }
        scene_ = std::make_unique<Scene>();
        try {
            loader_.Load(entryName.c_str(), scene_.get());
        } catch (const char* message) {
            error_ = message ? message : "(null)";
        }
    }
    ~Loaded3ds() {
        if (scene_) {
            scene_->Destroy();
        }
        if (pak_) {
            PakClose(pak_);
            if (g_currentPak == pak_) {
                g_currentPak = nullptr;
            }
        }
        std::remove(path_.c_str());
    }
    Loaded3ds(const Loaded3ds&) = delete;
    Loaded3ds& operator=(const Loaded3ds&) = delete;

    Scene& scene() { return *scene_; }
    Loader3DS& loader() { return loader_; }
    const std::string& error() const { return error_; }
    bool ok() const { return scene_ && error_.empty(); }

  private:
    std::string path_;
    PAKFile* pak_ = nullptr;
    std::unique_ptr<Scene> scene_;
    Loader3DS loader_;
    std::string error_;
};

// A fresh memory pool for every test (the program's own sizes).
class Pool3dsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PoolSetSmallSize(200000);
        PoolInit(20000000);
    }
};

// Objects of a scene in creation order (the scene keeps them newest first).
inline std::vector<MeshObject*> ObjectsInCreationOrder(Scene& scene) {
    std::vector<MeshObject*> all;
    for (MeshObject* o = scene.objects; o; o = o->nextObject) {
        all.insert(all.begin(), o);
    }
    return all;
}

// Objects of the draw list, head first.
inline std::vector<MeshObject*> DrawList(Scene& scene) {
    std::vector<MeshObject*> all;
    for (MeshObject* o = scene.drawList; o; o = o->nextDrawn) {
        all.push_back(o);
    }
    return all;
}

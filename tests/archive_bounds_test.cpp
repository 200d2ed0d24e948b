// Archive on the densest directories we can build: every 32-byte record of
// the file becomes one record in memory. Heap use is counted through the
// program's operator new; nothing is timed.
#include "archive/archive.h"
#include "archive/pak_writer.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>


#include <cstdio>  // remove
#include <cstdlib> // malloc, free
#include <filesystem>
#include <new>
#include <string>
#include <vector>

namespace {

int64_t s_newBytes = 0;
int64_t s_newCalls = 0;

} // namespace

void* operator new(size_t bytes) {
    s_newBytes += static_cast<int64_t>(bytes);
    ++s_newCalls;
    void* p = std::malloc(bytes == 0 ? 1 : bytes);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}
void* operator new(size_t bytes, const std::nothrow_t&) noexcept {
    s_newBytes += static_cast<int64_t>(bytes);
    ++s_newCalls;
    return std::malloc(bytes == 0 ? 1 : bytes);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace {

TEST(ArchiveBounds, DirectoryMemoryIsLinearInTheFile) {
    const int32_t counts[] = {0, 1, 100, 5000};
    for (int32_t count : counts) {
        std::vector<PakWriteEntry> entries;
        for (int32_t i = 0; i < count; ++i) {
            entries.push_back({std::to_string(i), 0, {}});
        }
        const std::string path =
            ::testing::TempDir() + "tessaro_bounds_" + std::to_string(::TestProcessId()) + ".qdz";
        std::string why;
        ASSERT_TRUE(PakWriteArchive(path, entries, &why)) << why;
        const int64_t fileBytes = static_cast<int64_t>(std::filesystem::file_size(path));
        s_newBytes = 0;
        s_newCalls = 0;
        PAKFile* pak = PakOpen(path.c_str(), "rb");
        const int64_t bytes = s_newBytes;
        const int64_t calls = s_newCalls;
        ASSERT_NE(pak, nullptr) << count;
        // One record per entry and the handle; the stream's own buffer comes
        // from the C library, outside this count.
        EXPECT_EQ(calls, count + 1) << count;
        EXPECT_LE(bytes, fileBytes * 5 / 4 + static_cast<int64_t>(sizeof(PAKFile))) << count;
        PakClose(pak);
        std::remove(path.c_str());
    }
}

} // namespace

// Fuzzing harnesses: one per reader, each driving what the player does with
// that kind of data. Every harness defines LLVMFuzzerTestOneInput; linked with
// libFuzzer it is a fuzz target, linked with fuzz/replay_main.cpp it is a
// plain program that replays files and the target's own seeds.
#pragma once

#include <cstddef> // size_t
#include <cstdint> // uint8_t
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// One seed input, made by our own writers so that the corpus is reproducible.
struct FuzzSeed {
    std::string name;
    std::vector<uint8_t> bytes;
};

// The harness's seed corpus (defined next to each harness).
std::vector<FuzzSeed> FuzzSeeds();

// `bytes` as the single entry `name` of a fresh temporary archive, made the
// current archive for as long as the object lives.
class FuzzArchive {
  public:
    FuzzArchive(const char* name, const uint8_t* data, size_t size);
    ~FuzzArchive();
    FuzzArchive(const FuzzArchive&) = delete;
    FuzzArchive& operator=(const FuzzArchive&) = delete;
    bool ok() const { return ok_; }

  private:
    std::string path_;
    bool ok_ = false;
};

// A scratch file path unique to this process, in TMPDIR or /tmp.
std::string FuzzScratchPath(const char* suffix);

// Where harnesses leave what they read, so that the reads are not optimised away.
extern volatile uint32_t g_fuzzSink;

// A pool laid out as the player's (its small area, a smaller region), made
// fresh for every input so that no input sees what an earlier one left.
void FuzzFreshPool();

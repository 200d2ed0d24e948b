// The benchmark's racing ground: contenders that do the same job on the same
// file, run interleaved in one process, in rotating order, so that a noisy
// machine slows them alike; each one's median is compared with ours.
#pragma once

#include <cstdint> // int64_t
#include <functional>
#include <string>
#include <vector>

// One way of doing a section's job on one file. `run` does the whole job once
// and returns false when it failed (the contender is then left out of the
// result); `reset`, when set, runs before each timed run, outside the clock.
struct Contender {
    std::string name;
    std::function<bool()> run;
    std::function<void()> reset;
};

// Median nanoseconds of each contender over `repetitions` rounds; -1 for a
// contender that failed once.
std::vector<int64_t> Race(std::vector<Contender>& contenders, int repetitions);

// One row of the report: a section, a file, our median and each peer's.
struct RaceResult {
    std::string section;
    std::string file;
    std::vector<std::string> names; // ours first
    std::vector<int64_t> medians;   // nanoseconds, -1 = failed
};

// Prints a result as one JSON line on standard output (ratios ours / peer).
void PrintJsonLine(const RaceResult& result);

// Prints every result as a readable table on standard output, with the
// geometric mean of each ratio over the section's files.
void PrintTable(const std::vector<RaceResult>& results);

// Prints one line per section, as JSON ({"row": section, ...}) and then as a
// table: per file the ratio of ours to the fastest peer, their geometric
// mean and the worst file. scripts/bench gathers these lines from several
// processes into the report's spread.
void PrintSummary(const std::vector<RaceResult>& results);

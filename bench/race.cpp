// Interleaved timing and the report.
#include "bench/race.h"

#include <nlohmann/json.hpp> // the JSON lines

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>

std::vector<int64_t> Race(std::vector<Contender>& contenders, const int repetitions) {
    const size_t n = contenders.size();
    std::vector<std::vector<int64_t>> times(n);
    std::vector<bool> failed(n, false);
    for (int rep = 0; rep < repetitions; ++rep) {
        // Rotate who goes first, so that no contender always runs on a cache
        // its predecessor warmed or cooled.
        for (size_t k = 0; k < n; ++k) {
            const size_t i = (k + static_cast<size_t>(rep)) % n;
            Contender& c = contenders[i];
            if (failed[i]) {
                continue;
            }
            if (c.reset) {
                c.reset();
            }
            const auto start = std::chrono::steady_clock::now();
            const bool ok = c.run();
            const auto end = std::chrono::steady_clock::now();
            if (!ok) {
                failed[i] = true;
                continue;
            }
            times[i].push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count());
        }
    }
    std::vector<int64_t> medians(n, -1);
    for (size_t i = 0; i < n; ++i) {
        if (failed[i] || times[i].empty()) {
            continue;
        }
        std::sort(times[i].begin(), times[i].end());
        medians[i] = times[i][times[i].size() / 2];
    }
    return medians;
}

namespace {

double Ratio(const int64_t ours, const int64_t peer) {
    return ours > 0 && peer > 0 ? static_cast<double>(ours) / static_cast<double>(peer) : NAN;
}

} // namespace

void PrintJsonLine(const RaceResult& result) {
    nlohmann::ordered_json line;
    line["section"] = result.section;
    line["file"] = result.file;
    nlohmann::ordered_json medians = nlohmann::ordered_json::object();
    nlohmann::ordered_json ratios = nlohmann::ordered_json::object();
    for (size_t i = 0; i < result.names.size(); ++i) {
        medians[result.names[i]] = result.medians[i] >= 0 ? nlohmann::ordered_json(result.medians[i]) : nullptr;
        if (i > 0) {
            const double r = Ratio(result.medians[0], result.medians[i]);
            ratios[result.names[i]] = std::isnan(r) ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(r);
        }
    }
    line["median_ns"] = medians;
    line["ours_over"] = ratios;
    std::printf("%s\n", line.dump().c_str());
}

void PrintTable(const std::vector<RaceResult>& results) {
    std::string section;
    // Per section and peer: the sum of log ratios and their count.
    std::map<std::string, std::map<std::string, std::pair<double, int>>> logs;
    std::vector<std::string> order;
    for (const RaceResult& r : results) {
        if (r.section != section) {
            section = r.section;
            order.push_back(section);
            std::printf("\n%s\n", section.c_str());
            std::printf("  %-28s", "file");
            for (const std::string& name : r.names) {
                std::printf(" %14s", (name + " ms").c_str());
            }
            std::printf("   ours / peer\n");
        }
        std::printf("  %-28s", r.file.c_str());
        for (const int64_t m : r.medians) {
            if (m >= 0) {
                std::printf(" %14.3f", static_cast<double>(m) / 1e6);
            } else {
                std::printf(" %14s", "failed");
            }
        }
        std::printf("  ");
        for (size_t i = 1; i < r.names.size(); ++i) {
            const double ratio = Ratio(r.medians[0], r.medians[i]);
            if (std::isnan(ratio)) {
                std::printf(" %s -", r.names[i].c_str());
                continue;
            }
            std::printf(" %s %.2fx", r.names[i].c_str(), ratio);
            auto& sum = logs[section][r.names[i]];
            sum.first += std::log(ratio);
            sum.second += 1;
        }
        std::printf("\n");
    }
    std::printf("\nGeometric means of ours / peer (below 1: we are faster)\n");
    for (const std::string& s : order) {
        for (const auto& [peer, sum] : logs[s]) {
            std::printf("  %-34s %-12s %.2fx over %d files\n", s.c_str(), peer.c_str(),
                        std::exp(sum.first / sum.second), sum.second);
        }
    }
}

namespace {

struct SummaryRow {
    std::string section;
    double logSum = 0.0;
    int files = 0;
    double worst = 0.0;
    std::string worstFile;
};

// Ours over the fastest peer that finished; NAN when there is none.
double OverFastestPeer(const RaceResult& r) {
    int64_t fastest = -1;
    for (size_t i = 1; i < r.medians.size(); ++i) {
        if (r.medians[i] > 0 && (fastest < 0 || r.medians[i] < fastest)) {
            fastest = r.medians[i];
        }
    }
    return Ratio(r.medians[0], fastest);
}

} // namespace

void PrintSummary(const std::vector<RaceResult>& results) {
    std::vector<SummaryRow> rows;
    for (const RaceResult& r : results) {
        const double ratio = OverFastestPeer(r);
        if (std::isnan(ratio)) {
            continue;
        }
        if (rows.empty() || rows.back().section != r.section) {
            SummaryRow row;
            row.section = r.section;
            rows.push_back(row);
        }
        SummaryRow& row = rows.back();
        row.logSum += std::log(ratio);
        row.files += 1;
        if (ratio > row.worst) {
            row.worst = ratio;
            row.worstFile = r.file;
        }
    }
    std::printf("\nOurs / fastest peer per file (below 1: we are faster)\n");
    for (const SummaryRow& row : rows) {
        const double mean = std::exp(row.logSum / row.files);
        nlohmann::ordered_json line;
        line["row"] = row.section;
        line["geomean"] = mean;
        line["worst"] = row.worst;
        line["worst_file"] = row.worstFile;
        line["files"] = row.files;
        std::printf("%s\n", line.dump().c_str());
    }
    for (const SummaryRow& row : rows) {
        std::printf("  %-34s %.2fx over %d files, worst %.2fx (%s)\n", row.section.c_str(),
                    std::exp(row.logSum / row.files), row.files, row.worst, row.worstFile.c_str());
    }
}

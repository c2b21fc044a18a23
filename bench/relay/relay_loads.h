// The loads of the relay benchmark, as a user choosing a chat relay would try them:
// how fast one line reaches a hundred guests, how many copies a second a relay keeps
// up, whether a heavy run arrives whole, what an idle guest costs, and whether a
// crowd of two thousand is served. Each load runs against a relay that listens on
// 127.0.0.1, has a time limit, and reports what it got when the limit ends it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace relaybench {

// One number a load measured, as the CSV file gives it: "p90", "ms", 1.23.
struct Detail {
    std::string name;
    std::string unit;
    double value = 0;
};

// What a load measured on one relay.
struct Figures {
    double value = 0;            // the load's figure in its unit (the ratio is taken of these)
    std::string shown;           // as the table prints it
    bool complete = false;       // everything expected arrived within the time limit
    std::string note;            // what went wrong or limited the run, if anything
    bool measured = false;       // the load ran on this relay at all
    std::vector<Detail> details; // the figure and its companions (percentiles), for the CSV
};

// The relay under load: where it listens, its process (for its memory), and how the
// progress line names the run ("latency, raw poll relay").
struct RelayUnderLoad {
    std::uint16_t port = 0;
    long long pid = 0;
    std::string label;
};

struct Load {
    std::string name;   // short, for folders and the command line: "latency"
    std::string title;  // for the table
    std::string target; // what the plug-in must reach, in words
    Figures (*run)(const RelayUnderLoad& relay);
    // Whether the plug-in's figures meet the target, given the raw relay's.
    bool (*met)(const Figures& plugin, const Figures& raw);
    // For the loads that also run against devhost under Wine, in real windows: the
    // target against the headless devhost, in words, and whether Wine's figures meet
    // it given the headless host's. Null for the others.
    const char* wineTarget = nullptr;
    bool (*wineMet)(const Figures& wine, const Figures& headless) = nullptr;
    int devhostBudgetMiB = 0; // devhost's socket memory budget for this load; 0: its default
    bool devhostOnly = false; // a load against devhost alone: no raw relay to compare
};

// The loads in the order the benchmark runs them.
const std::vector<Load>& Loads();

} // namespace relaybench

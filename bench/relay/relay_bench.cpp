// relay_bench: runs every load against devhost hosting a chat with the plug-in and
// against the raw relay, back to back, each on a fresh relay process, and prints a
// table of the figures, their ratios (plug-in / raw) and the targets. Everything runs
// on 127.0.0.1 and ends by itself: every load has a time limit.
//
//   relay_bench [--only NAME,...] [--work DIR] [--csv FILE]
//               [--devhost PATH] [--plugin PATH] [--raw-relay PATH]
//               [--wine-loader PATH --wine-devhost PATH --wine-plugin PATH]
//
// The programs default to those of the build this benchmark belongs to. With the
// Wine loader and the Windows build of devhost and the plug-in, the loads that have a
// target in real windows (latency, sustained) run a third time, against devhost under
// Wine, and a second table sets them beside the headless devhost. --csv writes every
// figure to FILE. The exit status is 3 when a target is missed.
#include "bench/relay/relay_loads.h"
#include "bench/relay/relay_process.h"
#include "testkit/loadgen/descriptor_limit.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace relaybench;

constexpr int kExitUsage = 1;
constexpr int kExitTargetMissed = 3;

struct Row {
    const Load* load;
    Figures plugin;
    Figures raw;
    Figures wine; // measured only for the loads with a Wine target, and when asked
};

struct Arguments {
    Programs programs{VOLUBRA_DEVHOST_PATH,
                      VOLUBRA_PLUGIN_PATH,
                      VOLUBRA_RAW_RELAY_PATH,
                      VOLUBRA_BENCH_WORK_DIR,
                      {},
                      {},
                      {}};
    std::vector<std::string> only;
    std::string csvPath;

    bool underWine() const { return !programs.wineLoader.empty(); }
};

// The command line, declared with CLI11 as devhost's is.
bool ParseArguments(int argc, char** argv, Arguments& args) {
    CLI::App app("relay_bench", "relay_bench");
    app.set_help_flag();
    app.allow_windows_style_options(false);
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--work", args.programs.workDir);
    app.add_option("--devhost", args.programs.devhost);
    app.add_option("--plugin", args.programs.plugin);
    app.add_option("--raw-relay", args.programs.rawRelay);
    app.add_option("--wine-loader", args.programs.wineLoader);
    app.add_option("--wine-devhost", args.programs.wineDevhost);
    app.add_option("--wine-plugin", args.programs.winePlugin);
    app.add_option("--csv", args.csvPath);
    app.add_option("--only", args.only)
        ->delimiter(',')
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError&) {
        return false;
    }
    const bool wineComplete = !args.programs.wineLoader.empty() &&
                              !args.programs.wineDevhost.empty() &&
                              !args.programs.winePlugin.empty();
    const bool wineNone = args.programs.wineLoader.empty() && args.programs.wineDevhost.empty() &&
                          args.programs.winePlugin.empty();
    return wineComplete || wineNone;
}

bool Wanted(const Arguments& args, const Load& load) {
    if (args.only.empty()) return true;
    for (const std::string& name : args.only)
        if (name == load.name) return true;
    return false;
}

Figures Measure(const Load& load, RelayProcess& relay, const std::string& runName) {
    Figures f;
    std::string error;
    if (!relay.start(runName, error)) {
        f.shown = "did not start";
        f.note = error;
        return f;
    }
    f = load.run(RelayUnderLoad{relay.port(), relay.pid(), runName});
    f.measured = true;
    relay.stop();
    if (!relay.notes().empty()) f.note += (f.note.empty() ? "" : "; ") + relay.notes();
    return f;
}

void PrintFigures(const std::string& who, const Figures& f) {
    std::cout << "  " << who << ": " << f.shown;
    if (!f.note.empty()) std::cout << " (" << f.note << ")";
    std::cout << std::endl;
}

std::string RatioText(const Figures& plugin, const Figures& raw) {
    if (raw.value <= 0) return "-";
    char text[32];
    const double ratio = plugin.value / raw.value;
    std::snprintf(text, sizeof text, ratio >= 0.1 ? "%.2f" : "%.4f", ratio);
    std::string shown = text;
    if (ratio > 0 && ratio < 0.5) // "1/1" would say less than "0.72"
        shown += " (1/" + std::to_string(static_cast<long>(1 / ratio + 0.5)) + ")";
    return shown;
}

bool Met(const Row& r) {
    return r.load->met(r.plugin, r.raw) && (!r.wine.measured || r.load->wineMet(r.wine, r.plugin));
}

void PrintWineTable(const std::vector<Row>& rows) {
    std::cout << "\n| Load | devhost under Wine, real windows | headless devhost | Wine / headless "
                 "| target | met |\n"
              << "|---|---|---|---|---|---|\n";
    for (const Row& r : rows) {
        if (!r.wine.measured) continue;
        std::cout << "| " << r.load->title << " | " << r.wine.shown << " | " << r.plugin.shown
                  << " | " << RatioText(r.wine, r.plugin) << " | " << r.load->wineTarget << " | "
                  << (r.load->wineMet(r.wine, r.plugin) ? "yes" : "no") << " |\n";
    }
    for (const Row& r : rows) {
        if (r.wine.measured && !r.wine.note.empty())
            std::cout << "- " << r.load->name << ", devhost under Wine: " << r.wine.note << "\n";
    }
    std::cout.flush();
}

// One line per figure and load: the value on each relay, empty where it did not run.
bool WriteCsv(const std::string& path, const std::vector<Row>& rows) {
    std::ofstream csv(path, std::ios::trunc);
    csv.precision(10);
    csv << "load,figure,unit,devhost_plugin,raw_relay,devhost_wine\n";
    for (const Row& r : rows) {
        std::vector<Detail> names;
        for (const Figures* f : {&r.plugin, &r.raw, &r.wine}) {
            for (const Detail& d : f->details) {
                const bool known = std::any_of(names.begin(), names.end(),
                                               [&](const Detail& n) { return n.name == d.name; });
                if (!known) names.push_back(d);
            }
        }
        for (const Detail& n : names) {
            csv << r.load->name << "," << n.name << "," << n.unit;
            for (const Figures* f : {&r.plugin, &r.raw, &r.wine}) {
                csv << ",";
                for (const Detail& d : f->details)
                    if (d.name == n.name) csv << d.value;
            }
            csv << "\n";
        }
    }
    return static_cast<bool>(csv);
}

void PrintTable(const std::vector<Row>& rows) {
    std::cout << "\n| Load | devhost + plug-in | raw poll relay | plug-in / raw | target | met |\n"
              << "|---|---|---|---|---|---|\n";
    for (const Row& r : rows) {
        std::cout << "| " << r.load->title << " | " << r.plugin.shown << " | " << r.raw.shown
                  << " | " << RatioText(r.plugin, r.raw) << " | " << r.load->target << " | "
                  << (r.load->met(r.plugin, r.raw) ? "yes" : "no") << " |\n";
    }
    bool anyNote = false;
    for (const Row& r : rows) {
        for (const auto& [who, f] :
             {std::pair{"devhost + plug-in", &r.plugin}, std::pair{"raw poll relay", &r.raw}}) {
            if (f->note.empty()) continue;
            if (!anyNote) std::cout << "\nNotes:\n";
            anyNote = true;
            std::cout << "- " << r.load->name << ", " << who << ": " << f->note << "\n";
        }
    }
    std::cout.flush();
}

} // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (!ParseArguments(argc, argv, args)) {
        std::cerr << "usage: relay_bench [--only NAME,...] [--work DIR] [--csv FILE]\n"
                     "                   [--devhost PATH] [--plugin PATH] [--raw-relay PATH]\n"
                     "                   [--wine-loader PATH --wine-devhost PATH "
                     "--wine-plugin PATH]\n";
        return kExitUsage;
    }
    const long descriptors = loadgen::RaiseDescriptorLimit();
    std::cout << "Relay benchmark on 127.0.0.1: " << std::thread::hardware_concurrency()
              << " cores, descriptor limit " << descriptors << " (the relays inherit it)\n";
    DevhostRelay devhost(args.programs);
    DevhostRelay wineDevhost(args.programs, DevhostRelay::Build::UnderWine);
    RawRelay raw(args.programs);
    std::vector<Row> rows;
    for (const Load& load : Loads()) {
        if (!Wanted(args, load)) continue;
        std::cout << load.title << std::endl;
        devhost.setBudgetMiB(load.devhostBudgetMiB);
        wineDevhost.setBudgetMiB(load.devhostBudgetMiB);
        Row row{&load, Measure(load, devhost, load.name + "-plugin"), {}, {}};
        PrintFigures("devhost + plug-in", row.plugin);
        if (args.underWine() && load.wineMet) {
            row.wine = Measure(load, wineDevhost, load.name + "-wine");
            PrintFigures("devhost under Wine", row.wine);
        }
        if (!load.devhostOnly) {
            row.raw = Measure(load, raw, load.name + "-raw");
            PrintFigures("raw poll relay", row.raw);
        }
        rows.push_back(row);
    }
    PrintTable(rows);
    if (args.underWine()) PrintWineTable(rows);
    if (!args.csvPath.empty() && !WriteCsv(args.csvPath, rows))
        std::cerr << "relay_bench: cannot write " << args.csvPath << "\n";
    const bool allMet = std::all_of(rows.begin(), rows.end(), Met);
    std::cout << "\n" << (allMet ? "Every target met." : "A target was missed.") << std::endl;
    return allMet ? 0 : kExitTargetMissed;
}

// The five loads. Every one first gathers its guests: they connect, and probe lines
// are sent until one reaches every guest, which proves that the relay has taken them
// all in (a host announces arrivals too, but the raw relay does not, and a probe
// works for both). Only then does the load's own clock start.
#include "bench/relay/relay_loads.h"

#include "devhost/nxtcpsock/frame_codec.h"
#include "testkit/loadgen/guest_crowd.h"
#include "testkit/loadgen/process_memory.h"
#include "testkit/raw_peer.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

namespace relaybench {
namespace {

using loadgen::Clock;
using loadgen::CrowdState;
using loadgen::GuestCrowd;
using loadgen::LineId;
using std::chrono::milliseconds;
using std::chrono::seconds;

const char* const kRelayAddress = "127.0.0.1";
constexpr std::size_t kShortTextBytes = 32;
// How long one probe may take before the next is sent.
constexpr Clock::duration kProbeWait = seconds(1);

constexpr int kLatencyGuests = 100;
constexpr int kLatencyRounds = 100; // enough for a p99 that is not simply the worst
constexpr Clock::duration kLatencyGatherLimit = seconds(30);
constexpr Clock::duration kLatencyRoundLimit = seconds(2);

constexpr int kSustainedGuests = 100;
constexpr int kLinesInFlightPerGuest = 4;
constexpr Clock::duration kSustainedGatherLimit = seconds(30);
constexpr Clock::duration kWarmUp = milliseconds(500);
constexpr Clock::duration kMeasured = seconds(3);
constexpr Clock::duration kRefillWait = milliseconds(20);

constexpr int kBulkGuests = 20;
constexpr int kBulkLinesPerGuest = 1000;
constexpr std::size_t kBulkTextBytes = 1000;
constexpr Clock::duration kBulkGatherLimit = seconds(30);
constexpr Clock::duration kBulkLimit = seconds(30);

constexpr int kIdleGuests = 500;
constexpr Clock::duration kIdleGatherLimit = seconds(60);
constexpr double kBytesPerKB = 1024;
constexpr double kMemoryTargetKB = 64;

constexpr int kCrowdGuests = 2000;
constexpr int kCrowdLines = 100;
constexpr Clock::duration kCrowdGatherLimit = seconds(60);
constexpr Clock::duration kCrowdLinesLimit = seconds(30);

// Hostile peers against devhost's memory budget, at a size a 2-core machine running
// Wine takes: connections stalling with an unfinished maximal frame, guests that never
// read while long lines flow, connections sending 64 KiB of frames that carry
// nothing. devhost runs with a smaller budget than its default, so that the stallers
// pass it.
constexpr int kAttackBudgetMiB = 64;
constexpr int kAttackers = 200;
constexpr int kAttackWellBehaved = 3;
constexpr int kAttackNonReaders = 100;
constexpr int kAttackNonReaderBufferBytes = 4096;
constexpr int kAttackFlowLines = 50;
constexpr std::size_t kAttackFlowTextBytes = 100 * 1000;
constexpr std::size_t kAttackEmptyFramesBytes = 64 * 1024;
constexpr int kAttackSendMs = 10000;
constexpr Clock::duration kAttackGatherLimit = seconds(60);
// Long enough for devhost in real windows under Wine on a busy machine: the figure
// says how long it took.
constexpr Clock::duration kAttackLineLimit = seconds(30);
constexpr Clock::duration kAttackFlowLimit = seconds(60);
constexpr Clock::duration kAttackLeaveWait = seconds(2);
// How long raw attackers stay once the line got through, for devhost to read all they
// sent: under Wine it may still be taking them in.
constexpr Clock::duration kAttackHold = seconds(5);
// What devhost may grow by beside its budget, and what it may keep once an attack is
// over: the guest list, the transcript, the allocator's slack.
constexpr std::size_t kAttackSlackBytes = 64 * 1024 * 1024;
constexpr double kBytesPerMiB = 1024 * 1024;

constexpr double kLatencyTargetRatio = 2;
constexpr double kSustainedTargetRatio = 0.1;
// devhost in real windows under Wine, against the headless devhost.
constexpr double kWineLatencyTargetRatio = 20;
constexpr double kWineSustainedTargetRatio = 1.0 / 20;

// How often the progress line changes: on a terminal it is rewritten in place, in a
// log a line is added now and then.
constexpr Clock::duration kProgressOnTerminal = milliseconds(250);
constexpr Clock::duration kProgressInLog = seconds(5);
// The slices in which a long wait is cut so that the progress line moves.
constexpr Clock::duration kProgressSlice = milliseconds(250);

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double Millis(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// 1234567 as "1,234,567".
std::string Count(std::uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// A rate of copies, as "45,150 copies/s" or "2.31 million copies/s".
std::string PerSecond(double rate) {
    constexpr double kMillion = 1e6;
    return rate >= kMillion ? Format("%.2f million copies/s", rate / kMillion)
                            : Count(static_cast<std::uint64_t>(rate)) + " copies/s";
}

// The line on stderr that says how far a load has got while it runs; gone once the
// load has ended, so that only the figures stay on a terminal.
class Progress {
public:
    explicit Progress(std::string label)
        : label_(std::move(label)), terminal_(::isatty(STDERR_FILENO) == 1) {}
    ~Progress() {
        if (terminal_ && width_ > 0) std::fprintf(stderr, "\r%*s\r", width_, "");
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void show(const std::string& text) {
        const auto now = Clock::now();
        if (now < next_) return;
        next_ = now + (terminal_ ? kProgressOnTerminal : kProgressInLog);
        const std::string line = "  [" + label_ + "] " + text;
        if (terminal_) {
            const int pad = std::max(0, width_ - static_cast<int>(line.size()));
            std::fprintf(stderr, "\r%s%*s", line.c_str(), pad, "");
            width_ = std::max(width_, static_cast<int>(line.size()));
        } else {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
        std::fflush(stderr);
    }

private:
    std::string label_;
    bool terminal_;
    int width_ = 0;
    Clock::time_point next_{};
};

// Waits until done holds or the timeout passes, showing what copies arrived meanwhile.
bool WaitShowingCopies(GuestCrowd& crowd, const std::function<bool(const CrowdState&)>& done,
                       Clock::duration timeout, Progress& progress, std::uint64_t base,
                       std::uint64_t expected) {
    const auto start = Clock::now(), deadline = start + timeout;
    for (;;) {
        const auto now = Clock::now();
        if (now >= deadline) return false;
        if (crowd.waitUntil(done, std::min(kProgressSlice, deadline - now))) return true;
        const std::uint64_t copies =
            crowd.inspect([](const CrowdState& s) { return s.totalCopies(); }) - base;
        progress.show(Format("%.1f s, ", Seconds(Clock::now() - start)) + std::to_string(copies) +
                      " of " + std::to_string(expected) + " copies");
    }
}

// The p-th percentile (nearest rank) of values, which it sorts.
double Percentile(std::vector<double>& values, double p) {
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100 * values.size()));
    return values[std::min(values.size(), std::max<std::size_t>(rank, 1)) - 1];
}

void AddNote(Figures& f, const std::string& note) {
    if (note.empty()) return;
    if (!f.note.empty()) f.note += "; ";
    f.note += note;
}

std::uint64_t TotalCopies(const GuestCrowd& crowd) {
    return crowd.inspect([](const CrowdState& s) { return s.totalCopies(); });
}

// Notes guests that the relay dropped during the load.
void NoteDropped(const GuestCrowd& crowd, Figures& f) {
    const int dropped = crowd.inspect([](const CrowdState& s) { return s.closedByPeerCount(); });
    if (dropped > 0) AddNote(f, Count(dropped) + " guest(s) dropped by the relay");
}

// Connects count guests and sends probe lines until one reaches every guest that is
// connected; the most guests any probe reached.
int Gather(GuestCrowd& crowd, int count, Clock::duration limit, Figures& f, Progress& progress) {
    const auto deadline = Clock::now() + limit;
    crowd.connect(count);
    for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
        if (crowd.waitUntil(
                [&](const CrowdState& s) { return s.openCount() + s.failedCount() >= count; },
                std::min(kProgressSlice, deadline - now)))
            break;
        const int open = crowd.inspect([](const CrowdState& s) { return s.openCount(); });
        progress.show("connecting guests: " + std::to_string(open) + " of " +
                      std::to_string(count));
    }
    const LineId firstProbe = crowd.inspect([](const CrowdState& s) { return s.lineCount(); });
    LineId probes = 0;
    for (int sender = 0; Clock::now() < deadline; sender = (sender + 1) % count) {
        const int open = crowd.inspect([](const CrowdState& s) { return s.openCount(); });
        if (open == 0) break;
        const LineId probe = crowd.sendLines(sender, 1, kShortTextBytes);
        ++probes;
        progress.show(std::to_string(open) + " guests in, probe line " + std::to_string(probes) +
                      " sent to find them all served");
        const auto want = static_cast<std::uint32_t>(open);
        if (crowd.waitUntil([&](const CrowdState& s) { return s.copies(probe) >= want; },
                            std::min(kProbeWait, deadline - Clock::now())))
            break;
    }
    const auto [reached, failed] = crowd.inspect([&](const CrowdState& s) {
        std::uint32_t most = 0;
        for (LineId id = firstProbe; id < firstProbe + probes; ++id)
            most = std::max(most, s.copies(id));
        return std::pair{most, s.failedCount()};
    });
    if (failed > 0) AddNote(f, Count(failed) + " of " + Count(count) + " guests could not connect");
    if (static_cast<int>(reached) < count)
        AddNote(f, "within " + Format("%.0f s", Seconds(limit)) +
                       " no probe line reached more than " + Count(reached) + " of the " +
                       Count(count) + " guests");
    return static_cast<int>(reached);
}

Figures RunLatency(const RelayUnderLoad& relay) {
    Figures f;
    Progress progress(relay.label);
    GuestCrowd crowd(kRelayAddress, relay.port);
    const int in = Gather(crowd, kLatencyGuests, kLatencyGatherLimit, f, progress);
    std::vector<double> ms;
    for (int round = 0; round < kLatencyRounds && in > 0; ++round) {
        progress.show("line " + std::to_string(round + 1) + " of " +
                      std::to_string(kLatencyRounds));
        const LineId id = crowd.sendLines(round % kLatencyGuests, 1, kShortTextBytes);
        const auto want = static_cast<std::uint32_t>(in);
        if (crowd.waitUntil([&](const CrowdState& s) { return s.copies(id) >= want; },
                            kLatencyRoundLimit))
            ms.push_back(Millis(crowd.inspect([&](const CrowdState& s) { return s.latency(id); })));
    }
    if (static_cast<int>(ms.size()) < kLatencyRounds)
        AddNote(f, Count(kLatencyRounds - ms.size()) + " of " + Count(kLatencyRounds) +
                       " lines did not reach every guest within " +
                       Format("%.0f s", Seconds(kLatencyRoundLimit)));
    if (!ms.empty()) {
        const double p50 = Percentile(ms, 50), p90 = Percentile(ms, 90), p99 = Percentile(ms, 99);
        f.value = p50;
        f.shown =
            Format("p50 %.2f ms", p50) + Format(", p90 %.2f", p90) + Format(", p99 %.2f", p99);
        f.details = {{"p50", "ms", p50}, {"p90", "ms", p90}, {"p99", "ms", p99}};
    } else {
        f.shown = "no line reached every guest";
    }
    f.complete = in == kLatencyGuests && static_cast<int>(ms.size()) == kLatencyRounds;
    NoteDropped(crowd, f);
    return f;
}

Figures RunSustained(const RelayUnderLoad& relay) {
    Figures f;
    Progress progress(relay.label);
    GuestCrowd crowd(kRelayAddress, relay.port);
    const int in = Gather(crowd, kSustainedGuests, kSustainedGatherLimit, f, progress);
    if (in == 0) {
        f.shown = "no guest was served";
        return f;
    }
    const std::uint64_t base = TotalCopies(crowd);
    const std::uint64_t window = static_cast<std::uint64_t>(kLinesInFlightPerGuest) * in;
    const auto start = Clock::now();
    const auto measureFrom = start + kWarmUp, measureTo = measureFrom + kMeasured;
    std::uint64_t sent = 0, copiesFrom = 0, seen = base;
    Clock::time_point from{};
    bool measuring = false;
    for (auto now = start; now < measureTo; now = Clock::now()) {
        if (!measuring && now >= measureFrom) {
            measuring = true;
            from = now;
            copiesFrom = seen;
        }
        // Lines in flight, counting a line as landed once its share of copies is in.
        for (std::uint64_t inFlight = sent - (seen - base) / in; inFlight < window; ++inFlight)
            crowd.sendLines(static_cast<int>(sent++ % kSustainedGuests), 1, kShortTextBytes);
        crowd.waitUntil([&](const CrowdState& s) { return s.totalCopies() > seen; }, kRefillWait);
        seen = TotalCopies(crowd);
        progress.show(Format("%.1f s of ", Seconds(Clock::now() - start)) +
                      Format("%.1f s, ", Seconds(kWarmUp + kMeasured)) + Count(seen - base) +
                      " copies");
    }
    const double rate = static_cast<double>(seen - copiesFrom) / Seconds(Clock::now() - from);
    f.value = rate;
    f.shown = PerSecond(rate);
    f.details = {{"rate", "copies/s", rate}};
    f.complete = in == kSustainedGuests;
    NoteDropped(crowd, f);
    return f;
}

// What arrived of the copies that send() makes: how many, in how long, and whether
// all the expected ones came before the limit.
struct Delivery {
    std::uint64_t copies;
    double seconds;
    bool whole;
};

Delivery Deliver(GuestCrowd& crowd, std::uint64_t expected, Clock::duration limit,
                 Progress& progress, const std::function<void()>& send) {
    const std::uint64_t base = TotalCopies(crowd);
    const auto start = Clock::now();
    send();
    const bool whole = WaitShowingCopies(
        crowd, [&](const CrowdState& s) { return s.totalCopies() - base >= expected; }, limit,
        progress, base, expected);
    return Delivery{TotalCopies(crowd) - base, Seconds(Clock::now() - start), whole};
}

Figures RunBulk(const RelayUnderLoad& relay) {
    Figures f;
    Progress progress(relay.label);
    GuestCrowd crowd(kRelayAddress, relay.port);
    const int in = Gather(crowd, kBulkGuests, kBulkGatherLimit, f, progress);
    const std::uint64_t expected =
        static_cast<std::uint64_t>(kBulkGuests) * kBulkLinesPerGuest * kBulkGuests;
    const Delivery d = Deliver(crowd, expected, kBulkLimit, progress, [&] {
        for (int g = 0; g < kBulkGuests && in > 0; ++g)
            crowd.sendLines(g, kBulkLinesPerGuest, kBulkTextBytes);
    });
    f.value = static_cast<double>(d.copies) / d.seconds;
    f.shown = Count(d.copies) + " of " + Count(expected) + " copies, " + PerSecond(f.value) +
              (d.whole ? "" : Format(" (stopped at the limit of %.0f s)", Seconds(kBulkLimit)));
    f.details = {{"rate", "copies/s", f.value}, {"delivered", "copies", double(d.copies)}};
    f.complete = d.whole;
    NoteDropped(crowd, f);
    return f;
}

Figures RunIdleMemory(const RelayUnderLoad& relay) {
    Figures f;
    const std::size_t before = loadgen::ResidentBytes(relay.pid);
    Progress progress(relay.label);
    GuestCrowd crowd(kRelayAddress, relay.port);
    const int in = Gather(crowd, kIdleGuests, kIdleGatherLimit, f, progress);
    const std::size_t after = loadgen::ResidentBytes(relay.pid);
    if (in == 0 || before == 0 || after == 0) {
        f.shown = "not measured";
        return f;
    }
    const double grown = after > before ? static_cast<double>(after - before) : 0.0;
    f.value = grown / in / kBytesPerKB;
    f.shown = Format("%.1f KB", f.value);
    f.details = {{"per_guest", "KB", f.value}};
    f.complete = in == kIdleGuests;
    NoteDropped(crowd, f);
    return f;
}

Figures RunCrowd(const RelayUnderLoad& relay) {
    Figures f;
    Progress progress(relay.label);
    GuestCrowd crowd(kRelayAddress, relay.port);
    Gather(crowd, kCrowdGuests, kCrowdGatherLimit, f, progress);
    const std::uint64_t expected = static_cast<std::uint64_t>(kCrowdLines) * kCrowdGuests;
    const Delivery d = Deliver(crowd, expected, kCrowdLinesLimit, progress, [&] {
        for (int line = 0; line < kCrowdLines; ++line)
            crowd.sendLines(line * (kCrowdGuests / kCrowdLines), 1, kShortTextBytes);
    });
    f.value = static_cast<double>(d.copies);
    f.shown =
        Count(d.copies) + " of " + Count(expected) + " copies in " + Format("%.2f s", d.seconds);
    f.details = {{"delivered", "copies", f.value}, {"time", "s", d.seconds}};
    f.complete = d.whole;
    NoteDropped(crowd, f);
    return f;
}

// The most process pid has held resident since it started (VmHWM); 0 when unknown.
std::size_t PeakResidentBytes(long long pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        std::size_t kB = 0;
        if (key == "VmHWM:" && status >> kB) return kB * 1024;
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

// One attack of RunAttacks: what devhost kept once it was over, and how long the
// well-behaved guests' line took.
struct AttackOutcome {
    std::string name;
    double keptMiB = 0;
    double peakMiB = 0; // the most devhost had grown by since the load began, once it was over
    double lineMs = -1; // -1: the line did not reach every well-behaved guest
};

// A line from the first well-behaved guest; its latency to all of them in ms, or -1.
double LineThrough(GuestCrowd& crowd) {
    const LineId id = crowd.sendLines(0, 1, kShortTextBytes);
    if (!crowd.waitUntil([&](const CrowdState& s) { return s.copies(id) >= kAttackWellBehaved; },
                         kAttackLineLimit))
        return -1;
    return Millis(crowd.inspect([&](const CrowdState& s) { return s.latency(id); }));
}

// Raw connections that each send these bytes once (from a thread of their own, as
// devhost may hold them back), then the well-behaved guests' line.
double RawAttack(const RelayUnderLoad& relay, GuestCrowd& crowd, const std::string& bytes,
                 std::vector<testsupport::RawPeer>& peers, Progress& progress) {
    peers.resize(kAttackers);
    std::thread sending([&] {
        for (testsupport::RawPeer& peer : peers)
            if (peer.connect(kRelayAddress, relay.port)) peer.sendRaw(bytes, kAttackSendMs);
    });
    progress.show("attackers sending");
    sending.join();
    const double lineMs = LineThrough(crowd);
    std::this_thread::sleep_for(kAttackHold);
    return lineMs;
}

Figures RunAttacks(const RelayUnderLoad& relay) {
    Figures f;
    Progress progress(relay.label);
    GuestCrowd crowd(kRelayAddress, relay.port);
    const int in = Gather(crowd, kAttackWellBehaved, kAttackGatherLimit, f, progress);
    const std::size_t start = loadgen::ResidentBytes(relay.pid);
    std::vector<AttackOutcome> outcomes;
    const auto over = [&](AttackOutcome& o) {
        std::this_thread::sleep_for(kAttackLeaveWait); // devhost lets them go meanwhile
        const std::size_t now = loadgen::ResidentBytes(relay.pid);
        const std::size_t peak = PeakResidentBytes(relay.pid);
        o.keptMiB = now > start ? (now - start) / kBytesPerMiB : 0.0;
        o.peakMiB = peak > start ? (peak - start) / kBytesPerMiB : 0.0;
        outcomes.push_back(o);
    };
    if (in == kAttackWellBehaved && start > 0) {
        std::string unfinished =
            devhost::encodeFrame("text", std::string(devhost::kMaxTextBytes, 's'));
        unfinished.pop_back();
        std::vector<testsupport::RawPeer> peers;
        AttackOutcome stall{"unfinished frames"};
        stall.lineMs = RawAttack(relay, crowd, unfinished, peers, progress);
        peers.clear();
        over(stall);

        AttackOutcome flow{"non-readers"};
        loadgen::GuestOptions stuck;
        stuck.reading = false;
        stuck.receiveBufferBytes = kAttackNonReaderBufferBytes;
        crowd.connect(kAttackNonReaders, stuck);
        crowd.waitUntil(
            [](const CrowdState& s) {
                return s.openCount() + s.failedCount() >= kAttackWellBehaved + kAttackNonReaders;
            },
            kAttackGatherLimit);
        std::this_thread::sleep_for(kAttackLeaveWait); // devhost takes them in meanwhile
        const LineId first = crowd.sendLines(0, kAttackFlowLines, kAttackFlowTextBytes);
        progress.show("long lines past guests that never read");
        // Every well-behaved guest, the speaker too, gets every line.
        if (crowd.waitUntil(
                [&](const CrowdState& s) {
                    return s.copiesOf(first, kAttackFlowLines) >=
                           std::uint64_t{kAttackFlowLines} * kAttackWellBehaved;
                },
                kAttackFlowLimit))
            flow.lineMs = LineThrough(crowd);
        for (int g = kAttackWellBehaved; g < kAttackWellBehaved + kAttackNonReaders; ++g)
            crowd.close(g);
        over(flow);

        std::string empties;
        while (empties.size() < kAttackEmptyFramesBytes)
            devhost::encodeFrame("", "", empties);
        AttackOutcome empty{"empty frames"};
        empty.lineMs = RawAttack(relay, crowd, empties, peers, progress);
        peers.clear();
        over(empty);
    }
    const std::size_t peak = PeakResidentBytes(relay.pid);
    f.value = peak > start && start > 0 ? (peak - start) / kBytesPerMiB : 0;
    f.shown = Format("grew by %.0f MiB at most", f.value);
    f.details = {{"peak_growth", "MiB", f.value}};
    f.complete = outcomes.size() == 3;
    for (const AttackOutcome& o : outcomes) {
        f.shown += "; " + o.name + ": " +
                   (o.lineMs < 0 ? std::string("a line did not get through")
                                 : Format("a line in %.0f ms", o.lineMs)) +
                   Format(", peak %.0f MiB by then", o.peakMiB) +
                   Format(", %.0f MiB kept after", o.keptMiB);
        f.complete = f.complete && o.lineMs >= 0 && o.keptMiB * kBytesPerMiB <= kAttackSlackBytes;
        std::string key = o.name;
        std::replace(key.begin(), key.end(), ' ', '_');
        f.details.push_back({key + "_line", "ms", o.lineMs});
        f.details.push_back({key + "_kept", "MiB", o.keptMiB});
    }
    NoteDropped(crowd, f);
    return f;
}

// Whether devhost held the attacks within its budget: every line through, its peak
// within the budget and the slack, and back within the slack after each.
bool AttacksHeld(const Figures& f) {
    return f.complete &&
           f.value * kBytesPerMiB <= kAttackBudgetMiB * kBytesPerMiB + kAttackSlackBytes;
}

double Ratio(const Figures& plugin, const Figures& raw) {
    return raw.value > 0 ? plugin.value / raw.value : 0;
}

} // namespace

const std::vector<Load>& Loads() {
    static const std::vector<Load> loads = {
        {"latency", "one line to 100 guests, latency to the last guest (ratio of p50)",
         "within 2x of raw", &RunLatency,
         [](const Figures& p, const Figures& r) {
             return p.complete && r.value > 0 && Ratio(p, r) <= kLatencyTargetRatio;
         },
         "within 20x of headless",
         [](const Figures& w, const Figures& h) {
             return w.complete && h.value > 0 && Ratio(w, h) <= kWineLatencyTargetRatio;
         }},
        {"sustained", "sustained relay to 100 guests, copies per second", "at least 1/10 of raw",
         &RunSustained,
         [](const Figures& p, const Figures& r) { return Ratio(p, r) >= kSustainedTargetRatio; },
         "at least 1/20 of headless",
         [](const Figures& w, const Figures& h) {
             return Ratio(w, h) >= kWineSustainedTargetRatio;
         }},
        {"bulk", "20 guests, 20,000 lines of 1000 bytes", "every copy delivered", &RunBulk,
         [](const Figures& p, const Figures&) { return p.complete; }},
        {"idle", "memory per idle guest (500 guests)", "under 64 KB", &RunIdleMemory,
         [](const Figures& p, const Figures&) { return p.complete && p.value < kMemoryTargetKB; }},
        {"crowd", "2000 guests, 100 lines", "every line reaches every guest", &RunCrowd,
         [](const Figures& p, const Figures&) { return p.complete; }},
        {"attacks",
         "200 stallers, 100 non-readers, 200 empty-frame senders (devhost's budget 64 MiB)",
         "peak within budget + 64 MiB, lines through, memory back", &RunAttacks,
         [](const Figures& p, const Figures&) { return AttacksHeld(p); },
         "the same, in real windows",
         [](const Figures& w, const Figures&) { return AttacksHeld(w); }, kAttackBudgetMiB, true},
    };
    return loads;
}

} // namespace relaybench

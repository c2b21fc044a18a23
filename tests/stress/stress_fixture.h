// Hostile and heavy traffic against the chat plug-in, hosted in-process as in the chat
// tests (devhost's host API and socket plug-in, the module through its exports), with
// the load generator's guests on a thread of their own. A case's verdicts: every
// well-behaved guest receives every line, in order, none later than its bound; and
// once the guests are gone, host variables and this process's memory are back at
// their baseline (the transcript, which the chat keeps by design, aside).
//
// One socket event can keep the host busy for minutes, out of reach of any deadline
// check between events; so a watchdog ends a case that overstays its limit, says
// where it was, and fails it. CTest runs every case as a process of its own, so that
// such an end costs only that case.
#pragma once

#include "testkit/chat_fixture.h"
#include "testkit/loadgen/guest_crowd.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace stress {

using loadgen::Clock;
using loadgen::CrowdState;
using loadgen::GuestCrowd;
using loadgen::LineId;
using std::chrono::milliseconds;
using std::chrono::seconds;

// The longest a well-behaved guest's line may take to reach every guest.
constexpr Clock::duration kLineBound = seconds(1);
// How long the host may take to let a crowd in or out.
constexpr Clock::duration kAdmitLimit = seconds(10);
// What memory may have grown by once everything is gone, before the transcript: the
// allocator keeps some of what it was given back.
constexpr std::size_t kRssSlackBytes = 5 * 1024 * 1024;
// The transcript is held twice (the chat's string and the box's text), each with up
// to twice its length in capacity.
constexpr std::size_t kTranscriptCopies = 4;
// A short line, as a person types it.
constexpr std::size_t kShortTextBytes = 40;

// Ends the process with a failure when a case overstays its limit.
class Watchdog {
public:
    Watchdog(Clock::duration limit, std::function<std::string()> progress);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable disarmed_;
    bool done_ = false;
    std::thread thread_;
};

class StressFixture : public chat_test::ChatFixture {
protected:
    void TearDown() override;

    // Bounds the case: past the limit the watchdog ends it.
    void Limit(Clock::duration limit);
    // Names what the case is doing now, for the watchdog's message.
    void Phase(const std::string& phase);

    // Starts hosting, takes the baseline, and makes the crowd of guests for the host;
    // the port the host listens on.
    std::uint16_t HostWithCrowd();
    // Notes host variables, memory and transcript length as they are now.
    void TakeBaseline();
    // Makes a crowd with no relay to connect to, for sockets it adopts.
    void MakeCrowd(std::uint16_t port);
    GuestCrowd& Crowd() { return *crowd_; }

    // Connects count guests and pumps until the host has them all; the first's index.
    int Admit(int count, loadgen::GuestOptions options = {});
    // Pumps host events until done(crowd state) holds; false when the time passed.
    bool PumpUntilCrowd(const std::function<bool(const CrowdState&)>& done,
                        Clock::duration timeout);
    bool PumpUntilHost(const std::function<bool()>& done, Clock::duration timeout);

    // Every guest of the crowd receives exactly `lines` tagged lines, in order.
    void ExpectEveryGuestGot(std::uint64_t lines);
    // Closes every guest, pumps until the host has let them all go, and ends the crowd.
    void EndCrowd();
    // Host variables back at the baseline, memory within the allowance of it.
    void ExpectBackAtBaseline(std::size_t rssAllowance);
    // How far memory rose above the baseline at its highest since it was taken.
    std::size_t PeakGrowth() const;
    // The allowance for memory: the slack plus the transcript's growth, held as it is.
    std::size_t TranscriptAllowance() const;

private:
    std::string Progress();

    std::size_t baselineVariables_ = 0;
    std::size_t baselineRss_ = 0;
    std::size_t baselineTranscript_ = 0;
    std::mutex progressMutex_; // guards crowd_ and phase_ for the watchdog's thread
    std::unique_ptr<GuestCrowd> crowd_;
    std::string phase_ = "setting up";
    std::unique_ptr<Watchdog> watchdog_; // last: it reads the members above
};

} // namespace stress

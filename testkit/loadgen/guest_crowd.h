// A crowd of raw guests that speak the socket plug-in's framing over TCP, all driven
// by one thread of the crowd's own with poll(): they connect to a relay (a host with
// the chat plug-in, or the raw relay), send tagged lines and records, and note every
// copy of a tagged line they receive: which line, when, and whether it came in order.
// Benchmarks and stress tests talk to the crowd from their own thread, queue sends,
// and wait for what they expect with a deadline.
//
// The host of a chat relays a guest's line to every guest, the sender included, so a
// line to n guests is delivered when it has n copies. A line counts as sent once its
// last byte is in the kernel; its latency runs from then to its newest copy.
#pragma once

#include "testkit/loadgen/frame_scanner.h"
#include "testkit/loadgen/line_tag.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace loadgen {

using Clock = std::chrono::steady_clock;

struct GuestOptions {
    bool reading = true;        // false: a guest that never reads what it is sent
    int receiveBufferBytes = 0; // the socket's receive buffer; 0: the system's choice
};

// What the crowd knows, read under its lock (GuestCrowd::inspect and waitUntil).
class CrowdState {
public:
    int guestCount() const { return static_cast<int>(guests_.size()); }
    int openCount() const;   // connected and not closed
    int failedCount() const; // connects that failed
    int closedByPeerCount() const;
    std::uint64_t linesReceived(int guest) const { return guests_[guest]->linesReceived; }
    // Tagged lines that came before a line of the same sender sent earlier (or twice).
    std::uint64_t outOfOrder(int guest) const { return guests_[guest]->outOfOrder; }
    // Untagged records (a host's arrival and departure lines), and the newest one's text.
    std::uint64_t otherRecords(int guest) const { return guests_[guest]->otherRecords; }
    const std::string& lastOtherText(int guest) const { return guests_[guest]->lastOtherText; }

    LineId lineCount() const { return static_cast<LineId>(lines_.size()); }
    std::uint32_t copies(LineId id) const { return lines_[id].copies; }
    // From the line's last byte sent to its newest copy; zero while it has none.
    Clock::duration latency(LineId id) const;
    // Copies of every tagged line ever received.
    std::uint64_t totalCopies() const { return totalCopies_; }
    // Copies received of the lines [first, first + count).
    std::uint64_t copiesOf(LineId first, LineId count) const;

private:
    friend class GuestCrowd;
    struct Line {
        int sender = 0;
        std::uint32_t copies = 0;
        bool written = false;
        Clock::time_point writtenAt{};
        Clock::time_point lastCopyAt{};
    };
    struct Guest {
        int fd = -1;
        GuestOptions options;
        bool connecting = false;
        bool open = false;
        bool failed = false;
        bool closedByPeer = false;
        FrameScanner scanner;
        std::string out; // queued bytes, sent from outSent on
        std::size_t outSent = 0;
        std::uint64_t queuedTotal = 0; // bytes ever queued and ever written
        std::uint64_t writtenTotal = 0;
        std::deque<std::pair<std::uint64_t, LineId>> unwritten; // end offset of each line
        std::uint64_t linesReceived = 0;
        std::uint64_t outOfOrder = 0;
        std::uint64_t otherRecords = 0;
        std::string lastOtherText;
        std::unordered_map<int, LineId> nextFromSender; // lowest line id still in order
    };

    std::vector<Line> lines_;
    std::vector<std::unique_ptr<Guest>> guests_;
    std::uint64_t totalCopies_ = 0;
};

class GuestCrowd {
public:
    // Guests connect to address:port (a dotted IPv4 address).
    GuestCrowd(std::string address, std::uint16_t port);
    ~GuestCrowd(); // closes every guest and stops the crowd's thread
    GuestCrowd(const GuestCrowd&) = delete;
    GuestCrowd& operator=(const GuestCrowd&) = delete;

    // Starts count more guests connecting; the index of the first of them.
    int connect(int count, GuestOptions options = {});
    // Takes a connected socket (the crowd's side of a host it accepted) as a guest.
    int adopt(int fd);
    // Queues count tagged "text" lines of textBytes each on a guest; the first's id.
    LineId sendLines(int guest, int count, std::size_t textBytes);
    // Closes a guest's connection in order.
    void close(int guest);

    // Waits until done(state) holds, evaluated under the crowd's lock whenever the
    // crowd has handled something; false when the timeout passed first. Keep done cheap.
    bool waitUntil(const std::function<bool(const CrowdState&)>& done, Clock::duration timeout);
    // Runs f on the state under the crowd's lock and returns its result.
    template <class F> auto inspect(F&& f) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(static_cast<const CrowdState&>(state_));
    }

private:
    using Guest = CrowdState::Guest;

    void run();
    void wake();
    void pollOnce(std::unique_lock<std::mutex>& lock);
    void finishConnect(Guest& g);
    void receive(int index, Clock::time_point now);
    void onFrame(Guest& g, const FrameView& frame, Clock::time_point now);
    void writeQueued(Guest& g, Clock::time_point now);
    // The relay ended the guest's connection (closed, reset, or sent a malformed frame).
    void end(Guest& g);
    void queueLine(Guest& g, LineId id, std::size_t textBytes);

    std::string address_;
    std::uint16_t port_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    CrowdState state_;
    std::vector<char> readBuffer_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    bool stopping_ = false;
    std::thread thread_; // last: it starts once everything else is made
};

} // namespace loadgen

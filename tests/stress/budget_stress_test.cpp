// The hosting plug-in against peers that make the host hold memory for them: hundreds
// of connections that stall with an unfinished maximal frame, a hundred guests that
// never read while long lines flow, and a thousand that send frames carrying nothing. devhost's
// sockets keep everything they hold for all connections within their memory budget (its default,
// and large buffers kept apart, as devhost runs), the host grows by little more than that, and the
// well-behaved guests get every line in order.
#include "tests/stress/stress_fixture.h"

#include "devhost/nxtcpsock/frame_codec.h"
#include "devhost/nxtcpsock/tcp_socket_set.h"
#include "testkit/loadgen/process_memory.h"

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace stress {
namespace {

constexpr std::size_t kMiB = 1024 * 1024;
constexpr std::size_t kBudget = devhost::kDefaultMemoryBudgetBytes;
// The most the host may grow by under either attack: the budget, and what the host
// holds beside its connections (the guest list, the transcript, the allocator's slack).
constexpr std::size_t kPeakGrowthLimit = 300 * kMiB;
constexpr int kWellBehaved = 3;

constexpr int kStallers = 500;
// A stalling connection's unfinished frame: a maximal text, all but its last byte.
constexpr std::size_t kStallFrameBytes = 4 + devhost::kMaxTextBytes; // label "text" and text
constexpr int kStallSendMs = 10000;
constexpr Clock::duration kStallersIn = seconds(30);

constexpr int kNonReaders = 100;
constexpr int kNonReaderReceiveBytes = 4096;
constexpr int kFlowLines = 200;
constexpr int kFlowBatch = 10;
constexpr std::size_t kFlowTextBytes = 100 * 1000;
constexpr Clock::duration kBatchThrough = seconds(5);

constexpr int kEmptyFramers = 1000;
constexpr std::size_t kEmptyFramesBytes = 64 * 1024; // one write of 8,192 empty frames
constexpr Clock::duration kEmptyFramesIn = seconds(60);
// Where memory must be once such a crowd has left, before anything but the host's own
// doing gives it back.
constexpr std::size_t kAfterCrowdGrowthLimit = 64 * kMiB;

// The host here allocates as devhost does.
class StressBudget : public StressFixture {
protected:
    void SetUp() override {
        devhost::KeepLargeBuffersApart();
        StressFixture::SetUp();
    }
};

int Millis(Clock::duration d) {
    return static_cast<int>(std::chrono::duration_cast<milliseconds>(d).count());
}

int GuestsOnHost() {
    return ChatState().m_GuestSocks.GetSize();
}

TEST_F(StressBudget, StallingConnectionsAreHeldWithinTheBudget) {
    Limit(seconds(120));
    const std::uint16_t port = HostWithCrowd();
    const int speaker = Admit(kWellBehaved);

    Phase("500 connections stalling with an unfinished frame of 1 MiB each");
    std::string unfinished = devhost::encodeFrame("text", std::string(devhost::kMaxTextBytes, 's'));
    unfinished.pop_back();
    std::vector<testsupport::RawPeer> stallers(kStallers);
    std::atomic<int> stalled{0};
    std::thread stalling([&] {
        for (testsupport::RawPeer& peer : stallers) {
            // A staller the host closes for the budget fails its send: that is the point.
            if (peer.connect("127.0.0.1", port)) peer.sendRaw(unfinished, kStallSendMs);
            ++stalled;
        }
    });
    const bool allSent = PumpUntilHost([&] { return stalled == kStallers; }, kStallersIn);
    stalling.join();
    ASSERT_TRUE(allSent) << stalled << " of " << kStallers << " stallers were through in time";
    // Every staller still on the host has its frame under way there.
    ASSERT_TRUE(PumpUntilHost(
        [&] { return sockets.heldBytes() >= (GuestsOnHost() - kWellBehaved) * kStallFrameBytes; },
        kAdmitLimit));

    Phase("a well-behaved guest speaking among the stallers");
    const LineId line = Crowd().sendLines(speaker, 1, kShortTextBytes);
    EXPECT_TRUE(PumpUntilCrowd([&](const CrowdState& s) { return s.copies(line) >= kWellBehaved; },
                               kLineBound))
        << "a guest's line waited longer than 1 s among stalling connections";
    const int stillStalling = GuestsOnHost() - kWellBehaved;
    std::printf("stalling connections: %d of %d still held, %zu MiB held at most (budget %zu "
                "MiB), the host grew by %zu MiB at its peak, a line relayed in %d ms\n",
                stillStalling, kStallers, sockets.peakHeldBytes() / kMiB, kBudget / kMiB,
                PeakGrowth() / kMiB,
                Millis(Crowd().inspect([&](const CrowdState& s) { return s.latency(line); })));
    EXPECT_LE(sockets.peakHeldBytes(), kBudget);
    EXPECT_LE(stillStalling * kStallFrameBytes, kBudget);
    EXPECT_GE(stillStalling * kStallFrameBytes, kBudget / 2)
        << "the budget should be spent on stallers, not left unused";
    EXPECT_LE(PeakGrowth(), kPeakGrowthLimit);
    ExpectEveryGuestGot(1);

    stallers.clear();
    EndCrowd();
    ExpectBackAtBaseline(TranscriptAllowance());
}

TEST_F(StressBudget, GuestsThatNeverReadAreHeldWithinTheBudget) {
    Limit(seconds(120));
    HostWithCrowd();
    const int speaker = Admit(kWellBehaved);
    loadgen::GuestOptions stuck;
    stuck.reading = false;
    stuck.receiveBufferBytes = kNonReaderReceiveBytes;
    Admit(kNonReaders, stuck);

    Phase("200 lines of 100 kB while 100 guests never read");
    for (int sent = 0; sent < kFlowLines; sent += kFlowBatch) {
        Crowd().sendLines(speaker, kFlowBatch, kFlowTextBytes);
        const std::uint64_t through = static_cast<std::uint64_t>(sent + kFlowBatch);
        if (!PumpUntilCrowd(
                [&](const CrowdState& s) {
                    for (int g = speaker; g < speaker + kWellBehaved; ++g)
                        if (s.linesReceived(g) < through) return false;
                    return true;
                },
                kBatchThrough)) {
            ADD_FAILURE() << "lines " << sent << " to " << through - 1
                          << " did not reach the guests that read within 5 s";
            break;
        }
    }
    EXPECT_TRUE(PumpUntilHost([] { return GuestsOnHost() == kWellBehaved; }, kLineBound))
        << GuestsOnHost() - kWellBehaved << " guests that never read are still on the host";
    std::printf("guests that never read: %zu MiB held at most (budget %zu MiB), the host grew "
                "by %zu MiB at its peak\n",
                sockets.peakHeldBytes() / kMiB, kBudget / kMiB, PeakGrowth() / kMiB);
    EXPECT_LE(sockets.peakHeldBytes(), kBudget);
    EXPECT_LE(PeakGrowth(), kPeakGrowthLimit);
    Crowd().inspect([&](const CrowdState& s) {
        for (int g = speaker; g < speaker + kWellBehaved; ++g) {
            EXPECT_EQ(s.linesReceived(g), std::uint64_t{kFlowLines}) << "guest " << g;
            EXPECT_EQ(s.outOfOrder(g), 0u) << "guest " << g;
        }
        return 0;
    });
    EndCrowd();
    ExpectBackAtBaseline(TranscriptAllowance());
}

TEST_F(StressBudget, ACrowdSendingEmptyFramesIsHeldAtWhatItsRecordsCost) {
    Limit(seconds(150));
    const std::uint16_t port = HostWithCrowd();
    const int speaker = Admit(kWellBehaved);
    const std::size_t residentBefore = loadgen::ResidentBytes();

    Phase("1,000 connections sending 64 KiB of empty frames each");
    std::string empties;
    while (empties.size() < kEmptyFramesBytes)
        devhost::encodeFrame("", "", empties);
    std::vector<testsupport::RawPeer> framers(kEmptyFramers);
    std::atomic<int> sent{0};
    std::thread sending([&] {
        for (testsupport::RawPeer& peer : framers) {
            if (peer.connect("127.0.0.1", port)) peer.sendRaw(empties, kStallSendMs);
            ++sent;
        }
    });
    const bool allSent = PumpUntilHost([&] { return sent == kEmptyFramers; }, kEmptyFramesIn);
    sending.join();
    ASSERT_TRUE(allSent) << sent << " of " << kEmptyFramers << " senders were through in time";

    Phase("a well-behaved guest speaking in the crowd");
    const LineId line = Crowd().sendLines(speaker, 1, kShortTextBytes);
    EXPECT_TRUE(PumpUntilCrowd([&](const CrowdState& s) { return s.copies(line) >= kWellBehaved; },
                               kLineBound))
        << "a guest's line waited longer than 1 s among the empty frames";
    const int lineMs =
        Millis(Crowd().inspect([&](const CrowdState& s) { return s.latency(line); }));

    Phase("the crowd leaves");
    framers.clear();
    EXPECT_TRUE(PumpUntilHost([] { return GuestsOnHost() == kWellBehaved; }, kAdmitLimit))
        << GuestsOnHost() - kWellBehaved << " of the crowd are still on the host";
    const std::size_t residentAfter = loadgen::ResidentBytes();
    const std::size_t grownAfter =
        residentAfter > residentBefore ? residentAfter - residentBefore : 0;
    std::printf("empty frames: %zu MiB held at most (budget %zu MiB), the host grew by %zu MiB "
                "at its peak and %zu MiB once the crowd left, a line relayed in %d ms\n",
                sockets.peakHeldBytes() / kMiB, kBudget / kMiB, PeakGrowth() / kMiB,
                grownAfter / kMiB, lineMs);
    EXPECT_LE(sockets.peakHeldBytes(), kBudget);
    EXPECT_LE(PeakGrowth(), kPeakGrowthLimit);
    EXPECT_LE(grownAfter, kAfterCrowdGrowthLimit) << "the host kept what the crowd made it hold";
    ExpectEveryGuestGot(1);
    EndCrowd();
    ExpectBackAtBaseline(TranscriptAllowance());
}

} // namespace
} // namespace stress

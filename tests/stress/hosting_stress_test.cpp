// The hosting plug-in under hostile and heavy traffic from raw guests: a burst of
// small frames, a guest that never reads, a thousand connect cycles, two hundred
// guests at once, texts of a megabyte to fifty guests, and hundreds of such texts
// from one guest, which the host's transcript must not keep.
#include "tests/stress/stress_fixture.h"

#include "devhost/nxtcpsock/frame_codec.h"
#include "module/chat/ChatDlg.h"

namespace stress {
namespace {

constexpr int kBurstFrames = 58000;
constexpr Clock::duration kBurstThrough = seconds(5);

constexpr int kTalkers = 3;
constexpr int kTalkLines = 300;
constexpr std::size_t kTalkTextBytes = 64 * 1024;
// The never-reading guest's receive buffer: small, so that it fills soon.
constexpr int kStuckReceiveBytes = 4096;

constexpr int kConnectCycles = 1000;
// Arrival line and guest count, departure line and guest count.
constexpr std::uint64_t kAnnouncementsPerCycle = 4;
constexpr std::uint64_t kAnnouncementsPerArrival = 2;

constexpr int kCrowdGuests = 200;

constexpr int kLargeGuests = 50;
constexpr int kLargeTexts = 20;
// The largest text whose relayed line ("Guest 127.0.0.1:40000 says: \"...\"") still
// fits a frame.
constexpr std::size_t kRelayedLineRoom = 256;
constexpr std::size_t kLargeTextBytes = devhost::kMaxTextBytes - kRelayedLineRoom;

constexpr int kLongSessionTexts = 400;
// What the host may keep after hundreds of texts of a megabyte: the transcript's 4 MiB
// twice (member and box), and room for the allocator.
constexpr std::size_t kLongSessionAllowance = 64 * 1024 * 1024;

using StressHosting = StressFixture;

TEST_F(StressHosting, BurstOfSmallFramesLeavesTheOthersTalking) {
    Limit(seconds(30));
    HostWithCrowd();
    const int burster = Admit(3), talker = burster + 1;
    const std::uint32_t everyone = 3;

    Phase("relaying a burst of 58,000 small frames");
    const auto burstStart = Clock::now();
    const LineId burst = Crowd().sendLines(burster, kBurstFrames, loadgen::kLineTagBytes);
    ASSERT_TRUE(
        PumpUntilCrowd([&](const CrowdState& s) { return s.copies(burst) > 0; }, kBurstThrough))
        << "no frame of the burst was relayed within 5 s";
    // The other guest speaks while the host is busy with the burst.
    const LineId talk = Crowd().sendLines(talker, 1, kShortTextBytes);
    EXPECT_TRUE(
        PumpUntilCrowd([&](const CrowdState& s) { return s.copies(talk) >= everyone; }, kLineBound))
        << "a guest's line waited longer than 1 s behind another guest's burst";
    const std::uint64_t all = std::uint64_t{everyone} * kBurstFrames;
    EXPECT_TRUE(
        PumpUntilCrowd([&](const CrowdState& s) { return s.totalCopies() - s.copies(talk) >= all; },
                       kBurstThrough - (Clock::now() - burstStart)))
        << "the burst was not through within 5 s: "
        << Crowd().inspect([&](const CrowdState& s) { return s.copiesOf(burst, kBurstFrames); })
        << " of " << all << " copies";
    ExpectEveryGuestGot(kBurstFrames + 1);
    EndCrowd();
    ExpectBackAtBaseline(TranscriptAllowance());
}

TEST_F(StressHosting, NeverReadingGuestIsDroppedAndTheOthersKeepTheirPace) {
    Limit(seconds(90));
    HostWithCrowd();
    loadgen::GuestOptions stuck;
    stuck.reading = false;
    stuck.receiveBufferBytes = kStuckReceiveBytes;
    Admit(1, stuck);
    const int firstTalker = Admit(kTalkers);

    Phase("talking while one guest never reads");
    int late = 0;
    for (int line = 0; line < kTalkLines; ++line) {
        const LineId id = Crowd().sendLines(firstTalker + line % kTalkers, 1, kTalkTextBytes);
        if (!PumpUntilCrowd([&](const CrowdState& s) { return s.copies(id) >= kTalkers; },
                            kLineBound))
            ++late;
    }
    EXPECT_EQ(late, 0) << "lines that took longer than 1 s to reach the guests that read";
    EXPECT_TRUE(
        PumpUntilHost([] { return ChatState().m_GuestSocks.GetSize() == kTalkers; }, kLineBound))
        << "the guest that never reads was not dropped";
    EXPECT_TRUE(PumpUntilCrowd(
        [&](const CrowdState& s) {
            for (int g = firstTalker; g < firstTalker + kTalkers; ++g)
                if (s.linesReceived(g) < kTalkLines) return false;
            return true;
        },
        kLineBound));
    Crowd().inspect([&](const CrowdState& s) {
        for (int g = firstTalker; g < firstTalker + kTalkers; ++g) {
            EXPECT_EQ(s.linesReceived(g), std::uint64_t{kTalkLines}) << "guest " << g;
            EXPECT_EQ(s.outOfOrder(g), 0u) << "guest " << g;
        }
        return 0;
    });
    EndCrowd();
    ExpectBackAtBaseline(TranscriptAllowance());
}

TEST_F(StressHosting, ThousandConnectCyclesLeaveNoTrace) {
    Limit(seconds(120));
    HostWithCrowd();
    const int watcher = Admit(1);

    Phase("connecting and leaving a thousand times");
    for (int cycle = 0; cycle < kConnectCycles; ++cycle) {
        const int guest = Crowd().connect(1);
        if (!PumpUntilHost([] { return ChatState().m_GuestSocks.GetSize() == 2; }, kLineBound)) {
            ADD_FAILURE() << "the host did not take in the guest of cycle " << cycle
                          << " within 1 s";
            break;
        }
        Crowd().close(guest);
        if (!PumpUntilHost([] { return ChatState().m_GuestSocks.GetSize() == 1; }, kLineBound)) {
            ADD_FAILURE() << "the host did not let the guest of cycle " << cycle
                          << " go within 1 s";
            break;
        }
    }
    // The watcher saw its own arrival, then every other guest come and go.
    const std::uint64_t announced =
        kAnnouncementsPerArrival + kAnnouncementsPerCycle * kConnectCycles;
    EXPECT_TRUE(PumpUntilCrowd(
        [&](const CrowdState& s) { return s.otherRecords(watcher) >= announced; }, kLineBound));
    EXPECT_EQ(Crowd().inspect([&](const CrowdState& s) { return s.otherRecords(watcher); }),
              announced);
    EndCrowd();
    ExpectBackAtBaseline(kRssSlackBytes);
}

TEST_F(StressHosting, TwoHundredGuestsAtOnceAllHearEveryone) {
    Limit(seconds(60));
    HostWithCrowd();
    Admit(kCrowdGuests);

    Phase("relaying one line of each of 200 guests");
    LineId first = 0;
    for (int g = 0; g < kCrowdGuests; ++g) {
        const LineId id = Crowd().sendLines(g, 1, kShortTextBytes);
        if (g == 0) first = id;
    }
    const std::uint64_t all = std::uint64_t{kCrowdGuests} * kCrowdGuests;
    EXPECT_TRUE(PumpUntilCrowd(
        [&](const CrowdState& s) { return s.copiesOf(first, kCrowdGuests) >= all; }, kLineBound))
        << "not every guest had every line within 1 s: "
        << Crowd().inspect([&](const CrowdState& s) { return s.copiesOf(first, kCrowdGuests); })
        << " of " << all << " copies";
    ExpectEveryGuestGot(kCrowdGuests);
    // Each arrival was announced (two lines) to every guest already in, itself included.
    Crowd().inspect([&](const CrowdState& s) {
        std::uint64_t announcements = 0;
        for (int g = 0; g < kCrowdGuests; ++g)
            announcements += s.otherRecords(g);
        EXPECT_EQ(announcements, kAnnouncementsPerArrival * kCrowdGuests * (kCrowdGuests + 1) / 2);
        return 0;
    });
    EndCrowd();
    ExpectBackAtBaseline(TranscriptAllowance());
}

TEST_F(StressHosting, TwentyMegabyteTextsReachFiftyGuests) {
    Limit(seconds(90));
    HostWithCrowd();
    Admit(kLargeGuests);

    Phase("relaying twenty texts of a megabyte");
    for (int text = 0; text < kLargeTexts; ++text) {
        const LineId id = Crowd().sendLines(text, 1, kLargeTextBytes);
        EXPECT_TRUE(PumpUntilCrowd(
            [&](const CrowdState& s) { return s.copies(id) >= std::uint32_t{kLargeGuests}; },
            kLineBound))
            << "text " << text << " did not reach all " << kLargeGuests << " guests within 1 s";
    }
    ExpectEveryGuestGot(kLargeTexts);
    EndCrowd();
    ExpectBackAtBaseline(TranscriptAllowance());
}

TEST_F(StressHosting, HundredsOfMegabyteTextsLeaveTheHostItsMemory) {
    Limit(seconds(180));
    HostWithCrowd();
    Admit(1);

    Phase("relaying hundreds of texts of a megabyte");
    for (int text = 0; text < kLongSessionTexts; ++text) {
        const LineId id = Crowd().sendLines(0, 1, kLargeTextBytes);
        ASSERT_TRUE(
            PumpUntilCrowd([&](const CrowdState& s) { return s.copies(id) >= 1u; }, kLineBound))
            << "text " << text << " did not come back within 1 s";
    }
    ExpectEveryGuestGot(kLongSessionTexts);
    EndCrowd();
    ExpectBackAtBaseline(kLongSessionAllowance);
}

} // namespace
} // namespace stress

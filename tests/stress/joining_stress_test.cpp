// The plug-in as a guest, flooded by its host: a raw host that sends sixty thousand
// lines at once while the guest's user keeps typing. The transcript keeps the last of
// them, within its limits.
#include "tests/stress/stress_fixture.h"

#include "module/chat/ChatDlg.h"
#include "module/chat/TranscriptEntries.h"
#include "testkit/raw_socket.h"

#include <algorithm>

namespace stress {
namespace {

constexpr int kFloodFrames = 60000;
constexpr Clock::duration kFloodThrough = seconds(5);
const std::string kEntryEnd = "\r\n\r\n";

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

using StressJoining = StressFixture;

TEST_F(StressJoining, GuestFloodedByItsHostShowsEveryLineAndStillSends) {
    Limit(seconds(30));
    std::uint16_t port = 0;
    const testsupport::RawSocket listener = testsupport::rawListen(0, port);
    ASSERT_NE(listener, testsupport::kNoRawSocket);
    JoinHost(port, "");
    const testsupport::RawSocket hostSide = testsupport::rawAccept(listener, chat_test::kWaitMs);
    testsupport::rawClose(listener);
    ASSERT_NE(hostSide, testsupport::kNoRawSocket);
    TakeBaseline();
    const std::size_t before = ChatState().m_strTranscript.size();
    MakeCrowd(0);
    const int raw = Crowd().adopt(static_cast<int>(hostSide));

    Phase("showing a flood of 60,000 lines from the host");
    const auto floodStart = Clock::now();
    const LineId first = Crowd().sendLines(raw, kFloodFrames, loadgen::kLineTagBytes);
    ASSERT_TRUE(
        PumpUntilHost([&] { return ChatState().m_strTranscript.size() > before; }, kFloodThrough))
        << "no line of the flood was shown within 5 s";
    // The user sends a line while the flood is being shown.
    const std::string typed = "still here";
    TypeMessage(typed);
    ASSERT_TRUE(ClickSend());
    EXPECT_TRUE(
        PumpUntilCrowd([&](const CrowdState& s) { return s.otherRecords(raw) >= 1; }, kLineBound))
        << "the user's line waited longer than 1 s behind the host's flood";
    EXPECT_EQ(Crowd().inspect([&](const CrowdState& s) { return s.lastOtherText(raw); }), typed);

    const std::string lastEntry =
        loadgen::LineText(first + kFloodFrames - 1, loadgen::kLineTagBytes) + kEntryEnd;
    EXPECT_TRUE(PumpUntilHost([&] { return EndsWith(ChatState().m_strTranscript, lastEntry); },
                              kFloodThrough - (Clock::now() - floodStart)))
        << "the flood was not shown within 5 s";
    // The transcript keeps its last entries only: the flood's, whole, each once, in order.
    std::string expected;
    for (LineId id = first; id < first + kFloodFrames; ++id)
        expected += loadgen::LineText(id, loadgen::kLineTagBytes) + kEntryEnd;
    const std::string& transcript = ChatState().m_strTranscript;
    const std::size_t cut = expected.size() - std::min(expected.size(), transcript.size());
    EXPECT_TRUE(
        EndsWith(expected, transcript) &&
        (cut == 0 || expected.compare(cut - kEntryEnd.size(), kEntryEnd.size(), kEntryEnd) == 0))
        << "the transcript does not end with the flood's last entries, whole and in order";
    EXPECT_GE(transcript.size(),
              expected.size() / kFloodFrames * TranscriptEntries::kMaxEntries * 3 / 4)
        << "the transcript kept fewer entries than three quarters of its limit";

    Phase("the host leaving");
    Crowd().close(raw);
    EXPECT_TRUE(PumpUntilHost(
        [] { return EndsWith(ChatState().m_strTranscript, "Host has disconnected" + kEntryEnd); },
        kLineBound));
    EndCrowd();
    ExpectBackAtBaseline(TranscriptAllowance());
}

} // namespace
} // namespace stress

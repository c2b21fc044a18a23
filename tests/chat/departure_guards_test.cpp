// A host's handling of a departure carries on past exceptions: each guarded part
// that throws is reported in its own words and the rest goes on. The exceptions come
// from the report sink, thrown once at the report that names the failing step.
#include "testkit/chat_fixture.h"

#include <stdexcept>

namespace chat_test {
namespace {

using testsupport::RawPeer;

// One guarded step of a departure, made to throw: a socket plug-in function fails
// once, and the report of that failure throws.
struct ThrowingStep {
    const char* name;       // the case's name
    const char* failingRun; // the socket plug-in function that fails
    const char* thrownAt;   // the report that throws
    const char* reportedAs; // what the departure then reports
    bool namesTheGuest;     // else the departure line is empty and not sent
    bool updatesGuests;     // the departure line and the new count are sent
};

class DepartureGuardsTest : public ChatFixture, public ::testing::WithParamInterface<ThrowingStep> {
protected:
    void SetUp() override {
        ChatFixture::SetUp();
        port = StartHosting("Hosty");
        leaving = ConnectGuest(port);
        staying = ConnectGuest(port);
        for (RawPeer* guest : {&leaving, &staying})
            ASSERT_TRUE(ReceiveUntil(*guest, TextRecord("2 guest(s) are currently on-line")));
        leavingAddr = "127.0.0.1:" + std::to_string(GuestPort(0));
        before = Transcript();
        host.clearReports();
    }
    // The first report with exactly this text throws.
    void ThrowAt(const std::string& text) {
        host.setReportSink([text, thrown = false](const std::string& report) mutable {
            if (thrown || report != text) return;
            thrown = true;
            throw std::runtime_error("thrown while reporting");
        });
    }
    void Leave() {
        leaving.close();
        ASSERT_TRUE(PumpUntil([&] { return ChatState().m_GuestSocks.GetSize() == 1; }));
    }
    bool Reported(const std::string& text) const {
        for (const std::string& report : Reports())
            if (report == text) return true;
        return false;
    }

    std::uint16_t port = 0;
    RawPeer leaving, staying;
    std::string leavingAddr;
    std::string before;
};

TEST_P(DepartureGuardsTest, TheStepIsReportedAndTheRestGoesOn) {
    const ThrowingStep& step = GetParam();
    host.bench().failRunFrom(step.failingRun, 1);
    ThrowAt(step.thrownAt);
    Leave();
    host.bench().failRunFrom(step.failingRun, 0);
    EXPECT_TRUE(Reported(step.reportedAs));

    const std::string departed =
        step.namesTheGuest ? "Guest " + leavingAddr + " has disconnected" : "";
    const std::string count = "1 guest(s) are currently on-line";
    std::string appended = departed + "\r\n\r\n";
    if (step.updatesGuests) {
        appended += count + "\r\n\r\n";
        if (step.namesTheGuest) {
            EXPECT_EQ(Receive(staying), TextRecord(departed));
        }
        EXPECT_EQ(Receive(staying), TextRecord(count));
    }
    EXPECT_EQ(Transcript(), before + appended);
    // The window is still refreshed and its state shown.
    EXPECT_EQ(ShownTranscript(), Transcript());
    EXPECT_EQ(ConnectCaption(), "Listening");
    EXPECT_TRUE(NextIsMarker(staying, "Hosty")) << "something more was sent";
}

INSTANTIATE_TEST_SUITE_P(
    Steps, DepartureGuardsTest,
    ::testing::Values(
        ThrowingStep{"PeerInfoLeavesAnEmptyEntry", "nxTcpSock.GetPeerAddr",
                     "CqTcpSock::GetPeerInfo error:\r\n - cannot get peer address",
                     "CChatDlg::OnClose exception:\r\n - cannot get peer info", false, true},
        ThrowingStep{"DeletionStillSendsTheCount", "nxTcpSock.delete",
                     "CqTcpSock::Delete error:\r\n - nxTcpSock.delete function failed",
                     "CChatDlg::OnClose exception:\r\n - cannot remove/delete peer info", true,
                     true},
        ThrowingStep{"UpdateSkipsOnlyTheRestOfTheUpdate", "nxTcpSock.SendMsgA",
                     "CqTcpSock::SendMsgA error:\r\n - nxTcpSock.SendMsgA function failed",
                     "CChatDlg::OnClose exception:\r\n - cannot update clients", true, false}),
    [](const ::testing::TestParamInfo<ThrowingStep>& info) { return info.param.name; });

} // namespace
} // namespace chat_test

// A host's handling of a departure carries on past exceptions: each guarded part
// that throws is reported in its own words and the rest goes on. The exceptions come
// from the report sink, thrown once at the report that names the failing step.
#include "tests/chat/chat_fixture.h"

#include <stdexcept>

namespace chat_test {
namespace {

using testsupport::RawPeer;

class DepartureGuardsTest : public ChatFixture {
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

TEST_F(DepartureGuardsTest, PeerInfoThatThrowsLeavesAnEmptyEntry) {
    host.bench().failRunFrom("nxTcpSock.GetPeerAddr", 1);
    ThrowAt("CqTcpSock::GetPeerInfo error:\r\n - cannot get peer address");
    Leave();
    EXPECT_TRUE(Reported("CChatDlg::OnClose exception:\r\n - cannot get peer info"));
    EXPECT_EQ(Transcript(), before + "\r\n\r\n" + "1 guest(s) are currently on-line\r\n\r\n");
    // The empty departure line is not sent; the count is.
    EXPECT_EQ(Receive(staying), TextRecord("1 guest(s) are currently on-line"));
    EXPECT_EQ(ConnectCaption(), "Listening");
    EXPECT_TRUE(NextIsMarker(staying, "Hosty"));
}

TEST_F(DepartureGuardsTest, DeletionThatThrowsStillSendsTheCount) {
    host.bench().failRunFrom("nxTcpSock.delete", 1);
    ThrowAt("CqTcpSock::Delete error:\r\n - nxTcpSock.delete function failed");
    Leave();
    host.bench().failRunFrom("nxTcpSock.delete", 0);
    EXPECT_TRUE(Reported("CChatDlg::OnClose exception:\r\n - cannot remove/delete peer info"));
    const std::string departed = "Guest " + leavingAddr + " has disconnected";
    EXPECT_EQ(Receive(staying), TextRecord(departed));
    EXPECT_EQ(Receive(staying), TextRecord("1 guest(s) are currently on-line"));
    EXPECT_EQ(Transcript(),
              before + departed + "\r\n\r\n" + "1 guest(s) are currently on-line\r\n\r\n");
}

TEST_F(DepartureGuardsTest, UpdateThatThrowsSkipsOnlyTheRestOfTheUpdate) {
    host.bench().failRunFrom("nxTcpSock.SendMsgA", 1);
    ThrowAt("CqTcpSock::SendMsgA error:\r\n - nxTcpSock.SendMsgA function failed");
    Leave();
    host.bench().failRunFrom("nxTcpSock.SendMsgA", 0);
    EXPECT_TRUE(Reported("CChatDlg::OnClose exception:\r\n - cannot update clients"));
    const std::string departed = "Guest " + leavingAddr + " has disconnected";
    EXPECT_EQ(Transcript(), before + departed + "\r\n\r\n");
    // The window is still refreshed and its state shown.
    EXPECT_EQ(ShownTranscript(), Transcript());
    EXPECT_EQ(ConnectCaption(), "Listening");
    EXPECT_TRUE(NextIsMarker(staying, "Hosty")) << "the departure was sent after all";
}

} // namespace
} // namespace chat_test

// Joining as a guest: the module connects to a raw host, announces its nickname,
// sends what its user types and shows what the host sends; a failed connect names
// its Winsock error.
#include "testkit/chat_fixture.h"

#include "dialogkit/testing/testing.h"
#include "module/ui/resource.h"

namespace chat_test {
namespace {

using testsupport::RawListener;
using testsupport::RawPeer;

class JoiningTest : public ChatFixture {
protected:
    void SetUp() override {
        ChatFixture::SetUp();
        ASSERT_TRUE(rawHost.listen(0));
    }
    // Joins the raw host and takes the module's connection on its side.
    RawPeer Join(const std::string& nickname) {
        JoinHost(rawHost.port(), nickname);
        RawPeer peer = rawHost.accept(kWaitMs);
        EXPECT_TRUE(peer.isOpen()) << "the raw host saw no connection";
        return peer;
    }
    RawListener rawHost;
};

TEST_F(JoiningTest, GuestChatsWithARawHost) {
    RawPeer hostSide = Join("Gus");
    EXPECT_EQ(Title(), "Chat client - 127.0.0.1:" + std::to_string(rawHost.port()));
    EXPECT_TRUE(SendEnabled());
    EXPECT_EQ(Receive(hostSide), (devhost::Record{"set display name", "Gus"}));
    EXPECT_EQ(Transcript(), "") << "a guest learns of its arrival from the host only";

    const std::string joined = "Guest 127.0.0.1:1 has joined host 'H'";
    ASSERT_TRUE(hostSide.sendRecord("text", joined));
    ASSERT_TRUE(PumpUntil([&] { return !Transcript().empty(); }));

    const std::string typed = "line one\r\n\"two\" at 100% %s";
    TypeMessage(typed);
    ASSERT_TRUE(ClickSend());
    EXPECT_EQ(Receive(hostSide), TextRecord(typed));
    EXPECT_EQ(MessageBoxText(), "");
    EXPECT_EQ(Transcript(), joined + "\r\n\r\n")
        << "a guest shows its text only when it comes back";

    const std::string echo = "Guest 'Gus' says: \"" + typed + "\"";
    ASSERT_TRUE(hostSide.sendRecord("text", echo));
    ASSERT_TRUE(hostSide.sendRecord("set display name", "ignored by guests"));
    ASSERT_TRUE(PumpUntil([&] { return Transcript().size() > joined.size() + 4; }));

    hostSide.close();
    ASSERT_TRUE(PumpUntil([&] { return ConnectCaption() == "Closed"; }));
    EXPECT_EQ(Title(), "Chat client - disconnected");
    EXPECT_FALSE(SendEnabled());
    const std::string expected =
        joined + "\r\n\r\n" + echo + "\r\n\r\n" + "Host has disconnected\r\n\r\n";
    EXPECT_EQ(Transcript(), expected);
    EXPECT_EQ(ShownTranscript(), expected);
    EXPECT_TRUE(Reports().empty()) << Reports().front();

    // The closed socket is connected again on the next click, without a new one.
    const QHANDLE hClient = ChatState().m_ClientSock.GetHandle();
    RawPeer again = Join("Gus");
    EXPECT_EQ(ChatState().m_ClientSock.GetHandle(), hClient);
    EXPECT_EQ(Receive(again), (devhost::Record{"set display name", "Gus"}));
    ASSERT_TRUE(again.sendRecord("text", "back"));
    EXPECT_TRUE(PumpUntil([&] { return Transcript() == expected + "back\r\n\r\n"; }))
        << "the first registrations must still hold";
}

TEST_F(JoiningTest, GuestWithoutNicknameSendsNothingOnJoining) {
    RawPeer hostSide = Join("");
    // What the user sends next is the first record the host receives.
    TypeMessage("first");
    ASSERT_TRUE(ClickSend());
    EXPECT_EQ(Receive(hostSide), TextRecord("first")) << "something was sent on joining";
}

TEST_F(JoiningTest, ClickWhileConnectedDisconnectsQuietly) {
    RawPeer hostSide = Join("Gus");
    ASSERT_TRUE(Receive(hostSide));
    ASSERT_TRUE(ClickConnect());
    EXPECT_EQ(ConnectCaption(), "Closed");
    EXPECT_EQ(Title(), "Chat client - disconnected");
    EXPECT_EQ(dk::testing::PendingModalScripts(), 0u);
    EXPECT_TRUE(hostSide.waitClosed(kWaitMs));
    Settle();
    EXPECT_EQ(Transcript(), "");
}

TEST_F(JoiningTest, ConnectToAClosedPortNamesTheError) {
    testsupport::ClosedPort closed;
    const std::uint16_t port = closed.port();
    ASSERT_NE(port, 0) << "cannot hold a closed port on 127.0.0.1";
    AnswerSettings(ChatMode::Guest, "127.0.0.1", port, "Gus");
    ASSERT_TRUE(ClickConnect());
    const auto boxes = dk::testing::TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Cannot connect to host '127.0.0.1:" + std::to_string(port) +
                                 "' (error code = WSAECONNREFUSED)");
    EXPECT_EQ(boxes[0].caption, "Volubra");
    EXPECT_EQ(boxes[0].flags & dk::kMbIconError, unsigned(dk::kMbIconError));
    EXPECT_EQ(ConnectCaption(), "Closed");

    // The next click opens the settings dialog filled with the address and port chosen.
    std::string shownPort;
    dk::testing::PushModalScript([&](dk::WindowHandle dialog) {
        shownPort = dk::testing::ControlText(dialog, IDC_PORT_EDIT);
        dk::testing::ClickButton(dialog, dk::kIdCancel);
    });
    ASSERT_TRUE(ClickConnect());
    EXPECT_EQ(shownPort, std::to_string(port));
}

TEST_F(JoiningTest, FailedSendKeepsTheTypedText) {
    RawPeer hostSide = Join("");
    host.bench().failRunFrom("nxTcpSock.SendMsgA", 1);
    TypeMessage("do not lose me");
    ASSERT_TRUE(ClickSend());
    EXPECT_EQ(MessageBoxText(), "do not lose me");
    EXPECT_EQ(ChatState().m_strMessage, "do not lose me");
    host.bench().failRunFrom("nxTcpSock.SendMsgA", 0);
    ASSERT_TRUE(ClickSend());
    EXPECT_EQ(Receive(hostSide), TextRecord("do not lose me"));
    EXPECT_EQ(MessageBoxText(), "");
}

TEST_F(JoiningTest, SendAfterTheHostWentAwayKeepsTheTypedText) {
    RawPeer hostSide = Join("");
    TypeMessage("typed before the drop");
    hostSide.close();
    ASSERT_TRUE(PumpUntil([&] { return !Transcript().empty(); }));
    EXPECT_EQ(MessageBoxText(), "typed before the drop");
    // A click that was on its way when the connection dropped.
    g_ChatDlg.OnBnClickedSendButton();
    EXPECT_EQ(MessageBoxText(), "typed before the drop");
    EXPECT_EQ(Title(), "Chat client - disconnected");
    EXPECT_EQ(Transcript(), "Host has disconnected\r\n\r\n");
}

TEST_F(JoiningTest, CancelChangesNoSetting) {
    dk::testing::PushModalScript([](dk::WindowHandle dialog) {
        dk::testing::SetControlText(dialog, IDC_PORT_EDIT, "4321");
        dk::testing::ClickButton(dialog, dk::kIdCancel);
    });
    ASSERT_TRUE(ClickConnect());
    EXPECT_EQ(ChatState().m_nPort, 8080);
    EXPECT_EQ(ChatState().m_ClientSock.GetHandle(), 0u) << "no socket is made on Cancel";
    EXPECT_EQ(ConnectCaption(), "Closed");
}

} // namespace
} // namespace chat_test

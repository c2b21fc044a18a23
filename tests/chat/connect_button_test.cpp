// The safety of the handlers that make sockets: a socket whose callbacks could not be
// registered is not kept, by the Connect button or by an accept, and a click cannot
// start a second session while the settings dialog of the first is open.
#include "testkit/chat_fixture.h"

#include "dialogkit/message_box.h"
#include "module/ui/resource.h"

namespace chat_test {
namespace {

using testsupport::RawListener;
using testsupport::RawPeer;

class ConnectButtonTest : public ChatFixture {};

TEST_F(ConnectButtonTest, FailedRegistrationDeletesTheNewSocket) {
    RawListener rawHost;
    ASSERT_TRUE(rawHost.listen(0));
    host.bench().failRunFrom("nxTcpSock.SetCallback", 1);
    AnswerSettings(ChatMode::Guest, "127.0.0.1", rawHost.port(), "");
    ASSERT_TRUE(ClickConnect());
    ASSERT_EQ(Reports().size(), 2u);
    EXPECT_EQ(Reports()[1], "CChatDlg::OnBnClickedConnectButton error:\r\n - cannot set OnRecv "
                            "callback");
    EXPECT_EQ(ChatState().m_ClientSock.GetHandle(), 0u);
    EXPECT_EQ(sockets.socketCount(), 0u) << "the half-made socket was kept";

    // The next click starts over: a new socket with both callbacks.
    host.bench().failRunFrom("nxTcpSock.SetCallback", 0);
    AnswerSettings(ChatMode::Guest, "127.0.0.1", rawHost.port(), "");
    ASSERT_TRUE(ClickConnect());
    EXPECT_EQ(ConnectCaption(), "Connected");
    RawPeer hostSide = rawHost.accept(kWaitMs);
    ASSERT_TRUE(hostSide.isOpen());
    ASSERT_TRUE(hostSide.sendRecord("text", "events arrive"));
    EXPECT_TRUE(PumpUntil([&] { return Transcript() == "events arrive\r\n\r\n"; }));
}

TEST_F(ConnectButtonTest, FailedCloseRegistrationDeletesTheNewSocket) {
    host.bench().failRunFrom("nxTcpSock.SetCallback", 2);
    testsupport::ClosedPort closed;
    AnswerSettings(ChatMode::Guest, "127.0.0.1", closed.port(), "");
    ASSERT_TRUE(ClickConnect());
    ASSERT_FALSE(Reports().empty());
    EXPECT_EQ(Reports().back(), "CChatDlg::OnBnClickedConnectButton error:\r\n - cannot set "
                                "OnClose callback");
    EXPECT_EQ(ChatState().m_ClientSock.GetHandle(), 0u);
    EXPECT_EQ(sockets.socketCount(), 0u);
}

// The module's callbacks never got registered with the host, so looking one up
// gives handle 0.
class UnregisteredCallbacksTest : public ChatFixture {
protected:
    // Registration order: ExtShowWnd, ExtOnConnect, then ExtOnAccept and on.
    void BeforeInit() override { host.bench().failFrom("qrvfunc.LoadFunc", 3); }
};

TEST_F(UnregisteredCallbacksTest, ListeningSocketWithoutAcceptCallbackIsNotKept) {
    const std::uint16_t port = testsupport::CandidatePort();
    for (int click = 0; click < 2; ++click) {
        AnswerSettings(ChatMode::Host, "", port, "");
        ASSERT_TRUE(ClickConnect());
        ASSERT_EQ(Reports().size(), std::size_t(click + 1));
        EXPECT_EQ(Reports().back(), "CChatDlg::OnBnClickedConnectButton error:\r\n - cannot set "
                                    "OnAccept callback");
        EXPECT_EQ(ChatState().m_ListenSock.GetHandle(), 0u) << "click " << click;
        EXPECT_EQ(sockets.socketCount(), 0u) << "click " << click;
        EXPECT_NE(ConnectCaption(), "Listening") << "listening without accept events";
    }
}

TEST_F(UnregisteredCallbacksTest, ClientSocketWithoutReceiveCallbackIsNotKept) {
    RawListener rawHost;
    ASSERT_TRUE(rawHost.listen(0));
    AnswerSettings(ChatMode::Guest, "127.0.0.1", rawHost.port(), "");
    ASSERT_TRUE(ClickConnect());
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0], "CChatDlg::OnBnClickedConnectButton error:\r\n - cannot set OnRecv "
                            "callback");
    EXPECT_EQ(sockets.socketCount(), 0u);
    // Connect returns only once connected: such a connection would be waiting already.
    EXPECT_FALSE(rawHost.accept(0).isOpen()) << "connected without receive events";
}

// Only ExtShowWnd, ExtOnConnect and ExtOnAccept got registered: a guest's receive
// callback cannot be found.
class UnregisteredGuestCallbacksTest : public ChatFixture {
protected:
    void BeforeInit() override { host.bench().failFrom("qrvfunc.LoadFunc", 4); }
};

TEST_F(UnregisteredGuestCallbacksTest, AGuestWhoseEventsCannotArriveIsNotKept) {
    const std::uint16_t port = StartHosting("ada");
    host.clearReports();
    RawPeer guest;
    ASSERT_TRUE(guest.connect("127.0.0.1", port));
    ASSERT_TRUE(PumpUntil([&] { return !Reports().empty(); }));
    EXPECT_EQ(Reports().front(), "CChatDlg::OnAccept error:\r\n - cannot set OnRecv callback");
    EXPECT_TRUE(ChatState().m_GuestSocks.IsEmpty());
    EXPECT_EQ(sockets.socketCount(), 1u) << "only the listening socket is left";
    EXPECT_EQ(Transcript(), "") << "nothing is announced";
    EXPECT_FALSE(SendEnabled());
}

TEST_F(ConnectButtonTest, SecondClickWhileTheDialogIsOpenOnlyRefreshes) {
    RawListener rawHost;
    ASSERT_TRUE(rawHost.listen(0));
    const std::uint16_t port = rawHost.port();
    int dialogsShown = 0;
    std::string captionDuringNestedClick;
    dk::testing::PushModalScript([&](dk::WindowHandle dialog) {
        ++dialogsShown;
        // The double click's second half lands on the still usable chat window.
        dk::testing::ClickButton(ChatWindow(), IDC_CONNECT_BUTTON);
        captionDuringNestedClick = ConnectCaption();
        dk::testing::SelectComboItem(dialog, IDC_MODE_COMBO, ModeItem(ChatMode::Guest));
        dk::testing::SetControlText(dialog, IDC_HOST_ADDR_EDIT, "127.0.0.1");
        dk::testing::SetControlText(dialog, IDC_PORT_EDIT, std::to_string(port));
        dk::testing::ClickButton(dialog, dk::kIdOk);
    });
    dk::testing::PushModalScript([&](dk::WindowHandle dialog) {
        ++dialogsShown;
        dk::testing::SelectComboItem(dialog, IDC_MODE_COMBO, ModeItem(ChatMode::Host));
        dk::testing::SetControlText(dialog, IDC_PORT_EDIT, std::to_string(port));
        dk::testing::ClickButton(dialog, dk::kIdOk);
    });
    ASSERT_TRUE(ClickConnect());
    EXPECT_EQ(dialogsShown, 1) << "a second settings dialog was opened";
    EXPECT_EQ(dk::testing::PendingModalScripts(), 1u);
    EXPECT_EQ(captionDuringNestedClick, "Closed");
    EXPECT_EQ(ConnectCaption(), "Connected");
    EXPECT_EQ(ChatState().m_ListenSock.GetHandle(), 0u) << "joined and hosted at once";
    EXPECT_TRUE(BoxTexts().empty());
    dk::testing::ClearModalScripts();
}

TEST_F(ConnectButtonTest, WindowClosedWhileTheDialogIsOpenStartsNothing) {
    dk::testing::PushModalScript([&](dk::WindowHandle dialog) {
        dk::testing::CloseDialog(ChatWindow());
        dk::testing::SelectComboItem(dialog, IDC_MODE_COMBO, ModeItem(ChatMode::Host));
        dk::testing::SetControlText(dialog, IDC_PORT_EDIT,
                                    std::to_string(testsupport::CandidatePort()));
        dk::testing::ClickButton(dialog, dk::kIdOk);
    });
    ASSERT_TRUE(ClickConnect());
    EXPECT_FALSE(g_ChatDlg.IsShown());
    EXPECT_EQ(ChatState().m_ListenSock.GetHandle(), 0u);
    EXPECT_EQ(sockets.socketCount(), 0u) << "a session started behind a closed window";
    EXPECT_EQ(ChatState().m_nMode, ChatMode::Guest) << "the dialog counts as cancelled";
}

} // namespace
} // namespace chat_test

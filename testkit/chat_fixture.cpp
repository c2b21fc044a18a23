// The in-process chat participant and its bounded event pumping.
#include "testkit/chat_fixture.h"

#include "dialogkit/testing/testing.h"
#include "module/plugin/CExtAPI.h"
#include "module/ui/resource.h"
#include "testkit/host_fixture.h"

#include <chrono>

namespace chat_test {

namespace {
constexpr int kPumpSliceMs = 10;
constexpr int kReceiveSliceMs = 10;
} // namespace

devhost::Record TextRecord(const std::string& text) {
    return devhost::Record{"text", text};
}

void ChatFixture::SetUp() {
    testsupport::rawStartup();
    g_ExtAPI = CExtAPI();
    hID = host.addPlugin("Volubra", &volubra_test::ResolveVolubraExport);
    RegisterSocketPlugin();
    BeforeInit();
    dk::testing::BeginCapture();
    dk::testing::ClearModalScripts();
    ASSERT_TRUE(ExtInitPlugin(reinterpret_cast<QARG>(devhost::HostApi::lookupRoutine()), hID));
    volubra_test::ResetChatWindow();
    ASSERT_TRUE(host.chooseMenuEntry("Chat client"));
    ASSERT_TRUE(g_ChatDlg.IsShown());
    g_ChatDlg.UpdateData(false);
    dk::testing::TakeBoxes();
    host.bench().clearCallLog();
    host.clearReports();
}

void ChatFixture::RegisterSocketPlugin() {
    ASSERT_TRUE(sockets.registerFunctions());
}

void ChatFixture::TearDown() {
    host.setReportSink(nullptr);
    g_ChatDlg.HideAndEndSessions();
    dk::testing::ClearModalScripts();
    dk::testing::EndCapture();
    g_ExtAPI = CExtAPI();
}

std::string ChatFixture::ShownTranscript() const {
    return dk::testing::ControlText(ChatWindow(), IDC_TRANSCRIPT_EDIT);
}

std::string ChatFixture::MessageBoxText() const {
    return dk::testing::ControlText(ChatWindow(), IDC_MESSAGE_EDIT);
}

void ChatFixture::TypeMessage(const std::string& text) {
    ASSERT_TRUE(dk::testing::SetControlText(ChatWindow(), IDC_MESSAGE_EDIT, text));
}

bool ChatFixture::ClickConnect() {
    return dk::testing::ClickButton(ChatWindow(), IDC_CONNECT_BUTTON);
}

bool ChatFixture::ClickSend() {
    return dk::testing::ClickButton(ChatWindow(), IDC_SEND_BUTTON);
}

std::string ChatFixture::ConnectCaption() const {
    return dk::testing::ControlText(ChatWindow(), IDC_CONNECT_BUTTON);
}

std::string ChatFixture::Title() const {
    return dk::testing::WindowTitle(ChatWindow());
}

bool ChatFixture::SendEnabled() const {
    return dk::testing::IsControlEnabled(ChatWindow(), IDC_SEND_BUTTON) &&
           dk::testing::IsControlEnabled(ChatWindow(), IDC_MESSAGE_EDIT);
}

void ChatFixture::AnswerSettings(ChatMode mode, const std::string& address, std::uint16_t port,
                                 const std::string& nickname) {
    dk::testing::PushModalScript([=](dk::WindowHandle dialog) {
        dk::testing::SelectComboItem(dialog, IDC_MODE_COMBO, ModeItem(mode));
        dk::testing::SetControlText(dialog, IDC_HOST_ADDR_EDIT, address);
        dk::testing::SetControlText(dialog, IDC_PORT_EDIT, std::to_string(port));
        dk::testing::SetControlText(dialog, IDC_NICKNAME_EDIT, nickname);
        dk::testing::ClickButton(dialog, dk::kIdOk);
    });
}

std::uint16_t ChatFixture::StartHosting(const std::string& nickname) {
    for (int attempt = 0; attempt < testsupport::kPortAttempts; ++attempt) {
        const std::uint16_t port = testsupport::CandidatePort();
        AnswerSettings(ChatMode::Host, "", port, nickname);
        EXPECT_TRUE(ClickConnect());
        if (ConnectCaption() == "Listening") return port;
        const std::vector<std::string> boxes = BoxTexts();
        const bool taken = boxes.size() == 1 && boxes[0].find("WSAEADDRINUSE") != std::string::npos;
        if (!taken) {
            ADD_FAILURE() << "hosting did not start on port " << port << Diagnostics();
            return port;
        }
    }
    ADD_FAILURE() << "every candidate port was taken by another program";
    return 0;
}

void ChatFixture::JoinHost(std::uint16_t port, const std::string& nickname) {
    AnswerSettings(ChatMode::Guest, "127.0.0.1", port, nickname);
    EXPECT_TRUE(ClickConnect());
    EXPECT_EQ(ConnectCaption(), "Connected")
        << "could not join the raw host on port " << port << Diagnostics();
}

bool ChatFixture::PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        sockets.pump(kPumpSliceMs);
    }
    return true;
}

std::optional<devhost::Record> ChatFixture::Receive(testsupport::RawPeer& peer, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (auto record = peer.receiveRecord(kReceiveSliceMs)) return record;
        if (peer.peerClosed()) return std::nullopt;
        sockets.pump(kPumpSliceMs);
    }
    return std::nullopt;
}

bool ChatFixture::ReceiveUntil(testsupport::RawPeer& peer, const devhost::Record& last) {
    for (auto record = Receive(peer); record; record = Receive(peer))
        if (*record == last) return true;
    return false;
}

bool ChatFixture::NextIsMarker(testsupport::RawPeer& guest, const std::string& hostNickname) {
    const std::string marker = "(marker: nothing before it)";
    TypeMessage(marker);
    if (!ClickSend()) return false;
    const std::string host = hostNickname.empty() ? "Host" : "Host '" + hostNickname + "'";
    const std::optional<devhost::Record> next = Receive(guest);
    EXPECT_EQ(next, TextRecord(host + " says: \"" + marker + "\""))
        << "something reached the guest before the marker";
    return next == TextRecord(host + " says: \"" + marker + "\"");
}

void ChatFixture::Settle() {
    sockets.pump(0);
}

testsupport::RawPeer ChatFixture::ConnectGuest(std::uint16_t port) {
    testsupport::RawPeer peer;
    const int before = ChatState().m_GuestSocks.GetSize();
    EXPECT_TRUE(peer.connect("127.0.0.1", port)) << "a raw guest could not connect";
    EXPECT_TRUE(PumpUntil([&] { return ChatState().m_GuestSocks.GetSize() > before; }))
        << "the host never accepted the raw guest";
    return peer;
}

std::uint16_t ChatFixture::GuestPort(int index) {
    // Asked of the socket plug-in through the guest's own proxy, as the host does.
    CqTcpSock* guest = ChatState().m_GuestSocks.GetAt(index);
    return guest != nullptr ? static_cast<std::uint16_t>(guest->GetPeerPort()) : 0;
}

std::string ChatFixture::Diagnostics() {
    std::string text = "; mode " + std::to_string(static_cast<int>(ChatState().m_nMode)) +
                       ", port " + std::to_string(ChatState().m_nPort) + ", scripts left " +
                       std::to_string(dk::testing::PendingModalScripts());
    for (const std::string& report : host.reports())
        text += "; report: " + report;
    for (const std::string& box : BoxTexts())
        text += "; box: " + box;
    return text;
}

std::vector<std::string> ChatFixture::BoxTexts() {
    std::vector<std::string> texts;
    for (const auto& box : dk::testing::TakeBoxes())
        texts.push_back(box.text);
    return texts;
}

} // namespace chat_test

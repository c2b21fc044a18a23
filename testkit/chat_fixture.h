// The chat participant under test: the module in-process, initialised through its
// exports against devhost's host API with devhost's real socket plug-in registered,
// its chat window shown. Socket events are pumped here, always with a deadline, and
// the other participants are raw TCP peers on 127.0.0.1 that the tests drive.
#pragma once

#include "devhost/hostapi/host_api.h"
#include "devhost/nxtcpsock/nx_tcp_sock.h"
#include "dialogkit/testing/testing.h"
#include "testkit/chat_dlg_access.h"
#include "testkit/ports.h"
#include "testkit/raw_peer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace devhost {
// Records print as label and text in failure messages.
inline void PrintTo(const Record& record, std::ostream* os) {
    *os << "{\"" << record.label << "\", \"" << record.text << "\"}";
}
} // namespace devhost

namespace chat_test {

constexpr int kWaitMs = 5000; // the longest any single expected event may take

// What a raw peer expects on the wire: a "text" record.
devhost::Record TextRecord(const std::string& text);

class ChatFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Hooks of SetUp: what stands in for the socket plug-in (the real one by default),
    // and anything to arrange before the module is initialised.
    virtual void RegisterSocketPlugin();
    virtual void BeforeInit() {}

    dk::WindowHandle ChatWindow() const { return g_ChatDlg.GetSafeHwnd(); }
    std::string Transcript() const { return ChatState().m_strTranscript; }
    std::string ShownTranscript() const;
    std::string MessageBoxText() const; // the message box control, as the user sees it
    void TypeMessage(const std::string& text);
    bool ClickConnect();
    bool ClickSend();
    std::string ConnectCaption() const;
    std::string Title() const;
    bool SendEnabled() const;

    // Queues the settings dialog's answer: fills the fields and clicks OK.
    void AnswerSettings(ChatMode mode, const std::string& address, std::uint16_t port,
                        const std::string& nickname);
    // Starts hosting through the Connect button on a candidate port, and on the next
    // one while another program holds it; the port.
    std::uint16_t StartHosting(const std::string& nickname);
    // Joins a raw host through the Connect button.
    void JoinHost(std::uint16_t port, const std::string& nickname);

    // Pumps socket events until done() holds or the deadline passes.
    bool PumpUntil(const std::function<bool()>& done, int timeoutMs = kWaitMs);
    // The next record of peer, pumping the module's events while waiting.
    std::optional<devhost::Record> Receive(testsupport::RawPeer& peer, int timeoutMs = kWaitMs);
    // Takes peer's records up to and including this one; false when it never came.
    bool ReceiveUntil(testsupport::RawPeer& peer, const devhost::Record& last);
    // Proves that nothing is on its way to a hosted guest: the host sends a marker
    // line, and the marker is the next record the guest receives (records keep their
    // order). The marker is appended to the transcript like any host line.
    bool NextIsMarker(testsupport::RawPeer& guest, const std::string& hostNickname);
    // Runs the socket events that are due now, deferred ones included, without
    // waiting for more: enough where every peer is silent or gone.
    void Settle();
    // A raw guest joining the hosting module; waits until the module has it.
    testsupport::RawPeer ConnectGuest(std::uint16_t port);
    // The guest's port as the host side sees it (entry index of the guest list).
    std::uint16_t GuestPort(int index);

    std::vector<std::string> Reports() const { return host.reports(); }
    std::vector<std::string> BoxTexts();
    // Settings, reports and boxes, for failure messages.
    std::string Diagnostics();

    devhost::HostApi host;
    devhost::NxTcpSock sockets{host};
    QHANDLE hID = 0;
};

} // namespace chat_test

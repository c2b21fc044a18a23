// libFuzzer target: the receive path of a hosting chat. The module runs in-process
// against devhost's host API and socket plug-in; its chat window hosts on 127.0.0.1
// with two guests connected over real TCP. Each input is a list of records that land
// in one guest's receive queue as if the guest had sent them; devhost's event loop
// then runs the registered "Volubra.ExtOnRecv" for them, and the host relays what it
// shows to both guests, which drain what they get.
//
// Input: one byte that picks the guest, then records, each a label length (1 byte),
// a text length (2 bytes, big-endian), the label and the text. Records that no peer
// could send (a NUL byte) are left out. Besides the sanitizers' findings, a run fails
// when the host loses a guest or, with FUZZ_CHECK_HOST_VARIABLES=1 in the
// environment, when the host's live variables do not come back to where they were.
#include "devhost/hostapi/host_api.h"
#include "devhost/nxtcpsock/nx_tcp_sock.h"
#include "dialogkit/message_box.h"
#include "dialogkit/testing/testing.h"
#include "module/plugin/CExtAPI.h"
#include "module/ui/resource.h"
#include "testkit/chat_dlg_access.h"
#include "testkit/ports.h"
#include "testkit/volubra_exports.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

namespace {

constexpr int kGuests = 2;
constexpr int kHostingAttempts = 20; // ports that may turn out to be taken
constexpr int kMaxPumpsPerInput = 100000;
constexpr int kWaitMs = 5000;
// The transcript is cleared past this, so that a long run does not slow down on it.
constexpr std::size_t kMaxTranscriptBytes = 64 * 1024;
constexpr std::uint32_t kLoopback = 0x7F000001;

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "hosting receive: %s\n", what);
    std::abort();
}

// A guest over plain non-blocking TCP that reads and drops whatever the host sends.
class DrainingGuest {
public:
    ~DrainingGuest() { close(); }
    bool connect(std::uint16_t port) {
        close();
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(kLoopback);
        sa.sin_port = htons(port);
        if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
            close();
            return false;
        }
        return true;
    }
    void drain() {
        char buffer[64 * 1024];
        while (fd_ >= 0 && ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
        }
    }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

class HostingChat {
public:
    HostingChat() {
        host_.bench().setLogging(false);
        dk::testing::BeginCapture();
        const QHANDLE hID = host_.addPlugin("Volubra", &volubra_test::ResolveVolubraExport);
        Require(sockets_.registerFunctions(), "the socket plug-in's functions were refused");
        Require(ExtInitPlugin(reinterpret_cast<QARG>(devhost::HostApi::lookupRoutine()), hID),
                "the module did not initialise");
        Require(host_.chooseMenuEntry("Chat client") && g_ChatDlg.IsShown(), "no chat window");
        for (int attempt = 0; attempt < kHostingAttempts && !hosting(); ++attempt)
            startHosting(testsupport::CandidatePort());
        Require(hosting(), "hosting did not start");
        for (DrainingGuest& guest : guests_)
            join(guest);
        settle();
        // The chat is kept to the end of the process; its sessions end before the host
        // API's own statics go, as a host unloads its plug-ins before it exits.
        std::atexit([] {
            g_ChatDlg.HideAndEndSessions();
            g_ExtAPI = CExtAPI();
        });
    }

    void run(const std::uint8_t* data, std::size_t size) {
        if (size == 0) return;
        const int target = data[0] % kGuests;
        std::deque<devhost::Record> records = parse(data + 1, size - 1);
        const std::size_t variablesBefore = host_.liveVariableCount();
        Require(sockets_.injectRecords(ChatState().m_GuestSocks.GetAt(target)->GetHandle(),
                                       std::move(records)),
                "a guest's connection is gone");
        settle();
        Require(ChatState().m_GuestSocks.GetSize() == kGuests, "the host lost a guest");
        if (checkVariables_)
            Require(host_.liveVariableCount() == variablesBefore,
                    "host variables were left behind");
    }

private:
    bool hosting() const {
        return ChatState().m_ListenSock.GetHandle() != 0 &&
               ChatState().m_ListenSock.GetSockState() == SOCKSTATE_LISTENING;
    }

    void startHosting(std::uint16_t port) {
        dk::testing::PushModalScript([port](dk::WindowHandle dialog) {
            dk::testing::SelectComboItem(dialog, IDC_MODE_COMBO, ModeItem(ChatMode::Host));
            dk::testing::SetControlText(dialog, IDC_PORT_EDIT, std::to_string(port));
            dk::testing::SetControlText(dialog, IDC_NICKNAME_EDIT, "fuzz");
            dk::testing::ClickButton(dialog, dk::kIdOk);
        });
        dk::testing::ClickButton(g_ChatDlg.GetSafeHwnd(), IDC_CONNECT_BUTTON);
        dk::testing::TakeBoxes();
        port_ = port;
    }

    void join(DrainingGuest& guest) {
        const int before = ChatState().m_GuestSocks.GetSize();
        Require(guest.connect(port_), "a guest could not connect");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        while (ChatState().m_GuestSocks.GetSize() == before) {
            Require(std::chrono::steady_clock::now() < deadline, "the host never took a guest");
            sockets_.pump(10);
        }
    }

    // Runs the event loop until nothing is left to do, and drains the guests.
    void settle() {
        for (int i = 0; i < kMaxPumpsPerInput && sockets_.pump(0); ++i)
            for (DrainingGuest& guest : guests_)
                guest.drain();
        for (DrainingGuest& guest : guests_)
            guest.drain();
        host_.clearReports();
        dk::testing::TakeBoxes();
        if (ChatState().m_strTranscript.size() > kMaxTranscriptBytes) {
            ChatState().m_strTranscript.clear();
            g_ChatDlg.UpdateData(false);
        }
    }

    static std::deque<devhost::Record> parse(const std::uint8_t* p, std::size_t size) {
        std::deque<devhost::Record> records;
        const std::uint8_t* end = p + size;
        while (end - p >= 3) {
            const std::size_t labelBytes = p[0];
            const std::size_t textBytes = (std::size_t{p[1]} << 8) | p[2];
            p += 3;
            const std::size_t left = static_cast<std::size_t>(end - p);
            const std::size_t labelTake = labelBytes < left ? labelBytes : left;
            std::string label(reinterpret_cast<const char*>(p), labelTake);
            p += labelTake;
            const std::size_t textLeft = static_cast<std::size_t>(end - p);
            const std::size_t textTake = textBytes < textLeft ? textBytes : textLeft;
            std::string text(reinterpret_cast<const char*>(p), textTake);
            p += textTake;
            if (devhost::validateRecord(label, text) == devhost::FrameError::None)
                records.push_back(devhost::Record{std::move(label), std::move(text)});
        }
        return records;
    }

    devhost::HostApi host_;
    devhost::NxTcpSock sockets_{host_};
    DrainingGuest guests_[kGuests];
    std::uint16_t port_ = 0;
    const bool checkVariables_ = std::getenv("FUZZ_CHECK_HOST_VARIABLES") != nullptr &&
                                 std::string(std::getenv("FUZZ_CHECK_HOST_VARIABLES")) == "1";
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Made once and kept for the whole run, like a host that stays up.
    static HostingChat* chat = new HostingChat();
    chat->run(data, size);
    return 0;
}

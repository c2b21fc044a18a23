// The chat events engine (chat_events.h): the events an input decodes into, the modal
// loops they run in, and the model checked after each.
#include "testkit/chatevents/chat_events.h"

#include "devhost/hostapi/host_api.h"
#include "dialogkit/message_box.h"
#include "dialogkit/testing/testing.h"
#include "module/chat/ChatLines.h"
#include "module/chat/TranscriptEntries.h"
#include "module/plugin/CExtAPI.h"
#include "module/ui/resource.h"
#include "testkit/chat_dlg_access.h"
#include "testkit/chatevents/scripted_sockets.h"
#include "testkit/volubra_exports.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace chatevents {
namespace {

constexpr std::size_t kMaxEvents = 400;       // per input, nested ones included
constexpr int kMaxDepth = 4;                  // modal loops inside modal loops
constexpr int kMaxEventsPerLoop = 4;          // events one modal loop runs
constexpr std::size_t kMaxRecordsPerSend = 4; // records one receive callback finds
constexpr std::size_t kPrefilledShortOfLimit = 8;
// Set-up bytes that ask for the prefilled transcript: one in eight, as it costs.
constexpr std::uint8_t kPrefillMask = 7;
constexpr std::uint8_t kPrefill = 1;
constexpr const char* kNickname = "fuzz";
constexpr const char* kEntryEnd = chatlines::kEntryEnd;
constexpr std::size_t kEntryEndBytes = 4;

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "chat events: %s\n", what);
    std::abort();
}

// The input, read byte by byte; zeros once it is used up.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_pData(data), m_nLeft(size) {}
    bool empty() const { return m_nLeft == 0; }
    std::uint8_t next() {
        if (m_nLeft == 0) return 0;
        --m_nLeft;
        return *m_pData++;
    }

private:
    const std::uint8_t* m_pData;
    std::size_t m_nLeft;
};

// Texts a guest or the user may send: short ones, one a little under the frame limit
// (a guest's line made of it is too long to relay) and one over it.
std::string PickText(std::uint8_t choice) {
    switch (choice % 8) {
    case 0:
        return "hi";
    case 1:
        return "hello there";
    case 2:
        return std::string(kFrameLimit - 8, 'l');
    case 3:
        return std::string(kFrameLimit + 1, 'o');
    default:
        return "m" + std::to_string(choice);
    }
}

std::string PickName(std::uint8_t choice) {
    switch (choice % 4) {
    case 0:
        return "ann";
    case 1:
        return "bob";
    case 2:
        return std::string(chatlines::kMaxNicknameBytes + 1, 'n'); // refused
    default:
        return "n" + std::to_string(choice);
    }
}

class ChatEvents {
public:
    ChatEvents() {
        m_Host.bench().setLogging(false);
        dk::testing::BeginCapture();
        const QHANDLE hID = m_Host.addPlugin("Volubra", &volubra_test::ResolveVolubraExport);
        Require(m_Sockets.registerFunctions(), "the socket stand-in's functions were refused");
        Require(ExtInitPlugin(reinterpret_cast<QARG>(devhost::HostApi::lookupRoutine()), hID),
                "the module did not initialise");
        m_Host.setReportSink([this](const std::string& text) { OnReport(text); });
        // The chat is kept to the end of the process; its sessions end before the host
        // API's own statics go, as a host unloads its plug-ins before it exits.
        std::atexit([] {
            g_ChatDlg.HideAndEndSessions();
            g_ExtAPI = CExtAPI();
        });
    }

    void run(const std::uint8_t* data, std::size_t size) {
        Input input(data, size);
        m_pInput = &input;
        BeginInput(input.next());
        while (!input.empty() && m_nEvents < kMaxEvents)
            RunEvent(0);
        EndInput();
        m_pInput = nullptr;
    }

private:
    // ---- the input's frame -------------------------------------------------------

    void BeginInput(std::uint8_t setup) {
        m_nEvents = 0;
        m_Transcript.clear();
        m_nTranscriptBytes = 0;
        m_Appended.clear();
        m_nAppendedAtLastScan = 0;
        m_GuestSeen.clear();
        m_Sockets.forgetTaken();
        m_strLastTyped.clear();
        m_bLastTypedSent = false;
        m_Host.clearReports();
        // A fresh start: a hidden window with empty boxes (the exchange with a shorter
        // text writes the boxes whole).
        ChatState().m_strTranscript.clear();
        ChatState().m_strMessage.clear();
        if (ChatState().m_bCreated) g_ChatDlg.UpdateData(false);
        m_nVariablesBefore = m_Host.liveVariableCount();
        if ((setup & kPrefillMask) == kPrefill) Prefill();
        m_Host.chooseMenuEntry("Chat client");
        Require(g_ChatDlg.IsShown(), "the chat window did not show");
        Observe();
        StartHosting();
        Check();
    }

    void EndInput() {
        if (g_ChatDlg.IsShown()) dk::testing::ClickButton(Window(), dk::kIdOk);
        Check();
        Require(!g_ChatDlg.IsShown(), "the Close button left the window shown");
        Require(m_Sockets.socketCount() == 0, "a socket outlived the closed window");
        Require(m_Host.liveVariableCount() == m_nVariablesBefore,
                "host variables were left behind");
        dk::testing::TakeBoxes();
        dk::testing::ClearModalScripts();
    }

    // Entries appended while the window is hidden, up to a few short of the limit, so
    // that the events of the input trim.
    void Prefill() {
        const std::size_t entries = TranscriptEntries::kMaxEntries - kPrefilledShortOfLimit;
        for (std::size_t i = 0; i < entries; ++i)
            g_ChatDlg.AppendText(("old " + std::to_string(i) + kEntryEnd).c_str());
    }

    // ---- events --------------------------------------------------------------------

    // One event and its parameters from the input, then the check.
    void RunEvent(int depth) {
        if (m_nEvents >= kMaxEvents || m_pInput->empty()) return;
        ++m_nEvents;
        const int outerDepth = m_nDepth;
        m_nDepth = depth;
        const std::uint8_t op = m_pInput->next();
        // What a user does needs the window on the screen.
        const bool shown = dk::testing::IsVisible(Window());
        switch (op % 12) {
        case 0:
            m_Sockets.arrive();
            break;
        case 1:
            WithGuest([this](QHANDLE h) { m_Sockets.leave(h); });
            break;
        case 2:
            GuestSends();
            break;
        case 3:
            WithGuest([this](QHANDLE h) { m_Sockets.setFull(h, true); });
            break;
        case 4:
            WithGuest([this](QHANDLE h) { m_Sockets.setFull(h, false); });
            break;
        case 5:
            Type(PickText(m_pInput->next()));
            break;
        case 6:
            if (shown) ClickSend();
            break;
        case 7:
            ClickConnect(depth, shown);
            break;
        case 8:
            if (shown) dk::testing::ClickButton(Window(), dk::kIdOk); // Close
            break;
        case 9:
            if (shown) dk::testing::CloseDialog(Window()); // the close box
            break;
        case 10:
            m_Host.chooseMenuEntry("Chat client");
            break;
        case 11:
            FailNextPeerQuery(depth);
            break;
        }
        Check();
        m_nDepth = outerDepth;
    }

    template <typename Act> void WithGuest(Act act) {
        const std::vector<QHANDLE> guests = m_Sockets.guests();
        const std::uint8_t choice = m_pInput->next();
        if (!guests.empty()) act(guests[choice % guests.size()]);
    }

    void GuestSends() {
        const std::uint8_t shape = m_pInput->next();
        const std::size_t count = 1 + shape % kMaxRecordsPerSend;
        std::vector<GuestRecord> records;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t kind = m_pInput->next();
            if (kind & 1)
                records.push_back({chatlines::kLabelSetDisplayName, PickName(kind >> 1)});
            else
                records.push_back({chatlines::kLabelText, PickText(kind >> 1)});
        }
        WithGuest([&](QHANDLE h) { m_Sockets.send(h, records); });
    }

    // The user types: the whole box becomes text, as a user would leave it.
    void Type(const std::string& text) {
        if (!g_ChatDlg.IsShown() || !dk::testing::IsControlEnabled(Window(), IDC_MESSAGE_EDIT))
            return;
        dk::testing::SetControlText(Window(), IDC_MESSAGE_EDIT, text);
        m_strLastTyped = text;
        m_bLastTypedSent = false;
    }

    void ClickSend() {
        // The line this click makes, if it sends: of the box as the click finds it.
        const std::string typed = BoxText(IDC_MESSAGE_EDIT);
        const std::string line = chatlines::HostSays(kNickname, typed);
        std::map<QHANDLE, std::size_t> takenBefore;
        for (QHANDLE h : m_Sockets.guests())
            takenBefore[h] = CountTaken(h, line);
        const std::size_t takenByAnyoneBefore = m_Sockets.takenByAnyone(line);
        Observe();
        const std::size_t appendedBefore = m_Appended.size();
        const bool outer = !m_bSendUnderWay;
        m_bSendUnderWay = true;
        const bool clicked = dk::testing::ClickButton(Window(), IDC_SEND_BUTTON);
        if (!outer) return; // a second click while the first is under way sends nothing
        m_bSendUnderWay = false;
        if (!clicked) return;
        // Guests that left meanwhile took their lines with them: they count only in
        // the number of takers.
        const std::vector<QHANDLE> still = m_Sockets.guests();
        for (const auto& entry : takenBefore) {
            if (std::find(still.begin(), still.end(), entry.first) == still.end()) continue;
            Require(CountTaken(entry.first, line) <= entry.second + 1,
                    "one Send click sent its text twice to a guest");
        }
        const std::size_t takers = m_Sockets.takenByAnyone(line) - takenByAnyoneBefore;
        Observe();
        std::size_t appended = 0;
        for (std::size_t i = appendedBefore; i < m_Appended.size(); ++i)
            appended += m_Appended[i] == line;
        Require(appended <= 1, "one Send click appended its line twice");
        Require(appended == 0 || takers > 0, "a line of the host that no guest took was appended");
        // Sent: the box empties, unless the user typed something else meanwhile.
        if (takers > 0 && m_strLastTyped == typed) m_bLastTypedSent = true;
    }

    // Connect: stops hosting, or opens the settings dialog, whose modal loop runs the
    // next events, and then asks to host or cancels.
    void ClickConnect(int depth, bool shown) {
        const std::uint8_t choice = m_pInput->next();
        if (!shown) return;
        dk::testing::PushModalScript([this, choice, depth](dk::WindowHandle dialog) {
            FillSettings(dialog);
            RunLoop(depth);
            dk::testing::ClickButton(dialog, (choice & 1) ? dk::kIdCancel : dk::kIdOk);
        });
        dk::testing::ClickButton(Window(), IDC_CONNECT_BUTTON);
        // A click that opened no dialog (it stopped hosting) leaves its script unused.
        dk::testing::ClearModalScripts();
        dk::testing::TakeBoxes();
    }

    void StartHosting() {
        dk::testing::PushModalScript([](dk::WindowHandle dialog) {
            FillSettings(dialog);
            dk::testing::ClickButton(dialog, dk::kIdOk);
        });
        dk::testing::ClickButton(Window(), IDC_CONNECT_BUTTON);
        dk::testing::ClearModalScripts();
    }

    static void FillSettings(dk::WindowHandle dialog) {
        dk::testing::SelectComboItem(dialog, IDC_MODE_COMBO, ModeItem(ChatMode::Host));
        dk::testing::SetControlText(dialog, IDC_PORT_EDIT, "5000");
        dk::testing::SetControlText(dialog, IDC_NICKNAME_EDIT, kNickname);
    }

    // The next event runs with the socket plug-in's peer queries failing: the socket
    // proxy reports from inside a handler, not through the chat's own reports.
    void FailNextPeerQuery(int depth) {
        const std::uint8_t choice = m_pInput->next();
        const char* name = (choice & 1) ? "nxTcpSock.GetPeerPort" : "nxTcpSock.GetPeerAddr";
        m_Host.bench().failRunFrom(name, 1 + (choice >> 1) % 3);
        RunEvent(depth);
        m_Host.bench().failRunFrom(name, 0);
    }

    // A modal loop opened at depth: the next few events run inside it.
    void RunLoop(int depth) {
        if (depth >= kMaxDepth || m_pInput == nullptr) return;
        const int count = m_pInput->next() % (kMaxEventsPerLoop + 1);
        for (int i = 0; i < count; ++i)
            RunEvent(depth + 1);
    }

    void OnReport(const std::string& text) {
        Require(text.find("exception") == std::string::npos, "an exception reached a handler");
        // What the report stands after is on the screen before its loop starts.
        Check();
        // The report's box is open: the chat goes on inside its loop.
        RunLoop(m_nDepth);
    }

    // ---- the model ----------------------------------------------------------------

    std::size_t CountTaken(QHANDLE hGuest, const std::string& line) const {
        std::size_t count = 0;
        for (const std::string& taken : m_Sockets.taken(hGuest))
            count += taken == line;
        return count;
    }

    void Check() {
        if (m_pInput == nullptr) return;
        Observe();
        if (g_ChatDlg.IsShown()) {
            Require(BoxText(IDC_TRANSCRIPT_EDIT) == ChatState().m_strTranscript,
                    "the transcript box differs from the transcript");
        }
        const std::string expected = m_bLastTypedSent ? std::string() : m_strLastTyped;
        Require(BoxText(IDC_MESSAGE_EDIT) == expected,
                "the message box lost what the user typed, or kept what was sent");
        CheckGuests();
        CheckReports();
    }

    // Takes the transcript's change since the last look: what is left of the known
    // entries must be their tail, the rest whole new entries.
    void Observe() {
        const std::string& text = ChatState().m_strTranscript;
        const std::size_t knownBefore = m_Transcript.size();
        std::size_t trimmed = 0;
        while (!m_Transcript.empty() && !HeadIsKnownTail(text)) {
            m_nTranscriptBytes -= m_Transcript.front().size();
            m_Transcript.pop_front();
            ++trimmed;
        }
        // Its entries are far shorter than the byte limit: a trim keeps most of them.
        Require(knownBefore == 0 || !m_Transcript.empty(),
                "the transcript lost its end, or was cut inside an entry");
        std::size_t at = m_nTranscriptBytes;
        while (at < text.size()) {
            const std::size_t end = text.find(kEntryEnd, at);
            Require(end != std::string::npos, "the transcript ends inside an entry");
            const std::string entry = text.substr(at, end + kEntryEndBytes - at);
            m_Transcript.push_back(entry);
            m_nTranscriptBytes += entry.size();
            m_Appended.push_back(entry.substr(0, entry.size() - kEntryEndBytes));
            at = end + kEntryEndBytes;
        }
        Require(trimmed == 0 || trimmed + m_Transcript.size() > TranscriptEntries::kMaxEntries,
                "the transcript lost entries while within its limits");
        Require(m_Transcript.size() <= TranscriptEntries::kMaxEntries,
                "the transcript holds more entries than its limit");
        Require(m_nTranscriptBytes <= TranscriptEntries::kMaxBytes || m_Transcript.size() == 1,
                "the transcript holds more bytes than its limit");
    }

    // Whether text begins with the known entries, all of them.
    bool HeadIsKnownTail(const std::string& text) const {
        if (m_nTranscriptBytes > text.size()) return false;
        std::size_t at = 0;
        for (const std::string& entry : m_Transcript) {
            if (text.compare(at, entry.size(), entry) != 0) return false;
            at += entry.size();
        }
        return true;
    }

    // Each guest's lines stand among the appended entries in the order it took them.
    void CheckGuests() {
        for (QHANDLE h : m_Sockets.guests()) {
            auto found = m_GuestSeen.find(h);
            if (found == m_GuestSeen.end())
                found = m_GuestSeen.emplace(h, GuestSeen{m_nAppendedAtLastScan, 0}).first;
            GuestSeen& seen = found->second;
            const std::vector<std::string>& taken = m_Sockets.taken(h);
            for (; seen.checked < taken.size(); ++seen.checked) {
                const std::string& line = taken[seen.checked];
                while (seen.next < m_Appended.size() && m_Appended[seen.next] != line)
                    ++seen.next;
                Require(
                    seen.next < m_Appended.size(),
                    "a guest was sent a line the host's transcript lacks or holds out of order");
                ++seen.next;
            }
        }
        // A guest first seen at the next scan arrived after this point.
        m_nAppendedAtLastScan = m_Appended.size();
    }

    void CheckReports() {
        for (const std::string& report : m_Host.reports())
            Require(report.find("exception") == std::string::npos, "an exception was reported");
        m_Host.clearReports();
    }

    static dk::WindowHandle Window() { return g_ChatDlg.GetSafeHwnd(); }
    static std::string BoxText(int id) { return dk::testing::ControlText(Window(), id); }

    struct GuestSeen {
        std::size_t next = 0;    // where its next line is looked for in m_Appended
        std::size_t checked = 0; // its lines checked so far
    };

    devhost::HostApi m_Host;
    ScriptedSockets m_Sockets{m_Host};
    Input* m_pInput = nullptr;
    std::size_t m_nEvents = 0;
    int m_nDepth = 0;
    std::size_t m_nVariablesBefore = 0;
    std::deque<std::string> m_Transcript; // the entries the transcript holds
    std::size_t m_nTranscriptBytes = 0;
    std::vector<std::string> m_Appended; // every entry appended in this input, in order
    std::size_t m_nAppendedAtLastScan = 0;
    std::map<QHANDLE, GuestSeen> m_GuestSeen;
    std::string m_strLastTyped;
    bool m_bLastTypedSent = false;
    bool m_bSendUnderWay = false;
};

} // namespace

void Play(const std::uint8_t* data, std::size_t size) {
    // Made once and kept for the whole run, like a host that stays up.
    static ChatEvents* chat = new ChatEvents();
    chat->run(data, size);
}

} // namespace chatevents

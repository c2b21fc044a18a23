// The chat state as the window is to show it: the Connect button's caption, the
// window title and the enabling of sending follow the mode and its socket's state.
// Also the transcript (its entries and their limits, Show times, clearing), when the
// window shows what changed (at once, or at the end of a batch), and the end of the
// sessions with the emptying of the guest list.
#include "module/chat/ChatDlg.h"
#include "module/chat/ChatLines.h"
#include "module/chat/ShownLine.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr std::size_t kTitleCapacity = 512;
// "[HH:MM] " and its terminator.
constexpr std::size_t kTimePrefixCapacity = 16;

std::string Format(const char* format, const char* text, std::int32_t number) {
    char buffer[kTitleCapacity];
    std::snprintf(buffer, sizeof buffer, format, text, number);
    return buffer;
}

std::string Format(const char* format, std::int32_t number) {
    char buffer[kTitleCapacity];
    std::snprintf(buffer, sizeof buffer, format, number);
    return buffer;
}

// Show times' prefix of an entry made now: "[HH:MM] ", local time.
std::string TimePrefix() {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    if (!local) return {};
    char prefix[kTimePrefixCapacity];
    std::snprintf(prefix, sizeof prefix, "[%02d:%02d] ", local->tm_hour, local->tm_min);
    return prefix;
}

} // namespace

void CChatDlg::UpdateStateDisplay() {
    ShowState(DescribeState());
}

CChatDlg::StateDisplay CChatDlg::DescribeState() {
    StateDisplay display;
    if (m_nMode == ChatMode::Guest) {
        const bool connected = m_ClientSock.GetSockState() == SOCKSTATE_CONNECTED;
        display.modeKnown = true;
        display.connectCaption = connected ? "Connected" : "Closed";
        display.title = connected ? Format("Chat client - %s:%d", m_strHostAddr.c_str(), m_nPort)
                                  : std::string("Chat client - disconnected");
        display.sendEnabled = connected;
    } else if (m_nMode == ChatMode::Host) {
        const bool listening = m_ListenSock.GetSockState() == SOCKSTATE_LISTENING;
        display.modeKnown = true;
        display.connectCaption = listening ? "Listening" : "Closed";
        display.title =
            listening ? Format("Chat host - Port %d", m_nPort) : std::string("Chat host - closed");
        display.sendEnabled = listening && !m_GuestSocks.IsEmpty();
    }
    return display;
}

void CChatDlg::AppendEntry(const std::string& line) {
    // The line and its end in one append: the window is refreshed once per entry.
    AppendText((shownline::ShownLine(line) + chatlines::kEntryEnd).c_str());
}

void CChatDlg::AppendText(const char* lpText) {
    if (lpText) AddToTranscript(lpText);
    if (!m_bShown) return;
    if (m_bBatchingView) {
        m_PendingView = PendingView::TranscriptEnd;
        return;
    }
    ShowTranscriptEnd();
}

void CChatDlg::RefreshFieldsAfterBatch() {
    if (!m_bBatchingView) {
        RefreshFields();
        return;
    }
    if (m_PendingView == PendingView::None) m_PendingView = PendingView::Fields;
}

void CChatDlg::AddToTranscript(const char* lpText) {
    const std::size_t before = m_strTranscript.size();
    // The time is part of the entry, and counts towards the limits like its text.
    if (m_bShowTimes) m_strTranscript += TimePrefix();
    m_strTranscript.append(lpText);
    const std::size_t cut =
        m_TranscriptEntries.Add(m_strTranscript.size() - before, m_strTranscript.size());
    if (cut == 0) return;
    m_strTranscript.erase(0, cut);
    m_TranscriptInBox.DropHead(cut);
}

void CChatDlg::ClearTranscript() {
    m_strTranscript.clear();
    m_TranscriptEntries = TranscriptEntries();
    m_TranscriptInBox.Forget(); // what the box holds is no prefix of the new transcript
    if (m_bShown) RefreshFields();
}

void CChatDlg::EndSessions() {
    m_ClientSock.Delete();
    m_ListenSock.Delete();
    DeleteAllGuests();
}

void CChatDlg::DeleteAllGuests() {
    m_ReportedFailures.Clear();
    while (!m_GuestSocks.IsEmpty()) {
        CqTcpSock* pSock = m_GuestSocks.RemoveAt(0);
        if (!pSock) continue;
        pSock->Delete();
        delete pSock;
    }
}

// The chat state as the window shows it: the Connect button's caption, the window
// title and the enabling of sending follow the mode and its socket's state; the
// transcript only grows; the guest list is emptied here.
#include "module/ui/ChatDlg.h"

#include <cstdio>

namespace {

constexpr std::int32_t kModeGuest = 0;
constexpr std::int32_t kModeHost = 1;
constexpr std::size_t kTitleCapacity = 512;

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

} // namespace

void CChatDlg::UpdateStateDisplay() {
    if (m_nMode == kModeGuest) {
        const bool connected = m_ClientSock.GetSockState() == SOCKSTATE_CONNECTED;
        m_btnConnect.SetWindowText(connected ? "Connected" : "Closed");
        SetWindowText(connected ? Format("Chat client - %s:%d", m_strHostAddr.c_str(), m_nPort)
                                : std::string("Chat client - disconnected"));
        m_editMessage.EnableWindow(connected);
        m_btnSend.EnableWindow(connected);
    } else if (m_nMode == kModeHost) {
        const bool listening = m_ListenSock.GetSockState() == SOCKSTATE_LISTENING;
        const bool canSend = listening && !m_GuestSocks.IsEmpty();
        m_btnConnect.SetWindowText(listening ? "Listening" : "Closed");
        SetWindowText(listening ? Format("Chat host - Port %d", m_nPort)
                                : std::string("Chat host - closed"));
        m_editMessage.EnableWindow(canSend);
        m_btnSend.EnableWindow(canSend);
    } else {
        SetWindowText("");
    }
}

void CChatDlg::AppendText(const char* lpText) {
    if (lpText) m_strTranscript += lpText;
    if (!m_bShown) return;
    // The refresh rewrites the message box too: what the user has typed since the
    // last capture is read first, so that no append discards it.
    if (m_editMessage.IsAttached()) m_strMessage = m_editMessage.GetWindowText();
    UpdateData(false);
    // Scrolling by the whole line count brings the end of the text into view.
    m_editTranscript.LineScroll(m_editTranscript.GetLineCount(), 0);
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

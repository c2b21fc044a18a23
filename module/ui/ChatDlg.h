// CChatDlg: the module's only window, a modeless dialog on template 15000, which
// also carries the whole chat state (mode, settings, sockets, guest list,
// transcript). The window side (creation, showing, hiding, icon, Help!, Close)
// lives in ChatDlgWindow.cpp; the state display and transcript in
// chat/ChatState.cpp; the session handlers in chat/ChatSession.cpp.
#pragma once

#include "dialogkit/dialog.h"
#include "module/chat/ReportedFailures.h"
#include "module/net/CqTcpSock.h"
#include "module/plugin/qrv_abi.h"
#include "module/ui/CqTcpSockArray.h"

#include <cstdint>
#include <string>

class CChatDlg : public dk::CDialog {
public:
    CChatDlg();
    ~CChatDlg() override; // ends every session before the window is destroyed

    // The menu entry "Chat client": creates the window once and shows it.
    void ShowChatWindow();
    // Ends every session and hides the window; nothing while it is not shown.
    void HideAndEndSessions();
    bool IsShown() const { return m_bShown; }

    // Socket events, from the exports ExtOnConnect, ExtOnAccept, ExtOnRecv, ExtOnClose.
    void OnConnect(QHANDLE hSock);
    void OnAccept(QHANDLE hSock);
    void OnRecv(QHANDLE hSock);
    void OnClose(QHANDLE hSock);

    // Chat state and transcript.
    void UpdateStateDisplay();
    void AppendText(const char* lpText);
    void DeleteAllGuests();
    // Sends lpText as a "text" message to every connected guest; a guest that refuses
    // it is reported as a failure to relay a line of the host.
    void BroadcastText(const char* lpText);

    // Button handlers, also run by the message table.
    void OnBnClickedConnectButton();
    void OnBnClickedSendButton();
    void OnCloseButton();
    void OnHelpButton();

    // Members in declared order; the session code reads and writes them directly.
    CqTcpSock m_ClientSock;      // Guest side: the connection to the host
    CqTcpSock m_ListenSock;      // Host side: the listening socket
    CqTcpSockArray m_GuestSocks; // Host side: one owned socket per accepted guest
    bool m_bShown = false;       // true exactly while the window is shown
    bool m_bCreated = false;     // true once the window exists
    std::int32_t m_nMode = 0;    // 0 Guest, 1 Host
    std::string m_strHostAddr = "127.0.0.1";
    std::int32_t m_nPort = 8080;
    std::string m_strNickname;
    dk::CButton m_btnConnect;
    std::string m_strTranscript;
    std::string m_strMessage;
    dk::CButton m_btnSend;
    dk::CEdit m_editMessage;
    dk::CEdit m_editTranscript;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(dk::CDataExchange& dx) override;
    bool RouteMessage(unsigned message, unsigned code, int id) override;

private:
    // The caption's close box and the system menu's Close.
    void OnCloseRequest();

    // Host side. BroadcastText for a line made from what hSender sent (0: the host's
    // own line); a guest that refuses the line is reported once per sender and cause,
    // naming the sender as `sender`.
    void BroadcastText(const char* lpText, QHANDLE hSender, const std::string& sender);
    // Sends the line to every connected guest, then appends it as a transcript entry.
    void RelayLine(const std::string& line, QHANDLE hSender, const std::string& sender);
    // A guest's "text" and "set display name" records; sock refers to its socket.
    void RelayGuestText(CqTcpSock& sock, const std::string& text);
    void AnnounceGuestName(CqTcpSock& sock, const std::string& nickname);

    // A Connect click is under way: its settings dialog or its failure box is open,
    // and a second click must not start a second session beside it.
    bool m_bConnectClickUnderWay = false;
    // How much of m_strTranscript the transcript box holds.
    dk::BoxPrefix m_TranscriptInBox;
    // Failures to relay, and refused nicknames, already reported per guest.
    ReportedFailures m_ReportedFailures;
};

extern CChatDlg g_ChatDlg;

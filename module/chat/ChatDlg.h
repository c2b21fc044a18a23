// CChatDlg: the module's only window, a modeless dialog on template 15000, which
// also carries the whole chat state (mode, settings, sockets, guest list,
// transcript). It is written in two halves, and every member function is declared
// below under the side that defines it. The session side, in this folder
// (ChatSession.cpp and ChatState.cpp), joins, hosts, relays, keeps the guest list,
// decides what the state display shows, keeps the transcript (entries, trims, Show
// times, clearing) and ends the sessions; it shows what it decided through the window
// side's ShowState, ShowTranscriptEnd, ShowPendingView and RefreshFields. The window
// side, in ui/ (ChatDlgWindow.cpp and ChatDlgMenu.cpp), alone touches controls:
// creation, showing and hiding, field exchange with the two boxes, the settings
// dialog, the transcript's menu, Help! and Close; of the session it calls only the
// public members. ui/ includes this header; nothing in chat/ includes ui/, so the
// arrows run one way.
#pragma once

#include "dialogkit/control_keys.h"
#include "dialogkit/dialog.h"
#include "module/chat/ChatMode.h"
#include "module/chat/ReportedFailures.h"
#include "module/chat/TextSearch.h"
#include "module/chat/TranscriptEntries.h"
#include "module/net/CqTcpSock.h"
#include "module/net/CqTcpSockArray.h"
#include "module/plugin/CExtAPI.h"
#include "qrvapi/qrv_abi.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The transcript and message boxes tell it of their menu and keys (ControlKeyHandler).
class CChatDlg : public dk::CDialog, private dk::ControlKeyHandler {
public:
    // Window side (ui/ChatDlgWindow.cpp).
    CChatDlg();
    ~CChatDlg() override; // ends every session before the window is destroyed
    // The menu entry "Chat client": creates the window once and shows it.
    void ShowChatWindow();
    // Ends every session and hides the window; nothing while it is not shown.
    void HideAndEndSessions();
    bool IsShown() const { return m_bShown; }
    // The Close and Help! buttons, also run by the message table.
    void OnCloseButton();
    void OnHelpButton();

    // Session side (chat/ChatSession.cpp).
    // Socket events, from the exports ExtOnConnect, ExtOnAccept, ExtOnRecv, ExtOnClose.
    void OnConnect(QHANDLE hSock);
    void OnAccept(QHANDLE hSock);
    void OnRecv(QHANDLE hSock);
    void OnClose(QHANDLE hSock);
    // The Connect and Send buttons, also run by the message table.
    void OnBnClickedConnectButton();
    void OnBnClickedSendButton();
    // Sends lpText as a "text" message to every connected guest; a guest that refuses
    // it is reported as a failure to relay a line of the host.
    void BroadcastText(const char* lpText);

    // Session side (chat/ChatState.cpp): the chat state and the transcript.
    void UpdateStateDisplay();
    // Adds lpText to the transcript as one entry (null adds nothing) and, while the
    // window is shown, shows the transcript's end.
    void AppendText(const char* lpText);
    // Empties the transcript and its entries; the session goes on.
    void ClearTranscript();
    void DeleteAllGuests();
    // Deletes the client socket, the listening socket and every guest's; appends nothing.
    void EndSessions();

protected:
    // Window side (ui/ChatDlgWindow.cpp).
    bool OnInitDialog() override;
    void DoDataExchange(dk::CDataExchange& dx) override;
    bool RouteMessage(unsigned message, unsigned code, int id) override;

private:
    // Tests arrange and check the members below through this one door.
    friend struct ChatDlgTestAccess;

    // The connection settings as the settings dialog hands them back.
    struct Settings {
        ChatMode mode = ChatMode::Guest;
        std::string hostAddr;
        std::int32_t port = 0;
        std::string nickname;
    };
    // What the window shows of the chat state: the Connect button's caption, the
    // title, and whether the message box and Send are enabled. A mode that is
    // neither shows only an empty title.
    struct StateDisplay {
        bool modeKnown = false;
        const char* connectCaption = "";
        std::string title;
        bool sendEnabled = false;
    };

    // Window side (ui/ChatDlgWindow.cpp).
    // The caption's close box and the system menu's Close.
    void OnCloseRequest();
    // The window was activated or left (WM_ACTIVATE).
    void OnActivate();
    // An entry arrived: a window in the background flashes until it is brought forward.
    void CallAttention();
    void ShowState(const StateDisplay& display);
    // Capture: the shown window's boxes into the members. A hidden window's boxes may
    // be older than the members (appends while hidden change the members only).
    void CaptureFields();
    // Refresh that keeps what the user has typed since the last capture.
    void RefreshFields();
    // The refresh after a send: the message box is emptied only when it still holds
    // exactly the text sent; what the user typed meanwhile (a report of the send may
    // have run a modal loop) stays.
    void EmptyMessageIfStill(const std::string& sent);
    // The refresh after an entry: the fields, the transcript's end scrolled into view,
    // and a call for attention.
    void ShowTranscriptEnd();
    // Brings the window up to date with what a batch has held back.
    void ShowPendingView();
    // Runs the settings dialog filled with the current settings; its settings after
    // OK, nothing otherwise.
    std::optional<Settings> AskSettings();

    // While a batch lives, appends and refreshes wait for its end, where the window is
    // brought up to date once: what it then shows is what it would have shown. A receive
    // callback's records are one batch. Its owner shows what it held back explicitly
    // (ShowPendingView). So does every report, through the report hooks, before its
    // modal loop, during which nothing is held back (the loop's handlers show their
    // changes as they make them); the batch goes on after it. The destructor only puts
    // back what the constructor changed: nothing there can throw.
    class ViewBatch {
    public:
        explicit ViewBatch(CChatDlg& dlg)
            : m_Dlg(dlg), m_bOuter(dlg.m_bBatchingView),
              m_OuterHooks(g_ExtAPI.SetReportHooks({&BeforeReport, &AfterReport, this})) {
            dlg.m_bBatchingView = true;
        }
        ~ViewBatch() {
            m_Dlg.m_bBatchingView = m_bOuter;
            g_ExtAPI.SetReportHooks(m_OuterHooks);
        }
        ViewBatch(const ViewBatch&) = delete;
        ViewBatch& operator=(const ViewBatch&) = delete;

    private:
        // Reports nest (a handler inside a report's loop reports too): the batch holds
        // back again once the outermost of them is closed.
        static void BeforeReport(void* context) {
            ViewBatch& batch = *static_cast<ViewBatch*>(context);
            ++batch.m_nReportsOpen;
            batch.m_Dlg.m_bBatchingView = false;
            batch.m_Dlg.ShowPendingView();
        }
        static void AfterReport(void* context) {
            ViewBatch& batch = *static_cast<ViewBatch*>(context);
            if (--batch.m_nReportsOpen == 0) batch.m_Dlg.m_bBatchingView = true;
        }

        CChatDlg& m_Dlg;
        bool m_bOuter;
        int m_nReportsOpen = 0;
        CExtAPI::ReportHooks m_OuterHooks;
    };
    // What a batch has held back from the window.
    enum class PendingView { None, Fields, TranscriptEnd };

    // Window side: the transcript's menu and keys (ui/ChatDlgMenu.cpp).
    void ListenToBoxKeys();
    bool OnControlContextMenu(dk::WindowHandle control, int x, int y) override;
    bool OnControlKey(dk::WindowHandle control, unsigned virtualKey, unsigned modifiers) override;
    // One of the menu's items (TranscriptCommand), or 0 for a dismissed menu.
    void RunTranscriptCommand(int command);
    void OnFindTranscript();
    // Selects the next match in the transcript box, or says there is none.
    void FindInTranscript(const FindRequest& request);
    void OnSaveTranscript();
    void OnShowAddresses();

    // Session side (chat/ChatState.cpp).
    StateDisplay DescribeState();
    // RefreshFields, or within a batch, at its end.
    void RefreshFieldsAfterBatch();
    // One transcript entry: the line and the entry end in one AppendText.
    void AppendEntry(const std::string& line);
    // Adds text to m_strTranscript as one entry and trims whole entries from its top
    // past the transcript's limits; the box loses them at its next refresh.
    void AddToTranscript(const char* lpText);

    // Session side (chat/ChatSession.cpp).
    // After OK in mode Guest: makes the client socket when there is none, then
    // connects. False when the handler ends without refreshing the display.
    bool JoinHost();
    // After OK in mode Host: makes the listening socket when there is none, listens.
    bool StartHosting();
    // BroadcastText for a line made from what hSender sent (0: the host's own line);
    // a guest that refuses the line is reported once per sender and cause, naming the
    // sender as `sender`.
    void BroadcastText(const char* lpText, QHANDLE hSender, const std::string& sender);
    // What became of a line sent to every connected guest: how many took it, and the
    // Winsock errors with which the others refused it, each once.
    struct Delivery {
        int taken = 0;
        std::vector<std::int32_t> refusals;
    };
    Delivery SendToEveryGuest(const std::string& line);
    // Reports each refusal of a line of hSender's, once per sender and cause.
    void ReportRefusals(const std::vector<std::int32_t>& refusals, QHANDLE hSender,
                        const std::string& sender);
    // Sends the line to every connected guest, appends it as a transcript entry, then
    // reports the refusals.
    void RelayLine(const std::string& line, QHANDLE hSender, const std::string& sender);
    // The host's own typed text as a line to every guest. It is the host's line only
    // once a guest has it: a line that reached nobody is not appended, and false says
    // that the text stays the user's.
    bool SayAsHost(const std::string& typed);
    // ShowPendingView, then the report: a report in a batch comes after its lines.
    void ShowPendingAndReport(const char* lpHandler, const char* lpWhat);
    // The records of hSock's receive queue, one by one.
    void HandleRecvQueue(QHANDLE hSock);
    // One record of a receive queue, from the socket sock refers to.
    void HandleRecord(CqTcpSock& sock, QHANDLE hRecord);
    // A guest's "text" and "set display name" records; sock refers to its socket.
    void RelayGuestText(CqTcpSock& sock, const std::string& text);
    void AnnounceGuestName(CqTcpSock& sock, const std::string& nickname);

    // Members in declared order.
    CqTcpSock m_ClientSock;      // Guest side: the connection to the host
    CqTcpSock m_ListenSock;      // Host side: the listening socket
    CqTcpSockArray m_GuestSocks; // Host side: one owned socket per accepted guest
    bool m_bShown = false;       // true exactly while the window is shown
    bool m_bCreated = false;     // true once the window exists
    ChatMode m_nMode = ChatMode::Guest;
    std::string m_strHostAddr = "127.0.0.1";
    std::int32_t m_nPort = 8080;
    std::string m_strNickname;
    dk::CButton m_btnConnect;
    std::string m_strTranscript;
    std::string m_strMessage;
    dk::CButton m_btnSend;
    dk::CEdit m_editMessage;
    dk::CEdit m_editTranscript;

    // A Connect click is under way: its settings dialog or its failure box is open,
    // and a second click must not start a second session beside it.
    bool m_bConnectClickUnderWay = false;
    // A Send click is under way: a report of its relay may be open, the sent text still
    // in the message box, and a second click must not send it again.
    bool m_bSendClickUnderWay = false;
    // The entries of m_strTranscript, which keep it within its limits.
    TranscriptEntries m_TranscriptEntries;
    // A receive callback's batch is under way, and what it has held back.
    bool m_bBatchingView = false;
    PendingView m_PendingView = PendingView::None;
    // The window was asked to flash since it was last activated or left.
    bool m_bAttentionAsked = false;
    // How much of m_strTranscript the transcript box holds: the session's trims and
    // clears mark it, and each exchange brings it up to date.
    dk::BoxPrefix m_TranscriptInBox;
    // Failures to relay, and refused nicknames, already reported per guest.
    ReportedFailures m_ReportedFailures;
    // Show times: each new entry begins with the local time as "[HH:MM] ". Off at
    // first, kept while the plug-in is loaded.
    bool m_bShowTimes = false;
    // The Find dialog's last text and options, for F3.
    FindRequest m_LastFind;
};

extern CChatDlg g_ChatDlg;

// The session side of CChatDlg: the Connect button (join a host or start hosting,
// and stop again), sending typed text, receiving messages, and guests arriving and
// leaving while hosting.
//
// Every report and message box may run a modal loop in which the window's other
// handlers run: a guest's close, a click, the window being closed. So no handler holds
// a guest's entry or index across such a call; it finds the guest again by its socket
// handle and goes without it when it has gone.
#include "module/ui/ChatDlg.h"

#include "dialogkit/message_box.h"
#include "module/chat/ChatLines.h"
#include "module/chat/MessageText.h"
#include "module/plugin/CExtAPI.h"
#include "module/plugin/CqVar.h"
#include "module/ui/ConnectionDlg.h"

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t kModeGuest = 0;
constexpr std::int32_t kModeHost = 1;
constexpr std::int32_t kAnyLocalPort = 0;

constexpr const char* kOnRecvFunc = "Volubra.ExtOnRecv";
constexpr const char* kOnCloseFunc = "Volubra.ExtOnClose";
constexpr const char* kOnAcceptFunc = "Volubra.ExtOnAccept";

void Report(const char* lpHandler, const char* lpWhat) {
    const std::string message = std::string("CChatDlg::") + lpHandler + " error:\r\n - " + lpWhat;
    g_ExtAPI.app_ReportError(message.c_str());
}

void ReportException(const char* lpHandler, const char* lpWhat) {
    const std::string message =
        std::string("CChatDlg::") + lpHandler + " exception:\r\n - " + lpWhat;
    g_ExtAPI.app_ReportError(message.c_str());
}

// Runs one guarded part of the departure handling: whatever it throws is reported
// with lpWhat, and the handling goes on after it.
template <typename Part> void RunGuarded(const char* lpWhat, Part&& part) {
    try {
        part();
    } catch (...) {
        ReportException("OnClose", lpWhat);
    }
}

// Registers the module's function lpFuncName for an event of sock. A function that
// cannot be found counts as a failed registration: events would never arrive.
bool RegisterCallback(CqTcpSock& sock, std::int32_t callbackId, const char* lpFuncName) {
    const QHANDLE hFunc = g_ExtAPI.qrvfunc_GetFunc(lpFuncName);
    return hFunc != 0 && sock.SetCallback(callbackId, hFunc);
}

// Idle: no socket at all, or one that is neither connected nor listening.
bool IsIdle(CqTcpSock& sock) {
    return sock.GetHandle() == 0 || sock.GetSockState() == SOCKSTATE_CLOSED;
}

// The state that decides a click: 0 when no socket is held.
std::int32_t ClickState(CqTcpSock& sock) {
    return sock.GetHandle() == 0 ? SOCKSTATE_CLOSED : sock.GetSockState();
}

int FindGuestIndex(const CqTcpSockArray& guests, QHANDLE hSock) {
    for (int i = 0; i < guests.GetSize(); ++i) {
        const CqTcpSock* guest = guests.GetAt(i);
        if (guest != nullptr && guest->GetHandle() == hSock) return i;
    }
    return -1;
}

CqTcpSock* FindGuest(const CqTcpSockArray& guests, QHANDLE hSock) {
    return guests.GetAt(FindGuestIndex(guests, hSock));
}

// The text of a guest's "DisplayName" item; false when it has none.
bool ReadDisplayName(QHANDLE hPropList, std::string& name) {
    const QHANDLE hItem = g_ExtAPI.list_GetItemA(hPropList, chatlines::kDisplayNameItem);
    if (hItem == 0) return false;
    CqStr item;
    if (!item.Attach(hItem)) return false;
    const char* text = item.GetText();
    name = text != nullptr ? text : "";
    return true;
}

// A peer's address and port as the socket plug-in reports them: an empty address and
// port 0 when it cannot say.
struct PeerEndpoint {
    std::string address;
    std::int32_t port = 0;
};

PeerEndpoint AskPeer(CqTcpSock& sock) {
    PeerEndpoint peer;
    CqStr address;
    sock.GetPeerInfo(address.GetHandle(), &peer.port);
    const char* text = address.GetText();
    peer.address = text != nullptr ? text : "";
    return peer;
}

// Capture: the shown window's boxes into the members. A hidden window's boxes may be
// older than the members (appends while hidden change the members only).
void CaptureFields(CChatDlg& dlg) {
    if (dlg.IsShown()) dlg.UpdateData(true);
}

// Refresh that keeps what the user has typed since the last capture.
void RefreshFields(CChatDlg& dlg) {
    if (dlg.IsShown() && dlg.m_editMessage.IsAttached())
        dlg.m_strMessage = dlg.m_editMessage.GetWindowText();
    dlg.UpdateData(false);
}

// Mode 0 after OK: makes the client socket when there is none, then connects. False
// when the handler ends without refreshing the display.
bool JoinHost(CChatDlg& dlg) {
    CqTcpSock& sock = dlg.m_ClientSock;
    if (sock.GetHandle() == 0) {
        if (!sock.Create()) {
            Report("OnBnClickedConnectButton", "cannot create client socket");
            return false;
        }
        // A socket whose events cannot reach the chat is deleted again, so that the
        // next click starts over instead of connecting it.
        if (!RegisterCallback(sock, CALLBACKID_RECV, kOnRecvFunc)) {
            sock.Delete();
            Report("OnBnClickedConnectButton", "cannot set OnRecv callback");
            return false;
        }
        if (!RegisterCallback(sock, CALLBACKID_CLOSE, kOnCloseFunc)) {
            sock.Delete();
            Report("OnBnClickedConnectButton", "cannot set OnClose callback");
            return false;
        }
    }
    const std::string address = dlg.m_strHostAddr;
    const std::int32_t port = dlg.m_nPort;
    if (sock.Connect(address.c_str(), port, kAnyLocalPort)) {
        const std::string nickname = dlg.m_strNickname;
        if (!nickname.empty()) sock.SendMsgA(chatlines::kLabelSetDisplayName, nickname.c_str());
        return true;
    }
    const std::int32_t error = sock.GetLastError();
    const std::string text = chatlines::CannotConnect(address, port, GetSockErrorName(error));
    dk::ShowAppMessageBox(text.c_str(), dk::kMbOk | dk::kMbIconError);
    return true;
}

// Mode 1 after OK: makes the listening socket when there is none, then listens.
bool StartHosting(CChatDlg& dlg) {
    CqTcpSock& sock = dlg.m_ListenSock;
    if (sock.GetHandle() == 0) {
        if (!sock.Create()) {
            Report("OnBnClickedConnectButton", "cannot create listen socket");
            return false;
        }
        if (!RegisterCallback(sock, CALLBACKID_ACCEPT, kOnAcceptFunc)) {
            sock.Delete();
            Report("OnBnClickedConnectButton", "cannot set OnAccept callback");
            return false;
        }
    }
    const std::int32_t port = dlg.m_nPort;
    if (sock.Listen(port)) return true;
    const std::int32_t error = sock.GetLastError();
    const std::string text = chatlines::CannotListen(port, GetSockErrorName(error));
    dk::ShowAppMessageBox(text.c_str(), dk::kMbOk | dk::kMbIconError);
    return true;
}

} // namespace

void CChatDlg::OnConnect(QHANDLE /*hSock*/) {
    // Nothing to do: Connect returns only once the connection stands.
}

void CChatDlg::OnBnClickedConnectButton() {
    CaptureFields(*this);
    if (m_bConnectClickUnderWay) {
        UpdateStateDisplay();
        return;
    }

    std::int32_t state = SOCKSTATE_NONE;
    if (m_nMode == kModeGuest) {
        state = ClickState(m_ClientSock);
        if (state == SOCKSTATE_CONNECTED) {
            m_ClientSock.Close();
            UpdateStateDisplay();
            return;
        }
    } else if (m_nMode == kModeHost) {
        state = ClickState(m_ListenSock);
        if (state == SOCKSTATE_LISTENING) {
            m_ListenSock.Close();
            DeleteAllGuests();
            UpdateStateDisplay();
            return;
        }
    }
    if (state != SOCKSTATE_CLOSED) {
        UpdateStateDisplay();
        return;
    }

    // Cleared on every way out of the handler, the exceptional one included.
    struct UnderWay {
        bool& flag;
        explicit UnderWay(bool& f) : flag(f) { flag = true; }
        ~UnderWay() { flag = false; }
    } underWay(m_bConnectClickUnderWay);
    CConnectionDlg settings;
    settings.m_nMode = m_nMode;
    settings.m_strHostAddr = m_strHostAddr;
    settings.m_nPort = static_cast<std::uint32_t>(m_nPort);
    settings.m_strNickname = m_strNickname;
    const bool confirmed = settings.DoModal() == dk::kIdOkCommand;
    // The dialog is unowned, so the window stayed usable meanwhile: it may have been
    // closed, or sockets may be up from events handled inside the dialog's loop.
    if (!confirmed || !m_bShown || !IsIdle(m_ClientSock) || !IsIdle(m_ListenSock)) {
        UpdateStateDisplay();
        return;
    }
    m_nMode = settings.m_nMode;
    m_strHostAddr = settings.m_strHostAddr;
    m_nPort = static_cast<std::int32_t>(settings.m_nPort);
    m_strNickname = settings.m_strNickname;

    bool refresh = true;
    if (m_nMode == kModeGuest)
        refresh = JoinHost(*this);
    else if (m_nMode == kModeHost)
        refresh = StartHosting(*this);
    if (refresh) UpdateStateDisplay();
}

void CChatDlg::OnBnClickedSendButton() {
    CaptureFields(*this);
    if (m_strMessage.empty()) return;
    // A copy: m_strMessage is recaptured by appends that run inside a modal loop.
    const std::string typed = m_strMessage;
    if (m_nMode == kModeGuest) {
        if (!m_ClientSock.SendMsgA(chatlines::kLabelText, typed.c_str())) {
            // The connection has just dropped: the text stays for the user to keep.
            RefreshFields(*this);
            UpdateStateDisplay();
            return;
        }
    } else if (m_nMode == kModeHost) {
        const std::string line = chatlines::HostSays(m_strNickname, typed);
        BroadcastText(line.c_str());
        AppendText(line.c_str());
        AppendText(chatlines::kEntryEnd);
    }
    m_strMessage.clear();
    UpdateData(false);
}

void CChatDlg::BroadcastText(const char* lpText) {
    if (lpText == nullptr) return;
    const std::string line = lpText;
    // Sending may report, and a report may run a modal loop that changes the list:
    // each guest is found again by its handle before it is used.
    std::vector<QHANDLE> handles;
    for (int i = 0; i < m_GuestSocks.GetSize(); ++i) {
        const CqTcpSock* guest = m_GuestSocks.GetAt(i);
        if (guest != nullptr) handles.push_back(guest->GetHandle());
    }
    for (const QHANDLE hGuest : handles) {
        CqTcpSock* guest = FindGuest(m_GuestSocks, hGuest);
        if (guest == nullptr || guest->GetSockState() != SOCKSTATE_CONNECTED) continue;
        guest = FindGuest(m_GuestSocks, hGuest);
        if (guest != nullptr) guest->SendMsgA(chatlines::kLabelText, line.c_str());
    }
}

void CChatDlg::OnRecv(QHANDLE hSock) {
    CaptureFields(*this);
    CqTcpSock sock; // refers to hSock; the socket stays the plug-in's
    if (!sock.Attach(hSock)) {
        Report("OnRecv", "invalid socket handle");
        return;
    }
    CqList queue;
    if (!sock.GetRecvQueue(queue.GetHandle())) {
        Report("OnRecv", "cannot get receive queue");
        return;
    }
    const std::uint32_t count = queue.nItems();
    for (std::uint32_t i = 0; i < count; ++i) {
        CqList record;
        if (!record.Attach(queue.GetItemI(i))) {
            Report("OnRecv", "cannot get message");
            continue;
        }
        CqStr label;
        if (!label.Attach(record.GetItemI(0))) {
            Report("OnRecv", "cannot get message label");
            continue;
        }
        const bool isText = label.CompareNoCase(chatlines::kLabelText) == 0;
        if (!isText && label.CompareNoCase(chatlines::kLabelSetDisplayName) != 0) continue;

        std::string data;
        {
            CqBuffer buffer;
            if (!buffer.Attach(record.GetItemI(1)) || !ReadMessageText(buffer, data)) {
                Report("OnRecv", "cannot get message data");
                continue;
            }
        }
        if (m_nMode == kModeGuest && isText) {
            AppendText((data + chatlines::kEntryEnd).c_str());
        } else if (m_nMode == kModeHost) {
            std::string line;
            PeerEndpoint peer;
            const int index = FindGuestIndex(m_GuestSocks, hSock);
            if (isText) {
                std::string name;
                if (index >= 0 && ReadDisplayName(m_GuestSocks.GetAt(index)->GetPropList(), name)) {
                    line = chatlines::NamedGuestSays(name, data);
                } else {
                    if (index >= 0) peer = AskPeer(sock);
                    line = chatlines::GuestSays(peer.address, peer.port, data);
                }
            } else {
                if (index >= 0) {
                    CqList props;
                    props.Attach(m_GuestSocks.GetAt(index)->GetPropList());
                    const QHANDLE hName =
                        props.GetOrCreateItem(TYPEID_STRING, chatlines::kDisplayNameItem);
                    if (hName != 0) g_ExtAPI.str_SetText(hName, data.c_str());
                    peer = AskPeer(sock);
                }
                line = chatlines::GuestIs(peer.address, peer.port, data);
            }
            BroadcastText(line.c_str());
            AppendText(line.c_str());
            AppendText(chatlines::kEntryEnd);
        }
        RefreshFields(*this);
    }
}

void CChatDlg::OnAccept(QHANDLE hSock) {
    if (hSock != m_ListenSock.GetHandle()) {
        Report("OnAccept", "socket handle mismatch");
        return;
    }
    std::unique_ptr<CqTcpSock> guest(new CqTcpSock);
    const char* failure = nullptr;
    if (!guest->Create())
        failure = "cannot create peer socket";
    else if (!RegisterCallback(*guest, CALLBACKID_RECV, kOnRecvFunc))
        failure = "cannot set OnRecv callback";
    else if (!RegisterCallback(*guest, CALLBACKID_CLOSE, kOnCloseFunc))
        failure = "cannot set OnClose callback";
    else if (!m_ListenSock.Accept(guest.get()))
        failure = "cannot accept peer connection";
    if (failure != nullptr) {
        Report("OnAccept", failure);
        guest->Delete();
        return;
    }

    // Asked while the new guest is still only ours, so that nothing run inside a
    // report's modal loop can take it away.
    CqStr address;
    guest->GetPeerAddr(address.GetHandle());
    const std::int32_t port = guest->GetPeerPort();
    if (!m_bShown || m_ListenSock.GetHandle() != hSock) {
        // The window was closed meanwhile: hosting is over, and so is this guest.
        guest->Delete();
        return;
    }
    m_GuestSocks.Add(guest.release());

    const char* text = address.GetText();
    const std::string joined =
        chatlines::GuestJoined(text != nullptr ? text : "", port, m_strNickname);
    AppendText(joined.c_str());
    AppendText(chatlines::kEntryEnd);
    BroadcastText(joined.c_str());

    const std::string online = chatlines::GuestsOnline(m_GuestSocks.GetSize());
    BroadcastText(online.c_str());
    AppendText(online.c_str());
    AppendText(chatlines::kEntryEnd);
    UpdateStateDisplay();
}

void CChatDlg::OnClose(QHANDLE hSock) {
    CaptureFields(*this);
    if (m_nMode == kModeGuest) {
        AppendText(chatlines::kHostDisconnectedEntry);
    } else if (m_nMode == kModeHost) {
        std::string line;
        // The departing guest leaves the list first and is ours until it is deleted,
        // so that no handler run inside a report's modal loop can reach it.
        std::unique_ptr<CqTcpSock> guest(
            m_GuestSocks.RemoveAt(FindGuestIndex(m_GuestSocks, hSock)));
        const bool matched = guest != nullptr;
        if (matched) {
            std::string name;
            RunGuarded("cannot get display name",
                       [&] { ReadDisplayName(guest->GetPropList(), name); });
            RunGuarded("cannot get/display peer info", [&] {
                if (!name.empty()) {
                    line = chatlines::NamedGuestDisconnected(name);
                } else {
                    RunGuarded("cannot get peer info", [&] {
                        const PeerEndpoint peer = AskPeer(*guest);
                        line = chatlines::GuestDisconnected(peer.address, peer.port);
                    });
                }
                AppendText(line.c_str());
                AppendText(chatlines::kEntryEnd);
            });
            RunGuarded("cannot remove/delete peer info", [&] {
                guest->Delete();
                guest.reset();
            });
        }
        RunGuarded("cannot update clients", [&] {
            if (matched) BroadcastText(line.c_str());
            const std::string online = chatlines::GuestsOnline(m_GuestSocks.GetSize());
            BroadcastText(online.c_str());
            AppendText(online.c_str());
            AppendText(chatlines::kEntryEnd);
        });
    }
    RefreshFields(*this);
    UpdateStateDisplay();
}

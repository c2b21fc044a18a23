// The session side of CChatDlg: the Connect button (join a host or start hosting,
// and stop again), sending typed text, receiving messages, and guests arriving and
// leaving while hosting.
//
// Every report and message box may run a modal loop in which the window's other
// handlers run: a guest's close, a click, the window being closed. So no handler holds
// a guest's entry or index across such a call; it finds the guest again by its socket
// handle and goes without it when it has gone.
#include "dialogkit/message_box.h"
#include "module/chat/ChatDlg.h"
#include "module/chat/ChatLines.h"
#include "module/chat/MessageText.h"
#include "module/chat/ShownLine.h"
#include "module/plugin/CExtAPI.h"
#include "module/plugin/CqVar.h"

#include <algorithm>
#include <exception>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t kAnyLocalPort = 0;

// A socket event, the module function that handles it, and the failure reported when
// that function cannot be registered for it.
struct Callback {
    std::int32_t callbackId;
    const char* lpFuncName;
    const char* lpFailure;
};
constexpr Callback kOnRecv = {CALLBACKID_RECV, "Volubra.ExtOnRecv", "cannot set OnRecv callback"};
constexpr Callback kOnClose = {CALLBACKID_CLOSE, "Volubra.ExtOnClose",
                               "cannot set OnClose callback"};
constexpr Callback kOnAccept = {CALLBACKID_ACCEPT, "Volubra.ExtOnAccept",
                                "cannot set OnAccept callback"};

// The sender of the host's own lines (its typing, arrivals, departures, counts).
constexpr QHANDLE kHostItself = 0;
constexpr const char* kHostItselfName = "the host";
// A cause of a report that is no Winsock error: a nickname over the maximum.
constexpr std::int32_t kNicknameTooLong = -1;
// The socket plug-in's refusal of a message longer than it frames (WSAEMSGSIZE).
constexpr std::int32_t kTooLongForTheSockets = 10040;

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

// Registers the module's function for an event of sock. A function that cannot be
// found counts as a failed registration: events would never arrive.
bool RegisterCallback(CqTcpSock& sock, const Callback& callback) {
    const QHANDLE hFunc = g_ExtAPI.qrvfunc_GetFunc(callback.lpFuncName);
    return hFunc != 0 && sock.SetCallback(callback.callbackId, hFunc);
}

// Makes sock a new socket of the plug-in whose events reach the chat: creates it,
// then registers each callback in order. The failure to report (lpCreateFailure when
// no socket was made), or null. A socket whose events cannot reach the chat is left
// made; the caller deletes it, so that nothing connects it later.
const char* CreateWithCallbacks(CqTcpSock& sock, const char* lpCreateFailure,
                                std::initializer_list<Callback> callbacks) {
    if (!sock.Create()) return lpCreateFailure;
    for (const Callback& callback : callbacks) {
        if (!RegisterCallback(sock, callback)) return callback.lpFailure;
    }
    return nullptr;
}

// Idle: no socket at all, or one that is neither connected nor listening.
bool IsIdle(CqTcpSock& sock) {
    return sock.GetHandle() == 0 || sock.GetSockState() == SOCKSTATE_CLOSED;
}

// The state that decides a click: 0 when no socket is held.
std::int32_t ClickState(CqTcpSock& sock) {
    return sock.GetHandle() == 0 ? SOCKSTATE_CLOSED : sock.GetSockState();
}

// Set while a click's handling is under way, cleared on every way out of it, the
// exceptional one included.
class UnderWay {
public:
    explicit UnderWay(bool& flag) : m_bFlag(flag) { m_bFlag = true; }
    ~UnderWay() { m_bFlag = false; }
    UnderWay(const UnderWay&) = delete;
    UnderWay& operator=(const UnderWay&) = delete;

private:
    bool& m_bFlag;
};

int FindGuestIndex(const CqTcpSockArray& guests, QHANDLE hSock) {
    for (int i = 0; i < guests.GetSize(); ++i) {
        const CqTcpSock* guest = guests.GetAt(i);
        if (guest != nullptr && guest->GetHandle() == hSock) return i;
    }
    return -1;
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

// A guest as the reports name it.
std::string GuestCalled(const std::string& name) {
    return "guest '" + name + "'";
}

std::string GuestAt(const PeerEndpoint& peer) {
    return "guest " + peer.address + ":" + std::to_string(peer.port);
}

// Sends line to the guest with that arrival number, last seen at index, if it is
// connected: Sent, Refused with the Winsock error in `error`, or NotSent.
SendOutcome SendToGuest(const CqTcpSockArray& guests, std::uint64_t nArrival, int index,
                        const std::string& line, std::int32_t& error) {
    CqTcpSock* guest = guests.GetAt(index);
    if (guest == nullptr || guest->GetSockState() != SOCKSTATE_CONNECTED)
        return SendOutcome::NotSent;
    // A failed state query reports, and the guest may have left meanwhile.
    guest = guests.GetAt(guests.IndexOfArrival(nArrival, index));
    if (guest == nullptr) return SendOutcome::NotSent;
    const SendOutcome outcome = guest->Send(chatlines::kLabelText, line.c_str());
    // A refusal is no failure of the call, so nothing has run in between.
    if (outcome == SendOutcome::Refused) error = guest->GetLastError();
    return outcome;
}

} // namespace

bool CChatDlg::JoinHost() {
    CqTcpSock& sock = m_ClientSock;
    if (sock.GetHandle() == 0) {
        if (const char* failure =
                CreateWithCallbacks(sock, "cannot create client socket", {kOnRecv, kOnClose})) {
            sock.Delete();
            Report("OnBnClickedConnectButton", failure);
            return false;
        }
    }
    const std::string address = m_strHostAddr;
    const std::int32_t port = m_nPort;
    if (sock.Connect(address.c_str(), port, kAnyLocalPort)) {
        const std::string nickname = m_strNickname;
        if (!nickname.empty()) sock.SendMsgA(chatlines::kLabelSetDisplayName, nickname.c_str());
        return true;
    }
    const std::int32_t error = sock.GetLastError();
    const std::string text = chatlines::CannotConnect(address, port, GetSockErrorName(error));
    dk::ShowAppMessageBox(text.c_str(), dk::kMbOk | dk::kMbIconError);
    return true;
}

bool CChatDlg::StartHosting() {
    CqTcpSock& sock = m_ListenSock;
    if (sock.GetHandle() == 0) {
        if (const char* failure =
                CreateWithCallbacks(sock, "cannot create listen socket", {kOnAccept})) {
            sock.Delete();
            Report("OnBnClickedConnectButton", failure);
            return false;
        }
    }
    const std::int32_t port = m_nPort;
    if (sock.Listen(port)) return true;
    const std::int32_t error = sock.GetLastError();
    const std::string text = chatlines::CannotListen(port, GetSockErrorName(error));
    dk::ShowAppMessageBox(text.c_str(), dk::kMbOk | dk::kMbIconError);
    return true;
}

void CChatDlg::OnConnect(QHANDLE /*hSock*/) {
    // Nothing to do: Connect returns only once the connection stands.
}

void CChatDlg::OnBnClickedConnectButton() {
    CaptureFields();
    if (m_bConnectClickUnderWay) {
        UpdateStateDisplay();
        return;
    }

    std::int32_t state = SOCKSTATE_NONE;
    if (m_nMode == ChatMode::Guest) {
        state = ClickState(m_ClientSock);
        if (state == SOCKSTATE_CONNECTED) {
            m_ClientSock.Close();
            UpdateStateDisplay();
            return;
        }
    } else if (m_nMode == ChatMode::Host) {
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

    const UnderWay underWay(m_bConnectClickUnderWay);
    const std::optional<Settings> settings = AskSettings();
    // The dialog is unowned, so the window stayed usable meanwhile: it may have been
    // closed, or sockets may be up from events handled inside the dialog's loop.
    if (!settings || !m_bShown || !IsIdle(m_ClientSock) || !IsIdle(m_ListenSock)) {
        UpdateStateDisplay();
        return;
    }
    m_nMode = settings->mode;
    m_strHostAddr = settings->hostAddr;
    m_nPort = settings->port;
    m_strNickname = settings->nickname;

    bool refresh = true;
    if (m_nMode == ChatMode::Guest)
        refresh = JoinHost();
    else if (m_nMode == ChatMode::Host)
        refresh = StartHosting();
    if (refresh) UpdateStateDisplay();
}

void CChatDlg::OnBnClickedSendButton() {
    CaptureFields();
    // A report of the previous send is open: its text is still in the box and must not
    // go out twice.
    if (m_bSendClickUnderWay || m_strMessage.empty()) return;
    const UnderWay underWay(m_bSendClickUnderWay);
    // A copy: m_strMessage is recaptured by appends that run inside a modal loop.
    const std::string typed = m_strMessage;
    if (m_nMode == ChatMode::Guest) {
        if (!m_ClientSock.SendMsgA(chatlines::kLabelText, typed.c_str())) {
            // The connection has just dropped: the text stays for the user to keep.
            RefreshFields();
            UpdateStateDisplay();
            return;
        }
    } else if (m_nMode == ChatMode::Host) {
        if (!SayAsHost(typed)) {
            RefreshFields();
            UpdateStateDisplay();
            return;
        }
    }
    EmptyMessageIfStill(typed);
}

bool CChatDlg::SayAsHost(const std::string& typed) {
    const std::string line = chatlines::HostSays(m_strNickname, typed);
    const Delivery delivery = SendToEveryGuest(line);
    if (delivery.taken == 0) {
        // Appended, a line nobody has would stand in the transcript as said; and a
        // pasted text of megabytes, refused by every guest, would trim away the whole
        // history for itself.
        const auto& refusals = delivery.refusals;
        if (std::find(refusals.begin(), refusals.end(), kTooLongForTheSockets) != refusals.end()) {
            const std::string what =
                "the text is too long to send (" + std::to_string(typed.size()) + " bytes)";
            ShowPendingAndReport("OnBnClickedSendButton", what.c_str());
        } else {
            ReportRefusals(refusals, kHostItself, kHostItselfName);
        }
        return false;
    }
    // Appended before any report, whose modal loop may handle more lines: the host's
    // transcript keeps the order in which the guests were sent the lines.
    AppendEntry(line);
    ReportRefusals(delivery.refusals, kHostItself, kHostItselfName);
    return true;
}

void CChatDlg::BroadcastText(const char* lpText) {
    BroadcastText(lpText, kHostItself, kHostItselfName);
}

void CChatDlg::BroadcastText(const char* lpText, QHANDLE hSender, const std::string& sender) {
    if (lpText == nullptr) return;
    ReportRefusals(SendToEveryGuest(lpText).refusals, hSender, sender);
}

CChatDlg::Delivery CChatDlg::SendToEveryGuest(const std::string& line) {
    // One walk over the live list, first to last. Nothing here reports a refusal, but a
    // failing host call may, and its report may run a modal loop in which guests leave
    // and arrive: the walk keeps its place by arrival number, so that it neither skips
    // nor repeats a guest, and a guest that arrived meanwhile gets the line too.
    Delivery delivery;
    for (int i = 0; i < m_GuestSocks.GetSize();) {
        const std::uint64_t nArrival = m_GuestSocks.GetArrivalAt(i);
        std::int32_t error = 0;
        const SendOutcome outcome = SendToGuest(m_GuestSocks, nArrival, i, line, error);
        if (outcome == SendOutcome::Sent) ++delivery.taken;
        auto& refusals = delivery.refusals;
        if (outcome == SendOutcome::Refused &&
            std::find(refusals.begin(), refusals.end(), error) == refusals.end())
            refusals.push_back(error);
        i = m_GuestSocks.IndexAfterArrival(nArrival, i);
    }
    return delivery;
}

void CChatDlg::ReportRefusals(const std::vector<std::int32_t>& refusals, QHANDLE hSender,
                              const std::string& sender) {
    for (const std::int32_t error : refusals) {
        if (!m_ReportedFailures.IsFirst(hSender, error)) continue;
        const std::string what = "cannot relay a line of " + sender +
                                 " to every guest (error code = " + GetSockErrorName(error) + ")";
        ShowPendingAndReport("BroadcastText", what.c_str());
    }
}

void CChatDlg::RelayLine(const std::string& line, QHANDLE hSender, const std::string& sender) {
    const Delivery delivery = SendToEveryGuest(line);
    // Appended before any report, whose modal loop may handle more lines: the host's
    // transcript keeps the order in which the guests were sent the lines.
    AppendEntry(line);
    ReportRefusals(delivery.refusals, hSender, sender);
}

void CChatDlg::RelayGuestText(CqTcpSock& sock, const std::string& text) {
    const int index = FindGuestIndex(m_GuestSocks, sock.GetHandle());
    std::string name;
    if (index >= 0 && ReadDisplayName(m_GuestSocks.GetAt(index)->GetPropList(), name)) {
        RelayLine(chatlines::NamedGuestSays(name, text), sock.GetHandle(), GuestCalled(name));
        return;
    }
    PeerEndpoint peer;
    if (index >= 0) peer = AskPeer(sock);
    RelayLine(chatlines::GuestSays(peer.address, peer.port, text), sock.GetHandle(), GuestAt(peer));
}

void CChatDlg::AnnounceGuestName(CqTcpSock& sock, const std::string& nickname) {
    const QHANDLE hSock = sock.GetHandle();
    const int index = FindGuestIndex(m_GuestSocks, hSock);
    PeerEndpoint peer;
    if (nickname.size() > chatlines::kMaxNicknameBytes) {
        // Refused: the guest keeps the name it had.
        if (!m_ReportedFailures.IsFirst(hSock, kNicknameTooLong)) return;
        if (index >= 0) peer = AskPeer(sock);
        const std::string what = "cannot take the display name of " + GuestAt(peer) +
                                 ": longer than " + std::to_string(chatlines::kMaxNicknameBytes) +
                                 " bytes";
        ShowPendingAndReport("OnRecv", what.c_str());
        return;
    }
    if (index >= 0) {
        CqList props;
        props.Attach(m_GuestSocks.GetAt(index)->GetPropList());
        const QHANDLE hName = props.GetOrCreateItem(TYPEID_STRING, chatlines::kDisplayNameItem);
        if (hName != 0) g_ExtAPI.str_SetText(hName, nickname.c_str());
        peer = AskPeer(sock);
    }
    RelayLine(chatlines::GuestIs(peer.address, peer.port, nickname), hSock, GuestAt(peer));
}

void CChatDlg::ShowPendingAndReport(const char* lpHandler, const char* lpWhat) {
    // The report's box comes after the lines handled before it, as the user reads them.
    ShowPendingView();
    Report(lpHandler, lpWhat);
}

void CChatDlg::OnRecv(QHANDLE hSock) {
    CaptureFields();
    // The records' entries reach the window together at the end.
    const ViewBatch batch(*this);
    try {
        HandleRecvQueue(hSock);
    } catch (const std::exception& e) {
        // The report's hook shows the lines handled before the failure.
        ReportException("OnRecv", e.what());
    }
    ShowPendingView();
}

void CChatDlg::HandleRecvQueue(QHANDLE hSock) {
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
    for (std::uint32_t i = 0; i < count; ++i)
        HandleRecord(sock, queue.GetItemI(i));
}

void CChatDlg::HandleRecord(CqTcpSock& sock, QHANDLE hRecord) {
    CqList record;
    if (!record.Attach(hRecord)) {
        ShowPendingAndReport("OnRecv", "cannot get message");
        return;
    }
    CqStr label;
    if (!label.Attach(record.GetItemI(0))) {
        ShowPendingAndReport("OnRecv", "cannot get message label");
        return;
    }
    const bool isText = label.CompareNoCase(chatlines::kLabelText) == 0;
    if (!isText && label.CompareNoCase(chatlines::kLabelSetDisplayName) != 0) return;

    std::string data;
    {
        CqBuffer buffer;
        if (!buffer.Attach(record.GetItemI(1)) || !ReadMessageText(buffer, data)) {
            ShowPendingAndReport("OnRecv", "cannot get message data");
            return;
        }
    }
    if (m_nMode == ChatMode::Guest && isText) {
        AppendText((shownline::ShownLine(data) + chatlines::kEntryEnd).c_str());
    } else if (m_nMode == ChatMode::Host) {
        if (isText)
            RelayGuestText(sock, data);
        else
            AnnounceGuestName(sock, data);
    }
    RefreshFieldsAfterBatch();
}

void CChatDlg::OnAccept(QHANDLE hSock) {
    if (hSock != m_ListenSock.GetHandle()) {
        Report("OnAccept", "socket handle mismatch");
        return;
    }
    std::unique_ptr<CqTcpSock> guest(new CqTcpSock);
    const char* failure =
        CreateWithCallbacks(*guest, "cannot create peer socket", {kOnRecv, kOnClose});
    if (failure == nullptr && !m_ListenSock.Accept(guest.get()))
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
    AppendEntry(joined);
    BroadcastText(joined.c_str());

    RelayLine(chatlines::GuestsOnline(m_GuestSocks.GetSize()), kHostItself, kHostItselfName);
    UpdateStateDisplay();
}

void CChatDlg::OnClose(QHANDLE hSock) {
    CaptureFields();
    if (m_nMode == ChatMode::Guest) {
        AppendText(chatlines::kHostDisconnectedEntry);
    } else if (m_nMode == ChatMode::Host) {
        std::string line;
        // The departing guest leaves the list first and is ours until it is deleted,
        // so that no handler run inside a report's modal loop can reach it.
        std::unique_ptr<CqTcpSock> guest(
            m_GuestSocks.RemoveAt(FindGuestIndex(m_GuestSocks, hSock)));
        const bool matched = guest != nullptr;
        if (matched) {
            m_ReportedFailures.Forget(hSock);
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
                AppendEntry(line);
            });
            RunGuarded("cannot remove/delete peer info", [&] {
                guest->Delete();
                guest.reset();
            });
        }
        RunGuarded("cannot update clients", [&] {
            if (matched) BroadcastText(line.c_str());
            RelayLine(chatlines::GuestsOnline(m_GuestSocks.GetSize()), kHostItself,
                      kHostItselfName);
        });
    }
    RefreshFields();
    UpdateStateDisplay();
}

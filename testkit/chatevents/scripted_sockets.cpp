// The in-memory socket plug-in stand-in of the chat events (scripted_sockets.h).
// Each registered function finds its socket by the leading hSock and fails to run for
// an unknown one, as the socket plug-in does; a refused operation is a false result
// with its reason in GetLastError.
#include "testkit/chatevents/scripted_sockets.h"

#include <algorithm>

namespace chatevents {

namespace {

constexpr std::int32_t kWouldBlock = 10035;  // WSAEWOULDBLOCK: the guest's queue is full
constexpr std::int32_t kMessageSize = 10040; // WSAEMSGSIZE: longer than a frame
constexpr std::int32_t kNotConnected = 10057;
constexpr std::int32_t kConnRefused = 10061;
constexpr std::uint32_t kByteElement = 1;
const std::vector<std::string> kNothingTaken;

} // namespace

bool ScriptedSockets::registerFunctions() {
    using devhost::ArgSpec;
    bool ok = m_Api.registerHostFunction("nxTcpSock.new", {{"hSock", TYPEID_HANDLE}}, TYPEID_HANDLE,
                                         [this](QHANDLE, QHANDLE hRet) {
                                             const QHANDLE h = ++m_hNext;
                                             m_Sockets[h] = Socket{};
                                             if (hRet != 0) m_Api.setScalar(hRet, h);
                                             return true;
                                         }) != 0;
    ok &= add("delete", {}, TYPEID_BOOL, &ScriptedSockets::deleteSocket);
    ok &= add(
        "Connect",
        {{"lpPeerAddr", TYPEID_STRING}, {"PeerPort", TYPEID_NUMBER}, {"LocalPort", TYPEID_NUMBER}},
        TYPEID_BOOL, &ScriptedSockets::connect);
    ok &= add("Listen", {{"LocalPort", TYPEID_NUMBER}}, TYPEID_BOOL, &ScriptedSockets::listen);
    ok &= add("Close", {}, TYPEID_BOOL, &ScriptedSockets::close);
    ok &= add("GetSockState", {}, TYPEID_INT, &ScriptedSockets::getSockState);
    ok &= add("SendMsgA", {{"lpLabel", TYPEID_STRING}, {"lpMsgText", TYPEID_STRING}}, TYPEID_BOOL,
              &ScriptedSockets::sendMsgA);
    ok &= add("SetCallback", {{"CallbackID", TYPEID_NUMBER}, {"hCallbackQFUNC", TYPEID_VARREF}},
              TYPEID_BOOL, &ScriptedSockets::setCallback);
    ok &= add("GetPeerAddr", {}, TYPEID_STRING, &ScriptedSockets::getPeerAddr);
    ok &= add("GetPeerPort", {}, TYPEID_NUMBER, &ScriptedSockets::getPeerPort);
    ok &= add("GetLastError", {}, TYPEID_INT, &ScriptedSockets::getLastError);
    ok &= add("CopyRecvQueue", {{"hRecvQueue", TYPEID_VARREF}}, TYPEID_BOOL,
              &ScriptedSockets::copyRecvQueue);
    ok &= add("Accept", {{"hConnSock", TYPEID_HANDLE}}, TYPEID_BOOL, &ScriptedSockets::accept);
    return ok;
}

bool ScriptedSockets::add(const char* name, std::vector<devhost::ArgSpec> argsAfterSocket,
                          std::uint32_t resultType, Operation run) {
    std::vector<devhost::ArgSpec> prototype{{"hSock", TYPEID_HANDLE}};
    prototype.insert(prototype.end(), argsAfterSocket.begin(), argsAfterSocket.end());
    const std::size_t argCount = prototype.size();
    return m_Api.registerHostFunction(
               std::string("nxTcpSock.") + name, std::move(prototype), resultType,
               [this, run, argCount](QHANDLE hArgs, QHANDLE hRet) {
                   const Args args = m_Api.items(hArgs);
                   if (args.size() < argCount) return false;
                   const auto found = m_Sockets.find(static_cast<QHANDLE>(m_Api.scalar(args[0])));
                   return found != m_Sockets.end() && (this->*run)(found->second, args, hRet);
               }) != 0;
}

bool ScriptedSockets::boolResult(bool ok, QHANDLE hRet) {
    if (hRet != 0) m_Api.setScalar(hRet, ok ? 1 : 0);
    return true;
}

bool ScriptedSockets::intResult(std::int64_t value, QHANDLE hRet) {
    if (hRet != 0) m_Api.setScalar(hRet, value);
    return true;
}

void ScriptedSockets::runCallback(QHANDLE hSock, std::int32_t callbackId) {
    const auto found = m_Sockets.find(hSock);
    if (found == m_Sockets.end()) return;
    const auto callback = found->second.callbacks.find(callbackId);
    if (callback == found->second.callbacks.end() || callback->second == 0) return;
    const QHANDLE hFunc = callback->second;
    const QHANDLE hArgs = m_Api.createVar(TYPEID_LIST);
    const QHANDLE hItem = m_Api.addItem(hArgs, TYPEID_HANDLE, "hSock");
    if (hItem != 0 && m_Api.setScalar(hItem, hSock)) m_Api.runRegistered(hFunc, hArgs, nullptr);
    m_Api.deleteVar(hArgs);
}

std::vector<QHANDLE> ScriptedSockets::guests() const {
    std::vector<QHANDLE> handles;
    for (const auto& entry : m_Sockets)
        if (entry.second.accepted && entry.second.state == SOCKSTATE_CONNECTED)
            handles.push_back(entry.first);
    return handles;
}

bool ScriptedSockets::arrive() {
    for (const auto& entry : m_Sockets) {
        if (entry.second.state != SOCKSTATE_LISTENING) continue;
        const QHANDLE hListen = entry.first;
        m_Knocking.push_back(++m_nNextPeerPort);
        runCallback(hListen, CALLBACKID_ACCEPT);
        // A peer the host did not take goes away again.
        m_Knocking.clear();
        return true;
    }
    return false;
}

void ScriptedSockets::send(QHANDLE hGuest, std::vector<GuestRecord> records) {
    const auto found = m_Sockets.find(hGuest);
    if (found == m_Sockets.end()) return;
    for (GuestRecord& record : records)
        found->second.received.push_back(std::move(record));
    runCallback(hGuest, CALLBACKID_RECV);
}

void ScriptedSockets::setFull(QHANDLE hGuest, bool full) {
    const auto found = m_Sockets.find(hGuest);
    if (found != m_Sockets.end()) found->second.full = full;
}

void ScriptedSockets::leave(QHANDLE hGuest) {
    const auto found = m_Sockets.find(hGuest);
    if (found == m_Sockets.end() || found->second.state != SOCKSTATE_CONNECTED) return;
    found->second.state = SOCKSTATE_CLOSED;
    found->second.lastError = 0;
    runCallback(hGuest, CALLBACKID_CLOSE);
}

const std::vector<std::string>& ScriptedSockets::taken(QHANDLE hGuest) const {
    const auto found = m_Sockets.find(hGuest);
    return found == m_Sockets.end() ? kNothingTaken : found->second.taken;
}

std::size_t ScriptedSockets::takenByAnyone(const std::string& line) const {
    const auto found = m_TakenByAnyone.find(line);
    return found == m_TakenByAnyone.end() ? 0 : found->second;
}

bool ScriptedSockets::deleteSocket(Socket&, const Args& args, QHANDLE hRet) {
    m_Sockets.erase(static_cast<QHANDLE>(m_Api.scalar(args[0])));
    return boolResult(true, hRet);
}

bool ScriptedSockets::connect(Socket& sock, const Args&, QHANDLE hRet) {
    // Nobody answers: the fuzzer plays a host.
    sock.lastError = kConnRefused;
    return boolResult(false, hRet);
}

bool ScriptedSockets::listen(Socket& sock, const Args&, QHANDLE hRet) {
    sock.state = SOCKSTATE_LISTENING;
    return boolResult(true, hRet);
}

bool ScriptedSockets::close(Socket& sock, const Args&, QHANDLE hRet) {
    sock.state = SOCKSTATE_CLOSED;
    sock.received.clear();
    return boolResult(true, hRet);
}

bool ScriptedSockets::getSockState(Socket& sock, const Args&, QHANDLE hRet) {
    return intResult(sock.state, hRet);
}

bool ScriptedSockets::getLastError(Socket& sock, const Args&, QHANDLE hRet) {
    return intResult(sock.lastError, hRet);
}

bool ScriptedSockets::sendMsgA(Socket& sock, const Args& args, QHANDLE hRet) {
    const std::string& label = m_Api.text(args[1]);
    const std::string& text = m_Api.text(args[2]);
    if (sock.state != SOCKSTATE_CONNECTED) {
        sock.lastError = kNotConnected;
        return boolResult(false, hRet);
    }
    if (text.size() > kFrameLimit || sock.full) {
        sock.lastError = text.size() > kFrameLimit ? kMessageSize : kWouldBlock;
        return boolResult(false, hRet);
    }
    if (label == "text") {
        sock.taken.push_back(text);
        ++m_TakenByAnyone[text];
    }
    return boolResult(true, hRet);
}

bool ScriptedSockets::setCallback(Socket& sock, const Args& args, QHANDLE hRet) {
    const QHANDLE hFuncVar = static_cast<QHANDLE>(m_Api.scalar(args[2]));
    const QHANDLE hFunc = m_Api.functionHandleOf(hFuncVar);
    sock.callbacks[static_cast<std::int32_t>(m_Api.scalar(args[1]))] = hFunc;
    return boolResult(hFunc != 0 || hFuncVar == 0, hRet);
}

bool ScriptedSockets::getPeerAddr(Socket& sock, const Args&, QHANDLE hRet) {
    return hRet == 0 || m_Api.setText(hRet, sock.peerAddress);
}

bool ScriptedSockets::getPeerPort(Socket& sock, const Args&, QHANDLE hRet) {
    return intResult(sock.peerPort, hRet);
}

bool ScriptedSockets::copyRecvQueue(Socket& sock, const Args& args, QHANDLE hRet) {
    const QHANDLE hQueue = static_cast<QHANDLE>(m_Api.scalar(args[1]));
    std::deque<GuestRecord> records;
    records.swap(sock.received); // sock may go inside no call below, but stay plain
    bool copied = true;
    for (const GuestRecord& r : records) {
        const QHANDLE hRecord = m_Api.addItem(hQueue, TYPEID_LIST, "Message");
        const QHANDLE hLabel = m_Api.addItem(hRecord, TYPEID_STRING, "Label");
        const QHANDLE hData = m_Api.addItem(hRecord, TYPEID_BUFFER, "Data");
        std::vector<std::uint8_t> bytes(r.text.begin(), r.text.end());
        bytes.push_back(0);
        copied &= hRecord != 0 && hLabel != 0 && hData != 0 && m_Api.setText(hLabel, r.label) &&
                  m_Api.setBuffer(hData, kByteElement, bytes);
    }
    return boolResult(copied, hRet);
}

bool ScriptedSockets::accept(Socket& sock, const Args& args, QHANDLE hRet) {
    const auto conn = m_Sockets.find(static_cast<QHANDLE>(m_Api.scalar(args[1])));
    if (sock.state != SOCKSTATE_LISTENING || m_Knocking.empty() || conn == m_Sockets.end() ||
        conn->second.state != SOCKSTATE_CLOSED)
        return boolResult(false, hRet);
    conn->second.state = SOCKSTATE_CONNECTED;
    conn->second.accepted = true;
    conn->second.peerAddress = "127.0.0.1";
    conn->second.peerPort = m_Knocking.front();
    m_Knocking.pop_front();
    return boolResult(true, hRet);
}

} // namespace chatevents

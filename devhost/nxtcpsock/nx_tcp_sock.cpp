// The registry side of the socket plug-in stand-in: each registered function reads its
// argument items, runs one operation of the socket set and writes its result variable.
// A function fails to run (returns false) only when its socket handle is unknown or its
// argument list is not what the prototype promised; a failed operation is a false
// result with the reason in GetLastError.
#include "devhost/nxtcpsock/nx_tcp_sock.h"

#include "devhost/nxtcpsock/winsock_errors.h"

namespace devhost {

namespace {
constexpr std::uint32_t kByteElement = 1;
} // namespace

NxTcpSock::NxTcpSock(HostApi& api, NxTcpSockOptions options)
    : api_(api), sockets_(std::move(options),
                          [this](QHANDLE hFunc, QHANDLE hSock) { runCallback(hFunc, hSock); }) {}

NxTcpSock::~NxTcpSock() {
    *alive_ = false;
}

bool NxTcpSock::pump(int timeoutMs) {
    return sockets_.pump(timeoutMs);
}

std::uint16_t NxTcpSock::localPort(QHANDLE hSock) const {
    return sockets_.localPort(hSock).value_or(0);
}

bool NxTcpSock::injectRecords(QHANDLE hSock, std::deque<Record> records) {
    return sockets_.injectReceived(hSock, std::move(records)) == SockResult::Ok;
}

void NxTcpSock::runCallback(QHANDLE hFunc, QHANDLE hSock) {
    const QHANDLE hArgs = api_.createVar(TYPEID_LIST);
    if (hArgs == 0) return;
    const QHANDLE hItem = api_.addItem(hArgs, TYPEID_HANDLE, "hSock");
    if (hItem != 0 && api_.setScalar(hItem, hSock)) api_.runRegistered(hFunc, hArgs, nullptr);
    api_.deleteVar(hArgs);
}

// One registered function: its name after "nxTcpSock.", the arguments its prototype
// names after the leading hSock, its result type and the member that runs it.
struct NxTcpSock::Registration {
    const char* name;
    std::vector<ArgSpec> argsAfterSocket;
    std::uint32_t resultType;
    Operation run;
};

bool NxTcpSock::registerFunctions() {
    static const Registration kRegistrations[] = {
        {"new", {}, TYPEID_HANDLE, &NxTcpSock::newSocket},
        {"delete", {}, TYPEID_BOOL, &NxTcpSock::deleteSocket},
        {"Connect",
         {{"lpPeerAddr", TYPEID_STRING}, {"PeerPort", TYPEID_NUMBER}, {"LocalPort", TYPEID_NUMBER}},
         TYPEID_BOOL,
         &NxTcpSock::connect},
        {"Listen", {{"LocalPort", TYPEID_NUMBER}}, TYPEID_BOOL, &NxTcpSock::listen},
        {"Close", {}, TYPEID_BOOL, &NxTcpSock::close},
        {"GetSockState", {}, TYPEID_INT, &NxTcpSock::getSockState},
        {"SendMsgA",
         {{"lpLabel", TYPEID_STRING}, {"lpMsgText", TYPEID_STRING}},
         TYPEID_BOOL,
         &NxTcpSock::sendMsgA},
        {"SetCallback",
         {{"CallbackID", TYPEID_NUMBER}, {"hCallbackQFUNC", TYPEID_VARREF}},
         TYPEID_BOOL,
         &NxTcpSock::setCallback},
        {"GetPeerAddr", {}, TYPEID_STRING, &NxTcpSock::getPeerAddr},
        {"GetPeerPort", {}, TYPEID_NUMBER, &NxTcpSock::getPeerPort},
        {"GetLastError", {}, TYPEID_INT, &NxTcpSock::getLastError},
        {"CopyRecvQueue", {{"hRecvQueue", TYPEID_VARREF}}, TYPEID_BOOL, &NxTcpSock::copyRecvQueue},
        {"Accept", {{"hConnSock", TYPEID_HANDLE}}, TYPEID_BOOL, &NxTcpSock::accept},
    };
    bool ok = true;
    for (const Registration& registration : kRegistrations)
        ok &= add(registration);
    return ok;
}

bool NxTcpSock::add(const Registration& registration) {
    std::vector<ArgSpec> prototype{{"hSock", TYPEID_HANDLE}};
    prototype.insert(prototype.end(), registration.argsAfterSocket.begin(),
                     registration.argsAfterSocket.end());
    const std::size_t argCount = prototype.size();
    // The function stays in the registry after this object is gone; alive_ keeps it
    // from reaching us then.
    HostFunction fn = [alive = alive_, self = this, run = registration.run,
                       argCount](QHANDLE hArgs, QHANDLE hRet) {
        if (!*alive) return false;
        const Args& args = self->api_.items(hArgs);
        return args.size() >= argCount && (self->*run)(args, hRet);
    };
    return api_.registerHostFunction(std::string(kPluginName) + "." + registration.name,
                                     std::move(prototype), registration.resultType,
                                     std::move(fn)) != 0;
}

QHANDLE NxTcpSock::handleArg(QHANDLE hItem) const {
    return static_cast<QHANDLE>(api_.scalar(hItem));
}

bool NxTcpSock::boolResult(SockResult result, QHANDLE hRet) {
    if (result == SockResult::NoSuchSocket) return false;
    if (hRet != 0) api_.setScalar(hRet, result == SockResult::Ok ? 1 : 0);
    return true;
}

bool NxTcpSock::intResult(const std::optional<int>& value, QHANDLE hRet) {
    if (!value) return false;
    if (hRet != 0) api_.setScalar(hRet, *value);
    return true;
}

bool NxTcpSock::newSocket(const Args&, QHANDLE hRet) {
    const QHANDLE h = sockets_.create();
    if (hRet != 0) api_.setScalar(hRet, h);
    return h != 0;
}

bool NxTcpSock::deleteSocket(const Args& args, QHANDLE hRet) {
    return boolResult(sockets_.destroy(handleArg(args[0])), hRet);
}

bool NxTcpSock::connect(const Args& args, QHANDLE hRet) {
    return boolResult(sockets_.connect(handleArg(args[0]), api_.text(args[1]), api_.scalar(args[2]),
                                       api_.scalar(args[3])),
                      hRet);
}

bool NxTcpSock::listen(const Args& args, QHANDLE hRet) {
    return boolResult(sockets_.listen(handleArg(args[0]), api_.scalar(args[1])), hRet);
}

bool NxTcpSock::close(const Args& args, QHANDLE hRet) {
    return boolResult(sockets_.close(handleArg(args[0])), hRet);
}

bool NxTcpSock::getSockState(const Args& args, QHANDLE hRet) {
    return intResult(sockets_.state(handleArg(args[0])), hRet);
}

bool NxTcpSock::getLastError(const Args& args, QHANDLE hRet) {
    return intResult(sockets_.lastError(handleArg(args[0])), hRet);
}

bool NxTcpSock::sendMsgA(const Args& args, QHANDLE hRet) {
    return boolResult(sockets_.send(handleArg(args[0]), api_.text(args[1]), api_.text(args[2])),
                      hRet);
}

bool NxTcpSock::setCallback(const Args& args, QHANDLE hRet) {
    const QHANDLE h = handleArg(args[0]);
    const QHANDLE hFunc = handleArg(args[2]);
    if (hFunc != 0 && api_.typeOf(hFunc) != TYPEID_FUNC) {
        if (sockets_.setLastError(h, wsaerr::kInvalid) == SockResult::NoSuchSocket) return false;
        return boolResult(SockResult::Failed, hRet);
    }
    return boolResult(sockets_.setCallback(h, api_.scalar(args[1]), hFunc), hRet);
}

bool NxTcpSock::getPeerAddr(const Args& args, QHANDLE hRet) {
    const auto peer = sockets_.peer(handleArg(args[0]));
    if (!peer) return false;
    const std::string text = peer->address == 0 ? "" : sockio::formatIpv4(peer->address);
    return hRet == 0 || api_.setText(hRet, text);
}

bool NxTcpSock::getPeerPort(const Args& args, QHANDLE hRet) {
    const auto peer = sockets_.peer(handleArg(args[0]));
    if (!peer) return false;
    if (hRet != 0) api_.setScalar(hRet, peer->port);
    return true;
}

bool NxTcpSock::copyRecvQueue(const Args& args, QHANDLE hRet) {
    // Both read first: the queue given may be the argument list itself.
    const QHANDLE h = handleArg(args[0]);
    const QHANDLE hQueue = handleArg(args[1]);
    if (!sockets_.state(h)) return false;
    // A bad list leaves the records where they are for a later call.
    if (api_.typeOf(hQueue) != TYPEID_LIST) {
        sockets_.setLastError(h, wsaerr::kFault);
        return boolResult(SockResult::Failed, hRet);
    }
    const auto records = sockets_.takeReceived(h);
    bool copied = true;
    for (const Record& r : *records) {
        const QHANDLE hRecord = api_.addItem(hQueue, TYPEID_LIST, "Message");
        const QHANDLE hLabel = api_.addItem(hRecord, TYPEID_STRING, "Label");
        const QHANDLE hData = api_.addItem(hRecord, TYPEID_BUFFER, "Data");
        recordBytes_.assign(r.text.begin(), r.text.end());
        recordBytes_.push_back(0);
        copied &= hRecord != 0 && hLabel != 0 && hData != 0 && api_.setText(hLabel, r.label) &&
                  api_.setBuffer(hData, kByteElement, recordBytes_);
    }
    if (!copied) sockets_.setLastError(h, wsaerr::kNoBufs);
    return boolResult(copied ? SockResult::Ok : SockResult::Failed, hRet);
}

bool NxTcpSock::accept(const Args& args, QHANDLE hRet) {
    return boolResult(sockets_.accept(handleArg(args[0]), handleArg(args[1])), hRet);
}

} // namespace devhost

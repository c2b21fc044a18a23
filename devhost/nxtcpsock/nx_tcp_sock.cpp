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

bool NxTcpSock::add(const std::string& name, std::vector<ArgSpec> extraArgs,
                    std::uint32_t returnType, HostFunction fn) {
    std::vector<ArgSpec> prototype{{"hSock", TYPEID_HANDLE}};
    prototype.insert(prototype.end(), extraArgs.begin(), extraArgs.end());
    const std::string fullName = std::string(kPluginName) + "." + name;
    HostFunction guarded = [alive = alive_, fn = std::move(fn)](QHANDLE hArgs, QHANDLE hRet) {
        return *alive && fn(hArgs, hRet);
    };
    return api_.registerHostFunction(fullName, std::move(prototype), returnType,
                                     std::move(guarded)) != 0;
}

bool NxTcpSock::registerFunctions() {
    // Plain pointers to members: add() keeps the functions from running once this
    // object is gone.
    HostApi* api = &api_;
    TcpSocketSet* set = &sockets_;
    // The argument items of one call, checked for count.
    auto argsOf = [api](QHANDLE hArgList, std::size_t count, std::vector<QHANDLE>& items) {
        items = api->items(hArgList);
        return items.size() >= count;
    };
    auto handleArg = [api](QHANDLE hItem) { return static_cast<QHANDLE>(api->scalar(hItem)); };
    // Writes a bool result and reports whether the function ran.
    auto boolResult = [api](SockResult r, QHANDLE hRet) {
        if (r == SockResult::NoSuchSocket) return false;
        if (hRet != 0) api->setScalar(hRet, r == SockResult::Ok ? 1 : 0);
        return true;
    };
    auto intResult = [api](const std::optional<int>& v, QHANDLE hRet) {
        if (!v) return false;
        if (hRet != 0) api->setScalar(hRet, *v);
        return true;
    };

    bool ok = true;
    ok &= add("new", {}, TYPEID_HANDLE, [api, set](QHANDLE, QHANDLE hRet) {
        const QHANDLE h = set->create();
        if (hRet != 0) api->setScalar(hRet, h);
        return h != 0;
    });
    ok &= add("delete", {}, TYPEID_BOOL, [=](QHANDLE hArgs, QHANDLE hRet) {
        std::vector<QHANDLE> a;
        if (!argsOf(hArgs, 1, a)) return false;
        return boolResult(set->destroy(handleArg(a[0])), hRet);
    });
    ok &= add(
        "Connect",
        {{"lpPeerAddr", TYPEID_STRING}, {"PeerPort", TYPEID_NUMBER}, {"LocalPort", TYPEID_NUMBER}},
        TYPEID_BOOL, [=](QHANDLE hArgs, QHANDLE hRet) {
            std::vector<QHANDLE> a;
            if (!argsOf(hArgs, 4, a)) return false;
            return boolResult(set->connect(handleArg(a[0]), api->text(a[1]), api->scalar(a[2]),
                                           api->scalar(a[3])),
                              hRet);
        });
    ok &= add("Listen", {{"LocalPort", TYPEID_NUMBER}}, TYPEID_BOOL,
              [=](QHANDLE hArgs, QHANDLE hRet) {
                  std::vector<QHANDLE> a;
                  if (!argsOf(hArgs, 2, a)) return false;
                  return boolResult(set->listen(handleArg(a[0]), api->scalar(a[1])), hRet);
              });
    ok &= add("Close", {}, TYPEID_BOOL, [=](QHANDLE hArgs, QHANDLE hRet) {
        std::vector<QHANDLE> a;
        if (!argsOf(hArgs, 1, a)) return false;
        return boolResult(set->close(handleArg(a[0])), hRet);
    });
    ok &= add("GetSockState", {}, TYPEID_INT, [=](QHANDLE hArgs, QHANDLE hRet) {
        std::vector<QHANDLE> a;
        if (!argsOf(hArgs, 1, a)) return false;
        return intResult(set->state(handleArg(a[0])), hRet);
    });
    ok &= add("SendMsgA", {{"lpLabel", TYPEID_STRING}, {"lpMsgText", TYPEID_STRING}}, TYPEID_BOOL,
              [=](QHANDLE hArgs, QHANDLE hRet) {
                  std::vector<QHANDLE> a;
                  if (!argsOf(hArgs, 3, a)) return false;
                  return boolResult(set->send(handleArg(a[0]), api->text(a[1]), api->text(a[2])),
                                    hRet);
              });
    ok &= add("SetCallback", {{"CallbackID", TYPEID_NUMBER}, {"hCallbackQFUNC", TYPEID_VARREF}},
              TYPEID_BOOL, [=](QHANDLE hArgs, QHANDLE hRet) {
                  std::vector<QHANDLE> a;
                  if (!argsOf(hArgs, 3, a)) return false;
                  const QHANDLE h = handleArg(a[0]);
                  const QHANDLE hFunc = handleArg(a[2]);
                  if (hFunc != 0 && api->typeOf(hFunc) != TYPEID_FUNC) {
                      if (set->setLastError(h, wsaerr::kInvalid) == SockResult::NoSuchSocket)
                          return false;
                      return boolResult(SockResult::Failed, hRet);
                  }
                  return boolResult(set->setCallback(h, api->scalar(a[1]), hFunc), hRet);
              });
    ok &= add("GetPeerAddr", {}, TYPEID_STRING, [=](QHANDLE hArgs, QHANDLE hRet) {
        std::vector<QHANDLE> a;
        if (!argsOf(hArgs, 1, a)) return false;
        const auto peer = set->peer(handleArg(a[0]));
        if (!peer) return false;
        const std::string text = peer->address == 0 ? "" : sockio::formatIpv4(peer->address);
        return hRet == 0 || api->setText(hRet, text);
    });
    ok &= add("GetPeerPort", {}, TYPEID_NUMBER, [=](QHANDLE hArgs, QHANDLE hRet) {
        std::vector<QHANDLE> a;
        if (!argsOf(hArgs, 1, a)) return false;
        const auto peer = set->peer(handleArg(a[0]));
        if (!peer) return false;
        if (hRet != 0) api->setScalar(hRet, peer->port);
        return true;
    });
    ok &= add("GetLastError", {}, TYPEID_INT, [=](QHANDLE hArgs, QHANDLE hRet) {
        std::vector<QHANDLE> a;
        if (!argsOf(hArgs, 1, a)) return false;
        return intResult(set->lastError(handleArg(a[0])), hRet);
    });
    ok &= add("CopyRecvQueue", {{"hRecvQueue", TYPEID_VARREF}}, TYPEID_BOOL,
              [=](QHANDLE hArgs, QHANDLE hRet) {
                  std::vector<QHANDLE> a;
                  if (!argsOf(hArgs, 2, a)) return false;
                  const QHANDLE h = handleArg(a[0]);
                  const QHANDLE hQueue = handleArg(a[1]);
                  if (!set->state(h)) return false;
                  // A bad list leaves the records where they are for a later call.
                  if (api->typeOf(hQueue) != TYPEID_LIST) {
                      set->setLastError(h, wsaerr::kFault);
                      return boolResult(SockResult::Failed, hRet);
                  }
                  const auto records = set->takeReceived(h);
                  bool copied = true;
                  for (const Record& r : *records) {
                      const QHANDLE hRecord = api->addItem(hQueue, TYPEID_LIST, "Message");
                      const QHANDLE hLabel = api->addItem(hRecord, TYPEID_STRING, "Label");
                      const QHANDLE hData = api->addItem(hRecord, TYPEID_BUFFER, "Data");
                      std::vector<std::uint8_t> bytes(r.text.begin(), r.text.end());
                      bytes.push_back(0);
                      copied &= hRecord != 0 && hLabel != 0 && hData != 0 &&
                                api->setText(hLabel, r.label) &&
                                api->setBuffer(hData, kByteElement, bytes);
                  }
                  if (!copied) set->setLastError(h, wsaerr::kNoBufs);
                  return boolResult(copied ? SockResult::Ok : SockResult::Failed, hRet);
              });
    ok &= add("Accept", {{"hConnSock", TYPEID_HANDLE}}, TYPEID_BOOL,
              [=](QHANDLE hArgs, QHANDLE hRet) {
                  std::vector<QHANDLE> a;
                  if (!argsOf(hArgs, 2, a)) return false;
                  return boolResult(set->accept(handleArg(a[0]), handleArg(a[1])), hRet);
              });
    return ok;
}

} // namespace devhost

// Registry client for the socket plug-in tests (see socket_client.h).
#include "tests/nxtcpsock/socket_client.h"

#include <gtest/gtest.h>

namespace nxtest {

using devhost::HostApi;

bool SocketClient::run(const std::string& name, const std::vector<ArgValue>& args,
                       std::int64_t* number, std::string* text) {
    const std::string fullName = "nxTcpSock." + name;
    const QHANDLE hFunc = api_.findFunction(fullName);
    if (hFunc == 0) {
        ADD_FAILURE() << fullName << " is not registered";
        return false;
    }
    HostApi::RegisteredFunction registered{};
    for (const auto& f : api_.registeredFunctions())
        if (f.fullName == fullName) registered = f;
    const QHANDLE hArgs = api_.createVar(TYPEID_LIST);
    for (std::size_t i = 0; i < registered.prototype.size(); ++i) {
        const QHANDLE item =
            api_.addItem(hArgs, registered.prototype[i].typeId, registered.prototype[i].name);
        if (i >= args.size()) continue; // left unset, as "nxTcpSock.new" is called
        if (registered.prototype[i].typeId == TYPEID_STRING)
            api_.setText(item, args[i].text);
        else
            api_.setScalar(item, args[i].number);
    }
    QHANDLE hRet = api_.createVar(registered.returnTypeId);
    const bool ran = api_.runRegistered(hFunc, hArgs, &hRet);
    if (ran && number) *number = api_.scalar(hRet);
    if (ran && text) *text = api_.text(hRet);
    api_.deleteVar(hRet);
    api_.deleteVar(hArgs);
    return ran;
}

QHANDLE SocketClient::newSocket() {
    std::int64_t h = 0;
    return run("new", {}, &h) ? static_cast<QHANDLE>(h) : 0;
}

bool SocketClient::remove(QHANDLE h) {
    return run("delete", {h});
}

bool SocketClient::connect(QHANDLE h, const std::string& address, std::int64_t port,
                           std::int64_t localPort) {
    std::int64_t ok = 0;
    return run("Connect", {h, address, port, localPort}, &ok) && ok != 0;
}

bool SocketClient::listen(QHANDLE h, std::int64_t port) {
    std::int64_t ok = 0;
    return run("Listen", {h, port}, &ok) && ok != 0;
}

void SocketClient::close(QHANDLE h) {
    run("Close", {h});
}

int SocketClient::state(QHANDLE h) {
    std::int64_t s = -1;
    return run("GetSockState", {h}, &s) ? static_cast<int>(s) : -1;
}

int SocketClient::lastError(QHANDLE h) {
    std::int64_t e = -1;
    return run("GetLastError", {h}, &e) ? static_cast<int>(e) : -1;
}

bool SocketClient::send(QHANDLE h, const std::string& label, const std::string& text) {
    std::int64_t ok = 0;
    return run("SendMsgA", {h, label, text}, &ok) && ok != 0;
}

bool SocketClient::setCallback(QHANDLE h, int callbackId, QHANDLE hFunc) {
    std::int64_t ok = 0;
    return run("SetCallback", {h, callbackId, hFunc}, &ok) && ok != 0;
}

bool SocketClient::accept(QHANDLE hListener, QHANDLE hConnection) {
    std::int64_t ok = 0;
    return run("Accept", {hListener, hConnection}, &ok) && ok != 0;
}

std::string SocketClient::peerAddress(QHANDLE h) {
    std::string text;
    return run("GetPeerAddr", {h}, nullptr, &text) ? text : "(failed)";
}

int SocketClient::peerPort(QHANDLE h) {
    std::int64_t port = -1;
    return run("GetPeerPort", {h}, &port) ? static_cast<int>(port) : -1;
}

std::vector<devhost::Record> SocketClient::copyReceived(QHANDLE h) {
    std::vector<devhost::Record> out;
    const QHANDLE hList = api_.createVar(TYPEID_LIST);
    std::int64_t ok = 0;
    EXPECT_TRUE(run("CopyRecvQueue", {h, hList}, &ok) && ok != 0) << "CopyRecvQueue failed";
    for (QHANDLE hRecord : api_.items(hList)) {
        const auto parts = api_.items(hRecord);
        EXPECT_EQ(api_.typeOf(hRecord), TYPEID_LIST);
        if (parts.size() < 2) {
            ADD_FAILURE() << "a record needs a label and a text";
            continue;
        }
        EXPECT_EQ(api_.typeOf(parts[0]), TYPEID_STRING);
        EXPECT_EQ(api_.typeOf(parts[1]), TYPEID_BUFFER);
        std::vector<std::uint8_t> bytes = api_.bufferBytes(parts[1]);
        if (bytes.empty() || bytes.back() != 0) {
            ADD_FAILURE() << "the text buffer must end with its NUL";
        } else {
            bytes.pop_back();
        }
        out.push_back({api_.text(parts[0]), std::string(bytes.begin(), bytes.end())});
    }
    api_.deleteVar(hList);
    return out;
}

QHANDLE SocketClient::registerCallback(const std::string& fullName,
                                       std::function<void(QHANDLE)> handler) {
    devhost::HostApi& api = api_;
    return api_.registerHostFunction(fullName, {{"hSock", TYPEID_HANDLE}}, TYPEID_BOOL,
                                     [&api, handler](QHANDLE hArgs, QHANDLE hRet) {
                                         const auto items = api.items(hArgs);
                                         if (items.empty()) return false;
                                         handler(static_cast<QHANDLE>(api.scalar(items[0])));
                                         if (hRet != 0) api.setScalar(hRet, 1);
                                         return true;
                                     });
}

} // namespace nxtest

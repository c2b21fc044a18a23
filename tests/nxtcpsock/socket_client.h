// Runs the socket plug-in's registered functions the way a plug-in does: an argument
// list shaped by the registered prototype, a return variable of the registered result
// type, qrvfunc-style execution through the host registry. Also registers host
// functions that stand in for a plug-in's socket callbacks.
#pragma once

#include "devhost/hostapi/host_api.h"
#include "devhost/nxtcpsock/frame_codec.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace nxtest {

struct ArgValue {
    std::int64_t number = 0;
    std::string text;
    ArgValue(int n) : number(n) {}
    ArgValue(std::uint32_t n) : number(n) {}
    ArgValue(std::int64_t n) : number(n) {}
    ArgValue(const char* t) : text(t) {}
    ArgValue(std::string t) : text(std::move(t)) {}
};

class SocketClient {
public:
    explicit SocketClient(devhost::HostApi& api) : api_(api) {}

    // Runs "nxTcpSock.<name>"; false when it failed to run. The result, a number or a
    // text by the result type, is stored through the pointers given.
    bool run(const std::string& name, const std::vector<ArgValue>& args,
             std::int64_t* number = nullptr, std::string* text = nullptr);

    QHANDLE newSocket();
    bool remove(QHANDLE h);
    bool connect(QHANDLE h, const std::string& address, std::int64_t port,
                 std::int64_t localPort = 0);
    bool listen(QHANDLE h, std::int64_t port);
    void close(QHANDLE h);
    int state(QHANDLE h);     // -1 when it failed to run
    int lastError(QHANDLE h); // -1 when it failed to run
    bool send(QHANDLE h, const std::string& label, const std::string& text);
    bool setCallback(QHANDLE h, int callbackId, QHANDLE hFunc);
    bool accept(QHANDLE hListener, QHANDLE hConnection);
    std::string peerAddress(QHANDLE h);
    int peerPort(QHANDLE h);
    // Copies the receive queue into a new list and reads it back; a record whose
    // shape is not label string + NUL-terminated byte buffer fails the current test.
    std::vector<devhost::Record> copyReceived(QHANDLE h);

    // Registers "<fullName>" as a host function with the callback prototype (one
    // "hSock" handle) that calls handler with the socket handle.
    QHANDLE registerCallback(const std::string& fullName, std::function<void(QHANDLE)> handler);

private:
    devhost::HostApi& api_;
};

} // namespace nxtest

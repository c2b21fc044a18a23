// devhost's stand-in for the socket plug-in nxTcpSock: registers its thirteen functions
// ("nxTcpSock.new" ... "nxTcpSock.Accept") in the host registry and raises the socket
// callbacks through the registry, on the thread that pumps events. The wire format is
// in frame_codec.h, the callback rules in tcp_socket_set.h.
#pragma once

#include "devhost/hostapi/host_api.h"
#include "devhost/nxtcpsock/tcp_socket_set.h"

#include <cstdint>
#include <memory>
#include <string>

namespace devhost {

class NxTcpSock {
public:
    static constexpr const char* kPluginName = "nxTcpSock";

    // Must be made on the UI thread: on Windows its events are messages of that thread.
    explicit NxTcpSock(HostApi& api, NxTcpSockOptions options = {});
    // The registered functions stay in the host registry; from now on they fail to run.
    ~NxTcpSock();
    NxTcpSock(const NxTcpSock&) = delete;
    NxTcpSock& operator=(const NxTcpSock&) = delete;

    // Registers the thirteen functions; false when the host refused any of them.
    bool registerFunctions();
    // Waits up to timeoutMs for socket events and runs their callbacks here; true when
    // any event was handled. On Windows it runs the thread's message loop meanwhile.
    bool pump(int timeoutMs);

    // For tests and the host's own diagnostics.
    std::uint16_t localPort(QHANDLE hSock) const; // 0: no such socket or not open
    std::size_t socketCount() const { return sockets_.size(); }
    // For the test bench: records that reach a connected socket's receive queue as if
    // its peer had sent them; its receive callback runs from the event loop. False
    // when hSock is no connected socket.
    bool injectRecords(QHANDLE hSock, std::deque<Record> records);

private:
    void runCallback(QHANDLE hFunc, QHANDLE hSock);
    bool add(const std::string& name, std::vector<ArgSpec> extraArgs, std::uint32_t returnType,
             HostFunction fn);

    HostApi& api_; // not owned by us
    TcpSocketSet sockets_;
    // Shared with every registered function, which runs only while it is true.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace devhost

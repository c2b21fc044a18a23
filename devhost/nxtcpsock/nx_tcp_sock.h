// devhost's stand-in for the socket plug-in nxTcpSock: registers its thirteen functions
// ("nxTcpSock.new" ... "nxTcpSock.Accept") in the host registry and raises the socket
// callbacks through the registry, on the thread that pumps events. The wire format is
// in frame_codec.h, the callback rules in tcp_socket_set.h.
//
// Shape: each registered function is one private member below, named after it; one
// table in nx_tcp_sock.cpp pairs every name with its prototype, result type and member,
// and the argument count each member may rely on comes from that prototype. The members
// only translate between host variables and the TcpSocketSet, which does the work.
#pragma once

#include "devhost/hostapi/host_api.h"
#include "devhost/nxtcpsock/tcp_socket_set.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    // What the connections hold against the memory budget now, and at most so far.
    std::size_t heldBytes() const { return sockets_.heldBytes(); }
    std::size_t peakHeldBytes() const { return sockets_.peakHeldBytes(); }
    // For the test bench: records that reach a connected socket's receive queue as if
    // its peer had sent them; its receive callback runs from the event loop. False
    // when hSock is no connected socket.
    bool injectRecords(QHANDLE hSock, std::deque<Record> records);

private:
    // The argument items of one call, at least as many as its prototype names.
    using Args = std::vector<QHANDLE>;
    // Runs one registered function: false when it failed to run (unknown socket handle).
    using Operation = bool (NxTcpSock::*)(const Args& args, QHANDLE hRet);
    struct Registration;

    void runCallback(QHANDLE hFunc, QHANDLE hSock);
    bool add(const Registration& registration);

    bool newSocket(const Args& args, QHANDLE hRet);
    bool deleteSocket(const Args& args, QHANDLE hRet);
    bool connect(const Args& args, QHANDLE hRet);
    bool listen(const Args& args, QHANDLE hRet);
    bool close(const Args& args, QHANDLE hRet);
    bool getSockState(const Args& args, QHANDLE hRet);
    bool getLastError(const Args& args, QHANDLE hRet);
    bool sendMsgA(const Args& args, QHANDLE hRet);
    bool setCallback(const Args& args, QHANDLE hRet);
    bool getPeerAddr(const Args& args, QHANDLE hRet);
    bool getPeerPort(const Args& args, QHANDLE hRet);
    bool copyRecvQueue(const Args& args, QHANDLE hRet);
    bool accept(const Args& args, QHANDLE hRet);

    QHANDLE handleArg(QHANDLE hItem) const;
    // Write a result and say whether the function ran.
    bool boolResult(SockResult result, QHANDLE hRet);
    bool intResult(const std::optional<int>& value, QHANDLE hRet);

    HostApi& api_; // not owned by us
    TcpSocketSet sockets_;
    // One record's bytes on their way into a host buffer, kept so copying a receive
    // queue allocates nothing of its own once warm.
    std::vector<std::uint8_t> recordBytes_;
    // Shared with every registered function, which runs only while it is true.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace devhost

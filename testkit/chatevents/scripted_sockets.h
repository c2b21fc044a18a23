// A socket plug-in stand-in for the chat events (chat_events.h): the thirteen "nxTcpSock.*"
// functions in devhost's host registry, over sockets that live in memory only. The
// fuzzer plays the peers: a guest arrives (the listening socket's accept callback),
// sends records (several in one receive callback), fills up so that it refuses what it
// is sent, and leaves (the close callback). Every line a guest takes is logged, so
// that what the host sent can be held against what it shows. Nothing here blocks or
// waits: each event runs its callback at once, on the caller's thread.
#pragma once

#include "devhost/hostapi/host_api.h"
#include "qrvapi/socket_plugin.h"

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace chatevents {

// The longest text the stand-in frames: small, so that a refusal for size is cheap.
constexpr std::size_t kFrameLimit = 1024;

struct GuestRecord {
    std::string label;
    std::string text;
};

class ScriptedSockets {
public:
    explicit ScriptedSockets(devhost::HostApi& api) : m_Api(api) {}
    ScriptedSockets(const ScriptedSockets&) = delete;
    ScriptedSockets& operator=(const ScriptedSockets&) = delete;

    bool registerFunctions();

    // The connected guests (accepted sockets), oldest first.
    std::vector<QHANDLE> guests() const;
    // A guest knocks at the listening socket; false when nobody listens.
    bool arrive();
    // The guest sends records, all found by one receive callback.
    void send(QHANDLE hGuest, std::vector<GuestRecord> records);
    // The guest refuses (queue full) or takes what it is sent from now on.
    void setFull(QHANDLE hGuest, bool full);
    // The guest's peer goes away.
    void leave(QHANDLE hGuest);

    // The lines each guest took, in order, since it was accepted.
    const std::vector<std::string>& taken(QHANDLE hGuest) const;
    // How often any guest, gone ones included, took line since forgetTaken.
    std::size_t takenByAnyone(const std::string& line) const;
    void forgetTaken() { m_TakenByAnyone.clear(); }
    std::size_t socketCount() const { return m_Sockets.size(); }

private:
    struct Socket {
        std::int32_t state = 0; // SOCKSTATE_*
        std::int32_t lastError = 0;
        std::map<std::int32_t, QHANDLE> callbacks;
        std::string peerAddress;
        std::int32_t peerPort = 0;
        bool accepted = false;
        bool full = false;
        std::deque<GuestRecord> received;
        std::vector<std::string> taken;
    };
    using Args = std::vector<QHANDLE>;
    using Operation = bool (ScriptedSockets::*)(Socket& sock, const Args& args, QHANDLE hRet);

    bool add(const char* name, std::vector<devhost::ArgSpec> argsAfterSocket,
             std::uint32_t resultType, Operation run);
    void runCallback(QHANDLE hSock, std::int32_t callbackId);
    bool boolResult(bool ok, QHANDLE hRet);
    bool intResult(std::int64_t value, QHANDLE hRet);

    bool deleteSocket(Socket& sock, const Args& args, QHANDLE hRet);
    bool connect(Socket& sock, const Args& args, QHANDLE hRet);
    bool listen(Socket& sock, const Args& args, QHANDLE hRet);
    bool close(Socket& sock, const Args& args, QHANDLE hRet);
    bool getSockState(Socket& sock, const Args& args, QHANDLE hRet);
    bool getLastError(Socket& sock, const Args& args, QHANDLE hRet);
    bool sendMsgA(Socket& sock, const Args& args, QHANDLE hRet);
    bool setCallback(Socket& sock, const Args& args, QHANDLE hRet);
    bool getPeerAddr(Socket& sock, const Args& args, QHANDLE hRet);
    bool getPeerPort(Socket& sock, const Args& args, QHANDLE hRet);
    bool copyRecvQueue(Socket& sock, const Args& args, QHANDLE hRet);
    bool accept(Socket& sock, const Args& args, QHANDLE hRet);

    devhost::HostApi& m_Api;
    std::map<QHANDLE, Socket> m_Sockets;
    QHANDLE m_hNext = 0x5000;
    std::int32_t m_nNextPeerPort = 40000;
    std::deque<std::int32_t> m_Knocking; // peer ports waiting at the listening socket
    std::map<std::string, std::size_t> m_TakenByAnyone;
};

} // namespace chatevents

// The platform layer under the socket plug-in: raw non-blocking TCP operations and an
// event source that reports which sockets became readable, writable or acceptable. Two
// implementations exist, socket_posix.cpp (poll) and socket_winsock.cpp (WSAAsyncSelect
// on a hidden message-only window, so that events arrive as window messages of the UI
// thread, inside any modal loop too). Everything above this layer is portable.
//
// Every error is a Winsock number (winsock_errors.h); 0 means success.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace devhost::sockio {

// A socket of the platform: an fd on POSIX, a SOCKET on Windows.
using NativeSocket = std::intptr_t;
constexpr NativeSocket kNoSocket = -1;

// An IPv4 endpoint, address in host byte order.
struct Endpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

// Strict dotted-quad parsing ("127.0.0.1"); no names, no short forms.
bool parseIpv4(const std::string& text, std::uint32_t& address);
std::string formatIpv4(std::uint32_t address);

// Result of one send or receive: bytes moved, or an error (kWouldBlock included).
// A receive of 0 bytes without error is the peer's orderly close.
struct IoResult {
    std::size_t bytes = 0;
    int error = 0;
};

// Process-wide start-up of the socket library (WSAStartup); counted. On POSIX it
// raises the process's descriptor limit as far as the system lets it (RLIMIT_NOFILE
// to its hard limit), since every connection holds one descriptor.
int startup();
void cleanup();
// How many descriptors this process may hold open; 0 where there is no such limit.
std::size_t descriptorLimit();

// Opens a non-blocking stream socket bound to local (port 0: any) and connects it to
// peer, waiting at most timeoutMs for the connection on this one socket.
int connectWithin(const Endpoint& peer, std::uint16_t localPort, int timeoutMs, NativeSocket& out);
// Opens a non-blocking listening socket on local. A port that another socket listens on
// fails with kAddrInUse.
int listenOn(const Endpoint& local, NativeSocket& out);
// Takes one pending connection (non-blocking); kWouldBlock when there is none.
int acceptOne(NativeSocket listener, NativeSocket& out, Endpoint& peer);

IoResult sendSome(NativeSocket s, const char* data, std::size_t size);
IoResult receiveSome(NativeSocket s, char* data, std::size_t size);
// Ends the connection with an orderly close.
void closeSocket(NativeSocket s);
std::uint16_t localPort(NativeSocket s);

// Readiness reports of the watched sockets, delivered to one sink on the thread that
// pumps. Each watched socket carries a token (the plug-in's socket handle); the watcher
// never reports an event for a registration that has since been removed, even when
// the platform reuses the socket value.
class SocketWatcher {
public:
    enum class Event {
        Readable,   // data, the peer's close or an error waits: receive to find out
        Writable,   // room in the send buffer again
        Acceptable, // a listening socket has a pending connection
        Closed,     // the peer's close was reported (Windows); receive what is left first
        Deferred,   // work queued with requestDeferred() is due; token 0
    };
    using Sink = std::function<void(std::uint32_t token, Event event, int error)>;

    static std::unique_ptr<SocketWatcher> create(Sink sink);
    virtual ~SocketWatcher() = default;

    virtual void watch(NativeSocket s, std::uint32_t token, bool listening) = 0;
    // Write interest for a connection whose send queue is not empty. Windows reports
    // writability on its own after a send that would block, so there this is a hint.
    virtual void setWantWrite(NativeSocket s, bool on) = 0;
    // Read interest of a connection, on from watch(): off while it is not to be read
    // (its records wait for the plug-in). Windows reports readability again only
    // after a receive, so there a socket that is not read is not reported either.
    virtual void setWantRead(NativeSocket s, bool on) = 0;
    virtual void unwatch(NativeSocket s) = 0;
    // Whether readiness reports of other sockets wait behind the event being handled,
    // as far as the platform tells cheaply (Windows); false where it does not.
    virtual bool othersWaiting() const = 0;
    // Asks for one Deferred event from the event loop, after the readiness events
    // already waiting and without waiting for new ones.
    virtual void requestDeferred() = 0;
    // Waits up to timeoutMs for events and dispatches one turn of them; true when any
    // was handled. On Windows this runs the thread's message loop (every window's
    // messages) until a socket event was handled.
    virtual bool pump(int timeoutMs) = 0;
};

} // namespace devhost::sockio

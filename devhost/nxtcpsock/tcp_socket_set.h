// The sockets of the socket plug-in and everything they do, in plain C++ terms: state,
// connect, listen, accept, bounded send queues, framed receive queues, and the
// callbacks raised from socket events. NxTcpSock adapts it to the host registry.
//
// Callback rules, which the plug-in's users rely on:
//  - Callbacks run only from the event loop (SocketWatcher::pump or, on Windows, any
//    message loop of the thread), never from inside an operation. A connection that an
//    operation has to drop (its send queue would overflow, a send failed) is closed at
//    once and its close callback comes from the event loop afterwards.
//  - A local Close or delete raises no close callback; the peer's close, a reset, a
//    malformed frame or a dropped connection raise it once, with the state already 0.
//  - Records received before the connection ended are delivered (receive callback)
//    before the close callback.
//  - Any operation may be called from inside any callback, on any socket, delete of
//    the callback's own socket included; events still pending for a socket that has
//    been closed or deleted are dropped.
//  - An accept callback that does not take the pending connection refuses it: the
//    connection is closed when the callback returns.
//
// Fair turns: the event loop gives every ready socket one turn at a time, and a turn
// does bounded work (a few reads, at most kMaxRecordsPerCallback records to one
// receive callback). What a turn leaves over, records already decoded or a peer's
// close still to be read to its end, is taken up by the next turn without waiting
// for new readiness, so a flood from one peer slows that peer only.
//
// Sending from a callback: natively, frames sent while an event is being handled are
// queued and go out together once the events of that loop turn are handled (or as
// soon as kCoalesceBytes wait), so a line relayed to every guest costs each guest one
// send, not one per line. On Windows a send is written at once when the socket takes
// it, as a socket plug-in's is, so that a callback's lines are on their way before
// whatever the callback does next (a window's refresh); only while events of other
// sockets wait behind the one handled (a loaded loop) are sends coalesced as
// natively: under Wine every send is a round trip to its server, and one a line and
// guest would cut a loaded relay's rate several times. Sends outside any callback go
// out at once everywhere; what the socket does not take waits in the queue.
//
// Memory budget: besides each connection's own limits (a frame's size, the send
// queue, kMaxHeldRecords), everything the set holds for all connections together
// (unfinished frames at their declared size, records decoded but not yet copied by the
// plug-in at their payload plus kRecordOverheadBytes, queued output) stays within
// memoryBudget. A read is checked before its bytes are decoded, for the declared size
// of every frame it begins. Where a read or a send would pass the budget, connections
// are closed until it fits, as the send queue limit drops a peer (WSAENOBUFS, close
// callback from the event loop), largest first in this order: those that cannot
// drain (an unfinished frame that has not grown for stallMs, output the peer has not
// made room for in stallMs, records the plug-in does not copy); those whose peer has
// not begun to take what waits for it; last those that make progress (a frame still
// growing, output the peer is taking). A connection is judged by the larger of its
// unfinished frame and its queued output. The user is told at once of what the first
// closing of an episode closed, and of the rest in one notice when the episode ends
// (the total back under three quarters of the budget), each connection named with
// why it was closed. When the connections have let go of most of what they held, the
// heap is trimmed so the process gives it back.
#pragma once

#include "devhost/nxtcpsock/frame_codec.h"
#include "devhost/nxtcpsock/socket_io.h"
#include "qrvapi/qrv_abi.h"
#include "qrvapi/socket_plugin.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace devhost {

constexpr int kDefaultConnectTimeoutMs = 5000;
constexpr std::size_t kDefaultSendQueueBytes = 4 * 1024 * 1024;
// The most records one receive callback finds newly queued.
constexpr std::size_t kMaxRecordsPerCallback = 64;
// Unsent bytes at which a connection sent to from a callback is flushed at once
// instead of at the end of the loop turn.
constexpr std::size_t kCoalesceBytes = 64 * 1024;
// Whether sends from a callback wait for the end of the loop turn even when no other
// event waits (see above).
#if defined(_WIN32)
constexpr bool kCoalesceCallbackSends = false;
#else
constexpr bool kCoalesceCallbackSends = true;
#endif
// What the sockets may hold for all connections together. The most a chat needs at
// once is a maximal line (1 MiB) queued to every guest of a large crowd, or a few
// dozen connections at their full send queue: 256 MiB holds a 1 MiB line for 250
// guests, or 64 queues at their 4 MiB limit. Past that, the memory would only be held
// for peers that stall or never read, and the process (a 32-bit devhost.exe has 2 GiB
// of address space) would run out long before they let go.
constexpr std::size_t kDefaultMemoryBudgetBytes = 256 * 1024 * 1024;

// What one decoded record costs beyond its label and text, as counted against the
// budget: the record itself in its queue and the heap blocks of its two strings. On
// x86-64 with glibc an empty record costs 69 bytes and a 20-byte text 32 more; this
// counts sizeof(Record) (64 there, 48 in the 32-bit build) and 32 bytes of heap
// headers and rounding, so a frame of 8 bytes that carries nothing still costs 96.
constexpr std::size_t kRecordOverheadBytes = sizeof(Record) + 32;
// The most decoded records a connection keeps that the plug-in has not copied yet
// (not yet handed over, or handed over and not copied): a connection that has this
// many is not read until the plug-in takes them, and its peer meets TCP's
// back-pressure. 1,024 is sixteen receive callbacks' worth, which keeps a flood of
// short lines read in large pieces, and about 100 KiB of empty records.
constexpr std::size_t kMaxHeldRecords = 1024;
// How long an unfinished frame may go without growing, or queued output without the
// peer taking any of it, before the memory budget counts the connection as one that
// cannot drain.
constexpr int kDefaultStallMs = 2000;

struct NxTcpSockOptions {
    std::string listenAddress = "0.0.0.0"; // where Listen binds
    int connectTimeoutMs = kDefaultConnectTimeoutMs;
    std::size_t sendQueueLimit = kDefaultSendQueueBytes;  // unsent bytes per connection
    std::size_t memoryBudget = kDefaultMemoryBudgetBytes; // all connections together
    int stallMs = kDefaultStallMs;                        // no progress for this long: cannot drain
    // Where the socket plug-in tells the host's user about trouble of its own (a
    // listener that cannot take connections for now); none: it stays silent.
    std::function<void(const std::string&)> notice;
};

enum SockState : int {
    kSockStateClosed = SOCKSTATE_CLOSED,
    kSockStateListening = SOCKSTATE_LISTENING,
    kSockStateConnecting = SOCKSTATE_CONNECTING, // reserved: Connect completes before it returns
    kSockStateConnected = SOCKSTATE_CONNECTED,
};

enum CallbackId : int {
    kCallbackRecv = CALLBACKID_RECV,
    kCallbackAccept = CALLBACKID_ACCEPT,
    kCallbackClose = CALLBACKID_CLOSE,
};

// Outcome of an operation on a socket handle.
enum class SockResult { Ok, Failed, NoSuchSocket };

// For the process that serves the connections, before it does: queues and frames of
// 128 KiB and more get pages of their own, given back to the system when freed, so
// that what the memory budget lets go is gone from the process too. The price is
// fresh pages for every large buffer (a line of 1 MiB to 50 guests: about 13,000 page
// faults). Elsewhere it does nothing: the Windows heap maps blocks from about half a
// MiB on their own already.
void KeepLargeBuffersApart();

class TcpSocketSet {
public:
    // Runs a registered callback function for a socket; not owned by the set.
    using CallbackRunner = std::function<void(QHANDLE hFunc, QHANDLE hSock)>;

    TcpSocketSet(NxTcpSockOptions options, CallbackRunner runner);
    ~TcpSocketSet();
    TcpSocketSet(const TcpSocketSet&) = delete;
    TcpSocketSet& operator=(const TcpSocketSet&) = delete;

    // Failed results leave the Winsock number in lastError(h); NoSuchSocket changes nothing.
    QHANDLE create(); // 0 when no handle is left
    SockResult destroy(QHANDLE h);
    // Blocks until connected, at most connectTimeoutMs (then WSAETIMEDOUT). The address
    // must be a dotted IPv4 text (else WSAEINVAL); port 0 or 0.0.0.0 is WSAEADDRNOTAVAIL.
    SockResult connect(QHANDLE h, const std::string& address, std::int64_t peerPort,
                       std::int64_t localPort);
    // Port 0 picks a free port (see localPort); a port in use is WSAEADDRINUSE.
    SockResult listen(QHANDLE h, std::int64_t localPort);
    SockResult close(QHANDLE h);
    // Takes the connection pending at the listener (or waiting in its backlog) into a
    // closed socket; WSAEWOULDBLOCK when there is none.
    SockResult accept(QHANDLE hListener, QHANDLE hConnection);
    // Queues one frame and sends what the socket takes now (from inside a callback: at
    // the end of the loop turn, see above). A frame that would push the unsent bytes
    // past sendQueueLimit drops the connection (WSAENOBUFS).
    SockResult send(QHANDLE h, const std::string& label, const std::string& text);
    SockResult setCallback(QHANDLE h, std::int64_t callbackId, QHANDLE hFunc);
    // The records handed to the receive callback and not copied before, oldest first;
    // they are the caller's now.
    std::optional<std::deque<Record>> takeReceived(QHANDLE h);
    SockResult setLastError(QHANDLE h, int error);

    std::optional<int> state(QHANDLE h) const;
    std::optional<int> lastError(QHANDLE h) const;
    // The peer of the current or the last connection (kept after it ended).
    std::optional<sockio::Endpoint> peer(QHANDLE h) const;
    std::optional<std::uint16_t> localPort(QHANDLE h) const;
    std::size_t size() const { return sockets_.size(); }
    // What the connections hold now, counted against the memory budget, and the most
    // they ever held.
    std::size_t heldBytes() const { return held_; }
    std::size_t peakHeldBytes() const { return peakHeld_; }

    // The test bench's way in: records that land in a connection's receive path as if
    // its peer had sent them, delivered by the event loop like any others.
    SockResult injectReceived(QHANDLE h, std::deque<Record> records);

    bool pump(int timeoutMs);

private:
    struct Socket;
    Socket* find(QHANDLE h) const;
    void onEvent(std::uint32_t token, sockio::SocketWatcher::Event event, int error);
    void onAcceptable(QHANDLE h);
    void onReadable(QHANDLE h);
    void onPeerClosed(QHANDLE h, int error);
    void onWritable(QHANDLE h);
    void runDeferred();
    void takeTurn(QHANDLE h);
    void readSome(Socket& s);
    void scheduleTurn(Socket& s);
    void pauseAccepting(Socket& listener, int error);
    void resumeAccepting();
    void openConnection(Socket& s, sockio::NativeSocket native, const sockio::Endpoint& peer);
    // Records handed over and not copied go with the connection unless kept for its
    // close callback.
    void endConnection(Socket& s, int error, bool keepReceived = false);
    void closeNative(sockio::NativeSocket& native);
    void dropLater(Socket& s, int error);
    void queueFrame(Socket& s, const std::string& label, const std::string& text);
    int flush(Socket& s);
    void flushLater(Socket& s);
    void flushOwed();
    void flushOrEnd(Socket& s);
    void raise(QHANDLE h, CallbackId id);
    void account(Socket& s);
    void makeRoom(std::size_t incoming);
    Socket* nextToClose(std::string& why) const;
    void tellClosed(const std::string& closed, std::size_t count);
    void endEpisode();

    NxTcpSockOptions options_;
    CallbackRunner runner_;
    std::unique_ptr<sockio::SocketWatcher> watcher_;
    std::map<QHANDLE, std::unique_ptr<Socket>> sockets_;
    QHANDLE nextHandle_ = 1;
    // Close callbacks owed to connections dropped inside an operation, and turns owed
    // to connections with work left over: handle and the connection serial they
    // belong to.
    std::vector<std::pair<QHANDLE, std::uint64_t>> deferredCloses_;
    std::vector<std::pair<QHANDLE, std::uint64_t>> turns_;
    // Connections sent to from callbacks, flushed at the end of the loop turn.
    std::vector<std::pair<QHANDLE, std::uint64_t>> flushes_;
    int handlingEvents_ = 0; // depth of event handling (modal loops nest it)
    // Listeners that stopped taking connections until a descriptor frees.
    std::vector<QHANDLE> pausedListeners_;
    std::vector<char> receiveBuffer_;
    std::size_t held_ = 0; // the sum of every socket's held
    std::size_t peakHeld_ = 0;
    bool overBudget_ = false;  // in an episode of closing connections for the budget
    std::string closedUntold_; // connections closed in this episode, not yet told
    std::size_t untoldCount_ = 0;
    std::size_t peakSinceTrim_ = 0; // the most held since the heap was last trimmed
    bool makingRoom_ = false;       // closing one now
    bool started_ = false;
};

} // namespace devhost

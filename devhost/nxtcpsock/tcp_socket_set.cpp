// The socket plug-in's sockets: operations, queues and event dispatch (rules in the
// header). Every callback may delete or reopen any socket, so code that raises one
// never touches a Socket it found before the call: it looks the handle up again and
// checks that the connection serial is still the one it started with.
#include "devhost/nxtcpsock/tcp_socket_set.h"

#include "devhost/nxtcpsock/winsock_errors.h"

#include <algorithm>
#include <chrono>
#if defined(__GLIBC__) || defined(_WIN32)
#include <malloc.h>
#endif

namespace devhost {

namespace {
constexpr std::size_t kReceiveChunkBytes = 64 * 1024;
// The reads of one turn of a connection, which stop early once a callback's worth of
// records is decoded. Bytes left in the socket bring readiness again (level-triggered
// poll, Winsock's re-enabling by recv).
constexpr int kMaxReadsPerTurn = 4;
constexpr int kMaxAcceptsPerEvent = 64;
constexpr std::uint16_t kMaxPort = 65535;
// A send queue drops the part it has sent once that is this large and no smaller than
// what is left, so compacting costs at most what was sent.
constexpr std::size_t kCompactSentBytes = 64 * 1024;
// An emptied send queue keeps no more room than this, a chat line or two: an idle
// connection stays small after a burst or a loop turn's worth of lines.
constexpr std::size_t kIdleSendQueueBytes = 512;
// Buffers from this size on are mapped on their own (KeepLargeBuffersApart).
constexpr int kOwnPagesBytes = 128 * 1024;
// An episode of closing connections for the memory budget ends once they hold no more
// than this share of it, so a total that hovers near the budget makes one notice.
constexpr std::size_t kBudgetCalmNumerator = 3;
constexpr std::size_t kBudgetCalmDenominator = 4;
// Connections closed for the budget that one notice names at most; more make another.
constexpr std::size_t kMaxNamedPerNotice = 32;
// Once the connections held this much and let go of three quarters of it, the heap is
// trimmed: the small blocks of decoded records are carved from it, and the allocator
// would keep their pages after an attack of many small records.
constexpr std::size_t kTrimAfterBytes = 16 * 1024 * 1024;
constexpr std::size_t kTrimShareDenominator = 4;

using Clock = std::chrono::steady_clock;

// What a record costs the budget while the sockets keep it.
std::size_t RecordBytes(const Record& r) {
    return r.label.size() + r.text.size() + kRecordOverheadBytes;
}

void TrimHeap() {
#if defined(__GLIBC__)
    malloc_trim(0);
#elif defined(_WIN32)
    _heapmin();
#endif
}

// "1.5 MiB", rounded down to a tenth; under a MiB, "300 KiB".
std::string Mebibytes(std::size_t bytes) {
    constexpr int kMiBShift = 20;
    constexpr int kKiBShift = 10;
    if (bytes >> kMiBShift == 0) return std::to_string(bytes >> kKiBShift) + " KiB";
    const std::size_t tenth = ((bytes & ((std::size_t{1} << kMiBShift) - 1)) * 10) >> kMiBShift;
    return std::to_string(bytes >> kMiBShift) + "." + std::to_string(tenth) + " MiB";
}

// An operation's failure: its Winsock error is kept for GetLastError.
template <typename Sock> SockResult FailWith(Sock& sock, int error) {
    sock.lastError = error;
    return SockResult::Failed;
}
} // namespace

struct TcpSocketSet::Socket {
    QHANDLE handle = 0;
    int state = kSockStateClosed;
    sockio::NativeSocket native = sockio::kNoSocket;
    // Changes whenever a connection or a listening starts or ends.
    std::uint64_t connection = 0;
    int lastError = 0;
    std::map<int, QHANDLE> callbacks;
    sockio::Endpoint peer;
    FrameDecoder decoder;
    std::deque<Record> backlog; // decoded, not yet handed to a receive callback
    std::size_t backlogBytes = 0;
    std::deque<Record> received; // handed over, waiting for CopyRecvQueue
    std::size_t receivedBytes = 0;
    bool readPaused = false;   // kMaxHeldRecords uncopied: not read until they are taken
    bool writeBlocked = false; // the socket took no more: the rest waits for writability
    // The last progress of an unfinished frame (bytes read) and of output the socket
    // did not take (since it stopped taking, or the peer last made room), for telling
    // what cannot drain.
    Clock::time_point inputSince;
    Clock::time_point outputSince;
    bool outputTaken = false;    // the peer has made room since the queue started
    bool turnScheduled = false;  // a turn is owed in turns_
    bool flushScheduled = false; // a flush is owed in flushes_
    bool peerClosed = false;     // Winsock reported the close: read to the end
    int closeError = 0;          // how the close was reported
    bool ending = false;         // the stream has ended; closes once backlog is delivered
    int endError = 0;
    std::string sendQueue;
    std::size_t sendOffset = 0;
    // A connection taken from the listener for the accept callback to claim.
    sockio::NativeSocket pending = sockio::kNoSocket;
    sockio::Endpoint pendingPeer;
    bool acceptPaused = false; // out of descriptors: no accepting until one frees
    bool limitNoticed = false; // told the user so since the last connection taken

    // Counted against the memory budget when last accounted (TcpSocketSet::account).
    std::size_t held = 0;

    std::size_t unsent() const { return sendQueue.size() - sendOffset; }
    std::size_t heldRecords() const { return backlog.size() + received.size(); }
    // What this connection holds now.
    std::size_t holding() const {
        return decoder.heldBytes() + backlogBytes + receivedBytes + sendQueue.size();
    }
};

void KeepLargeBuffersApart() {
#if defined(__GLIBC__)
    // glibc would raise this threshold as such buffers are freed and carve them from its
    // heap instead, where what a dropped connection leaves is split by small allocations
    // and stays held: up to 70% more than the budget under attack.
    mallopt(M_MMAP_THRESHOLD, kOwnPagesBytes);
#endif
}

TcpSocketSet::TcpSocketSet(NxTcpSockOptions options, CallbackRunner runner)
    : options_(std::move(options)), runner_(std::move(runner)), receiveBuffer_(kReceiveChunkBytes) {
    started_ = sockio::startup() == 0;
    watcher_ = sockio::SocketWatcher::create([this](std::uint32_t token,
                                                    sockio::SocketWatcher::Event event,
                                                    int error) { onEvent(token, event, error); });
}

TcpSocketSet::~TcpSocketSet() {
    for (auto& [h, s] : sockets_)
        endConnection(*s, 0);
    sockets_.clear();
    watcher_.reset();
    if (started_) sockio::cleanup();
}

TcpSocketSet::Socket* TcpSocketSet::find(QHANDLE h) const {
    auto it = sockets_.find(h);
    return it == sockets_.end() ? nullptr : it->second.get();
}

QHANDLE TcpSocketSet::create() {
    if (nextHandle_ == 0) return 0; // all 2^32-1 handles used: they are never reused
    auto s = std::make_unique<Socket>();
    s->handle = nextHandle_++;
    const QHANDLE h = s->handle;
    sockets_.emplace(h, std::move(s));
    return h;
}

SockResult TcpSocketSet::destroy(QHANDLE h) {
    Socket* s = find(h);
    if (!s) return SockResult::NoSuchSocket;
    if (s->state == kSockStateConnected) flush(*s); // what fits now still goes out
    endConnection(*s, 0);
    sockets_.erase(h);
    return SockResult::Ok;
}

SockResult TcpSocketSet::connect(QHANDLE h, const std::string& address, std::int64_t peerPort,
                                 std::int64_t localPort) {
    Socket* s = find(h);
    if (!s) return SockResult::NoSuchSocket;
    if (s->state == kSockStateConnected) return FailWith(*s, wsaerr::kIsConnected);
    if (s->state != kSockStateClosed) return FailWith(*s, wsaerr::kInvalid);
    sockio::Endpoint peer;
    if (!sockio::parseIpv4(address, peer.address)) return FailWith(*s, wsaerr::kInvalid);
    if (localPort < 0 || localPort > kMaxPort) return FailWith(*s, wsaerr::kInvalid);
    if (peerPort < 1 || peerPort > kMaxPort || peer.address == 0)
        return FailWith(*s, wsaerr::kAddrNotAvail);
    peer.port = static_cast<std::uint16_t>(peerPort);
    sockio::NativeSocket native = sockio::kNoSocket;
    const int error = sockio::connectWithin(peer, static_cast<std::uint16_t>(localPort),
                                            options_.connectTimeoutMs, native);
    if (error != 0) return FailWith(*s, error);
    openConnection(*s, native, peer);
    return SockResult::Ok;
}

SockResult TcpSocketSet::listen(QHANDLE h, std::int64_t localPort) {
    Socket* s = find(h);
    if (!s) return SockResult::NoSuchSocket;
    if (s->state == kSockStateConnected) return FailWith(*s, wsaerr::kIsConnected);
    if (s->state != kSockStateClosed) return FailWith(*s, wsaerr::kInvalid);
    if (localPort < 0 || localPort > kMaxPort) return FailWith(*s, wsaerr::kInvalid);
    sockio::Endpoint local;
    if (!sockio::parseIpv4(options_.listenAddress, local.address))
        return FailWith(*s, wsaerr::kAddrNotAvail);
    local.port = static_cast<std::uint16_t>(localPort);
    sockio::NativeSocket native = sockio::kNoSocket;
    if (int error = sockio::listenOn(local, native)) return FailWith(*s, error);
    s->native = native;
    s->state = kSockStateListening;
    s->peer = {};
    ++s->connection;
    watcher_->watch(native, h, true);
    return SockResult::Ok;
}

SockResult TcpSocketSet::close(QHANDLE h) {
    Socket* s = find(h);
    if (!s) return SockResult::NoSuchSocket;
    if (s->state == kSockStateConnected) flush(*s); // what fits now still goes out
    endConnection(*s, 0);
    return SockResult::Ok;
}

SockResult TcpSocketSet::accept(QHANDLE hListener, QHANDLE hConnection) {
    Socket* listener = find(hListener);
    if (!listener) return SockResult::NoSuchSocket;
    if (listener->state != kSockStateListening) return FailWith(*listener, wsaerr::kInvalid);
    Socket* conn = hConnection == hListener ? nullptr : find(hConnection);
    if (!conn) return FailWith(*listener, wsaerr::kNotSocket);
    if (conn->state != kSockStateClosed) return FailWith(*listener, wsaerr::kIsConnected);
    sockio::NativeSocket native = listener->pending;
    sockio::Endpoint peer = listener->pendingPeer;
    listener->pending = sockio::kNoSocket;
    if (native == sockio::kNoSocket) {
        if (int error = sockio::acceptOne(listener->native, native, peer))
            return FailWith(*listener, error);
    }
    openConnection(*conn, native, peer);
    return SockResult::Ok;
}

SockResult TcpSocketSet::send(QHANDLE h, const std::string& label, const std::string& text) {
    Socket* s = find(h);
    if (!s) return SockResult::NoSuchSocket;
    if (s->state != kSockStateConnected) return FailWith(*s, wsaerr::kNotConnected);
    switch (validateRecord(label, text)) {
    case FrameError::None:
        break;
    case FrameError::ContainsNul:
        return FailWith(*s, wsaerr::kInvalid);
    default:
        return FailWith(*s, wsaerr::kMessageSize);
    }
    const std::size_t frameBytes = kFrameHeaderBytes + label.size() + text.size();
    if (s->unsent() + frameBytes > options_.sendQueueLimit) {
        // The peer does not read: keeping its data would grow without bound.
        dropLater(*s, wsaerr::kNoBufs);
        return SockResult::Failed;
    }
    if (held_ + frameBytes > options_.memoryBudget) {
        makeRoom(frameBytes);
        // Closing the connections that held the most may have closed this one too.
        if (s->state != kSockStateConnected) return FailWith(*s, wsaerr::kNoBufs);
    }
    queueFrame(*s, label, text);
    if (handlingEvents_ > 0 && s->unsent() < kCoalesceBytes &&
        (kCoalesceCallbackSends || watcher_->othersWaiting())) {
        flushLater(*s);
        return SockResult::Ok;
    }
    // A socket that took no more is sent to again once it reports room.
    if (s->writeBlocked) return SockResult::Ok;
    if (int error = flush(*s)) {
        dropLater(*s, error);
        return SockResult::Failed;
    }
    return SockResult::Ok;
}

SockResult TcpSocketSet::setCallback(QHANDLE h, std::int64_t callbackId, QHANDLE hFunc) {
    Socket* s = find(h);
    if (!s) return SockResult::NoSuchSocket;
    if (callbackId != kCallbackRecv && callbackId != kCallbackAccept &&
        callbackId != kCallbackClose) {
        s->lastError = wsaerr::kInvalid;
        return SockResult::Failed;
    }
    if (hFunc == 0)
        s->callbacks.erase(static_cast<int>(callbackId));
    else
        s->callbacks[static_cast<int>(callbackId)] = hFunc;
    return SockResult::Ok;
}

std::optional<std::deque<Record>> TcpSocketSet::takeReceived(QHANDLE h) {
    Socket* s = find(h);
    if (!s) return std::nullopt;
    std::deque<Record> out;
    out.swap(s->received);
    s->receivedBytes = 0;
    account(*s);
    if (s->readPaused && s->state == kSockStateConnected) {
        s->readPaused = false;
        watcher_->setWantRead(s->native, true);
        scheduleTurn(*s); // on Windows only a receive brings readiness again
    }
    return out;
}

SockResult TcpSocketSet::injectReceived(QHANDLE h, std::deque<Record> records) {
    Socket* s = find(h);
    if (!s) return SockResult::NoSuchSocket;
    if (s->state != kSockStateConnected) return FailWith(*s, wsaerr::kNotConnected);
    for (Record& r : records) {
        s->backlogBytes += RecordBytes(r);
        s->backlog.push_back(std::move(r));
    }
    account(*s);
    scheduleTurn(*s);
    return SockResult::Ok;
}

SockResult TcpSocketSet::setLastError(QHANDLE h, int error) {
    Socket* s = find(h);
    if (!s) return SockResult::NoSuchSocket;
    s->lastError = error;
    return SockResult::Ok;
}

std::optional<int> TcpSocketSet::state(QHANDLE h) const {
    const Socket* s = find(h);
    return s ? std::optional<int>(s->state) : std::nullopt;
}

std::optional<int> TcpSocketSet::lastError(QHANDLE h) const {
    const Socket* s = find(h);
    return s ? std::optional<int>(s->lastError) : std::nullopt;
}

std::optional<sockio::Endpoint> TcpSocketSet::peer(QHANDLE h) const {
    const Socket* s = find(h);
    return s ? std::optional<sockio::Endpoint>(s->peer) : std::nullopt;
}

std::optional<std::uint16_t> TcpSocketSet::localPort(QHANDLE h) const {
    const Socket* s = find(h);
    if (!s) return std::nullopt;
    return s->native == sockio::kNoSocket ? 0 : sockio::localPort(s->native);
}

bool TcpSocketSet::pump(int timeoutMs) {
    return watcher_->pump(timeoutMs);
}

void TcpSocketSet::openConnection(Socket& s, sockio::NativeSocket native,
                                  const sockio::Endpoint& peer) {
    s.native = native;
    s.state = kSockStateConnected;
    s.peer = peer;
    ++s.connection;
    s.received.clear();
    s.receivedBytes = 0;
    s.inputSince = s.outputSince = Clock::now();
    watcher_->watch(native, s.handle, false);
    account(s);
}

void TcpSocketSet::endConnection(Socket& s, int error, bool keepReceived) {
    if (s.acceptPaused) {
        s.acceptPaused = false;
        pausedListeners_.erase(
            std::remove(pausedListeners_.begin(), pausedListeners_.end(), s.handle),
            pausedListeners_.end());
    }
    if (s.native != sockio::kNoSocket) watcher_->unwatch(s.native);
    closeNative(s.native);
    closeNative(s.pending);
    if (error != 0) s.lastError = error;
    s.state = kSockStateClosed;
    ++s.connection; // also cancels a close callback or a turn still owed to the old one
    s.decoder.reset();
    s.backlog.clear();
    s.backlogBytes = 0;
    if (!keepReceived) {
        std::deque<Record>().swap(s.received);
        s.receivedBytes = 0;
    }
    s.turnScheduled = s.flushScheduled = s.peerClosed = s.ending = false;
    s.readPaused = s.writeBlocked = false;
    s.closeError = s.endError = 0;
    std::string().swap(s.sendQueue);
    s.sendOffset = 0;
    account(s);
}

void TcpSocketSet::closeNative(sockio::NativeSocket& native) {
    if (native == sockio::kNoSocket) return;
    sockio::closeSocket(native);
    native = sockio::kNoSocket;
    resumeAccepting(); // a descriptor is free again
}

void TcpSocketSet::dropLater(Socket& s, int error) {
    endConnection(s, error);
    deferredCloses_.emplace_back(s.handle, s.connection);
    watcher_->requestDeferred();
}

void TcpSocketSet::queueFrame(Socket& s, const std::string& label, const std::string& text) {
    if (s.sendOffset >= kCompactSentBytes && s.sendOffset >= s.unsent()) {
        s.sendQueue.erase(0, s.sendOffset);
        s.sendOffset = 0;
    }
    if (s.unsent() == 0) s.outputTaken = false;
    encodeFrame(label, text, s.sendQueue);
    account(s);
}

int TcpSocketSet::flush(Socket& s) {
    while (s.unsent() > 0) {
        const sockio::IoResult r =
            sockio::sendSome(s.native, s.sendQueue.data() + s.sendOffset, s.unsent());
        if (r.error == wsaerr::kWouldBlock) {
            if (!s.writeBlocked) s.outputSince = Clock::now(); // the wait for the peer starts
            s.writeBlocked = true;
            watcher_->setWantWrite(s.native, true);
            return 0;
        }
        if (r.error != 0) return r.error;
        s.sendOffset += r.bytes;
    }
    if (s.sendQueue.capacity() > kIdleSendQueueBytes)
        std::string().swap(s.sendQueue);
    else
        s.sendQueue.clear();
    s.sendOffset = 0;
    account(s);
    watcher_->setWantWrite(s.native, false);
    return 0;
}

void TcpSocketSet::flushLater(Socket& s) {
    if (s.flushScheduled) return;
    s.flushScheduled = true;
    flushes_.emplace_back(s.handle, s.connection);
    watcher_->requestDeferred();
}

void TcpSocketSet::flushOwed() {
    std::vector<std::pair<QHANDLE, std::uint64_t>> owed;
    owed.swap(flushes_);
    for (const auto& [h, serial] : owed) {
        Socket* s = find(h);
        if (!s || s->connection != serial) continue;
        s->flushScheduled = false;
        flushOrEnd(*s);
    }
}

// Sends what the socket takes. A broken connection ends once what it received before
// is delivered, from a turn of its own.
void TcpSocketSet::flushOrEnd(Socket& s) {
    if (s.state != kSockStateConnected || s.ending || s.writeBlocked) return;
    if (int error = flush(s)) {
        s.ending = true;
        s.endError = error;
        watcher_->setWantWrite(s.native, false);
        scheduleTurn(s);
    }
}

void TcpSocketSet::raise(QHANDLE h, CallbackId id) {
    Socket* s = find(h);
    if (!s) return;
    auto it = s->callbacks.find(id);
    if (it == s->callbacks.end() || !runner_) return;
    const QHANDLE hFunc = it->second;
    runner_(hFunc, h); // may delete s
}

void TcpSocketSet::onEvent(std::uint32_t token, sockio::SocketWatcher::Event event, int error) {
    using Event = sockio::SocketWatcher::Event;
    ++handlingEvents_;
    switch (event) {
    case Event::Deferred:
        runDeferred();
        break;
    case Event::Acceptable:
        onAcceptable(token);
        break;
    case Event::Readable:
        onReadable(token);
        break;
    case Event::Closed:
        onPeerClosed(token, error);
        break;
    case Event::Writable:
        onWritable(token);
        break;
    }
    --handlingEvents_;
}

void TcpSocketSet::runDeferred() {
    std::vector<std::pair<QHANDLE, std::uint64_t>> closes;
    closes.swap(deferredCloses_);
    for (const auto& [h, serial] : closes) {
        Socket* s = find(h);
        if (s && s->connection == serial && s->state == kSockStateClosed) raise(h, kCallbackClose);
    }
    std::vector<std::pair<QHANDLE, std::uint64_t>> turns;
    turns.swap(turns_);
    for (const auto& [h, serial] : turns) {
        Socket* s = find(h);
        if (!s || s->connection != serial) continue;
        s->turnScheduled = false;
        takeTurn(h);
    }
    flushOwed();
}

void TcpSocketSet::scheduleTurn(Socket& s) {
    if (s.turnScheduled) return;
    s.turnScheduled = true;
    turns_.emplace_back(s.handle, s.connection);
    watcher_->requestDeferred();
}

void TcpSocketSet::onAcceptable(QHANDLE h) {
    for (int i = 0; i < kMaxAcceptsPerEvent; ++i) {
        Socket* s = find(h);
        if (!s || s->state != kSockStateListening || s->acceptPaused) return;
        if (s->pending == sockio::kNoSocket) {
            const int error = sockio::acceptOne(s->native, s->pending, s->pendingPeer);
            if (error != 0) {
                s->pending = sockio::kNoSocket;
                if (error == wsaerr::kTooManyFiles || error == wsaerr::kNoBufs)
                    pauseAccepting(*s, error);
                else if (error != wsaerr::kWouldBlock)
                    s->lastError = error;
                return;
            }
            s->limitNoticed = false;
        }
        const std::uint64_t serial = s->connection;
        raise(h, kCallbackAccept);
        s = find(h);
        if (!s || s->connection != serial) return; // closed or deleted: pending went with it
        closeNative(s->pending);                   // not taken: refused
    }
}

// Out of descriptors, a listener stays readable while its connection waits, and a
// level-triggered loop would spin on it. Of the two ways out, pausing the listener
// until one of our descriptors frees and taking each connection only to close it,
// the pause is chosen: a guest waiting in the backlog gets in as soon as anyone
// leaves instead of being turned away, and no descriptor has to be held in reserve.
// Connections ended here are what frees descriptors in this process, so each close
// resumes the paused listeners.
void TcpSocketSet::pauseAccepting(Socket& listener, int error) {
    listener.lastError = error;
    listener.acceptPaused = true;
    watcher_->unwatch(listener.native);
    pausedListeners_.push_back(listener.handle);
    if (!options_.notice || listener.limitNoticed) return;
    listener.limitNoticed = true;
    const std::size_t limit = sockio::descriptorLimit();
    std::string text = "nxTcpSock: no descriptor is left for a new connection on port " +
                       std::to_string(sockio::localPort(listener.native));
    if (limit != 0) text += " (this process may hold " + std::to_string(limit) + ")";
    options_.notice(text + "; it is taken once another connection ends");
}

void TcpSocketSet::resumeAccepting() {
    std::vector<QHANDLE> paused;
    paused.swap(pausedListeners_);
    for (QHANDLE h : paused) {
        Socket* s = find(h);
        if (!s || !s->acceptPaused || s->native == sockio::kNoSocket) continue;
        s->acceptPaused = false;
        watcher_->watch(s->native, h, true); // a waiting connection is reported again
    }
}

// One turn of a connection: read if nothing decoded is waiting, hand at most one
// callback's worth of records over, and end the connection once the stream has ended
// and everything before the end is delivered.
void TcpSocketSet::takeTurn(QHANDLE h) {
    Socket* s = find(h);
    if (!s || s->state != kSockStateConnected) return;
    const bool reads = s->backlog.empty() && !s->ending;
    if (reads) readSome(*s);
    if (s->state != kSockStateConnected) return; // closed for the memory budget
    const std::uint64_t serial = s->connection;
    if (!s->backlog.empty()) {
        const std::size_t count = std::min(s->backlog.size(), kMaxRecordsPerCallback);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t bytes = RecordBytes(s->backlog.front());
            s->backlogBytes -= bytes;
            s->receivedBytes += bytes;
            s->received.push_back(std::move(s->backlog.front()));
            s->backlog.pop_front();
        }
        account(*s);
        raise(h, kCallbackRecv);
        s = find(h);
        if (!s || s->connection != serial) return;
    }
    if (s->ending && s->backlog.empty()) {
        // What the plug-in did not copy is still there for its close callback.
        endConnection(*s, s->endError, true);
        const std::uint64_t ended = s->connection;
        raise(h, kCallbackClose);
        s = find(h);
        if (s && s->connection == ended) {
            std::deque<Record>().swap(s->received);
            s->receivedBytes = 0;
            account(*s);
        }
        return;
    }
    // A turn that did not read owes the socket one that does: on Windows only a
    // recv brings the next readiness report. One that may not read waits for the
    // plug-in to take its records.
    if (s->readPaused) return;
    if (!reads || !s->backlog.empty() || s->peerClosed) scheduleTurn(*s);
}

void TcpSocketSet::readSome(Socket& s) {
    for (int reads = 0; reads < kMaxReadsPerTurn && s.backlog.size() < kMaxRecordsPerCallback;
         ++reads) {
        if (s.heldRecords() >= kMaxHeldRecords) {
            s.readPaused = true;
            watcher_->setWantRead(s.native, false);
            return;
        }
        // No more bytes than can decode into the records this connection may still
        // hold: a read of empty frames would be eight thousand records.
        const std::size_t wanted = std::min(
            receiveBuffer_.size(), s.decoder.bytesForAtMost(kMaxHeldRecords - s.heldRecords()));
        const sockio::IoResult r = sockio::receiveSome(s.native, receiveBuffer_.data(), wanted);
        if (r.error == wsaerr::kWouldBlock) {
            // After Winsock reported the close, nothing more is coming.
            if (s.peerClosed) {
                s.ending = true;
                s.endError = s.closeError;
            }
            return;
        }
        if (r.error != 0 || r.bytes == 0) {
            // Winsock says how the connection ended with FD_CLOSE (a reset is
            // WSAECONNRESET) even when recv then only reports the end.
            s.ending = true;
            s.endError = r.error != 0 ? r.error : s.closeError;
            return;
        }
        std::size_t frames = 0;
        const std::size_t growth = s.decoder.growthFrom(receiveBuffer_.data(), r.bytes, &frames) +
                                   frames * kRecordOverheadBytes;
        if (held_ + growth > options_.memoryBudget) {
            makeRoom(growth);
            if (s.state != kSockStateConnected) return;
        }
        const std::size_t backlogBefore = s.backlog.size();
        const FrameDecoder::Status status =
            s.decoder.feed(receiveBuffer_.data(), r.bytes, s.backlog);
        for (std::size_t i = backlogBefore; i < s.backlog.size(); ++i)
            s.backlogBytes += RecordBytes(s.backlog[i]);
        s.inputSince = Clock::now();
        account(s);
        if (status != FrameDecoder::Status::Ok) {
            s.ending = true;
            s.endError = wsaerr::kConnAborted;
            return;
        }
        // A read that did not fill the buffer most likely emptied the socket: asking
        // again would only hear "would block", and under Wine every receive is a round
        // trip to its server. Bytes that came meanwhile bring readiness again.
        if (r.bytes < wanted) return;
    }
}

void TcpSocketSet::onReadable(QHANDLE h) {
    Socket* s = find(h);
    // A socket that is owed a turn gets it from the turn list, not twice.
    if (!s || s->state != kSockStateConnected || s->turnScheduled) return;
    takeTurn(h);
}

void TcpSocketSet::onPeerClosed(QHANDLE h, int error) {
    Socket* s = find(h);
    if (!s || s->state != kSockStateConnected) return;
    s->peerClosed = true;
    s->closeError = error;
    if (!s->turnScheduled) takeTurn(h);
}

void TcpSocketSet::onWritable(QHANDLE h) {
    Socket* s = find(h);
    if (!s) return;
    // The peer has taken some of what the socket held.
    s->writeBlocked = false;
    s->outputSince = Clock::now();
    s->outputTaken = true;
    flushOrEnd(*s);
}

// Keeps the budget's total up to date with what a connection holds now; called
// wherever that changes.
void TcpSocketSet::account(Socket& s) {
    const std::size_t now = s.holding();
    held_ = held_ - s.held + now;
    s.held = now;
    peakHeld_ = std::max(peakHeld_, held_);
    peakSinceTrim_ = std::max(peakSinceTrim_, held_);
    // While connections are being closed to make room, the total is short of what is
    // coming: the episode goes on.
    if (overBudget_ && !makingRoom_ &&
        held_ <= options_.memoryBudget / kBudgetCalmDenominator * kBudgetCalmNumerator)
        endEpisode();
    if (peakSinceTrim_ >= kTrimAfterBytes && held_ <= peakSinceTrim_ / kTrimShareDenominator) {
        TrimHeap();
        peakSinceTrim_ = held_;
    }
}

namespace {
// The order in which the budget closes connections: those that cannot drain, then
// those that hold something the peer has not begun to take, then those that make
// progress (an unfinished frame growing, output the peer is taking).
enum class Drain { Cannot, Waiting, Progressing };
} // namespace

// The connection the budget closes next, and why; none when no open one holds anything.
// A connection is judged by the larger of its unfinished frame and its queued output.
TcpSocketSet::Socket* TcpSocketSet::nextToClose(std::string& why) const {
    const Clock::time_point now = Clock::now();
    const auto stall = std::chrono::milliseconds(options_.stallMs);
    const std::string stallText = " for " + std::to_string(options_.stallMs) + " ms";
    Socket* chosen = nullptr;
    Drain chosenDrain = Drain::Progressing;
    for (auto& entry : sockets_) {
        Socket& s = *entry.second;
        if (s.state != kSockStateConnected || s.held == 0) continue;
        Drain drain = Drain::Waiting;
        std::string reason;
        if (s.decoder.midFrame() && s.decoder.heldBytes() >= s.unsent()) {
            const bool stalled = now - s.inputSince >= stall;
            drain = stalled ? Drain::Cannot : Drain::Progressing;
            reason = stalled ? "unfinished frame, not grown" + stallText : "unfinished frame";
        } else if (s.writeBlocked) {
            const bool stalled = now - s.outputSince >= stall;
            drain = stalled ? Drain::Cannot : s.outputTaken ? Drain::Progressing : Drain::Waiting;
            reason = stalled         ? "output not taken" + stallText
                     : s.outputTaken ? "output being taken"
                                     : "output not taken yet";
        } else if (s.readPaused) {
            drain = Drain::Cannot;
            reason = "records not copied by the plug-in";
        } else if (s.unsent() > 0) {
            drain = Drain::Progressing; // goes out at the end of the loop turn
            reason = "output being sent";
        } else {
            reason = "records not yet handed over";
        }
        if (!chosen || drain < chosenDrain || (drain == chosenDrain && s.held > chosen->held)) {
            chosen = &s;
            chosenDrain = drain;
            why = reason;
        }
    }
    return chosen;
}

// Closes connections, those that cannot drain first, until incoming more bytes fit
// the budget or no open connection holds anything.
void TcpSocketSet::makeRoom(std::size_t incoming) {
    const bool episodeStarts = !overBudget_;
    std::string closed;
    std::size_t count = 0;
    while (held_ + incoming > options_.memoryBudget) {
        std::string why;
        Socket* victim = nextToClose(why);
        if (!victim) break;
        closed += (count++ == 0 ? "" : ", ") + sockio::formatIpv4(victim->peer.address) + ":" +
                  std::to_string(victim->peer.port) + " (" + Mebibytes(victim->held) + ", " + why +
                  ")";
        overBudget_ = true;
        makingRoom_ = true;
        dropLater(*victim, wsaerr::kNoBufs);
        makingRoom_ = false;
    }
    if (count == 0) return;
    if (episodeStarts) {
        if (options_.notice)
            options_.notice("nxTcpSock: the connections hold more than their memory budget of " +
                            Mebibytes(options_.memoryBudget) +
                            "; closed, those that cannot drain first: " + closed);
    } else {
        tellClosed(closed, count);
    }
}

// Keeps what a closing later in an episode closed for the notice at its end.
void TcpSocketSet::tellClosed(const std::string& closed, std::size_t count) {
    closedUntold_ += (closedUntold_.empty() ? "" : ", ") + closed;
    untoldCount_ += count;
    if (untoldCount_ < kMaxNamedPerNotice) return;
    if (options_.notice)
        options_.notice("nxTcpSock: closed for the memory budget of " +
                        Mebibytes(options_.memoryBudget) + ": " + closedUntold_);
    closedUntold_.clear();
    untoldCount_ = 0;
}

void TcpSocketSet::endEpisode() {
    overBudget_ = false;
    if (!closedUntold_.empty() && options_.notice)
        options_.notice("nxTcpSock: back within the memory budget of " +
                        Mebibytes(options_.memoryBudget) +
                        "; also closed for it: " + closedUntold_);
    closedUntold_.clear();
    untoldCount_ = 0;
}

} // namespace devhost

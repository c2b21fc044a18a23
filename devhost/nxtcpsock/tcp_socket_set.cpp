// The socket plug-in's sockets: operations, queues and event dispatch (rules in the
// header). Every callback may delete or reopen any socket, so code that raises one
// never touches a Socket it found before the call: it looks the handle up again and
// checks that the connection serial is still the one it started with.
#include "devhost/nxtcpsock/tcp_socket_set.h"

#include "devhost/nxtcpsock/winsock_errors.h"

namespace devhost {

namespace {
constexpr std::size_t kReceiveChunkBytes = 64 * 1024;
// Bounds the work of one readiness report so that one busy peer cannot starve the
// others; level-triggered readiness (and Winsock's re-enabling) brings us back.
constexpr int kMaxReadsPerEvent = 16;
constexpr int kMaxAcceptsPerEvent = 64;
constexpr std::uint16_t kMaxPort = 65535;

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
    std::deque<Record> received;
    std::string sendQueue;
    std::size_t sendOffset = 0;
    // A connection taken from the listener for the accept callback to claim.
    sockio::NativeSocket pending = sockio::kNoSocket;
    sockio::Endpoint pendingPeer;

    std::size_t unsent() const { return sendQueue.size() - sendOffset; }
};

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
    encodeFrame(label, text, s->sendQueue);
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
    return out;
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
    s.decoder.reset();
    s.received.clear();
    s.sendQueue.clear();
    s.sendOffset = 0;
    watcher_->watch(native, s.handle, false);
}

void TcpSocketSet::endConnection(Socket& s, int error) {
    if (s.native != sockio::kNoSocket) {
        watcher_->unwatch(s.native);
        sockio::closeSocket(s.native);
        s.native = sockio::kNoSocket;
    }
    if (s.pending != sockio::kNoSocket) {
        sockio::closeSocket(s.pending);
        s.pending = sockio::kNoSocket;
    }
    if (error != 0) s.lastError = error;
    s.state = kSockStateClosed;
    ++s.connection; // also cancels a close callback still owed to the old connection
    s.decoder.reset();
    s.sendQueue.clear();
    s.sendOffset = 0;
}

void TcpSocketSet::dropLater(Socket& s, int error) {
    endConnection(s, error);
    deferredCloses_.emplace_back(s.handle, s.connection);
    watcher_->requestDeferred();
}

int TcpSocketSet::flush(Socket& s) {
    while (s.unsent() > 0) {
        const sockio::IoResult r =
            sockio::sendSome(s.native, s.sendQueue.data() + s.sendOffset, s.unsent());
        if (r.error == wsaerr::kWouldBlock) {
            watcher_->setWantWrite(s.native, true);
            return 0;
        }
        if (r.error != 0) return r.error;
        s.sendOffset += r.bytes;
    }
    s.sendQueue.clear();
    s.sendOffset = 0;
    watcher_->setWantWrite(s.native, false);
    return 0;
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
    switch (event) {
    case Event::Deferred:
        runDeferredCloses();
        break;
    case Event::Acceptable:
        onAcceptable(token);
        break;
    case Event::Readable:
        onReadable(token, false, error);
        break;
    case Event::Closed:
        onReadable(token, true, error);
        break;
    case Event::Writable:
        onWritable(token);
        break;
    }
}

void TcpSocketSet::runDeferredCloses() {
    std::vector<std::pair<QHANDLE, std::uint64_t>> due;
    due.swap(deferredCloses_);
    for (const auto& [h, serial] : due) {
        Socket* s = find(h);
        if (s && s->connection == serial && s->state == kSockStateClosed) raise(h, kCallbackClose);
    }
}

void TcpSocketSet::onAcceptable(QHANDLE h) {
    for (int i = 0; i < kMaxAcceptsPerEvent; ++i) {
        Socket* s = find(h);
        if (!s || s->state != kSockStateListening) return;
        if (s->pending == sockio::kNoSocket) {
            const int error = sockio::acceptOne(s->native, s->pending, s->pendingPeer);
            if (error != 0) {
                s->pending = sockio::kNoSocket;
                if (error != wsaerr::kWouldBlock) s->lastError = error;
                return;
            }
        }
        const std::uint64_t serial = s->connection;
        raise(h, kCallbackAccept);
        s = find(h);
        if (!s || s->connection != serial) return; // closed or deleted: pending went with it
        if (s->pending != sockio::kNoSocket) {
            sockio::closeSocket(s->pending); // not taken: refused
            s->pending = sockio::kNoSocket;
        }
    }
}

void TcpSocketSet::onReadable(QHANDLE h, bool peerClosed, int closeError) {
    Socket* s = find(h);
    if (!s || s->state != kSockStateConnected) return;
    bool ended = false;
    int endError = 0;
    const std::size_t before = s->received.size();
    // After the peer's close everything left is read at once: no more reports follow.
    for (int reads = 0; peerClosed || reads < kMaxReadsPerEvent; ++reads) {
        const sockio::IoResult r =
            sockio::receiveSome(s->native, receiveBuffer_.data(), receiveBuffer_.size());
        if (r.error == wsaerr::kWouldBlock) break;
        if (r.error != 0 || r.bytes == 0) {
            ended = true;
            endError = r.error;
            break;
        }
        if (s->decoder.feed(receiveBuffer_.data(), r.bytes, s->received) !=
            FrameDecoder::Status::Ok) {
            ended = true;
            endError = wsaerr::kConnAborted;
            break;
        }
    }
    if (peerClosed) {
        // Winsock says how the connection ended with FD_CLOSE (a reset is
        // WSAECONNRESET) even when recv then only reports the end.
        ended = true;
        if (endError == 0) endError = closeError;
    }
    const std::uint64_t serial = s->connection;
    if (s->received.size() > before) {
        raise(h, kCallbackRecv);
        s = find(h);
        if (!s || s->connection != serial) return;
    }
    if (ended) {
        endConnection(*s, endError);
        raise(h, kCallbackClose);
    }
}

void TcpSocketSet::onWritable(QHANDLE h) {
    Socket* s = find(h);
    if (!s || s->state != kSockStateConnected) return;
    if (int error = flush(*s)) {
        endConnection(*s, error);
        raise(h, kCallbackClose);
    }
}

} // namespace devhost

// POSIX back end of the socket plug-in: non-blocking BSD sockets, errno translated to
// Winsock numbers, and a poll() loop as the event source.
#include "devhost/nxtcpsock/socket_io.h"
#include "devhost/nxtcpsock/winsock_errors.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <vector>

namespace devhost::sockio {
namespace {

constexpr int kListenBacklog = SOMAXCONN;

int translateErrno(int e) {
    switch (e) {
    case 0:
        return wsaerr::kNone;
    case EACCES:
    case EPERM:
        return wsaerr::kAccess;
    case EFAULT:
        return wsaerr::kFault;
    case EINVAL:
        return wsaerr::kInvalid;
    case EMFILE:
    case ENFILE:
        return wsaerr::kTooManyFiles;
    case EAGAIN:
        return wsaerr::kWouldBlock;
    case EINPROGRESS:
    case EALREADY:
        return wsaerr::kInProgress;
    case ENOTSOCK:
    case EBADF:
        return wsaerr::kNotSocket;
    case EMSGSIZE:
        return wsaerr::kMessageSize;
    case EAFNOSUPPORT:
        return wsaerr::kAfNoSupport;
    case EADDRINUSE:
        return wsaerr::kAddrInUse;
    case EADDRNOTAVAIL:
        return wsaerr::kAddrNotAvail;
    case ENETDOWN:
        return wsaerr::kNetDown;
    case ENETUNREACH:
        return wsaerr::kNetUnreach;
    case ENETRESET:
        return wsaerr::kNetReset;
    case ECONNABORTED:
        return wsaerr::kConnAborted;
    case ECONNRESET:
    case EPIPE:
        return wsaerr::kConnReset;
    case ENOBUFS:
    case ENOMEM:
        return wsaerr::kNoBufs;
    case EISCONN:
        return wsaerr::kIsConnected;
    case ENOTCONN:
        return wsaerr::kNotConnected;
    case ESHUTDOWN:
        return wsaerr::kShutdown;
    case ETIMEDOUT:
        return wsaerr::kTimedOut;
    case ECONNREFUSED:
        return wsaerr::kConnRefused;
    case EHOSTUNREACH:
    case EHOSTDOWN:
        return wsaerr::kHostUnreach;
    default:
        return wsaerr::kInvalid;
    }
}

int lastError() {
    return translateErrno(errno);
}

sockaddr_in toSockaddr(const Endpoint& e) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(e.address);
    sa.sin_port = htons(e.port);
    return sa;
}

int openStream(int& fd) {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    return fd < 0 ? lastError() : 0;
}

int failAndClose(int fd) {
    const int error = lastError();
    ::close(fd);
    return error;
}

} // namespace

int startup() {
    return 0;
}
void cleanup() {}

int connectWithin(const Endpoint& peer, std::uint16_t localPortNumber, int timeoutMs,
                  NativeSocket& out) {
    int fd = -1;
    if (int error = openStream(fd)) return error;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (localPortNumber != 0) {
        const sockaddr_in local = toSockaddr(Endpoint{INADDR_ANY, localPortNumber});
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
            return failAndClose(fd);
    }
    const sockaddr_in sa = toSockaddr(peer);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        if (errno != EINPROGRESS) return failAndClose(fd);
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) {
                ::close(fd);
                return wsaerr::kTimedOut;
            }
            pollfd p{fd, POLLOUT, 0};
            const int n = ::poll(&p, 1, static_cast<int>(left));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return failAndClose(fd);
            if (n > 0) break;
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
        if (soError != 0) {
            ::close(fd);
            return translateErrno(soError);
        }
    }
    out = fd;
    return 0;
}

int listenOn(const Endpoint& local, NativeSocket& out) {
    int fd = -1;
    if (int error = openStream(fd)) return error;
    // Linux lets SO_REUSEADDR bind over connections in TIME_WAIT only; a port that a
    // live socket listens on still fails with EADDRINUSE, as on Windows.
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const sockaddr_in sa = toSockaddr(local);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) return failAndClose(fd);
    if (::listen(fd, kListenBacklog) != 0) return failAndClose(fd);
    out = fd;
    return 0;
}

int acceptOne(NativeSocket listener, NativeSocket& out, Endpoint& peer) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    int fd;
    do {
        fd = ::accept4(static_cast<int>(listener), reinterpret_cast<sockaddr*>(&sa), &len,
                       SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return lastError();
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    peer.address = ntohl(sa.sin_addr.s_addr);
    peer.port = ntohs(sa.sin_port);
    out = fd;
    return 0;
}

IoResult sendSome(NativeSocket s, const char* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::send(static_cast<int>(s), data, size, MSG_NOSIGNAL);
        if (n >= 0) return IoResult{static_cast<std::size_t>(n), 0};
        if (errno != EINTR) return IoResult{0, lastError()};
    }
}

IoResult receiveSome(NativeSocket s, char* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::recv(static_cast<int>(s), data, size, 0);
        if (n >= 0) return IoResult{static_cast<std::size_t>(n), 0};
        if (errno != EINTR) return IoResult{0, lastError()};
    }
}

void closeSocket(NativeSocket s) {
    if (s != kNoSocket) ::close(static_cast<int>(s));
}

std::uint16_t localPort(NativeSocket s) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(static_cast<int>(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

namespace {

// poll() over every watched socket. A registration carries a serial number so that a
// result gathered before a callback closed the fd (and perhaps a new socket took the
// same number) is dropped rather than delivered to the wrong socket.
class PollWatcher final : public SocketWatcher {
public:
    explicit PollWatcher(Sink sink) : sink_(std::move(sink)) {}

    void watch(NativeSocket s, std::uint32_t token, bool listening) override {
        watched_[static_cast<int>(s)] = Registration{token, ++serial_, listening, false};
    }
    void setWantWrite(NativeSocket s, bool on) override {
        auto it = watched_.find(static_cast<int>(s));
        if (it != watched_.end()) it->second.wantWrite = on;
    }
    void unwatch(NativeSocket s) override { watched_.erase(static_cast<int>(s)); }
    void requestDeferred() override { deferredDue_ = true; }

    bool pump(int timeoutMs) override {
        std::vector<pollfd> fds;
        std::vector<std::uint64_t> serials;
        fds.reserve(watched_.size());
        for (const auto& [fd, reg] : watched_) {
            short events = POLLIN;
            if (reg.wantWrite) events |= POLLOUT;
            fds.push_back(pollfd{fd, events, 0});
            serials.push_back(reg.serial);
        }
        const int timeout = deferredDue_ ? 0 : timeoutMs;
        int n = ::poll(fds.data(), fds.size(), timeout);
        if (n < 0) n = 0; // EINTR: nothing is ready this time
        bool handled = false;
        for (std::size_t i = 0; i < fds.size() && n > 0; ++i) {
            if (fds[i].revents == 0) continue;
            dispatch(fds[i], serials[i]);
            handled = true;
        }
        if (deferredDue_) {
            deferredDue_ = false;
            sink_(0, Event::Deferred, 0);
            handled = true;
        }
        return handled;
    }

private:
    struct Registration {
        std::uint32_t token;
        std::uint64_t serial;
        bool listening;
        bool wantWrite;
    };

    // Looks the registration up again before each report: an earlier report's
    // callback may have removed or replaced it.
    void dispatch(const pollfd& p, std::uint64_t serial) {
        auto current = [&]() -> const Registration* {
            auto it = watched_.find(p.fd);
            return it != watched_.end() && it->second.serial == serial ? &it->second : nullptr;
        };
        const Registration* reg = current();
        if (!reg) return;
        const std::uint32_t token = reg->token;
        if (reg->listening) {
            if (p.revents & (POLLIN | POLLERR | POLLHUP)) sink_(token, Event::Acceptable, 0);
            return;
        }
        if (p.revents & POLLOUT) {
            sink_(token, Event::Writable, 0);
            if (!current()) return;
        }
        if (p.revents & (POLLIN | POLLERR | POLLHUP)) sink_(token, Event::Readable, 0);
    }

    Sink sink_;
    std::map<int, Registration> watched_;
    std::uint64_t serial_ = 0;
    bool deferredDue_ = false;
};

} // namespace

std::unique_ptr<SocketWatcher> SocketWatcher::create(Sink sink) {
    return std::make_unique<PollWatcher>(std::move(sink));
}

} // namespace devhost::sockio

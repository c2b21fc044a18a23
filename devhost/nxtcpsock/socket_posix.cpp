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
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <unordered_map>
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

namespace {
// The soft limit is often far below what the system allows (1024 against a hard limit
// of many thousands); a host with thousands of guests needs the latter.
void raiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}
} // namespace

int startup() {
    static const bool raised = (raiseDescriptorLimit(), true);
    (void)raised;
    return 0;
}
void cleanup() {}

std::size_t descriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 0;
    return static_cast<std::size_t>(limit.rlim_cur);
}

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

// poll() over every watched socket. The pollfd array is kept between turns (a socket
// leaves by swapping the last one into its place), so a turn costs one poll() and one
// pass over its results. A registration carries a serial number so that a result
// gathered before a callback closed the fd (and perhaps a new socket took the same
// number) is dropped rather than delivered to the wrong socket.
class PollWatcher final : public SocketWatcher {
public:
    explicit PollWatcher(Sink sink) : sink_(std::move(sink)) {}

    void watch(NativeSocket s, std::uint32_t token, bool listening) override {
        const int fd = static_cast<int>(s);
        const Registration reg{token, ++serial_, listening};
        auto it = slotOf_.find(fd);
        if (it != slotOf_.end()) {
            registrations_[it->second] = reg;
            fds_[it->second] = pollfd{fd, POLLIN, 0};
            return;
        }
        slotOf_.emplace(fd, fds_.size());
        fds_.push_back(pollfd{fd, POLLIN, 0});
        registrations_.push_back(reg);
    }
    void setWantWrite(NativeSocket s, bool on) override { setInterest(s, POLLOUT, on); }
    void setWantRead(NativeSocket s, bool on) override { setInterest(s, POLLIN, on); }
    void unwatch(NativeSocket s) override {
        auto it = slotOf_.find(static_cast<int>(s));
        if (it == slotOf_.end()) return;
        const std::size_t slot = it->second;
        slotOf_.erase(it);
        if (slot + 1 != fds_.size()) {
            fds_[slot] = fds_.back();
            registrations_[slot] = registrations_.back();
            slotOf_[fdOf(fds_[slot])] = slot;
        }
        fds_.pop_back();
        registrations_.pop_back();
    }
    void requestDeferred() override { deferredDue_ = true; }
    bool othersWaiting() const override { return false; }

    bool pump(int timeoutMs) override {
        const int timeout = deferredDue_ ? 0 : timeoutMs;
        const int n = ::poll(fds_.data(), fds_.size(), timeout);
        // A callback may change the watched set: the results are taken out first.
        std::vector<Ready> ready;
        for (std::size_t i = 0; n > 0 && i < fds_.size(); ++i) {
            if (fds_[i].revents == 0) continue;
            ready.push_back(Ready{fds_[i].fd, fds_[i].revents, registrations_[i].serial});
            fds_[i].revents = 0;
        }
        for (const Ready& r : ready)
            dispatch(r);
        bool handled = !ready.empty();
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
    };
    struct Ready {
        int fd;
        short revents;
        std::uint64_t serial;
    };

    // poll() reports a hang-up or an error even of a socket watched for nothing, and
    // would report it on every turn: one that wants nothing is left out (a negative
    // fd) until it wants something again.
    void setInterest(NativeSocket s, short bit, bool on) {
        auto it = slotOf_.find(static_cast<int>(s));
        if (it == slotOf_.end()) return;
        pollfd& p = fds_[it->second];
        p.events = on ? static_cast<short>(p.events | bit) : static_cast<short>(p.events & ~bit);
        p.fd = p.events == 0 ? ~static_cast<int>(s) : static_cast<int>(s);
    }
    static int fdOf(const pollfd& p) { return p.fd < 0 ? ~p.fd : p.fd; }

    // The registration of fd while it is still the one polled; an earlier report's
    // callback may have removed or replaced it.
    const Registration* current(const Ready& r) const {
        auto it = slotOf_.find(r.fd);
        if (it == slotOf_.end()) return nullptr;
        const Registration& reg = registrations_[it->second];
        return reg.serial == r.serial ? &reg : nullptr;
    }

    void dispatch(const Ready& r) {
        const Registration* reg = current(r);
        if (!reg) return;
        const std::uint32_t token = reg->token;
        if (reg->listening) {
            if (r.revents & (POLLIN | POLLERR | POLLHUP)) sink_(token, Event::Acceptable, 0);
            return;
        }
        if (r.revents & POLLOUT) {
            sink_(token, Event::Writable, 0);
            if (!current(r)) return;
        }
        if (r.revents & (POLLIN | POLLERR | POLLHUP)) sink_(token, Event::Readable, 0);
    }

    Sink sink_;
    std::vector<pollfd> fds_;
    std::vector<Registration> registrations_; // beside fds_, slot for slot
    std::unordered_map<int, std::size_t> slotOf_;
    std::uint64_t serial_ = 0;
    bool deferredDue_ = false;
};

} // namespace

std::unique_ptr<SocketWatcher> SocketWatcher::create(Sink sink) {
    return std::make_unique<PollWatcher>(std::move(sink));
}

} // namespace devhost::sockio

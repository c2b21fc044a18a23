// POSIX implementation of the test peers' blocking primitives.
#include "testkit/raw_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace testsupport {
namespace {

bool waitFor(int fd, short events, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
        if (n > 0) return true;
        if (n == 0 || errno != EINTR) return false;
    }
}

void setBlocking(int fd, bool blocking) {
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK);
}

} // namespace

bool rawStartup() {
    return true;
}

RawSocket rawConnect(const std::string& address, std::uint16_t port, int timeoutMs) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) return kNoRawSocket;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return kNoRawSocket;
    setBlocking(fd, false);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        int soError = 0;
        socklen_t len = sizeof soError;
        if (errno != EINPROGRESS || !waitFor(fd, POLLOUT, timeoutMs) ||
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0) {
            ::close(fd);
            return kNoRawSocket;
        }
    }
    setBlocking(fd, true);
    return fd;
}

RawSocket rawBind(std::uint16_t port, std::uint16_t& boundPort) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return kNoRawSocket;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        ::close(fd);
        return kNoRawSocket;
    }
    boundPort = ntohs(sa.sin_port);
    return fd;
}

RawSocket rawListen(std::uint16_t port, std::uint16_t& boundPort, int backlog) {
    const RawSocket fd = rawBind(port, boundPort);
    if (fd == kNoRawSocket || ::listen(static_cast<int>(fd), backlog) == 0) return fd;
    ::close(static_cast<int>(fd));
    return kNoRawSocket;
}

RawSocket rawAccept(RawSocket listener, int timeoutMs) {
    if (!waitFor(static_cast<int>(listener), POLLIN, timeoutMs)) return kNoRawSocket;
    const int fd = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
    return fd < 0 ? kNoRawSocket : fd;
}

bool rawSendAll(RawSocket s, const char* data, std::size_t size, int timeoutMs) {
    while (size > 0) {
        if (!waitFor(static_cast<int>(s), POLLOUT, timeoutMs)) return false;
        const ssize_t n = ::send(static_cast<int>(s), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

long rawReceive(RawSocket s, char* data, std::size_t size, int timeoutMs) {
    if (!waitFor(static_cast<int>(s), POLLIN, timeoutMs)) return kRawTimedOut;
    const ssize_t n = ::recv(static_cast<int>(s), data, size, 0);
    if (n < 0) return kRawError;
    return static_cast<long>(n);
}

void rawClose(RawSocket s) {
    if (s != kNoRawSocket) ::close(static_cast<int>(s));
}

void rawReset(RawSocket s) {
    if (s == kNoRawSocket) return;
    linger l{1, 0};
    ::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(static_cast<int>(s));
}

void rawSetReceiveBuffer(RawSocket s, int bytes) {
    ::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

} // namespace testsupport

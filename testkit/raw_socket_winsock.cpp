// Winsock implementation of the test peers' blocking primitives.
#include "testkit/raw_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace testsupport {
namespace {

bool waitFor(SOCKET s, bool forWrite, int timeoutMs) {
    fd_set set, failed;
    FD_ZERO(&set);
    FD_ZERO(&failed);
    FD_SET(s, &set);
    FD_SET(s, &failed);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int n = forWrite ? ::select(0, nullptr, &set, &failed, &tv)
                           : ::select(0, &set, nullptr, &failed, &tv);
    return n > 0;
}

void setBlocking(SOCKET s, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
}

} // namespace

bool rawStartup() {
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

RawSocket rawConnect(const std::string& address, std::uint16_t port, int timeoutMs) {
    rawStartup();
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) return kNoRawSocket;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return kNoRawSocket;
    setBlocking(s, false);
    if (::connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        int soError = 0;
        int len = sizeof soError;
        if (WSAGetLastError() != WSAEWOULDBLOCK || !waitFor(s, true, timeoutMs) ||
            ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len) != 0 ||
            soError != 0) {
            ::closesocket(s);
            return kNoRawSocket;
        }
    }
    setBlocking(s, true);
    return static_cast<RawSocket>(s);
}

RawSocket rawBind(std::uint16_t port, std::uint16_t& boundPort) {
    rawStartup();
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return kNoRawSocket;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof sa;
    if (::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        ::closesocket(s);
        return kNoRawSocket;
    }
    boundPort = ntohs(sa.sin_port);
    return static_cast<RawSocket>(s);
}

RawSocket rawListen(std::uint16_t port, std::uint16_t& boundPort, int backlog) {
    const RawSocket s = rawBind(port, boundPort);
    if (s == kNoRawSocket || ::listen(static_cast<SOCKET>(s), backlog) == 0) return s;
    ::closesocket(static_cast<SOCKET>(s));
    return kNoRawSocket;
}

RawSocket rawAccept(RawSocket listener, int timeoutMs) {
    if (!waitFor(static_cast<SOCKET>(listener), false, timeoutMs)) return kNoRawSocket;
    SOCKET s = ::accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    return s == INVALID_SOCKET ? kNoRawSocket : static_cast<RawSocket>(s);
}

bool rawSendAll(RawSocket s, const char* data, std::size_t size, int timeoutMs) {
    while (size > 0) {
        if (!waitFor(static_cast<SOCKET>(s), true, timeoutMs)) return false;
        const int n = ::send(static_cast<SOCKET>(s), data, static_cast<int>(size), 0);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

long rawReceive(RawSocket s, char* data, std::size_t size, int timeoutMs) {
    if (!waitFor(static_cast<SOCKET>(s), false, timeoutMs)) return kRawTimedOut;
    const int n = ::recv(static_cast<SOCKET>(s), data, static_cast<int>(size), 0);
    if (n == SOCKET_ERROR) return kRawError;
    return n;
}

void rawClose(RawSocket s) {
    if (s != kNoRawSocket) ::closesocket(static_cast<SOCKET>(s));
}

void rawReset(RawSocket s) {
    if (s == kNoRawSocket) return;
    linger l{1, 0};
    ::setsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l),
                 sizeof l);
    ::closesocket(static_cast<SOCKET>(s));
}

void rawSetReceiveBuffer(RawSocket s, int bytes) {
    ::setsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_RCVBUF,
                 reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

} // namespace testsupport

// Blocking TCP primitives with timeouts for test peers, one implementation per
// platform (raw_socket_posix.cpp, raw_socket_winsock.cpp). Every wait is bounded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace testsupport {

using RawSocket = std::intptr_t;
constexpr RawSocket kNoRawSocket = -1;

// Outcome of a bounded receive.
constexpr long kRawClosed = 0;    // the peer closed in order
constexpr long kRawError = -1;    // reset or other failure
constexpr long kRawTimedOut = -2; // nothing arrived in time

bool rawStartup(); // WSAStartup where needed; safe to call repeatedly

RawSocket rawConnect(const std::string& address, std::uint16_t port, int timeoutMs);
// Binds to 127.0.0.1 without listening (port 0: ephemeral); boundPort receives the
// port. The port stays taken, and connects to it are refused.
RawSocket rawBind(std::uint16_t port, std::uint16_t& boundPort);
constexpr int kRawBacklog = 64;
// Listens on 127.0.0.1 (port 0: ephemeral); boundPort receives the port.
RawSocket rawListen(std::uint16_t port, std::uint16_t& boundPort, int backlog = kRawBacklog);
RawSocket rawAccept(RawSocket listener, int timeoutMs);
bool rawSendAll(RawSocket s, const char* data, std::size_t size, int timeoutMs);
long rawReceive(RawSocket s, char* data, std::size_t size, int timeoutMs);
void rawClose(RawSocket s);
// Closes with a reset (linger 0) instead of an orderly close.
void rawReset(RawSocket s);
// Shrinks the kernel receive buffer, so that a peer that never reads fills up soon.
void rawSetReceiveBuffer(RawSocket s, int bytes);

} // namespace testsupport

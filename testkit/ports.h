// Ports for the servers of tests, chosen without a race. A server under test listens
// on a candidate port and, when another program holds it (WSAEADDRINUSE), tries the
// next candidate; no test frees a port and hopes it stays free until it is used. A
// port that must refuse connections is held, bound but never listening.
#pragma once

#include "testkit/raw_socket.h"

#include <cstdint>

namespace testsupport {

// Candidates lie below the ephemeral ranges of Linux (from 32768) and Windows (from
// 49152), where the systems pick the local ports of outgoing connections.
constexpr std::uint16_t kFirstCandidatePort = 20000;
constexpr std::uint16_t kLastCandidatePort = 32767;
// How many candidates a server tries before the test gives up.
constexpr int kPortAttempts = 8;

// A random port from the candidate range.
std::uint16_t CandidatePort();

// A port on 127.0.0.1 that refuses every connection for as long as the object lives:
// bound, so no other program can take it, and never listening.
class ClosedPort {
public:
    ClosedPort();
    ~ClosedPort();
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;

    std::uint16_t port() const { return port_; } // 0 when no port could be held

private:
    RawSocket socket_ = kNoRawSocket;
    std::uint16_t port_ = 0;
};

} // namespace testsupport

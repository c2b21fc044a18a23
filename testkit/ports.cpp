// Candidate ports and held closed ports.
#include "testkit/ports.h"

#include <chrono>
#include <random>

namespace testsupport {

std::uint16_t CandidatePort() {
    // The clock as well: two test processes started together must not draw alike.
    static std::mt19937 generator{
        std::random_device{}() ^
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())};
    std::uniform_int_distribution<int> range(kFirstCandidatePort, kLastCandidatePort);
    return static_cast<std::uint16_t>(range(generator));
}

ClosedPort::ClosedPort() {
    rawStartup();
    socket_ = rawBind(0, port_);
    if (socket_ == kNoRawSocket) port_ = 0;
}

ClosedPort::~ClosedPort() {
    rawClose(socket_);
}

} // namespace testsupport

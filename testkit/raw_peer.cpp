// The framing test peer (see raw_peer.h), portable over raw_socket.h.
#include "testkit/raw_peer.h"

#include <chrono>
#include <utility>

namespace testsupport {

namespace {
constexpr std::size_t kReadChunkBytes = 64 * 1024;

int msLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    return left > 0 ? static_cast<int>(left) : 0;
}
} // namespace

RawPeer::RawPeer(RawPeer&& other) noexcept {
    *this = std::move(other);
}

RawPeer& RawPeer::operator=(RawPeer&& other) noexcept {
    if (this != &other) {
        close();
        socket_ = std::exchange(other.socket_, kNoRawSocket);
        decoder_ = std::move(other.decoder_);
        records_ = std::move(other.records_);
        peerClosed_ = other.peerClosed_;
    }
    return *this;
}

bool RawPeer::connect(const std::string& address, std::uint16_t port, int timeoutMs) {
    close();
    rawStartup();
    socket_ = rawConnect(address, port, timeoutMs);
    decoder_.reset();
    records_.clear();
    peerClosed_ = false;
    return isOpen();
}

bool RawPeer::sendRecord(const std::string& label, const std::string& text, int timeoutMs) {
    return sendRaw(devhost::encodeFrame(label, text), timeoutMs);
}

bool RawPeer::sendRaw(const std::string& bytes, int timeoutMs) {
    return isOpen() && rawSendAll(socket_, bytes.data(), bytes.size(), timeoutMs);
}

bool RawPeer::readSome(int timeoutMs) {
    if (!isOpen() || peerClosed_) return false;
    char buffer[kReadChunkBytes];
    const long n = rawReceive(socket_, buffer, sizeof buffer, timeoutMs);
    if (n == kRawTimedOut) return false;
    if (n <= 0) {
        peerClosed_ = true;
        return false;
    }
    return decoder_.feed(buffer, static_cast<std::size_t>(n), records_) ==
           devhost::FrameDecoder::Status::Ok;
}

std::optional<devhost::Record> RawPeer::receiveRecord(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (records_.empty()) {
        if (!readSome(msLeft(deadline))) break;
    }
    if (records_.empty()) return std::nullopt;
    devhost::Record r = std::move(records_.front());
    records_.pop_front();
    return r;
}

bool RawPeer::waitClosed(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (isOpen() && !peerClosed_) {
        const int left = msLeft(deadline);
        readSome(left); // garbage from the other side is read and dropped
        if (left == 0) break;
    }
    return peerClosed_;
}

void RawPeer::close() {
    rawClose(std::exchange(socket_, kNoRawSocket));
}

void RawPeer::reset() {
    rawReset(std::exchange(socket_, kNoRawSocket));
}

bool RawListener::listen(std::uint16_t port, int backlog) {
    close();
    rawStartup();
    socket_ = rawListen(port, port_, backlog);
    return socket_ != kNoRawSocket;
}

RawPeer RawListener::accept(int timeoutMs) {
    if (socket_ == kNoRawSocket) return RawPeer();
    return RawPeer(rawAccept(socket_, timeoutMs));
}

void RawListener::close() {
    rawClose(std::exchange(socket_, kNoRawSocket));
    port_ = 0;
}

} // namespace testsupport

// A test peer that speaks the socket plug-in's wire format over plain blocking TCP:
// a client or an accepted connection that sends records or arbitrary bytes, receives
// records with a timeout, and closes or resets. Tests, end-to-end runs and benchmarks
// use it to drive one side of a connection by hand. Every wait is bounded.
#pragma once

#include "devhost/nxtcpsock/frame_codec.h"
#include "testkit/raw_socket.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace testsupport {

constexpr int kDefaultPeerTimeoutMs = 5000;

class RawPeer {
public:
    RawPeer() = default;
    explicit RawPeer(RawSocket s) : socket_(s) {}
    ~RawPeer() { close(); }
    RawPeer(RawPeer&& other) noexcept;
    RawPeer& operator=(RawPeer&& other) noexcept;
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    bool connect(const std::string& address, std::uint16_t port,
                 int timeoutMs = kDefaultPeerTimeoutMs);
    bool isOpen() const { return socket_ != kNoRawSocket; }

    bool sendRecord(const std::string& label, const std::string& text,
                    int timeoutMs = kDefaultPeerTimeoutMs);
    bool sendRaw(const std::string& bytes, int timeoutMs = kDefaultPeerTimeoutMs);
    // The next record, or none when none came in time, the stream ended or was malformed.
    std::optional<devhost::Record> receiveRecord(int timeoutMs = kDefaultPeerTimeoutMs);
    // True when the other side closed (orderly or by reset) within the time; records
    // that arrive meanwhile are kept for receiveRecord.
    bool waitClosed(int timeoutMs = kDefaultPeerTimeoutMs);
    bool peerClosed() const { return peerClosed_; }

    void close();
    void reset();
    RawSocket socket() const { return socket_; }

private:
    // Reads once; false when nothing more can come (closed, failed, timed out).
    bool readSome(int timeoutMs);

    RawSocket socket_ = kNoRawSocket;
    devhost::FrameDecoder decoder_;
    std::deque<devhost::Record> records_;
    bool peerClosed_ = false;
};

class RawListener {
public:
    RawListener() = default;
    ~RawListener() { close(); }
    RawListener(const RawListener&) = delete;
    RawListener& operator=(const RawListener&) = delete;

    // On 127.0.0.1; port 0 picks a free one. A listener that never accepts with
    // backlog 0 makes further connects hang (on Linux), for connect timeouts.
    bool listen(std::uint16_t port = 0, int backlog = kRawBacklog);
    std::uint16_t port() const { return port_; }
    // An incoming connection, or a peer that is not open when none came in time.
    RawPeer accept(int timeoutMs = kDefaultPeerTimeoutMs);
    void close();

private:
    RawSocket socket_ = kNoRawSocket;
    std::uint16_t port_ = 0;
};

} // namespace testsupport

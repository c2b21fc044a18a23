// raw_relay: the yardstick of the relay benchmark, the plainest relay this machine
// allows. One thread and one poll() over a listener on 127.0.0.1 and every client;
// each complete frame a client sends goes, bytes unchanged, to every client, the
// sender included, as a chat host relays a guest's line. While any client has more
// than kReadPauseBytes unsent, nobody is read: the senders wait in TCP instead of
// filling memory. A client whose unsent bytes still pass the socket plug-in's
// send-queue bound is dropped, as it would be there.
//
//   raw_relay --ready FILE [--lifetime-s N]
//
// It listens on a free port, writes that port to FILE once it is ready, and ends by
// itself after N seconds (default 900) or when the process that started it ends.
#include "devhost/nxtcpsock/tcp_socket_set.h"
#include "testkit/loadgen/descriptor_limit.h"
#include "testkit/loadgen/frame_scanner.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kReadChunkBytes = 256 * 1024;
constexpr int kMaxReadsPerRound = 4; // per client, so that no client starves the others
constexpr std::size_t kSendQueueLimit = devhost::kDefaultSendQueueBytes;
constexpr std::size_t kReadPauseBytes = 1024 * 1024;
constexpr int kDefaultLifetimeS = 900;
constexpr int kLifetimeCheckMs = 1000;

struct Client {
    int fd = -1;
    loadgen::FrameScanner in;
    std::string out;
    std::size_t outSent = 0;
    bool dead = false;
};

class RawRelay {
public:
    bool listen(std::uint16_t& port);
    // Relays until the lifetime has passed.
    void run(std::chrono::seconds lifetime);

private:
    void acceptAll();
    void readFrom(Client& c);
    void broadcast(std::string_view frame);
    void flush(Client& c);
    void removeDead();

    int listener_ = -1;
    std::vector<std::unique_ptr<Client>> clients_;
    std::vector<char> chunk_ = std::vector<char>(kReadChunkBytes);
    bool backedUp_ = false; // some client has more than kReadPauseBytes unsent
};

bool RawRelay::listen(std::uint16_t& port) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(listener_, SOMAXCONN) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return false;
    port = ntohs(sa.sin_port);
    return true;
}

void RawRelay::run(std::chrono::seconds lifetime) {
    const auto end = std::chrono::steady_clock::now() + lifetime;
    std::vector<pollfd> fds;
    while (std::chrono::steady_clock::now() < end) {
        fds.assign(1, pollfd{listener_, POLLIN, 0});
        backedUp_ = false;
        for (const auto& c : clients_)
            backedUp_ = backedUp_ || c->out.size() - c->outSent > kReadPauseBytes;
        for (const auto& c : clients_) {
            short events = backedUp_ ? 0 : POLLIN;
            if (c->outSent < c->out.size()) events |= POLLOUT;
            fds.push_back({c->fd, events, 0});
        }
        if (::poll(fds.data(), fds.size(), kLifetimeCheckMs) <= 0) continue;
        // Clients accepted now join after this round; fds[k] belongs to clients_[k - 1].
        const std::size_t known = clients_.size();
        for (std::size_t k = 1; k <= known; ++k) {
            if (fds[k].revents & (POLLIN | POLLHUP | POLLERR)) readFrom(*clients_[k - 1]);
        }
        for (const auto& c : clients_)
            flush(*c);
        removeDead();
        if (fds[0].revents & POLLIN) acceptAll();
    }
}

void RawRelay::acceptAll() {
    for (;;) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return; // EAGAIN: all taken; EMFILE and the like: next round
        const int noDelay = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        auto c = std::make_unique<Client>();
        c->fd = fd;
        clients_.push_back(std::move(c));
    }
}

void RawRelay::readFrom(Client& c) {
    for (int reads = 0; reads < kMaxReadsPerRound && !c.dead && !backedUp_; ++reads) {
        const ssize_t n = ::recv(c.fd, chunk_.data(), chunk_.size(), 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
        if (n <= 0 || !c.in.feed(chunk_.data(), static_cast<std::size_t>(n),
                                 [this](const loadgen::FrameView& f) { broadcast(f.bytes); })) {
            c.dead = true;
            return;
        }
        if (static_cast<std::size_t>(n) < chunk_.size()) return;
    }
}

void RawRelay::broadcast(std::string_view frame) {
    for (const auto& c : clients_) {
        if (c->dead) continue;
        c->out.append(frame);
        const std::size_t unsent = c->out.size() - c->outSent;
        backedUp_ = backedUp_ || unsent > kReadPauseBytes;
        if (unsent > kSendQueueLimit) c->dead = true;
    }
}

void RawRelay::flush(Client& c) {
    while (!c.dead && c.outSent < c.out.size()) {
        const ssize_t n =
            ::send(c.fd, c.out.data() + c.outSent, c.out.size() - c.outSent, MSG_NOSIGNAL);
        if (n > 0) {
            c.outSent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            c.dead = true;
        }
    }
    if (c.outSent == c.out.size()) {
        c.out.clear();
        c.outSent = 0;
    }
}

void RawRelay::removeDead() {
    for (std::size_t i = 0; i < clients_.size();) {
        if (clients_[i]->dead) {
            ::close(clients_[i]->fd);
            clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

bool WriteReadyFile(const std::string& path, std::uint16_t port) {
    const std::string part = path + ".part";
    {
        std::ofstream f(part, std::ios::trunc);
        f << port << "\n";
        if (!f) return false;
    }
    return std::rename(part.c_str(), path.c_str()) == 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string readyFile;
    int lifetimeS = kDefaultLifetimeS;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--ready") == 0) readyFile = argv[i + 1];
        if (std::strcmp(argv[i], "--lifetime-s") == 0) lifetimeS = std::atoi(argv[i + 1]);
    }
    if (readyFile.empty() || lifetimeS <= 0) {
        std::fprintf(stderr, "usage: raw_relay --ready FILE [--lifetime-s N]\n");
        return 1;
    }
    ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the benchmark that started it
    loadgen::RaiseDescriptorLimit();
    RawRelay relay;
    std::uint16_t port = 0;
    if (!relay.listen(port) || !WriteReadyFile(readyFile, port)) {
        std::fprintf(stderr, "raw_relay: cannot listen on 127.0.0.1: %s\n", std::strerror(errno));
        return 2;
    }
    relay.run(std::chrono::seconds(lifetimeS));
    return 0;
}

// The crowd's thread: one poll() over every guest and a wake pipe, reads and writes
// without blocking, and the bookkeeping of lines and copies. Sends are written at
// once from the caller's thread when the socket takes them, so that a line's clock
// starts when it is queued on an idle connection, not one poll round later.
#include "testkit/loadgen/guest_crowd.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace loadgen {
namespace {

constexpr std::size_t kReadChunkBytes = 256 * 1024;
// Reads per guest per poll round, so that one busy guest cannot starve the others.
constexpr int kMaxReadsPerRound = 4;
// How long the thread sleeps in poll() with nothing to do before it looks again.
constexpr int kIdlePollMs = 100;
// Sent bytes are dropped from the front of a guest's queue once they are this many.
constexpr std::size_t kCompactBytes = 1024 * 1024;
// The newest untagged text is kept up to this size.
constexpr std::size_t kMaxKeptTextBytes = 512;
const std::string kTextLabel = "text";

void SetNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

} // namespace

int CrowdState::openCount() const {
    return static_cast<int>(
        std::count_if(guests_.begin(), guests_.end(), [](const auto& g) { return g->open; }));
}

int CrowdState::failedCount() const {
    return static_cast<int>(
        std::count_if(guests_.begin(), guests_.end(), [](const auto& g) { return g->failed; }));
}

int CrowdState::closedByPeerCount() const {
    return static_cast<int>(std::count_if(guests_.begin(), guests_.end(),
                                          [](const auto& g) { return g->closedByPeer; }));
}

Clock::duration CrowdState::latency(LineId id) const {
    const Line& l = lines_[id];
    return l.copies == 0 || !l.written ? Clock::duration::zero() : l.lastCopyAt - l.writtenAt;
}

std::uint64_t CrowdState::copiesOf(LineId first, LineId count) const {
    std::uint64_t sum = 0;
    for (LineId id = first; id < first + count && id < lineCount(); ++id)
        sum += lines_[id].copies;
    return sum;
}

GuestCrowd::GuestCrowd(std::string address, std::uint16_t port)
    : address_(std::move(address)), port_(port), readBuffer_(kReadChunkBytes) {
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
        wakeRead_ = fds[0];
        wakeWrite_ = fds[1];
    }
    thread_ = std::thread([this] { run(); });
}

GuestCrowd::~GuestCrowd() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake();
    thread_.join();
    for (auto& g : state_.guests_)
        if (g->fd >= 0) ::close(g->fd);
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

void GuestCrowd::wake() {
    const char byte = 0;
    [[maybe_unused]] ssize_t n = ::write(wakeWrite_, &byte, 1);
}

int GuestCrowd::connect(int count, GuestOptions options) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port_);
    const bool addressOk = ::inet_pton(AF_INET, address_.c_str(), &sa.sin_addr) == 1;
    std::lock_guard<std::mutex> lock(mutex_);
    const int first = state_.guestCount();
    for (int i = 0; i < count; ++i) {
        auto g = std::make_unique<Guest>();
        g->options = options;
        g->fd = addressOk ? ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0) : -1;
        if (g->fd >= 0 && options.receiveBufferBytes > 0)
            ::setsockopt(g->fd, SOL_SOCKET, SO_RCVBUF, &options.receiveBufferBytes,
                         sizeof options.receiveBufferBytes);
        if (g->fd >= 0 && (::connect(g->fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 ||
                           errno == EINPROGRESS)) {
            g->connecting = true;
        } else {
            if (g->fd >= 0) ::close(g->fd);
            g->fd = -1;
            g->failed = true;
        }
        state_.guests_.push_back(std::move(g));
    }
    wake();
    return first;
}

int GuestCrowd::adopt(int fd) {
    SetNonBlocking(fd);
    std::lock_guard<std::mutex> lock(mutex_);
    auto g = std::make_unique<Guest>();
    g->fd = fd;
    g->open = true;
    state_.guests_.push_back(std::move(g));
    wake();
    return state_.guestCount() - 1;
}

void GuestCrowd::queueLine(Guest& g, LineId id, std::size_t textBytes) {
    const std::string text = LineText(id, textBytes);
    devhost::encodeFrame(kTextLabel, text, g.out);
    g.queuedTotal += devhost::kFrameHeaderBytes + kTextLabel.size() + text.size();
    g.unwritten.emplace_back(g.queuedTotal, id);
}

LineId GuestCrowd::sendLines(int guest, int count, std::size_t textBytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    Guest& g = *state_.guests_[guest];
    const LineId first = state_.lineCount();
    for (int i = 0; i < count; ++i) {
        const LineId id = state_.lineCount();
        CrowdState::Line line;
        line.sender = guest;
        state_.lines_.push_back(line);
        queueLine(g, id, textBytes);
    }
    if (g.open) writeQueued(g, Clock::now());
    wake();
    return first;
}

void GuestCrowd::close(int guest) {
    std::lock_guard<std::mutex> lock(mutex_);
    Guest& g = *state_.guests_[guest];
    if (g.fd >= 0) {
        // The crowd's thread may be polling this socket, which keeps it alive past a
        // close(); shutdown() sends the end at once.
        ::shutdown(g.fd, SHUT_RDWR);
        ::close(g.fd);
    }
    g.fd = -1;
    g.open = g.connecting = false;
    changed_.notify_all();
}

bool GuestCrowd::waitUntil(const std::function<bool(const CrowdState&)>& done,
                           Clock::duration timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done(state_); });
}

void GuestCrowd::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_)
        pollOnce(lock);
}

void GuestCrowd::pollOnce(std::unique_lock<std::mutex>& lock) {
    std::vector<pollfd> fds{{wakeRead_, POLLIN, 0}};
    std::vector<int> owners{-1};
    for (int i = 0; i < state_.guestCount(); ++i) {
        const Guest& g = *state_.guests_[i];
        if (g.fd < 0) continue;
        short events = 0;
        if (g.connecting || g.writtenTotal < g.queuedTotal) events |= POLLOUT;
        if (g.open && g.options.reading) events |= POLLIN;
        fds.push_back({g.fd, events, 0});
        owners.push_back(i);
    }
    lock.unlock();
    ::poll(fds.data(), fds.size(), kIdlePollMs);
    lock.lock();
    char drain[64];
    while (::read(wakeRead_, drain, sizeof drain) > 0) {
    }
    const Clock::time_point now = Clock::now();
    for (std::size_t k = 1; k < fds.size(); ++k) {
        Guest& g = *state_.guests_[owners[k]];
        // A guest closed meanwhile, or its descriptor number given to another, is skipped.
        if (fds[k].revents == 0 || g.fd != fds[k].fd) continue;
        if (g.connecting) {
            finishConnect(g);
            if (!g.open) continue;
        }
        if (g.options.reading && (fds[k].revents & (POLLIN | POLLHUP | POLLERR)))
            receive(owners[k], now);
        else if (fds[k].revents & (POLLHUP | POLLERR))
            end(g); // a guest that does not read learns of the end only this way
        if (g.open && g.writtenTotal < g.queuedTotal) writeQueued(g, now);
    }
    changed_.notify_all();
}

void GuestCrowd::finishConnect(Guest& g) {
    int error = 0;
    socklen_t len = sizeof error;
    g.connecting = false;
    if (::getsockopt(g.fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) {
        ::close(g.fd);
        g.fd = -1;
        g.failed = true;
        return;
    }
    const int noDelay = 1;
    ::setsockopt(g.fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    g.open = true;
}

void GuestCrowd::receive(int index, Clock::time_point now) {
    Guest& g = *state_.guests_[index];
    for (int reads = 0; reads < kMaxReadsPerRound && g.open; ++reads) {
        const ssize_t n = ::recv(g.fd, readBuffer_.data(), readBuffer_.size(), 0);
        if (n > 0) {
            const bool ok = g.scanner.feed(readBuffer_.data(), static_cast<std::size_t>(n),
                                           [&](const FrameView& f) { onFrame(g, f, now); });
            if (!ok) end(g);
            if (static_cast<std::size_t>(n) < readBuffer_.size()) return;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        } else {
            end(g);
        }
    }
}

void GuestCrowd::onFrame(Guest& g, const FrameView& frame, Clock::time_point now) {
    const std::optional<LineId> id = FindLineTag(frame.text);
    if (!id || *id >= state_.lineCount()) {
        ++g.otherRecords;
        g.lastOtherText.assign(frame.text.substr(0, kMaxKeptTextBytes));
        return;
    }
    CrowdState::Line& line = state_.lines_[*id];
    ++line.copies;
    line.lastCopyAt = now;
    ++state_.totalCopies_;
    ++g.linesReceived;
    LineId& next = g.nextFromSender[line.sender];
    if (*id < next) ++g.outOfOrder;
    next = std::max(next, *id + 1);
}

void GuestCrowd::writeQueued(Guest& g, Clock::time_point now) {
    while (g.outSent < g.out.size()) {
        const ssize_t n =
            ::send(g.fd, g.out.data() + g.outSent, g.out.size() - g.outSent, MSG_NOSIGNAL);
        if (n > 0) {
            g.outSent += static_cast<std::size_t>(n);
            g.writtenTotal += static_cast<std::uint64_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            end(g);
            return;
        }
    }
    while (!g.unwritten.empty() && g.unwritten.front().first <= g.writtenTotal) {
        CrowdState::Line& line = state_.lines_[g.unwritten.front().second];
        line.written = true;
        line.writtenAt = now;
        g.unwritten.pop_front();
    }
    if (g.outSent == g.out.size()) {
        g.out.clear();
        g.outSent = 0;
    } else if (g.outSent >= kCompactBytes) {
        g.out.erase(0, g.outSent);
        g.outSent = 0;
    }
}

void GuestCrowd::end(Guest& g) {
    if (g.fd >= 0) ::close(g.fd);
    g.fd = -1;
    g.open = false;
    g.closedByPeer = true;
}

} // namespace loadgen

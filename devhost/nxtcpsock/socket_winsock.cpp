// Winsock back end of the socket plug-in: non-blocking sockets whose events come as
// window messages to a hidden message-only window (WSAAsyncSelect), so that they are
// handled by whatever message loop the UI thread runs, modal loops included.
#include "devhost/nxtcpsock/socket_io.h"
#include "devhost/nxtcpsock/winsock_errors.h"

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <map>

namespace devhost::sockio {
namespace {

constexpr int kListenBacklog = SOMAXCONN;
constexpr long kConnectionEvents = FD_READ | FD_WRITE | FD_CLOSE;
constexpr long kListenerEvents = FD_ACCEPT;
// Private window messages of the watcher window: one for deferred work, then a
// range that socket registrations take in turn, so that a notification still queued
// for a closed socket never matches a later socket with the same SOCKET value.
constexpr UINT kDeferredMessage = WM_APP;
constexpr UINT kFirstSocketMessage = WM_APP + 1;
constexpr UINT kLastSocketMessage = 0xBFFF;
constexpr const char* kWindowClass = "VolubraDevhostSocketWatcher";
// The longest a turn of pump() goes on taking queued socket events. A line alone in
// the queue goes out at once whatever this is; under a flood, a longer turn relays
// more lines with each send to a guest (under Wine every send is a round trip to its
// server), a shorter one holds them back less.
constexpr DWORD kTurnMs = 50;

sockaddr_in toSockaddr(const Endpoint& e) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(e.address);
    sa.sin_port = htons(e.port);
    return sa;
}

int failAndClose(SOCKET s) {
    const int error = WSAGetLastError();
    ::closesocket(s);
    return error;
}

bool setNonBlocking(SOCKET s) {
    u_long on = 1;
    return ::ioctlsocket(s, FIONBIO, &on) == 0;
}

} // namespace

int startup() {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
}

void cleanup() {
    ::WSACleanup();
}

std::size_t descriptorLimit() {
    return 0; // sockets are kernel handles, limited only by memory
}

int connectWithin(const Endpoint& peer, std::uint16_t localPortNumber, int timeoutMs,
                  NativeSocket& out) {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return WSAGetLastError();
    if (!setNonBlocking(s)) return failAndClose(s);
    BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    if (localPortNumber != 0) {
        const sockaddr_in local = toSockaddr(Endpoint{INADDR_ANY, localPortNumber});
        if (::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
            return failAndClose(s);
    }
    const sockaddr_in sa = toSockaddr(peer);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) return failAndClose(s);
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        const int n = ::select(0, nullptr, &writable, &failed, &tv);
        if (n < 0) return failAndClose(s);
        if (n == 0) {
            ::closesocket(s);
            return wsaerr::kTimedOut;
        }
        int soError = 0;
        int len = sizeof soError;
        ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len);
        if (soError == 0 && FD_ISSET(s, &failed)) soError = wsaerr::kConnRefused;
        if (soError != 0) {
            ::closesocket(s);
            return soError;
        }
    }
    out = static_cast<NativeSocket>(s);
    return 0;
}

int listenOn(const Endpoint& local, NativeSocket& out) {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return WSAGetLastError();
    // Nobody else may bind this port while we listen, and we may not bind over a
    // live listener either: a port in use fails with WSAEADDRINUSE.
    BOOL exclusive = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                 sizeof exclusive);
    const sockaddr_in sa = toSockaddr(local);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        // Against another exclusive socket on the port, bind may answer WSAEACCES
        // (Wine always does): that is the port in use, and is named so.
        const int error = failAndClose(s);
        return error == WSAEACCES ? WSAEADDRINUSE : error;
    }
    if (::listen(s, kListenBacklog) != 0) return failAndClose(s);
    if (!setNonBlocking(s)) return failAndClose(s);
    out = static_cast<NativeSocket>(s);
    return 0;
}

int acceptOne(NativeSocket listener, NativeSocket& out, Endpoint& peer) {
    sockaddr_in sa{};
    int len = sizeof sa;
    SOCKET s = ::accept(static_cast<SOCKET>(listener), reinterpret_cast<sockaddr*>(&sa), &len);
    if (s == INVALID_SOCKET) return WSAGetLastError();
    BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    setNonBlocking(s);
    peer.address = ntohl(sa.sin_addr.s_addr);
    peer.port = ntohs(sa.sin_port);
    out = static_cast<NativeSocket>(s);
    return 0;
}

IoResult sendSome(NativeSocket s, const char* data, std::size_t size) {
    const int n = ::send(static_cast<SOCKET>(s), data, static_cast<int>(size), 0);
    if (n == SOCKET_ERROR) return IoResult{0, WSAGetLastError()};
    return IoResult{static_cast<std::size_t>(n), 0};
}

IoResult receiveSome(NativeSocket s, char* data, std::size_t size) {
    const int n = ::recv(static_cast<SOCKET>(s), data, static_cast<int>(size), 0);
    if (n == SOCKET_ERROR) return IoResult{0, WSAGetLastError()};
    return IoResult{static_cast<std::size_t>(n), 0};
}

void closeSocket(NativeSocket s) {
    if (s != kNoSocket) ::closesocket(static_cast<SOCKET>(s));
}

std::uint16_t localPort(NativeSocket s) {
    sockaddr_in sa{};
    int len = sizeof sa;
    if (::getsockname(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return 0;
    return ntohs(sa.sin_port);
}

namespace {

class AsyncSelectWatcher final : public SocketWatcher {
public:
    explicit AsyncSelectWatcher(Sink sink) : sink_(std::move(sink)) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &AsyncSelectWatcher::windowProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = kWindowClass;
        ::RegisterClassA(&wc); // fails harmlessly when a second watcher registers again
        window_ = ::CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    wc.hInstance, nullptr);
        if (window_) ::SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~AsyncSelectWatcher() override {
        if (window_) ::DestroyWindow(window_);
    }

    void watch(NativeSocket s, std::uint32_t token, bool listening) override {
        unwatch(s);
        const UINT message = nextMessage();
        registrations_[message] = Registration{static_cast<SOCKET>(s), token};
        messageOf_[static_cast<SOCKET>(s)] = message;
        ::WSAAsyncSelect(static_cast<SOCKET>(s), window_, message,
                         listening ? kListenerEvents : kConnectionEvents);
    }
    void setWantWrite(NativeSocket, bool) override {}
    void setWantRead(NativeSocket, bool) override {}
    void unwatch(NativeSocket s) override {
        auto it = messageOf_.find(static_cast<SOCKET>(s));
        if (it == messageOf_.end()) return;
        ::WSAAsyncSelect(static_cast<SOCKET>(s), window_, 0, 0);
        registrations_.erase(it->second);
        messageOf_.erase(it);
    }
    bool othersWaiting() const override { return othersWaiting_; }
    // The work is done by whichever comes first: the end of a turn of pump(), or the
    // posted message, which serves the message loops that are not ours (modal ones).
    void requestDeferred() override {
        deferredDue_ = true;
        if (!deferredPosted_ && ::PostMessageA(window_, kDeferredMessage, 0, 0))
            deferredPosted_ = true;
    }

    // A turn is the socket events already queued, as one poll() natively, cut short
    // after kTurnMs: every event may run window work (a transcript to update) that is
    // slow in real windows, and the deferred work, the relayed lines' sends among it,
    // should not wait for a whole queue of it.
    bool pump(int timeoutMs) override {
        const DWORD start = ::GetTickCount();
        const unsigned long long handledBefore = handled_;
        DWORD turnStart = 0;
        for (;;) {
            MSG msg;
            while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    ::PostQuitMessage(static_cast<int>(msg.wParam)); // for the caller's loop
                    return false;
                }
                const unsigned long long eventsBefore = handled_;
                const DWORD dispatchStart = ::GetTickCount();
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
                if (handled_ == eventsBefore) continue;
                if (eventsBefore == handledBefore) turnStart = dispatchStart; // the first
                if (::GetTickCount() - turnStart >= kTurnMs) return endTurn();
            }
            // The queue ran dry.
            if (handled_ != handledBefore) return endTurn();
            const DWORD elapsed = ::GetTickCount() - start;
            if (timeoutMs <= 0 || elapsed >= static_cast<DWORD>(timeoutMs)) return false;
            ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(timeoutMs) - elapsed,
                                          QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        }
    }

private:
    struct Registration {
        SOCKET socket;
        std::uint32_t token;
    };

    void runDeferred() {
        if (!deferredDue_) return;
        deferredDue_ = false;
        ++handled_;
        othersWaiting_ = true; // turns owed to several sockets, as under load
        sink_(0, Event::Deferred, 0);
    }
    bool endTurn() {
        runDeferred();
        return true;
    }

    UINT nextMessage() {
        for (;;) {
            const UINT message = next_;
            next_ = next_ == kLastSocketMessage ? kFirstSocketMessage : next_ + 1;
            if (registrations_.count(message) == 0) return message;
        }
    }

    // LRESULT handler(HWND, UINT message, WPARAM socket, LPARAM event and error)
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self =
            reinterpret_cast<AsyncSelectWatcher*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (!self) return ::DefWindowProcA(hwnd, message, wParam, lParam);
        if (message == kDeferredMessage) {
            self->deferredPosted_ = false;
            self->runDeferred();
            return 0;
        }
        if (message >= kFirstSocketMessage && message <= kLastSocketMessage) {
            self->onSocketMessage(message, static_cast<SOCKET>(wParam), WSAGETSELECTEVENT(lParam),
                                  WSAGETSELECTERROR(lParam));
            return 0;
        }
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    }

    void onSocketMessage(UINT message, SOCKET s, int event, int error) {
        auto it = registrations_.find(message);
        if (it == registrations_.end() || it->second.socket != s) return; // stale notification
        const std::uint32_t token = it->second.token;
        ++handled_;
        // One look at the queue an event, not one a send.
        MSG waiting;
        othersWaiting_ = ::PeekMessageA(&waiting, window_, kFirstSocketMessage, kLastSocketMessage,
                                        PM_NOREMOVE | PM_NOYIELD) != 0;
        switch (event) {
        case FD_READ:
            sink_(token, Event::Readable, error);
            break;
        case FD_WRITE:
            sink_(token, Event::Writable, error);
            break;
        case FD_ACCEPT:
            sink_(token, Event::Acceptable, error);
            break;
        case FD_CLOSE:
            sink_(token, Event::Closed, error);
            break;
        default:
            break;
        }
    }

    Sink sink_;
    HWND window_ = nullptr;
    std::map<UINT, Registration> registrations_;
    std::map<SOCKET, UINT> messageOf_;
    UINT next_ = kFirstSocketMessage;
    bool deferredPosted_ = false; // the message is in the queue
    bool deferredDue_ = false;    // deferred work is owed
    bool othersWaiting_ = true;   // socket events were queued behind the one handled
    unsigned long long handled_ = 0;
};

} // namespace

std::unique_ptr<SocketWatcher> SocketWatcher::create(Sink sink) {
    return std::make_unique<AsyncSelectWatcher>(std::move(sink));
}

} // namespace devhost::sockio

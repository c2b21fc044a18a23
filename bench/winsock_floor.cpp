// winsock_floor: the least time the Windows devhost can take to relay one line to 100
// guests, because of the sockets alone. Over 100 loopback connections it repeats what
// a relayed line needs of Winsock and nothing else: one receive of the line, then one
// send of it on each connection. No window, no frames, no chat. Run under the same Wine
// as the relay benchmark's Windows devhost (scripts/bench.sh --wine), its p50 is the
// floor under that devhost's latency there.
//
//   winsock_floor.exe
//
// Prints "p50 MS p90 MS sends-p50 MS" on one line; exit status 1 when the connections
// could not be made.
#include <winsock2.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kConnections = 100;
constexpr int kRounds = 100;
constexpr int kLineBytes = 64; // a short line in its frame, as the latency load sends

class Stopwatch {
public:
    Stopwatch() {
        ::QueryPerformanceFrequency(&frequency_);
        ::QueryPerformanceCounter(&start_);
    }
    double Milliseconds() const {
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) /
               static_cast<double>(frequency_.QuadPart);
    }

private:
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
};

// Both ends of every connection, made through one listener on 127.0.0.1.
class Connections {
public:
    std::vector<SOCKET> guests; // the benchmark's side
    std::vector<SOCKET> relay;  // the accepted side, which relays

    // Every socket made is closed, also when a step fails.
    bool Open() {
        SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (listener == INVALID_SOCKET) return false;
        const bool connected = ConnectThrough(listener);
        ::closesocket(listener);
        return connected;
    }
    ~Connections() {
        for (SOCKET s : guests)
            ::closesocket(s);
        for (SOCKET s : relay)
            ::closesocket(s);
    }

private:
    bool ConnectThrough(SOCKET listener) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
        int length = sizeof(address);
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            ::listen(listener, SOMAXCONN) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return false;
        for (int i = 0; i < kConnections; ++i) {
            const SOCKET guest = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            if (guest == INVALID_SOCKET) return false;
            guests.push_back(guest);
            if (::connect(guest, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
                return false;
            const SOCKET accepted = ::accept(listener, nullptr, nullptr);
            if (accepted == INVALID_SOCKET) return false;
            relay.push_back(accepted);
        }
        return true;
    }
};

bool ReceiveAll(SOCKET s, char* buffer, int bytes) {
    while (bytes > 0) {
        const int got = ::recv(s, buffer, bytes, 0);
        if (got <= 0) return false;
        buffer += got;
        bytes -= got;
    }
    return true;
}

double Percentile(std::vector<double> values, int percent) {
    std::sort(values.begin(), values.end());
    return values[(values.size() - 1) * percent / 100];
}

} // namespace

int main() {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
    int status = 0;
    {
        Connections connections;
        if (!connections.Open()) {
            std::fprintf(stderr, "winsock_floor: the loopback connections failed (%d)\n",
                         ::WSAGetLastError());
            return 1;
        }
        std::vector<char> line(kLineBytes, 'x');
        std::vector<double> rounds, sends;
        for (int round = 0; round < kRounds && status == 0; ++round) {
            const int from = round % kConnections;
            ::send(connections.guests[from], line.data(), kLineBytes, 0);
            const Stopwatch line_watch;
            if (!ReceiveAll(connections.relay[from], line.data(), kLineBytes)) status = 1;
            const Stopwatch send_watch;
            for (SOCKET to : connections.relay)
                if (::send(to, line.data(), kLineBytes, 0) != kLineBytes) status = 1;
            sends.push_back(send_watch.Milliseconds());
            rounds.push_back(line_watch.Milliseconds());
            for (SOCKET guest : connections.guests)
                if (!ReceiveAll(guest, line.data(), kLineBytes)) status = 1;
        }
        if (status == 0)
            std::printf("p50 %.3f p90 %.3f sends-p50 %.3f\n", Percentile(rounds, 50),
                        Percentile(rounds, 90), Percentile(sends, 50));
        else
            std::fprintf(stderr, "winsock_floor: a receive or send failed (%d)\n",
                         ::WSAGetLastError());
    }
    ::WSACleanup();
    return status;
}

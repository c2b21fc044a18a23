// Winsock error numbers as the socket plug-in reports them through GetLastError. Both
// back ends speak these numbers (the POSIX one translates errno), so that every message
// a user sees names the same error on every platform.
#pragma once

namespace devhost::wsaerr {

constexpr int kNone = 0;
constexpr int kAccess = 10013;         // WSAEACCES
constexpr int kFault = 10014;          // WSAEFAULT
constexpr int kInvalid = 10022;        // WSAEINVAL
constexpr int kTooManyFiles = 10024;   // WSAEMFILE
constexpr int kWouldBlock = 10035;     // WSAEWOULDBLOCK
constexpr int kInProgress = 10036;     // WSAEINPROGRESS
constexpr int kNotSocket = 10038;      // WSAENOTSOCK
constexpr int kMessageSize = 10040;    // WSAEMSGSIZE
constexpr int kAfNoSupport = 10047;    // WSAEAFNOSUPPORT
constexpr int kAddrInUse = 10048;      // WSAEADDRINUSE
constexpr int kAddrNotAvail = 10049;   // WSAEADDRNOTAVAIL
constexpr int kNetDown = 10050;        // WSAENETDOWN
constexpr int kNetUnreach = 10051;     // WSAENETUNREACH
constexpr int kNetReset = 10052;       // WSAENETRESET
constexpr int kConnAborted = 10053;    // WSAECONNABORTED
constexpr int kConnReset = 10054;      // WSAECONNRESET
constexpr int kNoBufs = 10055;         // WSAENOBUFS
constexpr int kIsConnected = 10056;    // WSAEISCONN
constexpr int kNotConnected = 10057;   // WSAENOTCONN
constexpr int kShutdown = 10058;       // WSAESHUTDOWN
constexpr int kTimedOut = 10060;       // WSAETIMEDOUT
constexpr int kConnRefused = 10061;    // WSAECONNREFUSED
constexpr int kHostUnreach = 10065;    // WSAEHOSTUNREACH
constexpr int kNotInitialised = 10093; // WSANOTINITIALISED

} // namespace devhost::wsaerr

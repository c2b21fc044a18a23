// This computer's addresses on Win32: the IPv4 unicast addresses of the adapters that
// GetAdaptersAddresses reports up.
#include "module/net/LocalAddresses.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>

#include <string>

namespace {

// GetAdaptersAddresses asks for more room when adapters come and go between calls.
constexpr int kListingTries = 3;
constexpr ULONG kFirstBufferBytes = 16 * 1024;
constexpr ULONG kSkippedLists =
    GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;

std::string DottedText(const sockaddr_in& address) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address.sin_addr);
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
           std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
}

} // namespace

std::vector<LocalAddress> LocalIPv4Addresses() {
    std::vector<LocalAddress> listed;
    std::string buffer(kFirstBufferBytes, '\0');
    ULONG size = kFirstBufferBytes;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < kListingTries && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = ::GetAdaptersAddresses(AF_INET, kSkippedLists, nullptr,
                                        reinterpret_cast<IP_ADAPTER_ADDRESSES*>(&buffer[0]), &size);
    }
    if (result != NO_ERROR) return OrderLocalAddresses(std::move(listed));
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(&buffer[0]); adapter;
         adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp) continue;
        const bool loopback = adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            const SOCKADDR* address = unicast->Address.lpSockaddr;
            if (!address || address->sa_family != AF_INET) continue;
            listed.push_back(
                {DottedText(*reinterpret_cast<const sockaddr_in*>(address)), loopback});
        }
    }
    return OrderLocalAddresses(std::move(listed));
}

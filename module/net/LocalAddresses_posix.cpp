// This computer's addresses natively: the IPv4 addresses of the interfaces that
// getifaddrs reports up.
#include "module/net/LocalAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

std::vector<LocalAddress> LocalIPv4Addresses() {
    std::vector<LocalAddress> listed;
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0) return OrderLocalAddresses(std::move(listed));
    for (const ifaddrs* entry = interfaces; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
        if (!(entry->ifa_flags & IFF_UP)) continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (!::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text)) continue;
        listed.push_back({text, (entry->ifa_flags & IFF_LOOPBACK) != 0});
    }
    ::freeifaddrs(interfaces);
    return OrderLocalAddresses(std::move(listed));
}

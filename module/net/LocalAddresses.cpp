// The order of this computer's addresses, the same on every system.
#include "module/net/LocalAddresses.h"

#include <algorithm>

namespace {
constexpr const char* kLoopbackAddress = "127.0.0.1";
} // namespace

std::vector<LocalAddress> OrderLocalAddresses(std::vector<LocalAddress> listed) {
    std::stable_partition(listed.begin(), listed.end(),
                          [](const LocalAddress& address) { return !address.loopback; });
    const bool hasLoopback =
        std::any_of(listed.begin(), listed.end(),
                    [](const LocalAddress& address) { return address.text == kLoopbackAddress; });
    if (!hasLoopback) listed.push_back({kLoopbackAddress, true});
    return listed;
}

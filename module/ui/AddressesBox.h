// The text of the "This computer's addresses" box: each address (with the port while
// hosting), the loopback ones marked as reaching this computer only, and what guests
// outside this network need.
#pragma once

#include "module/net/LocalAddresses.h"

#include <cstdint>
#include <string>
#include <vector>

// port 0: not hosting, no port is shown.
std::string LocalAddressesText(const std::vector<LocalAddress>& addresses, std::int32_t port);

// This computer's own IPv4 addresses, the ones a host tells its guests: one per address
// of each network adapter that is up, the loopback ones last. Win32 in
// LocalAddresses_win32.cpp (GetAdaptersAddresses), POSIX in LocalAddresses_posix.cpp
// (getifaddrs).
#pragma once

#include <string>
#include <vector>

struct LocalAddress {
    std::string text; // dotted, "192.168.1.20"
    bool loopback = false;
};

// The adapters' addresses, loopback last; 127.0.0.1 is always among them, since the
// loopback adapter is there even when the system lists no address for it.
std::vector<LocalAddress> LocalIPv4Addresses();

// The order and the loopback address that LocalIPv4Addresses promises, applied to what
// the system listed.
std::vector<LocalAddress> OrderLocalAddresses(std::vector<LocalAddress> listed);

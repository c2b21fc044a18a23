// IPv4 address text, parsed and formatted without the platform's resolver so that both
// back ends accept exactly the same texts.
#include "devhost/nxtcpsock/socket_io.h"

namespace devhost::sockio {

bool parseIpv4(const std::string& text, std::uint32_t& address) {
    constexpr int kOctets = 4;
    constexpr int kMaxDigits = 3;
    std::uint32_t result = 0;
    std::size_t pos = 0;
    for (int octet = 0; octet < kOctets; ++octet) {
        if (octet > 0) {
            if (pos >= text.size() || text[pos] != '.') return false;
            ++pos;
        }
        int digits = 0;
        std::uint32_t value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            value = value * 10 + static_cast<std::uint32_t>(text[pos] - '0');
            ++pos;
            if (++digits > kMaxDigits) return false;
        }
        if (digits == 0 || value > 255) return false;
        result = (result << 8) | value;
    }
    if (pos != text.size()) return false;
    address = result;
    return true;
}

std::string formatIpv4(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

} // namespace devhost::sockio

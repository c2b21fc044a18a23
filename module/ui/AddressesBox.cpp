// The addresses box's text.
#include "module/ui/AddressesBox.h"

namespace {
constexpr const char* kOutsideThisNetwork =
    "Guests outside this network need the router's public address and a port forwarded to "
    "this computer, and the firewall must let the port through.";
} // namespace

std::string LocalAddressesText(const std::vector<LocalAddress>& addresses, std::int32_t port) {
    std::string text = "This computer's addresses:\r\n";
    for (const LocalAddress& address : addresses) {
        text += "\r\n" + address.text;
        if (port > 0) text += ":" + std::to_string(port);
        if (address.loopback) text += " (this computer only)";
    }
    return text + "\r\n\r\n" + kOutsideThisNetwork;
}

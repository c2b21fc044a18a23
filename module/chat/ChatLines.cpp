// The chat's lines, each made by plain concatenation of its fixed parts and the
// inserted values.
#include "module/chat/ChatLines.h"

namespace chatlines {

namespace {

// "%s:%d" of an address and a port.
std::string Endpoint(const std::string& address, std::int32_t port) {
    return address + ":" + std::to_string(port);
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

} // namespace

std::string HostSays(const std::string& nickname, const std::string& text) {
    if (nickname.empty()) return "Host says: " + Quoted(text);
    return "Host '" + nickname + "' says: " + Quoted(text);
}

std::string NamedGuestSays(const std::string& displayName, const std::string& text) {
    return "Guest '" + displayName + "' says: " + Quoted(text);
}

std::string GuestSays(const std::string& address, std::int32_t port, const std::string& text) {
    return "Guest " + Endpoint(address, port) + " says: " + Quoted(text);
}

std::string GuestIs(const std::string& address, std::int32_t port, const std::string& nickname) {
    return "Guest " + Endpoint(address, port) + " is '" + nickname + "'";
}

std::string GuestJoined(const std::string& address, std::int32_t port,
                        const std::string& hostNickname) {
    const std::string line = "Guest " + Endpoint(address, port) + " has joined host";
    if (hostNickname.empty()) return line;
    return line + " '" + hostNickname + "'";
}

std::string GuestsOnline(int count) {
    return std::to_string(count) + " guest(s) are currently on-line";
}

std::string NamedGuestDisconnected(const std::string& displayName) {
    return "Guest '" + displayName + "' has disconnected";
}

std::string GuestDisconnected(const std::string& address, std::int32_t port) {
    return "Guest " + Endpoint(address, port) + " has disconnected";
}

std::string CannotConnect(const std::string& address, std::int32_t port, const char* errorName) {
    return "Cannot connect to host '" + Endpoint(address, port) + "' (error code = " + errorName +
           ")";
}

std::string CannotListen(std::int32_t port, const char* errorName) {
    return "Cannot open port " + std::to_string(port) +
           " for listening (error code = " + errorName + ")";
}

} // namespace chatlines

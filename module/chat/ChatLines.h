// chat/ is the session side of the chat window (ChatSession.cpp, ChatState.cpp, which
// define members of CChatDlg and reach its window only through its window-side
// operations) with what it is made of: the modes, these lines, the reading of a
// received message, and the failures already reported.
//
// The texts of the chat: the two message labels, the lines a host makes from its
// guests' messages, arrivals and departures and from its own user's typing, and the
// two failure boxes of the Connect button. Every line is built by concatenation, so
// typed or received text (quotes, percent signs, line breaks) is inserted as it is
// and never read as a format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace chatlines {

// Message labels, compared without regard to case when received.
constexpr const char* kLabelText = "text";
constexpr const char* kLabelSetDisplayName = "set display name";
// The longest nickname a guest may announce, in bytes: far beyond any name a person
// would choose, and short enough that the lines made with it stay small.
constexpr std::size_t kMaxNicknameBytes = 256;
// The item of a guest socket's property list that holds the guest's nickname.
constexpr const char* kDisplayNameItem = "DisplayName";
// What ends every transcript entry: the line break and an empty line.
constexpr const char* kEntryEnd = "\r\n\r\n";
// The only entry a guest makes of its own, appended in one piece.
constexpr const char* kHostDisconnectedEntry = "Host has disconnected\r\n\r\n";

// "Host '%s' says: \"%s\"", or "Host says: \"%s\"" without a nickname.
std::string HostSays(const std::string& nickname, const std::string& text);
// "Guest '%s' says: \"%s\"" with the display name.
std::string NamedGuestSays(const std::string& displayName, const std::string& text);
// "Guest %s:%d says: \"%s\"" with the address and port.
std::string GuestSays(const std::string& address, std::int32_t port, const std::string& text);
// "Guest %s:%d is '%s'".
std::string GuestIs(const std::string& address, std::int32_t port, const std::string& nickname);
// "Guest %s:%d has joined host '%s'", or "Guest %s:%d has joined host" without a
// host nickname.
std::string GuestJoined(const std::string& address, std::int32_t port,
                        const std::string& hostNickname);
// "%d guest(s) are currently on-line".
std::string GuestsOnline(int count);
// "Guest '%s' has disconnected".
std::string NamedGuestDisconnected(const std::string& displayName);
// "Guest %s:%d has disconnected".
std::string GuestDisconnected(const std::string& address, std::int32_t port);

// "Cannot connect to host '%s:%d' (error code = %s)".
std::string CannotConnect(const std::string& address, std::int32_t port, const char* errorName);
// "Cannot open port %d for listening (error code = %s)".
std::string CannotListen(std::int32_t port, const char* errorName);

} // namespace chatlines

// The tag that lets the load generator recognise its own lines in whatever the relay
// makes of them: a host relays "Guest 127.0.0.1:40000 says: \"<text>\"", a raw relay
// the text itself. The text of line `id` starts with "~L", nine digits and "~", and is
// filled up to the wanted size with letters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace loadgen {

using LineId = std::uint32_t;

constexpr std::size_t kLineTagBytes = 12;
constexpr LineId kMaxLineId = 999999999;

// The text of line id, textBytes long (at least kLineTagBytes).
std::string LineText(LineId id, std::size_t textBytes);
// The first tag in a received text.
std::optional<LineId> FindLineTag(std::string_view text);

} // namespace loadgen

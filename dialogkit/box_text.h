// Cutting text for the boxes without splitting a character. The boxes show bytes in
// the code page of the platform's text calls (Win32: the system's ANSI code page,
// which may be a double-byte one or UTF-8; headless: UTF-8), where a character can
// take more than one byte: a cut in the middle of one would show a stray glyph and
// could swallow the byte after it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace dk {

// The length of the longest beginning of text, at most maxBytes long, that ends at a
// character boundary of the boxes' code page.
std::size_t WholeCharactersPrefix(const std::string& text, std::size_t maxBytes);

namespace detail {

// The bytes of a character, by its first byte (1 for a byte that starts none).
using CharacterLengths = std::array<std::uint8_t, 256>;
// The lengths of UTF-8: two to four bytes by the lead byte's high bits.
void FillUtf8CharacterLengths(CharacterLengths& lengths);

} // namespace detail
} // namespace dk

// How the call log writes arguments and results: numbers in decimal, booleans as
// true/false, texts quoted with their control characters escaped, addresses as
// ptr or null.
#pragma once

#include <cstdint>
#include <string>

namespace devhost {

std::string formatNumber(std::uint32_t value);
std::string formatBool(bool value);
std::string formatText(const char* text); // null for a null text
std::string formatPointer(const void* p);

} // namespace devhost

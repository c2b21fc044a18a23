// How devhost writes values on one line: the call log's arguments and results
// (numbers in decimal, booleans as true/false, texts quoted, addresses as ptr or
// null), and the texts in its listings and session messages.
#pragma once

#include <cstdint>
#include <string>

namespace devhost {

std::string formatNumber(std::uint32_t value);
std::string formatBool(bool value);
std::string formatText(const char* text); // null for a null text
std::string formatPointer(const void* p);

// A text on one line with the session scripts' escapes, so that it reads back as the
// same text: oneLineText writes carriage returns and line feeds as \r and \n;
// quotedText also escapes " and \ and puts the text in double quotes.
std::string oneLineText(const std::string& text);
std::string quotedText(const std::string& text);

} // namespace devhost

// Reading the text of a received message. A record's data is a host buffer whose
// elements hold the text and, normally, its terminating zero; the text is taken from
// inside the elements only, up to the first zero byte among them, so a buffer that
// holds no zero byte is never read past its end.
#pragma once

#include "module/plugin/CqVar.h"

#include <string>

// The text held in buffer: its elements' bytes (element count times element size) up
// to the first zero byte, or all of them when there is none. False when the buffer
// has no elements (or no element size), which counts as no data.
bool ReadMessageText(const CqBuffer& buffer, std::string& text);

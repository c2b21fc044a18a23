// The chat's two modes, which are also the entries of the settings dialog's mode
// list in this order: a guest joins a host; a host listens and relays among its
// guests. A stored mode keeps the 32-bit value it was given, even one that is
// neither (the window then shows an empty title and nothing else).
#pragma once

#include <cstdint>

enum class ChatMode : std::int32_t {
    Guest = 0,
    Host = 1,
};

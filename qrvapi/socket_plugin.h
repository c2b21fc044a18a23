// What the socket plug-in nxTcpSock and its users agree on: the socket states it
// reports and the events for which a registered host function can be set as a
// callback. The module's socket proxy and devhost's stand-in both take them from here.
#pragma once

#include <cstdint>

// Socket states as the plug-in reports them; a proxy answers SOCKSTATE_NONE when it
// holds no socket or the query failed.
enum : std::int32_t {
    SOCKSTATE_NONE = -1,
    SOCKSTATE_CLOSED = 0,
    SOCKSTATE_LISTENING = 1,
    SOCKSTATE_CONNECTING = 2,
    SOCKSTATE_CONNECTED = 3,
};

// Events for which a host function can be registered with SetCallback.
enum : std::int32_t {
    CALLBACKID_RECV = 1,
    CALLBACKID_ACCEPT = 3,
    CALLBACKID_CLOSE = 4,
};

// libFuzzer target: sequences of chat events against the hosting chat window, with
// modal loops (testkit/chatevents/chat_events.h says what an input holds and which
// rules are checked after every event).
#include "testkit/chatevents/chat_events.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    chatevents::Play(data, size);
    return 0;
}

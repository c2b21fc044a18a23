// Bounded reading of a message buffer (see MessageText.h).
#include "module/chat/MessageText.h"

#include <cstdint>
#include <cstring>
#include <limits>

bool ReadMessageText(const CqBuffer& buffer, std::string& text) {
    const std::uint32_t count = buffer.nItems();
    if (count == 0) return false;
    const auto* data = static_cast<const char*>(buffer.GetItemPtr(0));
    if (data == nullptr) return false;
    const std::uint64_t bytes = static_cast<std::uint64_t>(count) * buffer.ItemSize();
    if (bytes == 0 || bytes > std::numeric_limits<std::size_t>::max()) return false;
    const auto size = static_cast<std::size_t>(bytes);
    const void* zero = std::memchr(data, 0, size);
    const std::size_t length =
        zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - data) : size;
    text.assign(data, length);
    return true;
}

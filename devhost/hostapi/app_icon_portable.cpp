// The host's icon where there are no window icons: a fixed token, nonzero so that a
// caller can tell it from a failure.
#include "devhost/hostapi/app_icon.h"

namespace devhost {

namespace {
constexpr std::uint32_t kIconToken = 0x1C0u;
}

std::uint32_t applicationIconHandle() {
    return kIconToken;
}

} // namespace devhost

// The icon that the host function "application.GetIcon" hands out: a real HICON on
// Windows, a fixed nonzero token where there are no icons.
#pragma once

#include <cstdint>

namespace devhost {

std::uint32_t applicationIconHandle();

} // namespace devhost

// The host's icon on Windows: the system's application icon, a shared icon that needs
// no clean-up.
#include "devhost/hostapi/app_icon.h"

#include <windows.h>

namespace devhost {

std::uint32_t applicationIconHandle() {
    HICON icon = LoadIconA(nullptr, IDI_APPLICATION);
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(icon));
}

} // namespace devhost

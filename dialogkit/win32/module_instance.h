// The HINSTANCE of the module that dialogkit is linked into (Win32 back end only).
#pragma once

#include <windows.h>

namespace dk {

HINSTANCE ModuleInstance();

} // namespace dk

// The module file on Windows: the DLL (or executable) that holds this code, found by
// an address inside it, so the module's resources and name are used, not the
// host executable's.
#include "dialogkit/module_file.h"
#include "dialogkit/win32/module_instance.h"

#include <windows.h>

namespace dk {

HINSTANCE ModuleInstance() {
    HMODULE module = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&ModuleInstance), &module);
    return module;
}

std::string ModulePath() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(ModuleInstance(), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::string();
    return std::string(path, length);
}

} // namespace dk

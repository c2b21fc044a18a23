// The module file on Windows: the DLL (or executable) that holds this code, found by
// an address inside it, so the module's resources and name are used, not the
// host executable's. Its path is asked for with the wide call and a buffer that grows:
// the ANSI call turns characters outside the code page into '?', and both stop at
// MAX_PATH with the short buffer.
#include "dialogkit/module_file.h"
#include "dialogkit/win32/module_instance.h"
#include "dialogkit/wide_text.h"

#include <windows.h>

namespace dk {
namespace {

// The longest path the wide calls know.
constexpr DWORD kLongestPath = 32768;

} // namespace

HINSTANCE ModuleInstance() {
    HMODULE module = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&ModuleInstance), &module);
    return module;
}

std::string ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(path.size());
        const DWORD length = ::GetModuleFileNameW(ModuleInstance(), &path[0], size);
        if (length == 0) return std::string();
        // A full buffer means the path was cut short: try again with a larger one.
        if (length < size) {
            path.resize(length);
            return Utf8FromWide(WithoutLongPathPrefix(path));
        }
        if (size >= kLongestPath) return std::string();
        path.assign(size * 2, L'\0');
    }
}

bool FileExists(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(LongPathForm(WideFromUtf8(path)).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace dk

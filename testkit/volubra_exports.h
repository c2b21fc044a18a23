// The module's seven exports by name, for a host that has the module linked in rather
// than loaded from a file: tests and fuzzers hand this to HostApi::addPlugin.
#pragma once

#include "module/exports.h"

#include <cstring>

namespace volubra_test {

inline void* ResolveVolubraExport(const char* name) {
    struct Export {
        const char* name;
        void* address;
    };
    static const Export kExports[] = {
        {"ExtGetApiVersion", reinterpret_cast<void*>(&ExtGetApiVersion)},
        {"ExtInitPlugin", reinterpret_cast<void*>(&ExtInitPlugin)},
        {"ExtShowWnd", reinterpret_cast<void*>(&ExtShowWnd)},
        {"ExtOnConnect", reinterpret_cast<void*>(&ExtOnConnect)},
        {"ExtOnAccept", reinterpret_cast<void*>(&ExtOnAccept)},
        {"ExtOnRecv", reinterpret_cast<void*>(&ExtOnRecv)},
        {"ExtOnClose", reinterpret_cast<void*>(&ExtOnClose)},
    };
    for (const Export& e : kExports) {
        if (std::strcmp(e.name, name) == 0) return e.address;
    }
    return nullptr;
}

} // namespace volubra_test

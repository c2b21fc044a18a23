// SharedLibrary over dlopen and dlsym.
#include "devhost/app/shared_library.h"

#include <dlfcn.h>

namespace devhost {

std::unique_ptr<SharedLibrary> SharedLibrary::open(const std::string& path, std::string& error) {
    // RTLD_LOCAL: a plug-in's symbols must not satisfy another plug-in's references.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        error = why ? why : "cannot load " + path;
        return nullptr;
    }
    return std::unique_ptr<SharedLibrary>(new SharedLibrary(handle));
}

SharedLibrary::~SharedLibrary() {
    dlclose(handle_);
}

void* SharedLibrary::symbol(const char* name) const {
    return name ? dlsym(handle_, name) : nullptr;
}

} // namespace devhost

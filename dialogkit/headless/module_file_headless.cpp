// The module file natively: the shared object or executable that holds this code,
// found through the dynamic loader by an address inside it.
#include "dialogkit/module_file.h"

#include <dlfcn.h>
#include <sys/stat.h>

namespace dk {

std::string ModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ModulePath), &info) == 0 || !info.dli_fname)
        return std::string();
    return info.dli_fname;
}

bool FileExists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

} // namespace dk

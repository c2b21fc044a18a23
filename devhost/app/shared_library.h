// A loaded dynamic library and the addresses of its exports: LoadLibraryA and
// GetProcAddress on Windows, dlopen and dlsym elsewhere. The library stays loaded for
// as long as the object lives.
#pragma once

#include <memory>
#include <string>

namespace devhost {

class SharedLibrary {
public:
    // Loads the library at `path`; null with `error` set when it cannot be loaded.
    static std::unique_ptr<SharedLibrary> open(const std::string& path, std::string& error);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The address of an export by its name as it stands in the export table, or null.
    void* symbol(const char* name) const;

private:
    explicit SharedLibrary(void* handle) : handle_(handle) {}
    void* handle_; // HMODULE or dlopen handle, owned
};

} // namespace devhost

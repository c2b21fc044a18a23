// Loads a plug-in as the host application does: the library from its file path, the
// version query and ExtInitPlugin found by their export names, the plug-in made known
// to the host API under its base name ("Volubra" for .../Volubra.qrv), its version
// read, and ExtInitPlugin called with the lookup routine and the plug-in's hID.
//
// The loader must be destroyed (or unload() called) while the HostApi it was
// initialised with still exists: unloading runs the plug-in's clean-up, which calls
// the host. After unloading, the host finds none of the plug-in's exports any more.
#pragma once

#include "devhost/app/shared_library.h"
#include "devhost/hostapi/host_api.h"

#include <memory>
#include <string>

namespace devhost {

class PluginLoader {
public:
    PluginLoader() = default;
    ~PluginLoader() { unload(); }
    PluginLoader(const PluginLoader&) = delete;
    PluginLoader& operator=(const PluginLoader&) = delete;

    // Loads the library and finds its two entry exports; false with error() set.
    bool load(const std::string& path);
    // Registers the plug-in with `api`, reads its version and runs ExtInitPlugin.
    // False when nothing is loaded or ExtInitPlugin returned false.
    bool init(HostApi& api);
    void unload();

    const std::string& baseName() const { return baseName_; }
    const std::string& apiVersion() const { return apiVersion_; }
    QHANDLE id() const { return id_; }
    const std::string& error() const { return error_; }
    // An export of the loaded plug-in by name, or null.
    void* resolve(const char* exportName) const;

private:
    std::unique_ptr<SharedLibrary> library_;
    QrvVersionFn version_ = nullptr;
    QrvInitFn initPlugin_ = nullptr;
    std::string baseName_;
    std::string apiVersion_;
    std::string error_;
    QHANDLE id_ = 0;
};

// The file name of `path` without directories and extension.
std::string pluginBaseName(const std::string& path);

} // namespace devhost

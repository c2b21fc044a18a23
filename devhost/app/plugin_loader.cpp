// The plug-in loader.
#include "devhost/app/plugin_loader.h"

namespace devhost {

namespace {

// The version query is the one stdcall export that keeps its decoration in a DLL's
// export table; ELF exports are never decorated.
#if defined(_WIN32)
constexpr const char* kVersionExport = "_ExtGetApiVersion@0";
#else
constexpr const char* kVersionExport = "ExtGetApiVersion";
#endif
constexpr const char* kInitExport = "ExtInitPlugin";

} // namespace

std::string pluginBaseName(const std::string& path) {
    std::string::size_type slash = path.find_last_of("/\\");
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string::size_type dot = file.rfind('.');
    return dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);
}

bool PluginLoader::load(const std::string& path) {
    unload();
    error_.clear();
    library_ = SharedLibrary::open(path, error_);
    if (!library_) return false;
    version_ = reinterpret_cast<QrvVersionFn>(library_->symbol(kVersionExport));
    initPlugin_ = reinterpret_cast<QrvInitFn>(library_->symbol(kInitExport));
    if (!version_ || !initPlugin_) {
        error_ = std::string("missing export ") + (version_ ? kInitExport : kVersionExport);
        library_.reset();
        return false;
    }
    baseName_ = pluginBaseName(path);
    return true;
}

bool PluginLoader::init(HostApi& api) {
    if (!library_) {
        error_ = "no plug-in loaded";
        return false;
    }
    id_ = api.addPlugin(baseName_, [this](const char* name) { return resolve(name); });
    const char* version = version_();
    apiVersion_ = version ? version : "";
    QrvLookupFn lookup = HostApi::lookupRoutine();
    bool ok = initPlugin_(reinterpret_cast<QARG>(lookup), id_) != 0;
    if (!ok) error_ = "ExtInitPlugin failed";
    return ok;
}

void PluginLoader::unload() {
    library_.reset();
    version_ = nullptr;
    initPlugin_ = nullptr;
}

void* PluginLoader::resolve(const char* exportName) const {
    return library_ ? library_->symbol(exportName) : nullptr;
}

} // namespace devhost

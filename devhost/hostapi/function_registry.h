// The host's registry of named functions: its own ("application.GetIcon"), the socket
// plug-in's, and the exports plug-ins register with qrvfunc.LoadFunc. Each entry has one
// function variable of its own (type 510) that the host holds and nobody can delete;
// it is the handle LoadFunc and GetFunc give out, the same one every time. Function
// variables a plug-in makes itself refer to an entry through that handle.
// Re-registering a name replaces the entry in place, so existing handles follow it.
#pragma once

#include "devhost/hostapi/host_api.h"

#include <map>
#include <string>
#include <vector>

namespace devhost {

struct FunctionEntry {
    std::string fullName;
    std::vector<ArgSpec> prototype;
    std::uint32_t returnTypeId = 0;
    bool isPluginExport = false;
    QHANDLE pluginId = 0;   // plug-in exports: who registered it
    std::string exportName; // plug-in exports: plain export name
    HostFunction fn;        // host functions
    QHANDLE ownHandle = 0;  // the entry's own function variable
};

class FunctionRegistry {
public:
    // Adds or replaces the entry of that name; keeps the position and own handle of an
    // entry it replaces. `ownHandle` is used only for a new entry.
    const FunctionEntry& put(FunctionEntry entry, QHANDLE ownHandle);
    const FunctionEntry* byName(const std::string& fullName) const;
    const FunctionEntry* byOwnHandle(QHANDLE h) const;
    const std::vector<FunctionEntry>& entries() const { return entries_; }

private:
    std::vector<FunctionEntry> entries_;
    std::map<std::string, std::size_t> indexByName_;
    std::map<QHANDLE, std::size_t> indexByHandle_;
};

} // namespace devhost

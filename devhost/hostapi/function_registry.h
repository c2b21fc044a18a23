// The host's registry of named functions: its own ("application.GetIcon"), the socket
// plug-in's, and the exports plug-ins register with qrvfunc.LoadFunc. Each entry has one
// function variable of its own (type 510) that the host holds and nobody can delete;
// it is the handle LoadFunc and GetFunc give out, the same one every time. Function
// variables a plug-in makes itself refer to an entry through that handle.
// Re-registering a name replaces the entry in place, so existing handles follow it.
#pragma once

#include "devhost/hostapi/host_api.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace devhost {

struct FunctionEntry {
    std::string fullName;
    std::vector<ArgSpec> prototype;
    std::uint32_t returnTypeId = 0;
    bool isPluginExport = false;
    QrvExportFn exportFn = nullptr; // plug-in exports: resolved when registered
    HostFunction fn;                // host functions
    QHANDLE ownHandle = 0;          // the entry's own function variable
};

class FunctionRegistry {
public:
    // Entries are shared so that a function being run outlives its own replacement.
    using EntryPtr = std::shared_ptr<const FunctionEntry>;

    // Adds or replaces the entry of that name; keeps the position and own handle of an
    // entry it replaces. `ownHandle` is used only for a new entry.
    const FunctionEntry& put(FunctionEntry entry, QHANDLE ownHandle);
    const FunctionEntry* byName(std::string_view fullName) const;
    // Null when h is no entry's own handle.
    const FunctionEntry* byOwnHandle(QHANDLE h) const;
    EntryPtr sharedByOwnHandle(QHANDLE h) const;
    const std::vector<EntryPtr>& entries() const { return entries_; }

private:
    std::vector<EntryPtr> entries_; // in registration order
    // Keys view the names held by the entries themselves.
    std::unordered_map<std::string_view, std::size_t> indexByName_;
    std::unordered_map<QHANDLE, std::size_t> indexByHandle_;
};

} // namespace devhost

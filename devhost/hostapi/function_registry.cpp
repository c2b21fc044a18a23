// The host's function registry: entries kept in registration order, found by name or
// by their own function handle.
#include "devhost/hostapi/function_registry.h"

namespace devhost {

const FunctionEntry& FunctionRegistry::put(FunctionEntry entry, QHANDLE ownHandle) {
    auto it = indexByName_.find(entry.fullName);
    if (it != indexByName_.end()) {
        FunctionEntry& existing = entries_[it->second];
        entry.ownHandle = existing.ownHandle;
        existing = std::move(entry);
        return existing;
    }
    entry.ownHandle = ownHandle;
    indexByName_[entry.fullName] = entries_.size();
    indexByHandle_[ownHandle] = entries_.size();
    entries_.push_back(std::move(entry));
    return entries_.back();
}

const FunctionEntry* FunctionRegistry::byName(const std::string& fullName) const {
    auto it = indexByName_.find(fullName);
    return it == indexByName_.end() ? nullptr : &entries_[it->second];
}

const FunctionEntry* FunctionRegistry::byOwnHandle(QHANDLE h) const {
    auto it = indexByHandle_.find(h);
    return it == indexByHandle_.end() ? nullptr : &entries_[it->second];
}

} // namespace devhost

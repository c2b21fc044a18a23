// The host's function registry: entries kept in registration order, found by name or
// by their own function handle in constant time.
#include "devhost/hostapi/function_registry.h"

namespace devhost {

const FunctionEntry& FunctionRegistry::put(FunctionEntry entry, QHANDLE ownHandle) {
    auto it = indexByName_.find(entry.fullName);
    if (it != indexByName_.end()) {
        const std::size_t index = it->second;
        entry.ownHandle = entries_[index]->ownHandle;
        // The key views the replaced entry's name: key the new entry's instead.
        indexByName_.erase(it);
        entries_[index] = std::make_shared<const FunctionEntry>(std::move(entry));
        indexByName_.emplace(entries_[index]->fullName, index);
        return *entries_[index];
    }
    entry.ownHandle = ownHandle;
    const std::size_t index = entries_.size();
    entries_.push_back(std::make_shared<const FunctionEntry>(std::move(entry)));
    indexByName_.emplace(entries_.back()->fullName, index);
    indexByHandle_.emplace(ownHandle, index);
    return *entries_.back();
}

const FunctionEntry* FunctionRegistry::byName(std::string_view fullName) const {
    auto it = indexByName_.find(fullName);
    return it == indexByName_.end() ? nullptr : entries_[it->second].get();
}

const FunctionEntry* FunctionRegistry::byOwnHandle(QHANDLE h) const {
    auto it = indexByHandle_.find(h);
    return it == indexByHandle_.end() ? nullptr : entries_[it->second].get();
}

FunctionRegistry::EntryPtr FunctionRegistry::sharedByOwnHandle(QHANDLE h) const {
    auto it = indexByHandle_.find(h);
    return it == indexByHandle_.end() ? nullptr : entries_[it->second];
}

} // namespace devhost

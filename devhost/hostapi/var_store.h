// The host's variables: every number, text, buffer, list and function reference that a
// plug-in holds lives here under a 32-bit handle. Handles come from one counter and are
// never reused while the store lives, so a stale handle names nothing instead of
// silently naming a newer variable. Lists own their items: deleting a list, emptying it
// or overwriting it with a copy deletes the items it held.
#pragma once

#include "module/plugin/qrv_abi.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace devhost {

// Type IDs whose value is a fixed-width number read and written with var.*ValueEx.
bool isScalarType(std::uint32_t typeId);
// Width in bytes of a scalar value as it crosses the ABI (0 for non-scalars).
std::size_t scalarWidth(std::uint32_t typeId);
bool isKnownType(std::uint32_t typeId);

struct Variable {
    std::uint32_t typeId = 0;
    std::string name;
    // Scalars keep their 32 raw bits; INT and NUMBER read them as signed.
    std::uint32_t bits = 0;
    std::string text;                // TYPEID_STRING
    std::uint32_t itemSize = 1;      // TYPEID_BUFFER: bytes per element
    std::vector<std::uint8_t> bytes; // TYPEID_BUFFER
    std::vector<QHANDLE> items;      // TYPEID_LIST, in order
    QHANDLE parent = 0;              // the list holding this item, 0 for none
    // Held by the host itself (a registry entry's own function variable): plug-ins
    // cannot delete it.
    bool hostHeld = false;
};

class VarStore {
public:
    // Hands out the next handle; also used for plug-in IDs so no two things share one.
    // Returns 0 once the 32-bit range is used up.
    QHANDLE allocateHandle();

    // A new variable of a known type, or 0. With a parent list it becomes that list's
    // last item.
    QHANDLE create(std::uint32_t typeId, const std::string& name, QHANDLE parent = 0);
    // Deletes a variable, its items if it is a list, and unlinks it from its list.
    // Host-held variables are refused unless `force` is set.
    bool remove(QHANDLE h, bool force = false);
    // Deletes every item of a list.
    bool clearItems(QHANDLE hList);
    // Copies the value of `src` into `dest` (same type required); lists deep-copy.
    bool copyValue(QHANDLE dest, QHANDLE src);

    Variable* find(QHANDLE h);
    const Variable* find(QHANDLE h) const;
    std::size_t size() const { return vars_.size(); }

private:
    // A detached deep copy of `src`'s items, to be attached to a list afterwards.
    std::vector<QHANDLE> cloneItems(QHANDLE src);
    QHANDLE cloneVariable(QHANDLE src);
    void removeTree(QHANDLE h);

    // unordered_map keeps element addresses stable, so str.GetText and buffer.GetPtr
    // may hand out addresses into a variable while others are created.
    std::unordered_map<QHANDLE, Variable> vars_;
    QHANDLE lastHandle_ = 0;
};

} // namespace devhost

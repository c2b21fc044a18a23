// The host's variables: every number, text, buffer, list and function reference that a
// plug-in holds lives here under a 32-bit handle. The store is a dense table of slots
// with a free list, so its cost follows the variables alive now, not how many were ever
// made. A handle is a slot index with the slot's generation above it; deleting a
// variable bumps the generation, so a stale handle names nothing instead of silently
// naming a newer variable (see kReuseDelay for how long that holds). Lists own their
// items: deleting a list, emptying it or overwriting it with a copy deletes the items
// it held.
#pragma once

#include "qrvapi/qrv_abi.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace devhost {

// Type IDs whose value is a fixed-width number read and written with var.*ValueEx.
bool isScalarType(std::uint32_t typeId);
// Width in bytes of a scalar value as it crosses the ABI (0 for non-scalars).
std::size_t scalarWidth(std::uint32_t typeId);
bool isKnownType(std::uint32_t typeId);

// VarStore::resetVariable gives every field back its default here.
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

// Handle layout: the low kSlotIndexBits bits are the slot, the rest its generation.
// Slot 0 is never used, so handle 0 names nothing and a fresh store hands out 1, 2, 3...
constexpr unsigned kSlotIndexBits = 20;
constexpr std::uint32_t kSlotIndexMask = (1u << kSlotIndexBits) - 1;
constexpr std::uint32_t kGenerations = 1u << (32 - kSlotIndexBits);
// The most slots the table holds (slot 0 included): bounds the variables alive at once.
constexpr std::uint32_t kMaxSlots = 1u << kSlotIndexBits;
// A freed slot is reused only once this many freed slots wait before it, so a stale
// handle names nothing for at least kReuseDelay * kGenerations (16 million) further
// variables, while the table stays within the peak live count plus this many slots.
constexpr std::size_t kReuseDelay = 4096;

class VarStore {
public:
    VarStore() = default;
    VarStore(const VarStore&) = delete;
    VarStore& operator=(const VarStore&) = delete;

    // A handle that names no variable and is never handed out again (plug-in IDs, so
    // that no two things share a handle); 0 when the table is full.
    QHANDLE reserveHandle();

    // A new variable of a known type, or 0. With a parent list it becomes that list's
    // last item.
    QHANDLE create(std::uint32_t typeId, const std::string& name, QHANDLE parent = 0);
    // Deletes a variable, its items if it is a list, and unlinks it from its list.
    // Host-held variables are refused.
    bool remove(QHANDLE h);
    // Deletes every item of a list.
    bool clearItems(QHANDLE hList);
    // Copies the value of `src` into `dest` (same type required); lists deep-copy.
    bool copyValue(QHANDLE dest, QHANDLE src);

    // A variable's address stays the same while it lives, so str.GetText and
    // buffer.GetPtr may hand out addresses into it while others are made.
    Variable* find(QHANDLE h);
    const Variable* find(QHANDLE h) const;
    std::size_t size() const { return liveCount_; } // variables alive now

private:
    enum class SlotState : std::uint8_t { Free, Live, Reserved };
    struct Slot {
        Variable var;
        std::uint32_t generation = 0;
        SlotState state = SlotState::Free;
    };
    // Item room a free slot keeps: an argument list's worth.
    static constexpr std::size_t kKeptItemsPerSlot = 8;
    // Slots live in fixed chunks that never move.
    static constexpr std::uint32_t kChunkBits = 8;
    static constexpr std::uint32_t kChunkSize = 1u << kChunkBits;

    Slot& slot(std::uint32_t index) {
        return chunks_[index >> kChunkBits][index & (kChunkSize - 1)];
    }
    const Slot& slot(std::uint32_t index) const {
        return chunks_[index >> kChunkBits][index & (kChunkSize - 1)];
    }
    // A free slot for a new variable or reservation, 0 when the table is full.
    std::uint32_t takeSlot();
    // Resets the slot's variable, so a free slot always holds a default one.
    void freeSlot(std::uint32_t index);
    static void resetVariable(Variable& v);
    QHANDLE handleOf(std::uint32_t index) const {
        return slot(index).generation << kSlotIndexBits | index;
    }
    // A fresh variable in default state and its handle in h; null when the table is full.
    Variable* newVariable(QHANDLE& h);

    // A detached deep copy of `src`'s items, to be attached to a list afterwards.
    std::vector<QHANDLE> cloneItems(QHANDLE src);
    QHANDLE cloneVariable(QHANDLE src);
    void removeTree(QHANDLE h);

    std::vector<std::unique_ptr<Slot[]>> chunks_;
    std::uint32_t slotCount_ = 1;     // slot 0 is never used
    std::deque<std::uint32_t> freed_; // oldest first
    std::size_t liveCount_ = 0;
};

} // namespace devhost

// The host's variable store: the slot table and its free list, creation, deletion with
// list ownership, and value copies.
#include "devhost/hostapi/var_store.h"

namespace devhost {

bool isScalarType(std::uint32_t typeId) {
    switch (typeId) {
    case TYPEID_BOOL:
    case TYPEID_INT:
    case TYPEID_HANDLE:
    case TYPEID_VARREF:
    case TYPEID_NUMBER:
    case TYPEID_FUNC:
        return true;
    default:
        return false;
    }
}

std::size_t scalarWidth(std::uint32_t typeId) {
    if (!isScalarType(typeId)) return 0;
    return typeId == TYPEID_BOOL ? 1 : 4;
}

bool isKnownType(std::uint32_t typeId) {
    return isScalarType(typeId) || typeId == TYPEID_STRING || typeId == TYPEID_BUFFER ||
           typeId == TYPEID_LIST;
}

std::uint32_t VarStore::takeSlot() {
    std::uint32_t index = 0;
    if (freed_.size() > kReuseDelay || (slotCount_ == kMaxSlots && !freed_.empty())) {
        index = freed_.front();
        freed_.pop_front();
        return index;
    }
    if (slotCount_ == kMaxSlots) return 0;
    index = slotCount_++;
    if ((index >> kChunkBits) == chunks_.size()) {
        chunks_.push_back(std::make_unique<Slot[]>(kChunkSize));
    }
    return index;
}

namespace {
// Empties a container; its heap block is given back unless it is at most keep long.
template <typename Container> void emptyKeeping(Container& c, std::size_t keep) {
    if (c.capacity() > keep)
        Container().swap(c);
    else
        c.clear();
}
} // namespace

// Puts a variable back in its default state field by field. Texts and items are given
// back now, not when the slot is reused; only room for the few items of an argument
// list stays, so that the next list made here does not allocate.
void VarStore::resetVariable(Variable& v) {
    v.typeId = 0;
    emptyKeeping(v.name, 0);
    v.bits = 0;
    emptyKeeping(v.text, 0);
    v.itemSize = 1;
    emptyKeeping(v.bytes, 0);
    emptyKeeping(v.items, kKeptItemsPerSlot);
    v.parent = 0;
    v.hostHeld = false;
}

void VarStore::freeSlot(std::uint32_t index) {
    Slot& s = slot(index);
    resetVariable(s.var);
    s.state = SlotState::Free;
    s.generation = (s.generation + 1) % kGenerations;
    freed_.push_back(index);
    --liveCount_;
}

QHANDLE VarStore::reserveHandle() {
    const std::uint32_t index = takeSlot();
    if (index == 0) return 0;
    slot(index).state = SlotState::Reserved;
    return handleOf(index);
}

Variable* VarStore::newVariable(QHANDLE& h) {
    const std::uint32_t index = takeSlot();
    if (index == 0) return nullptr;
    Slot& s = slot(index);
    s.state = SlotState::Live;
    ++liveCount_;
    h = handleOf(index);
    return &s.var;
}

QHANDLE VarStore::create(std::uint32_t typeId, const std::string& name, QHANDLE parent) {
    if (!isKnownType(typeId)) return 0;
    Variable* list = nullptr;
    if (parent != 0) {
        list = find(parent);
        if (!list || list->typeId != TYPEID_LIST) return 0;
    }
    QHANDLE h = 0;
    Variable* v = newVariable(h);
    if (!v) return 0;
    v->typeId = typeId;
    v->name = name;
    v->parent = parent;
    if (list) list->items.push_back(h); // slots never move: list is still valid
    return h;
}

Variable* VarStore::find(QHANDLE h) {
    return const_cast<Variable*>(static_cast<const VarStore*>(this)->find(h));
}

const Variable* VarStore::find(QHANDLE h) const {
    const std::uint32_t index = h & kSlotIndexMask;
    if (index == 0 || index >= slotCount_) return nullptr;
    const Slot& s = slot(index);
    if (s.state != SlotState::Live || s.generation != h >> kSlotIndexBits) return nullptr;
    return &s.var;
}

void VarStore::removeTree(QHANDLE h) {
    Variable* v = find(h);
    if (!v) return;
    std::vector<QHANDLE> items = std::move(v->items);
    freeSlot(h & kSlotIndexMask);
    for (QHANDLE item : items)
        removeTree(item);
}

bool VarStore::remove(QHANDLE h) {
    Variable* v = find(h);
    if (!v || v->hostHeld) return false;
    if (v->parent != 0) {
        if (Variable* list = find(v->parent)) {
            auto& items = list->items;
            for (auto it = items.begin(); it != items.end(); ++it) {
                if (*it == h) {
                    items.erase(it);
                    break;
                }
            }
        }
    }
    removeTree(h);
    return true;
}

bool VarStore::clearItems(QHANDLE hList) {
    Variable* list = find(hList);
    if (!list || list->typeId != TYPEID_LIST) return false;
    std::vector<QHANDLE> items = std::move(list->items);
    list->items.clear();
    for (QHANDLE item : items)
        removeTree(item);
    return true;
}

QHANDLE VarStore::cloneVariable(QHANDLE src) {
    const Variable* from = find(src);
    if (!from) return 0;
    QHANDLE h = 0;
    Variable* copy = newVariable(h);
    if (!copy) return 0;
    copy->typeId = from->typeId;
    copy->name = from->name;
    copy->bits = from->bits;
    copy->text = from->text;
    copy->itemSize = from->itemSize;
    copy->bytes = from->bytes;
    if (from->typeId == TYPEID_LIST) {
        std::vector<QHANDLE> items = cloneItems(src);
        for (QHANDLE item : items)
            find(item)->parent = h;
        copy->items = std::move(items);
    }
    return h;
}

std::vector<QHANDLE> VarStore::cloneItems(QHANDLE src) {
    // Clones are made detached, so src's items do not change while they are made.
    const std::vector<QHANDLE>& sourceItems = find(src)->items;
    std::vector<QHANDLE> copies;
    for (QHANDLE item : sourceItems) {
        QHANDLE copy = cloneVariable(item);
        if (copy != 0) copies.push_back(copy);
    }
    return copies;
}

bool VarStore::copyValue(QHANDLE dest, QHANDLE src) {
    Variable* to = find(dest);
    const Variable* from = find(src);
    if (!to || !from || to->typeId != from->typeId || to->hostHeld) return false;
    if (dest == src) return true;
    switch (from->typeId) {
    case TYPEID_STRING:
        to->text = from->text;
        return true;
    case TYPEID_BUFFER:
        to->itemSize = from->itemSize;
        to->bytes = from->bytes;
        return true;
    case TYPEID_LIST: {
        // Clone first: dest may lie inside src or src inside dest.
        std::vector<QHANDLE> copies = cloneItems(src);
        clearItems(dest);
        Variable* list = find(dest);
        if (!list) { // defensive: clearing a list never deletes the list itself
            for (QHANDLE c : copies)
                removeTree(c);
            return false;
        }
        for (QHANDLE c : copies)
            find(c)->parent = dest;
        list->items = std::move(copies);
        return true;
    }
    default:
        to->bits = from->bits;
        return true;
    }
}

} // namespace devhost

// The host's variable store: creation, deletion with list ownership, and value copies.
#include "devhost/hostapi/var_store.h"

#include <limits>

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

QHANDLE VarStore::allocateHandle() {
    if (lastHandle_ == std::numeric_limits<QHANDLE>::max()) return 0;
    return ++lastHandle_;
}

QHANDLE VarStore::create(std::uint32_t typeId, const std::string& name, QHANDLE parent) {
    if (!isKnownType(typeId)) return 0;
    Variable* list = nullptr;
    if (parent != 0) {
        list = find(parent);
        if (!list || list->typeId != TYPEID_LIST) return 0;
    }
    QHANDLE h = allocateHandle();
    if (h == 0) return 0;
    Variable& v = vars_[h];
    v.typeId = typeId;
    v.name = name;
    v.parent = parent;
    if (list) list->items.push_back(h);
    return h;
}

Variable* VarStore::find(QHANDLE h) {
    auto it = vars_.find(h);
    return it == vars_.end() ? nullptr : &it->second;
}

const Variable* VarStore::find(QHANDLE h) const {
    auto it = vars_.find(h);
    return it == vars_.end() ? nullptr : &it->second;
}

void VarStore::removeTree(QHANDLE h) {
    auto it = vars_.find(h);
    if (it == vars_.end()) return;
    std::vector<QHANDLE> items = std::move(it->second.items);
    vars_.erase(it);
    for (QHANDLE item : items)
        removeTree(item);
}

bool VarStore::remove(QHANDLE h, bool force) {
    Variable* v = find(h);
    if (!v || (v->hostHeld && !force)) return false;
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
    QHANDLE h = allocateHandle();
    if (h == 0) return 0;
    Variable copy = *from;
    copy.parent = 0;
    copy.hostHeld = false;
    copy.items.clear();
    vars_[h] = std::move(copy);
    if (vars_[h].typeId == TYPEID_LIST) {
        std::vector<QHANDLE> items = cloneItems(src);
        for (QHANDLE item : items)
            find(item)->parent = h;
        vars_[h].items = std::move(items);
    }
    return h;
}

std::vector<QHANDLE> VarStore::cloneItems(QHANDLE src) {
    std::vector<QHANDLE> sourceItems = find(src)->items; // copied: the map may grow
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

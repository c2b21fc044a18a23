// The C entry points a plug-in reaches through the lookup routine. Each one finds the
// current HostApi, logs the call, counts it for fault injection, checks the caller's
// hID and then does its work in HostApi::Impl, strictly: a handle that names nothing,
// a type that is not the variable's, or a missing text fails with the function's
// failure value (0, false or null) instead of guessing.
//
// The 109 bound names that no plug-in of this API calls point to stubs. Their argument
// layout is unknown here, so they are plain C functions (the caller cleans the stack)
// that read only hID, report "<name>: not supported by this host" and return 0. They
// must never be called through a stdcall pointer; they exist so that the lookup answers
// every name a plug-in binds.
#include "devhost/hostapi/call_format.h"
#include "devhost/hostapi/host_api_impl.h"

#include <cstring>
#include <unordered_map>
#include <utility>

namespace devhost {

namespace {

// How an argument is written in the log, chosen by its type: numbers and handles,
// texts, and addresses.
std::string logArg(std::uint32_t value) {
    return formatNumber(value);
}
std::string logArg(const char* text) {
    return formatText(text);
}
std::string logArg(const void* p) {
    return formatPointer(p);
}

// One plug-in call in progress: logged on entry (so nested calls made while it runs
// follow it in the log), its result filled in when it returns. The arguments and the
// result are formatted only while the log is on.
class Entry {
public:
    template <typename... Args> Entry(const char* name, QHANDLE hID, const Args&... args) {
        impl_ = currentHostImpl();
        if (!impl_) return;
        if (impl_->logging) slot_ = impl_->beginCall(name, {logArg(args)...});
        bool injectedFailure = impl_->callShouldFail(name);
        admitted_ = !injectedFailure && impl_->plugins.count(hID) != 0;
    }

    bool admitted() const { return admitted_; }
    HostApi::Impl& impl() { return *impl_; }
    HostApi::Impl* implOrNull() { return impl_; }

    QBOOL finish(bool r) {
        if (slot_.logged) impl_->endCall(slot_, formatBool(r));
        return r ? 1 : 0;
    }
    std::uint32_t finishNumber(std::uint32_t r) {
        if (slot_.logged) impl_->endCall(slot_, formatNumber(r));
        return r;
    }
    const char* finishText(const char* r) {
        if (slot_.logged) impl_->endCall(slot_, formatText(r));
        return r;
    }
    void* finishPointer(void* r) {
        if (slot_.logged) impl_->endCall(slot_, formatPointer(r));
        return r;
    }

private:
    HostApi::Impl* impl_ = nullptr;
    bool admitted_ = false;
    HostApi::Impl::LogSlot slot_;
};

Variable* typed(Entry& e, QHANDLE h, std::uint32_t typeId) {
    Variable* v = e.impl().vars.find(h);
    return v && v->typeId == typeId ? v : nullptr;
}

extern "C" {

QBOOL QRV_CALL appReportError(QHANDLE hID, const char* lpText) {
    Entry e("app.ReportError", hID, lpText);
    if (!e.admitted() || !lpText) return e.finish(false);
    e.impl().report(lpText);
    return e.finish(true);
}

QHANDLE QRV_CALL varCreate(QHANDLE hID, std::uint32_t TypeID, const char* lpName) {
    Entry e("var.Create", hID, TypeID, lpName);
    if (!e.admitted() || !lpName || !*lpName) return e.finishNumber(0);
    return e.finishNumber(e.impl().vars.create(TypeID, lpName));
}

QHANDLE QRV_CALL varCreateTemp(QHANDLE hID, std::uint32_t TypeID) {
    Entry e("var.CreateTemp", hID, TypeID);
    if (!e.admitted()) return e.finishNumber(0);
    return e.finishNumber(e.impl().vars.create(TypeID, {}));
}

QBOOL QRV_CALL varDelete(QHANDLE hID, QHANDLE hVar) {
    Entry e("var.Delete", hID, hVar);
    return e.finish(e.admitted() && e.impl().vars.remove(hVar));
}

QBOOL QRV_CALL varIsType(QHANDLE hID, QHANDLE hVar, std::uint32_t TypeID) {
    Entry e("var.IsType", hID, hVar, TypeID);
    return e.finish(e.admitted() && typed(e, hVar, TypeID));
}

QBOOL QRV_CALL varGetValueEx(QHANDLE hID, QHANDLE hVar, std::uint32_t TypeID, void* pValue) {
    Entry e("var.GetValueEx", hID, hVar, TypeID, pValue);
    if (!e.admitted() || !pValue || !isScalarType(TypeID)) return e.finish(false);
    Variable* v = typed(e, hVar, TypeID);
    if (!v) return e.finish(false);
    if (TypeID == TYPEID_BOOL) {
        *static_cast<QBOOL*>(pValue) = v->bits != 0 ? 1 : 0;
    } else {
        std::memcpy(pValue, &v->bits, sizeof v->bits);
    }
    return e.finish(true);
}

QBOOL QRV_CALL varSetValueEx(QHANDLE hID, QHANDLE hVar, std::uint32_t TypeID, const void* pValue) {
    Entry e("var.SetValueEx", hID, hVar, TypeID, pValue);
    if (!e.admitted() || !pValue || !isScalarType(TypeID) || !typed(e, hVar, TypeID)) {
        return e.finish(false);
    }
    std::uint32_t bits = 0;
    if (TypeID == TYPEID_BOOL) {
        bits = *static_cast<const QBOOL*>(pValue);
    } else {
        std::memcpy(&bits, pValue, sizeof bits);
    }
    return e.finish(e.impl().setScalarBits(hVar, bits));
}

QBOOL QRV_CALL varCopyValue(QHANDLE hID, QHANDLE hDest, QHANDLE hSrc) {
    Entry e("var.CopyValue", hID, hDest, hSrc);
    return e.finish(e.admitted() && e.impl().vars.copyValue(hDest, hSrc));
}

const char* QRV_CALL strGetText(QHANDLE hID, QHANDLE hStr) {
    Entry e("str.GetText", hID, hStr);
    if (!e.admitted()) return e.finishText(nullptr);
    Variable* v = typed(e, hStr, TYPEID_STRING);
    return e.finishText(v ? v->text.c_str() : nullptr);
}

QBOOL QRV_CALL strSetText(QHANDLE hID, QHANDLE hStr, const char* lpText) {
    Entry e("str.SetText", hID, hStr, lpText);
    if (!e.admitted() || !lpText) return e.finish(false);
    Variable* v = typed(e, hStr, TYPEID_STRING);
    if (!v) return e.finish(false);
    v->text = lpText;
    return e.finish(true);
}

std::uint32_t QRV_CALL listNItems(QHANDLE hID, QHANDLE hList) {
    Entry e("list.nItems", hID, hList);
    Variable* v = e.admitted() ? typed(e, hList, TYPEID_LIST) : nullptr;
    return e.finishNumber(v ? static_cast<std::uint32_t>(v->items.size()) : 0);
}

QHANDLE QRV_CALL listCreateItem(QHANDLE hID, QHANDLE hList, std::uint32_t TypeID,
                                const char* lpName) {
    Entry e("list.CreateItem", hID, hList, TypeID, lpName);
    if (!e.admitted() || !lpName) return e.finishNumber(0);
    return e.finishNumber(e.impl().vars.create(TypeID, lpName, hList));
}

QHANDLE QRV_CALL listGetItemI(QHANDLE hID, QHANDLE hList, std::uint32_t index) {
    Entry e("list.GetItemI", hID, hList, index);
    Variable* v = e.admitted() ? typed(e, hList, TYPEID_LIST) : nullptr;
    return e.finishNumber(v && index < v->items.size() ? v->items[index] : 0);
}

QHANDLE QRV_CALL listGetItemA(QHANDLE hID, QHANDLE hList, const char* lpName) {
    Entry e("list.GetItemA", hID, hList, lpName);
    Variable* v = e.admitted() && lpName ? typed(e, hList, TYPEID_LIST) : nullptr;
    if (!v) return e.finishNumber(0);
    for (QHANDLE item : v->items) {
        const Variable* iv = e.impl().vars.find(item);
        if (iv && iv->name == lpName) return e.finishNumber(item);
    }
    return e.finishNumber(0);
}

QBOOL QRV_CALL listDelAll(QHANDLE hID, QHANDLE hList) {
    Entry e("list.DelAll", hID, hList);
    return e.finish(e.admitted() && e.impl().vars.clearItems(hList));
}

std::uint32_t QRV_CALL bufferNItems(QHANDLE hID, QHANDLE hBuf) {
    Entry e("buffer.nItems", hID, hBuf);
    Variable* v = e.admitted() ? typed(e, hBuf, TYPEID_BUFFER) : nullptr;
    if (!v || v->itemSize == 0) return e.finishNumber(0);
    return e.finishNumber(static_cast<std::uint32_t>(v->bytes.size() / v->itemSize));
}

std::uint32_t QRV_CALL bufferItemSize(QHANDLE hID, QHANDLE hBuf) {
    Entry e("buffer.ItemSize", hID, hBuf);
    Variable* v = e.admitted() ? typed(e, hBuf, TYPEID_BUFFER) : nullptr;
    return e.finishNumber(v ? v->itemSize : 0);
}

void* QRV_CALL bufferGetPtr(QHANDLE hID, QHANDLE hBuf) {
    Entry e("buffer.GetPtr", hID, hBuf);
    Variable* v = e.admitted() ? typed(e, hBuf, TYPEID_BUFFER) : nullptr;
    return e.finishPointer(v && !v->bytes.empty() ? v->bytes.data() : nullptr);
}

QHANDLE QRV_CALL qrvfuncLoadFunc(QHANDLE hID, const char* lpExportName, std::uint32_t Code,
                                 QHANDLE hArgListPrototype) {
    Entry e("qrvfunc.LoadFunc", hID, lpExportName, Code, hArgListPrototype);
    if (!e.admitted() || !lpExportName || !*lpExportName) return e.finishNumber(0);
    HostApi::Impl& impl = e.impl();
    FunctionEntry entry;
    entry.exportFn = reinterpret_cast<QrvExportFn>(impl.resolveExport(hID, lpExportName));
    if (!entry.exportFn) return e.finishNumber(0);
    if (!impl.readPrototype(hArgListPrototype, entry.prototype)) return e.finishNumber(0);
    entry.fullName = impl.plugins[hID].baseName + "." + lpExportName;
    entry.returnTypeId = TYPEID_BOOL;
    entry.isPluginExport = true;
    // The handle given out is the entry's own, which the host keeps: a plug-in drops
    // its registration handles without deleting them.
    const FunctionEntry* registered = impl.registerEntry(std::move(entry));
    return e.finishNumber(registered ? registered->ownHandle : 0);
}

QHANDLE QRV_CALL qrvfuncGetFunc(QHANDLE hID, const char* lpFuncName) {
    Entry e("qrvfunc.GetFunc", hID, lpFuncName);
    if (!e.admitted() || !lpFuncName) return e.finishNumber(0);
    // The entry's own handle: a look-up makes no variable, and a plug-in that never
    // deletes the handles it looks up leaks nothing.
    const FunctionEntry* f = e.impl().registry.byName(lpFuncName);
    return e.finishNumber(f ? f->ownHandle : 0);
}

std::uint32_t QRV_CALL qrvfuncGetReturnTypeID(QHANDLE hID, QHANDLE hFunc) {
    Entry e("qrvfunc.GetReturnTypeID", hID, hFunc);
    const FunctionEntry* f = e.admitted() ? e.impl().functionOf(hFunc) : nullptr;
    return e.finishNumber(f ? f->returnTypeId : 0);
}

QBOOL QRV_CALL qrvfuncGetArgListPrototype(QHANDLE hID, QHANDLE hFunc, QHANDLE hList) {
    Entry e("qrvfunc.GetArgListPrototype", hID, hFunc, hList);
    const FunctionEntry* f = e.admitted() ? e.impl().functionOf(hFunc) : nullptr;
    if (!f || !typed(e, hList, TYPEID_LIST)) return e.finish(false);
    VarStore& vars = e.impl().vars;
    vars.clearItems(hList);
    for (const ArgSpec& arg : f->prototype) { // making variables changes no entry
        if (vars.create(arg.typeId, arg.name, hList) == 0) return e.finish(false);
    }
    return e.finish(true);
}

QBOOL QRV_CALL qrvfuncExecute2(QHANDLE hID, QHANDLE hFunc, QHANDLE hArgList, QHANDLE* phRetVal) {
    Entry e("qrvfunc.Execute2", hID, hFunc, hArgList, phRetVal);
    if (!e.admitted()) return e.finish(false);
    HostApi::Impl& impl = e.impl();
    return e.finish(impl.execute(hFunc, hArgList, phRetVal));
}

QBOOL QRV_CALL menuInsertItemEx(QHANDLE hID, const char* lpExportName, const char* lpMenuText,
                                std::uint32_t Reserved) {
    Entry e("menu.InsertItemEx", hID, lpExportName, lpMenuText, Reserved);
    if (!e.admitted() || !lpExportName || !*lpExportName || !lpMenuText || !*lpMenuText) {
        return e.finish(false);
    }
    if (!e.impl().resolveExport(hID, lpExportName)) return e.finish(false);
    e.impl().menu.push_back({hID, lpExportName, lpMenuText});
    return e.finish(true);
}

void* QRV_CALL hostLookup(QHANDLE hID, const char* lpFuncName) {
    HostApi* api = HostApi::current();
    if (!api) return nullptr;
    HostApi::Impl& impl = *currentHostImpl();
    HostApi::Impl::LogSlot slot;
    if (impl.logging) slot = impl.beginCall("lookup", {formatText(lpFuncName)});
    void* address = nullptr;
    if (!impl.callShouldFail("lookup") && lpFuncName) address = api->lookup(hID, lpFuncName);
    if (slot.logged) impl.endCall(slot, formatPointer(address));
    return address;
}

} // extern "C"

// ---- the stubs ---------------------------------------------------------------------

QARG unsupportedCall(std::size_t nameIndex, QHANDLE hID) {
    const std::string& name = hostApiNames()[nameIndex];
    Entry e(name.c_str(), hID);
    if (HostApi::Impl* impl = e.implOrNull()) impl->report(name + ": not supported by this host");
    return e.finishNumber(0);
}

template <std::size_t I> QARG unsupportedEntry(QHANDLE hID) {
    return unsupportedCall(I, hID);
}

constexpr std::size_t kBoundNameCount = kQrvApiFunctionCount;

template <std::size_t... I> std::vector<void*> makeStubs(std::index_sequence<I...>) {
    return {reinterpret_cast<void*>(&unsupportedEntry<I>)...};
}

const std::unordered_map<std::string, void*>& entryPointTable() {
    static const std::unordered_map<std::string, void*> table = [] {
        const std::unordered_map<std::string, void*> implemented = {
            {"app.ReportError", reinterpret_cast<void*>(&appReportError)},
            {"var.Create", reinterpret_cast<void*>(&varCreate)},
            {"var.CreateTemp", reinterpret_cast<void*>(&varCreateTemp)},
            {"var.Delete", reinterpret_cast<void*>(&varDelete)},
            {"var.IsType", reinterpret_cast<void*>(&varIsType)},
            {"var.GetValueEx", reinterpret_cast<void*>(&varGetValueEx)},
            {"var.SetValueEx", reinterpret_cast<void*>(&varSetValueEx)},
            {"var.CopyValue", reinterpret_cast<void*>(&varCopyValue)},
            {"str.GetText", reinterpret_cast<void*>(&strGetText)},
            {"str.SetText", reinterpret_cast<void*>(&strSetText)},
            {"list.nItems", reinterpret_cast<void*>(&listNItems)},
            {"list.CreateItem", reinterpret_cast<void*>(&listCreateItem)},
            {"list.GetItemI", reinterpret_cast<void*>(&listGetItemI)},
            {"list.GetItemA", reinterpret_cast<void*>(&listGetItemA)},
            {"list.DelAll", reinterpret_cast<void*>(&listDelAll)},
            {"buffer.nItems", reinterpret_cast<void*>(&bufferNItems)},
            {"buffer.ItemSize", reinterpret_cast<void*>(&bufferItemSize)},
            {"buffer.GetPtr", reinterpret_cast<void*>(&bufferGetPtr)},
            {"qrvfunc.LoadFunc", reinterpret_cast<void*>(&qrvfuncLoadFunc)},
            {"qrvfunc.GetFunc", reinterpret_cast<void*>(&qrvfuncGetFunc)},
            {"qrvfunc.GetReturnTypeID", reinterpret_cast<void*>(&qrvfuncGetReturnTypeID)},
            {"qrvfunc.GetArgListPrototype", reinterpret_cast<void*>(&qrvfuncGetArgListPrototype)},
            {"qrvfunc.Execute2", reinterpret_cast<void*>(&qrvfuncExecute2)},
            {"menu.InsertItemEx", reinterpret_cast<void*>(&menuInsertItemEx)},
        };
        const std::vector<void*> stubs = makeStubs(std::make_index_sequence<kBoundNameCount>{});
        std::unordered_map<std::string, void*> all;
        const std::vector<std::string>& names = hostApiNames();
        for (std::size_t i = 0; i < names.size() && i < stubs.size(); ++i) {
            auto it = implemented.find(names[i]);
            all[names[i]] = it != implemented.end() ? it->second : stubs[i];
        }
        return all;
    }();
    return table;
}

} // namespace

void* hostEntryPoint(const std::string& name) {
    const auto& table = entryPointTable();
    auto it = table.find(name);
    return it == table.end() ? nullptr : it->second;
}

QrvLookupFn HostApi::lookupRoutine() {
    return &hostLookup;
}

} // namespace devhost

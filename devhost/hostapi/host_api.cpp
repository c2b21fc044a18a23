// HostApi: the host side of the plug-in API. The methods here are the host's own;
// they neither log nor fail on purpose. What plug-ins call comes
// through entry_points.cpp, which checks, logs and injects faults before it lands in
// the same Impl.
#include "devhost/hostapi/app_icon.h"
#include "devhost/hostapi/host_api_impl.h"

#include <algorithm>
#include <limits>

namespace devhost {

namespace {

// Live instances, newest last: the newest is current, and when it goes the one made
// before it is current again.
std::vector<HostApi*>& liveInstances() {
    static std::vector<HostApi*> instances;
    return instances;
}

constexpr const char* kGetIconName = "application.GetIcon";

// The argument list a function is run with: the caller's, or an empty temporary one
// made for the run and deleted after it (unless the function deleted it itself).
class TemporaryList {
public:
    TemporaryList(VarStore& vars, QHANDLE given) : vars_(vars), handle_(given) {
        if (handle_ == 0) handle_ = made_ = vars_.create(TYPEID_LIST, {});
    }
    ~TemporaryList() {
        if (made_ != 0) vars_.remove(made_);
    }
    TemporaryList(const TemporaryList&) = delete;
    TemporaryList& operator=(const TemporaryList&) = delete;
    QHANDLE handle() const { return handle_; }

private:
    VarStore& vars_;
    QHANDLE handle_;
    QHANDLE made_ = 0;
};

} // namespace

// ---- Impl ------------------------------------------------------------------------

bool HostApi::Impl::callShouldFail(std::string_view name) {
    if (failingCalls.empty()) return false;
    auto it = failingCalls.find(name);
    if (it == failingCalls.end()) return false;
    FailCounter& c = it->second;
    ++c.calls;
    return c.failFrom != 0 && c.calls >= c.failFrom;
}

bool HostApi::Impl::runShouldFail(std::string_view fullName) {
    if (failingRuns.empty()) return false;
    auto it = failingRuns.find(fullName);
    if (it == failingRuns.end()) return false;
    FailCounter& c = it->second;
    ++c.calls;
    return c.failFrom != 0 && c.calls >= c.failFrom;
}

HostApi::Impl::LogSlot HostApi::Impl::beginCall(const char* name, std::vector<std::string> args) {
    LogSlot slot;
    if (log.size() >= kMaxLoggedCalls) {
        ++droppedCalls;
        return slot;
    }
    slot = {true, log.size(), logEpoch};
    log.push_back({name, std::move(args), {}});
    return slot;
}

void HostApi::Impl::endCall(const LogSlot& slot, std::string result) {
    if (!slot.logged || slot.epoch != logEpoch || slot.index >= log.size()) return;
    log[slot.index].result = std::move(result);
}

void HostApi::Impl::report(const std::string& text) {
    reports.push_back(text);
    if (reportSink) reportSink(text);
}

const FunctionEntry* HostApi::Impl::functionOf(QHANDLE hFunc) const {
    const Variable* v = vars.find(hFunc);
    if (!v || v->typeId != TYPEID_FUNC) return nullptr;
    return registry.byOwnHandle(v->bits);
}

const FunctionEntry* HostApi::Impl::registerEntry(FunctionEntry entry) {
    if (const FunctionEntry* existing = registry.byName(entry.fullName)) {
        return &registry.put(std::move(entry), existing->ownHandle);
    }
    QHANDLE own = vars.create(TYPEID_FUNC, entry.fullName);
    if (own == 0) return nullptr;
    Variable* v = vars.find(own);
    v->bits = own;
    v->hostHeld = true;
    return &registry.put(std::move(entry), own);
}

bool HostApi::Impl::setScalarBits(QHANDLE h, std::uint32_t bits) {
    Variable* v = vars.find(h);
    if (!v || !isScalarType(v->typeId) || v->hostHeld) return false;
    switch (v->typeId) {
    case TYPEID_BOOL:
        bits = bits != 0 ? 1 : 0;
        break;
    case TYPEID_VARREF:
        if (bits != 0 && !vars.find(bits)) return false;
        break;
    case TYPEID_FUNC:
        if (bits != 0) {
            const FunctionEntry* f = functionOf(bits);
            if (!f) return false;
            bits = f->ownHandle;
        }
        break;
    default:
        break;
    }
    vars.find(h)->bits = bits;
    return true;
}

bool HostApi::Impl::readPrototype(QHANDLE hList, std::vector<ArgSpec>& out) const {
    out.clear();
    if (hList == 0) return true;
    const Variable* list = vars.find(hList);
    if (!list || list->typeId != TYPEID_LIST) return false;
    for (QHANDLE item : list->items) {
        const Variable* v = vars.find(item);
        if (v) out.push_back({v->name, v->typeId});
    }
    return true;
}

void* HostApi::Impl::resolveExport(QHANDLE pluginId, const char* exportName) const {
    auto it = plugins.find(pluginId);
    if (it == plugins.end() || !it->second.resolveExport) return nullptr;
    return it->second.resolveExport(exportName);
}

bool HostApi::Impl::callExport(QrvExportFn fn, QHANDLE hArgList, QBOOL& result) {
    if (!fn) return false;
    TemporaryList args(vars, hArgList);
    if (args.handle() == 0) return false;
    result = fn(0, args.handle());
    return true;
}

bool HostApi::Impl::execute(QHANDLE hFunc, QHANDLE hArgList, QHANDLE* phRetVal) {
    const Variable* funcVar = vars.find(hFunc);
    if (!funcVar || funcVar->typeId != TYPEID_FUNC) return false;
    // Held for the run: the function may register, replace or run others meanwhile.
    const FunctionRegistry::EntryPtr held = registry.sharedByOwnHandle(funcVar->bits);
    if (!held) return false;
    const FunctionEntry& f = *held;

    const Variable* args = hArgList ? vars.find(hArgList) : nullptr;
    if (hArgList != 0 && (!args || args->typeId != TYPEID_LIST)) return false;
    std::size_t given = args ? args->items.size() : 0;
    if (given != f.prototype.size()) return false;
    for (std::size_t i = 0; i < given; ++i) {
        const Variable* item = vars.find(args->items[i]);
        if (!item || item->typeId != f.prototype[i].typeId) return false;
    }

    QHANDLE hRet = phRetVal ? *phRetVal : 0;
    if (hRet != 0) {
        const Variable* ret = vars.find(hRet);
        if (!ret || ret->typeId != f.returnTypeId) return false;
    }
    if (runShouldFail(f.fullName)) return false;

    if (!f.isPluginExport) {
        if (!f.fn) return false;
        TemporaryList args(vars, hArgList);
        return args.handle() != 0 && f.fn(args.handle(), hRet);
    }

    QBOOL result = 0;
    if (!callExport(f.exportFn, hArgList, result)) return false;
    if (hRet != 0 && vars.find(hRet)) setScalarBits(hRet, result);
    return true;
}

// ---- HostApi ---------------------------------------------------------------------

HostApi::HostApi() : impl_(std::make_unique<Impl>()) {
    liveInstances().push_back(this);
    registerHostFunction(kGetIconName, {}, TYPEID_HANDLE, [this](QHANDLE, QHANDLE hRetVal) {
        if (hRetVal == 0) return true;
        return impl_->setScalarBits(hRetVal, applicationIconHandle());
    });
}

HostApi::~HostApi() {
    auto& live = liveInstances();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

HostApi* HostApi::current() {
    const auto& live = liveInstances();
    return live.empty() ? nullptr : live.back();
}

HostApi::Impl* currentHostImpl() {
    HostApi* api = HostApi::current();
    return api ? &api->impl() : nullptr;
}

QHANDLE HostApi::addPlugin(const std::string& baseName,
                           std::function<void*(const char*)> resolveExport) {
    QHANDLE id = impl_->vars.reserveHandle();
    if (id != 0) impl_->plugins[id] = {baseName, std::move(resolveExport)};
    return id;
}

void* HostApi::lookup(QHANDLE hID, const std::string& name) {
    if (!impl_->plugins.count(hID) || impl_->removedNames.count(name) != 0) return nullptr;
    return hostEntryPoint(name);
}

QHANDLE HostApi::registerHostFunction(const std::string& fullName, std::vector<ArgSpec> prototype,
                                      std::uint32_t returnTypeId, HostFunction fn) {
    if (fullName.empty() || !fn) return 0;
    FunctionEntry entry;
    entry.fullName = fullName;
    entry.prototype = std::move(prototype);
    entry.returnTypeId = returnTypeId;
    entry.fn = std::move(fn);
    const FunctionEntry* registered = impl_->registerEntry(std::move(entry));
    return registered ? registered->ownHandle : 0;
}

bool HostApi::runRegistered(QHANDLE hFunc, QHANDLE hArgList, QHANDLE* phRetVal) {
    return impl_->execute(hFunc, hArgList, phRetVal);
}

QHANDLE HostApi::functionHandleOf(QHANDLE hFuncVar) const {
    const FunctionEntry* f = impl_->functionOf(hFuncVar);
    return f ? f->ownHandle : 0;
}

QHANDLE HostApi::findFunction(const std::string& fullName) const {
    const FunctionEntry* f = impl_->registry.byName(fullName);
    return f ? f->ownHandle : 0;
}

std::vector<HostApi::RegisteredFunction> HostApi::registeredFunctions() const {
    std::vector<RegisteredFunction> out;
    for (const FunctionRegistry::EntryPtr& f : impl_->registry.entries()) {
        out.push_back({f->fullName, f->prototype, f->returnTypeId, f->isPluginExport});
    }
    return out;
}

const std::vector<HostApi::MenuEntry>& HostApi::menuEntries() const {
    return impl_->menu;
}

bool HostApi::chooseMenuEntry(const std::string& text) {
    for (const MenuEntry& e : impl_->menu) {
        if (e.text != text) continue;
        auto fn =
            reinterpret_cast<QrvExportFn>(impl_->resolveExport(e.pluginId, e.exportName.c_str()));
        QBOOL result = 0; // e is not used after this: the export may add menu entries
        return impl_->callExport(fn, 0, result) && result != 0;
    }
    return false;
}

const std::vector<std::string>& HostApi::reports() const {
    return impl_->reports;
}
void HostApi::clearReports() {
    impl_->reports.clear();
}
void HostApi::setReportSink(std::function<void(const std::string&)> sink) {
    impl_->reportSink = std::move(sink);
}

QHANDLE HostApi::createVar(std::uint32_t typeId, const std::string& name) {
    return impl_->vars.create(typeId, name);
}

bool HostApi::deleteVar(QHANDLE h) {
    return impl_->vars.remove(h);
}
bool HostApi::exists(QHANDLE h) const {
    return impl_->vars.find(h) != nullptr;
}

std::uint32_t HostApi::typeOf(QHANDLE h) const {
    const Variable* v = impl_->vars.find(h);
    return v ? v->typeId : 0;
}

std::string HostApi::nameOf(QHANDLE h) const {
    const Variable* v = impl_->vars.find(h);
    return v ? v->name : std::string();
}

std::size_t HostApi::liveVariableCount() const {
    return impl_->vars.size();
}

bool HostApi::setScalar(QHANDLE h, std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::uint32_t>::max()) {
        return false;
    }
    return impl_->setScalarBits(h, static_cast<std::uint32_t>(value));
}

std::int64_t HostApi::scalar(QHANDLE h) const {
    const Variable* v = impl_->vars.find(h);
    if (!v || !isScalarType(v->typeId)) return 0;
    if (v->typeId == TYPEID_INT || v->typeId == TYPEID_NUMBER) {
        return static_cast<std::int32_t>(v->bits);
    }
    return v->bits;
}

bool HostApi::setText(QHANDLE h, const std::string& text) {
    Variable* v = impl_->vars.find(h);
    if (!v || v->typeId != TYPEID_STRING) return false;
    v->text = text;
    return true;
}

const std::string& HostApi::text(QHANDLE h) const {
    static const std::string none;
    const Variable* v = impl_->vars.find(h);
    return v && v->typeId == TYPEID_STRING ? v->text : none;
}

bool HostApi::setBuffer(QHANDLE h, std::uint32_t itemSize, const std::vector<std::uint8_t>& bytes) {
    Variable* v = impl_->vars.find(h);
    if (!v || v->typeId != TYPEID_BUFFER || itemSize == 0 || bytes.size() % itemSize != 0) {
        return false;
    }
    v->itemSize = itemSize;
    v->bytes = bytes;
    return true;
}

const std::vector<std::uint8_t>& HostApi::bufferBytes(QHANDLE h) const {
    static const std::vector<std::uint8_t> none;
    const Variable* v = impl_->vars.find(h);
    return v && v->typeId == TYPEID_BUFFER ? v->bytes : none;
}

QHANDLE HostApi::addItem(QHANDLE hList, std::uint32_t typeId, const std::string& name) {
    return impl_->vars.create(typeId, name, hList);
}

const std::vector<QHANDLE>& HostApi::items(QHANDLE hList) const {
    static const std::vector<QHANDLE> none;
    const Variable* v = impl_->vars.find(hList);
    return v && v->typeId == TYPEID_LIST ? v->items : none;
}

} // namespace devhost

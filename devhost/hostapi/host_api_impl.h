// The inside of HostApi, shared by its methods and by the C entry points that plug-ins
// call: the variable store, plug-ins, registry, menu, reports, fault injection and the
// call log. Everything runs on the host's one UI thread; nothing here locks.
#pragma once

#include "devhost/hostapi/function_registry.h"
#include "devhost/hostapi/host_api.h"
#include "devhost/hostapi/var_store.h"

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace devhost {

// The most calls the log keeps; later ones are counted, not kept, until it is cleared.
constexpr std::size_t kMaxLoggedCalls = 1000000;

struct HostApi::Impl {
    struct Plugin {
        std::string baseName;
        std::function<void*(const char*)> resolveExport;
    };
    // "Fail from the n-th call on": n counted from when it was set, 0 = never.
    struct FailCounter {
        unsigned failFrom = 0;
        unsigned calls = 0;
    };

    VarStore vars;
    std::map<QHANDLE, Plugin> plugins;
    FunctionRegistry registry;
    std::vector<MenuEntry> menu;
    std::vector<std::string> reports;
    std::function<void(const std::string&)> reportSink;

    // Compared with std::less<> so that a name given as a C text finds its entry uncopied.
    std::set<std::string, std::less<>> removedNames;
    std::map<std::string, FailCounter, std::less<>> failingCalls;
    std::map<std::string, FailCounter, std::less<>> failingRuns;
    std::vector<HostCall> log;
    bool logging = true; // nothing is formatted for the log while this is off
    // Bumped when the log is cleared, so a call that was logged before knows its
    // entry is gone.
    std::uint64_t logEpoch = 0;
    std::size_t droppedCalls = 0; // not logged because the log was full

    // Where a call in progress was logged, so its result can be filled in on return.
    struct LogSlot {
        bool logged = false;
        std::size_t index = 0;
        std::uint64_t epoch = 0;
    };
    // Only to be called while logging: the caller formats the arguments for it.
    LogSlot beginCall(const char* name, std::vector<std::string> args);
    void endCall(const LogSlot& slot, std::string result);

    // Counts one call of a host API function; true when it must fail.
    bool callShouldFail(std::string_view name);
    bool runShouldFail(std::string_view fullName);
    void report(const std::string& text);

    // The function entry a function variable refers to, or null.
    const FunctionEntry* functionOf(QHANDLE hFunc) const;
    // Registers an entry, making its own function variable when it is new.
    const FunctionEntry* registerEntry(FunctionEntry entry);
    // Stores a scalar's raw bits: BOOL becomes 0 or 1, a VARREF must be 0 or name a
    // variable, a FUNC must be 0 or a function variable (it then holds the entry's own
    // handle). False for non-scalars and refused values.
    bool setScalarBits(QHANDLE h, std::uint32_t bits);
    // Reads a prototype list into argument specs; false when it is not a list.
    bool readPrototype(QHANDLE hList, std::vector<ArgSpec>& out) const;
    // Runs a registered function as qrvfunc.Execute2 does: checks the argument list
    // against the prototype and the return variable against the result type.
    bool execute(QHANDLE hFunc, QHANDLE hArgList, QHANDLE* phRetVal);
    // Calls a plug-in export as the host does: export(0, hArgList), with an empty
    // temporary list when no list is given.
    bool callExport(QrvExportFn fn, QHANDLE hArgList, QBOOL& result);
    void* resolveExport(QHANDLE pluginId, const char* exportName) const;
};

// The current HostApi's inside, or null when there is none.
HostApi::Impl* currentHostImpl();

// The address the lookup answers for a name, ignoring removal (null for unknown names).
void* hostEntryPoint(const std::string& name);

} // namespace devhost

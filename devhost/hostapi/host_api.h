// The development host's plug-in API: typed host variables, lists, strings and
// buffers, the function registry, menu entries and error reports, reached by a
// plug-in through the lookup routine exactly as the real host's. Its test bench
// (test_bench.h, reached through bench()) withholds names, makes host functions fail
// and logs every call a plug-in makes.
//
// One HostApi is current per process (the C entry points that plug-ins call find it
// there); it is made current on construction, and on destruction the one made before
// it becomes current again. All of it runs on the host's one UI thread.
//
// Functions in the registry: each entry has a function variable of its own (type 510)
// that nobody can delete or overwrite. A host owns the function variables it hands out:
// registerHostFunction, findFunction, qrvfunc.LoadFunc and qrvfunc.GetFunc all give
// that same handle, every time, so looking a function up costs no variable. A plug-in
// may still make function variables of its own (var.CreateTemp of type 510, then
// var.SetValueEx) and delete those. Re-registering a name replaces the entry in place,
// and every handle referring to it follows.
#pragma once

#include "devhost/hostapi/test_bench.h"
#include "qrvapi/qrv_abi.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace devhost {

// A function that the host itself provides in its registry ("application.GetIcon",
// the socket plug-in's "nxTcpSock.Connect" ...). It receives the argument list, already
// checked against its prototype (an empty temporary list when the caller passed none),
// and its return variable (0 when the caller passed none); it returns false when it
// failed to run.
using HostFunction = std::function<bool(QHANDLE hArgList, QHANDLE hRetVal)>;

// One argument of a prototype: its name and type ID.
struct ArgSpec {
    std::string name;
    std::uint32_t typeId;
};

class HostApi {
public:
    HostApi();
    ~HostApi();
    HostApi(const HostApi&) = delete;
    HostApi& operator=(const HostApi&) = delete;

    static HostApi* current();

    // ---- plug-ins -------------------------------------------------------------
    // A plug-in known to the host: its module base name ("Volubra") and how to find its
    // exports by name (GetProcAddress / dlsym, or a table in tests). Returns its hID.
    QHANDLE addPlugin(const std::string& baseName, std::function<void*(const char*)> resolveExport);
    // The lookup routine handed to every plug-in as hCallback.
    static QrvLookupFn lookupRoutine();
    // What the lookup answers for one name (also what the plug-in would get).
    void* lookup(QHANDLE hID, const std::string& name);

    // ---- registry -------------------------------------------------------------
    // Registers a host-side function under its full name; returns its function handle
    // (0 for an empty name or no function).
    QHANDLE registerHostFunction(const std::string& fullName, std::vector<ArgSpec> prototype,
                                 std::uint32_t returnTypeId, HostFunction fn);
    // Runs a registered function by name with the given arguments, as another plug-in
    // would with qrvfunc.Execute2 (used by the socket plug-in to raise callbacks and by
    // the menu). Returns false when it is not registered or failed to run.
    // hFunc may be any function variable. The test bench's failRunFrom applies here too.
    bool runRegistered(QHANDLE hFunc, QHANDLE hArgList, QHANDLE* phRetVal);
    // The registry entry's own handle for any function variable referring to it (so a
    // function given as a VARREF can be kept after the plug-in deletes its variable);
    // 0 when hFuncVar is no function variable or refers to nothing.
    QHANDLE functionHandleOf(QHANDLE hFuncVar) const;
    QHANDLE findFunction(const std::string& fullName) const; // 0 if none
    struct RegisteredFunction {
        std::string fullName;
        std::vector<ArgSpec> prototype;
        std::uint32_t returnTypeId;
        bool isPluginExport;
    };
    std::vector<RegisteredFunction> registeredFunctions() const; // in registration order

    // ---- menu -----------------------------------------------------------------
    struct MenuEntry {
        QHANDLE pluginId;
        std::string exportName; // plain export name, e.g. "ExtShowWnd"
        std::string text;       // "Chat client"
    };
    const std::vector<MenuEntry>& menuEntries() const;
    // Runs a menu entry as the host does when the user chooses it: export(0, hList)
    // with an empty temporary list. False when no entry has that text or its export is
    // gone, else the export's result.
    bool chooseMenuEntry(const std::string& text);

    // ---- reports --------------------------------------------------------------
    // Texts given to app.ReportError, in order. A sink, when set, also sees each one
    // (the interactive host shows them; scripts print them).
    const std::vector<std::string>& reports() const;
    void clearReports();
    void setReportSink(std::function<void(const std::string&)> sink);

    // ---- variables, for the host's own use and for tests ------------------------
    // These do not log and are not subject to the test bench's faults.
    QHANDLE createVar(std::uint32_t typeId, const std::string& name = {});
    bool deleteVar(QHANDLE h);
    bool exists(QHANDLE h) const;
    std::uint32_t typeOf(QHANDLE h) const; // 0 if no such variable
    std::string nameOf(QHANDLE h) const;
    std::size_t liveVariableCount() const; // variables that exist now (leak checks)
    // Scalars: BOOL (0/1), INT, HANDLE, VARREF, NUMBER, FUNC (its handle).
    bool setScalar(QHANDLE h, std::int64_t value);
    std::int64_t scalar(QHANDLE h) const;
    // text, bufferBytes and items give the variable's own value (empty for a handle of
    // another type), valid until the variable changes or is deleted.
    bool setText(QHANDLE h, const std::string& text);
    const std::string& text(QHANDLE h) const;
    // Buffers: element size and raw bytes (size a multiple of the element size).
    bool setBuffer(QHANDLE h, std::uint32_t itemSize, const std::vector<std::uint8_t>& bytes);
    const std::vector<std::uint8_t>& bufferBytes(QHANDLE h) const;
    // Lists.
    QHANDLE addItem(QHANDLE hList, std::uint32_t typeId, const std::string& name);
    const std::vector<QHANDLE>& items(QHANDLE hList) const;

    // ---- test bench -----------------------------------------------------------
    TestBench& bench() { return bench_; }
    const TestBench& bench() const { return bench_; }

    // The inside, shared by the methods, the test bench and the C entry points.
    struct Impl;

private:
    friend class TestBench;
    friend Impl* currentHostImpl();
    Impl& impl() { return *impl_; }

    std::unique_ptr<Impl> impl_;
    TestBench bench_{*this};
};

// The names the host API answers for, in the order a plug-in of API 2.5.4 looks them up.
const std::vector<std::string>& hostApiNames();

} // namespace devhost

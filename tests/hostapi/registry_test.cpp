// The function registry: plug-in exports registered with qrvfunc.LoadFunc, host
// functions, lookup by name, prototypes, and qrvfunc.Execute2 checking its arguments
// and return variable before it runs anything.
#include "tests/hostapi/host_api_fixture.h"

namespace devhost::testing {
namespace {

// What the fake plug-in export saw on its last run.
struct ExportRecord {
    int runs = 0;
    QARG first = 99;
    QARG argList = 0;
    QBOOL answer = 1;
};
ExportRecord g_recv;
QHANDLE g_hostId = 0; // the hID the fake plug-in was given

QBOOL QRV_CALL fakeOnRecv(QARG a, QARG hArgList) {
    ++g_recv.runs;
    g_recv.first = a;
    g_recv.argList = hArgList;
    return g_recv.answer;
}

// An export that calls back into the host while it runs, as the module's handlers do,
// and even deletes the argument list the host made for it.
QBOOL QRV_CALL fakeShowWnd(QARG, QARG hArgList) {
    ++g_recv.runs;
    g_recv.argList = hArgList;
    auto lookup = HostApi::lookupRoutine();
    auto createTemp = reinterpret_cast<QrvVarCreateTemp>(lookup(g_hostId, "var.CreateTemp"));
    auto del = reinterpret_cast<QrvVarDelete>(lookup(g_hostId, "var.Delete"));
    createTemp(g_hostId, TYPEID_STRING);
    del(g_hostId, static_cast<QHANDLE>(hArgList));
    return 1;
}

class RegistryTest : public HostApiTest {
protected:
    RegistryTest() {
        g_recv = {};
        g_hostId = hID;
        exports["ExtOnRecv"] = reinterpret_cast<void*>(&fakeOnRecv);
        exports["ExtShowWnd"] = reinterpret_cast<void*>(&fakeShowWnd);
    }

    QHANDLE registerOnRecv() {
        QHANDLE proto = createTemp(TYPEID_LIST);
        createItem(proto, TYPEID_HANDLE, "hSock");
        QHANDLE h = fn<QrvFuncLoadFunc>("qrvfunc.LoadFunc")(hID, "ExtOnRecv", 1, proto);
        fn<QrvVarDelete>("var.Delete")(hID, proto);
        return h;
    }

    bool execute(QHANDLE hFunc, QHANDLE hArgs, QHANDLE* phRet) {
        return fn<QrvFuncExecute2>("qrvfunc.Execute2")(hID, hFunc, hArgs, phRet) != 0;
    }
};

TEST_F(RegistryTest, LoadFuncRegistersUnderBaseNameWithCopiedPrototype) {
    QHANDLE h = registerOnRecv();
    ASSERT_NE(h, 0u);
    EXPECT_TRUE(fn<QrvVarIsType>("var.IsType")(hID, h, TYPEID_FUNC));
    ASSERT_NE(api.findFunction("Volubra.ExtOnRecv"), 0u);
    auto all = api.registeredFunctions();
    const auto& last = all.back();
    EXPECT_EQ(last.fullName, "Volubra.ExtOnRecv");
    EXPECT_TRUE(last.isPluginExport);
    EXPECT_EQ(last.returnTypeId, TYPEID_BOOL);
    ASSERT_EQ(last.prototype.size(), 1u) << "the prototype must survive deleting its list";
    EXPECT_EQ(last.prototype[0].name, "hSock");
    EXPECT_EQ(last.prototype[0].typeId, TYPEID_HANDLE);

    EXPECT_EQ(fn<QrvFuncLoadFunc>("qrvfunc.LoadFunc")(hID, "ExtMissing", 1, 0), 0u)
        << "an export the plug-in does not have must not register";
    EXPECT_EQ(api.findFunction("Volubra.ExtMissing"), 0u);
}

TEST_F(RegistryTest, ReRegisteringReplacesTheEntryAndKeepsItsHandle) {
    QHANDLE first = registerOnRecv();
    QHANDLE second = fn<QrvFuncLoadFunc>("qrvfunc.LoadFunc")(hID, "ExtOnRecv", 1, 0);
    EXPECT_EQ(first, second);
    std::size_t named = 0;
    for (const auto& f : api.registeredFunctions())
        named += f.fullName == "Volubra.ExtOnRecv";
    EXPECT_EQ(named, 1u);
    EXPECT_EQ(fn<QrvFuncGetReturnTypeID>("qrvfunc.GetReturnTypeID")(hID, first), TYPEID_BOOL);
    // The first handle follows the replaced entry: its prototype is now empty.
    EXPECT_TRUE(execute(first, 0, nullptr));
}

TEST_F(RegistryTest, LookUpsGiveTheRegistrysOwnHandleWhichTheHostKeeps) {
    QHANDLE loaded = registerOnRecv();
    auto getFunc = fn<QrvFuncGetFunc>("qrvfunc.GetFunc");
    const std::size_t live = api.liveVariableCount();
    EXPECT_EQ(getFunc(hID, "Volubra.ExtOnRecv"), loaded);
    EXPECT_EQ(getFunc(hID, "Volubra.ExtOnRecv"), loaded) << "the same handle every time";
    EXPECT_EQ(api.findFunction("Volubra.ExtOnRecv"), loaded);
    EXPECT_EQ(api.liveVariableCount(), live) << "a look-up must make no variable";
    EXPECT_EQ(api.typeOf(loaded), TYPEID_FUNC);
    EXPECT_FALSE(fn<QrvVarDelete>("var.Delete")(hID, loaded))
        << "the host owns the function handles it hands out";
    EXPECT_EQ(getFunc(hID, "Volubra.ExtNothing"), 0u);
    EXPECT_EQ(getFunc(hID, nullptr), 0u);
}

TEST_F(RegistryTest, TheRegistrysOwnFunctionVariableCannotBeRedirected) {
    QHANDLE own = registerOnRecv();
    QHANDLE icon = api.findFunction("application.GetIcon");
    QHANDLE mine = createTemp(TYPEID_FUNC); // a plug-in's own function variable
    EXPECT_TRUE(setInt(mine, TYPEID_FUNC, own));
    EXPECT_EQ(api.functionHandleOf(mine), own);
    EXPECT_EQ(api.functionHandleOf(createTemp(TYPEID_LIST)), 0u);
    EXPECT_FALSE(setInt(own, TYPEID_FUNC, icon)) << "SetValueEx must not redirect an entry";
    EXPECT_FALSE(fn<QrvVarCopyValue>("var.CopyValue")(hID, own, icon))
        << "CopyValue must not redirect an entry";
    EXPECT_EQ(api.findFunction("Volubra.ExtOnRecv"), own);
    EXPECT_EQ(fn<QrvFuncGetReturnTypeID>("qrvfunc.GetReturnTypeID")(hID, own), TYPEID_BOOL);
    // A plug-in's own function variable may be pointed elsewhere, and deleted.
    EXPECT_TRUE(setInt(mine, TYPEID_FUNC, icon));
    EXPECT_EQ(api.functionHandleOf(mine), icon);
    EXPECT_TRUE(fn<QrvVarDelete>("var.Delete")(hID, mine));
}

TEST_F(RegistryTest, GetArgListPrototypeRefillsTheGivenList) {
    QHANDLE h = registerOnRecv();
    QHANDLE list = createTemp(TYPEID_LIST);
    QHANDLE stale = createItem(list, TYPEID_STRING, "stale");
    auto proto = fn<QrvFuncGetArgListPrototype>("qrvfunc.GetArgListPrototype");
    ASSERT_TRUE(proto(hID, h, list));
    EXPECT_FALSE(api.exists(stale)) << "the list must be emptied first";
    ASSERT_EQ(api.items(list).size(), 1u);
    EXPECT_EQ(api.nameOf(api.items(list)[0]), "hSock");
    EXPECT_EQ(api.typeOf(api.items(list)[0]), TYPEID_HANDLE);
    EXPECT_FALSE(proto(hID, h, createTemp(TYPEID_STRING)));
    EXPECT_FALSE(proto(hID, createTemp(TYPEID_FUNC), list)) << "a FUNC naming nothing";
    EXPECT_EQ(fn<QrvFuncGetReturnTypeID>("qrvfunc.GetReturnTypeID")(hID, list), 0u);
}

TEST_F(RegistryTest, Execute2RunsAnExportAndStoresItsOneByteResult) {
    QHANDLE h = registerOnRecv();
    QHANDLE args = createTemp(TYPEID_LIST);
    QHANDLE sock = createItem(args, TYPEID_HANDLE, "hSock");
    setInt(sock, TYPEID_HANDLE, 42);
    QHANDLE ret = createTemp(TYPEID_BOOL);
    g_recv.answer = 0;
    ASSERT_TRUE(execute(h, args, &ret)) << "a false export result is still a run";
    EXPECT_EQ(g_recv.runs, 1);
    EXPECT_EQ(g_recv.first, 0u);
    EXPECT_EQ(g_recv.argList, args);
    EXPECT_EQ(api.scalar(ret), 0);
    g_recv.answer = 1;
    ASSERT_TRUE(execute(h, args, &ret));
    EXPECT_EQ(api.scalar(ret), 1);
    ASSERT_TRUE(execute(h, args, nullptr)) << "a missing return variable discards the result";
    QHANDLE none = 0;
    ASSERT_TRUE(execute(h, args, &none));
    EXPECT_EQ(none, 0u) << "Execute2 must not invent a return variable";
}

TEST_F(RegistryTest, Execute2RefusesMismatchedArgumentsAndReturnVariables) {
    QHANDLE h = registerOnRecv();
    QHANDLE ret = createTemp(TYPEID_BOOL);
    QHANDLE empty = createTemp(TYPEID_LIST);
    EXPECT_FALSE(execute(h, empty, &ret)) << "too few arguments";
    EXPECT_FALSE(execute(h, 0, &ret)) << "no list for a function with arguments";
    QHANDLE wrongType = createTemp(TYPEID_LIST);
    createItem(wrongType, TYPEID_INT, "hSock");
    EXPECT_FALSE(execute(h, wrongType, &ret)) << "INT where HANDLE is expected";
    QHANDLE tooMany = createTemp(TYPEID_LIST);
    createItem(tooMany, TYPEID_HANDLE, "hSock");
    createItem(tooMany, TYPEID_HANDLE, "extra");
    EXPECT_FALSE(execute(h, tooMany, &ret)) << "too many arguments";
    EXPECT_FALSE(execute(h, createTemp(TYPEID_STRING), &ret)) << "not a list";

    QHANDLE good = createTemp(TYPEID_LIST);
    createItem(good, TYPEID_HANDLE, "whatever name");
    QHANDLE intRet = createTemp(TYPEID_INT);
    EXPECT_FALSE(execute(h, good, &intRet)) << "return variable of the wrong type";
    QHANDLE stale = 4000000;
    EXPECT_FALSE(execute(h, good, &stale)) << "return variable that names nothing";
    EXPECT_FALSE(execute(createTemp(TYPEID_FUNC), good, &ret)) << "FUNC naming nothing";
    EXPECT_FALSE(execute(good, good, &ret)) << "a list is no function";
    EXPECT_EQ(g_recv.runs, 0) << "a refused Execute2 must not run the export";
    EXPECT_TRUE(execute(h, good, &ret)) << "item names are not part of the match";
}

TEST_F(RegistryTest, HostFunctionsRunWithTheirArgumentsAndReturnVariable) {
    QHANDLE seenArgs = 0, seenRet = 0;
    api.registerHostFunction("nxTcpSock.GetSockState", {{"hSock", TYPEID_HANDLE}}, TYPEID_INT,
                             [&](QHANDLE hArgs, QHANDLE hRet) {
                                 seenArgs = hArgs;
                                 seenRet = hRet;
                                 return api.setScalar(hRet, 3);
                             });
    QHANDLE f = fn<QrvFuncGetFunc>("qrvfunc.GetFunc")(hID, "nxTcpSock.GetSockState");
    ASSERT_NE(f, 0u);
    QHANDLE args = createTemp(TYPEID_LIST);
    fn<QrvFuncGetArgListPrototype>("qrvfunc.GetArgListPrototype")(hID, f, args);
    QHANDLE ret = createTemp(fn<QrvFuncGetReturnTypeID>("qrvfunc.GetReturnTypeID")(hID, f));
    ASSERT_TRUE(execute(f, args, &ret));
    EXPECT_EQ(seenArgs, args);
    EXPECT_EQ(seenRet, ret);
    EXPECT_EQ(api.scalar(ret), 3);

    // The host side runs it the same way, by its own handle.
    QHANDLE ret2 = api.createVar(TYPEID_INT);
    EXPECT_TRUE(api.runRegistered(api.findFunction("nxTcpSock.GetSockState"), args, &ret2));
    EXPECT_EQ(api.scalar(ret2), 3);
    EXPECT_FALSE(api.runRegistered(api.findFunction("nxTcpSock.GetSockState"), 0, &ret2));

    // Without a list of its own a function without arguments still gets an empty one.
    QHANDLE listSeen = 0;
    std::size_t itemsSeen = 99;
    api.registerHostFunction("nxTcpSock.new", {}, TYPEID_HANDLE, [&](QHANDLE hArgs, QHANDLE) {
        listSeen = hArgs;
        itemsSeen = api.items(hArgs).size();
        return true;
    });
    const std::size_t live = api.liveVariableCount();
    EXPECT_TRUE(api.runRegistered(api.findFunction("nxTcpSock.new"), 0, nullptr));
    EXPECT_NE(listSeen, 0u);
    EXPECT_EQ(itemsSeen, 0u);
    EXPECT_EQ(api.liveVariableCount(), live) << "the temporary list must be deleted";
}

TEST_F(RegistryTest, AFunctionReplacedWhileItRunsFinishesItsRun) {
    std::string seen;
    int laterRuns = 0;
    const QHANDLE h = api.registerHostFunction(
        "nxTcpSock.Close", {}, TYPEID_BOOL,
        [&, said = std::string("the first function's own state")](QHANDLE, QHANDLE) {
            api.registerHostFunction("nxTcpSock.Close", {}, TYPEID_BOOL, [&](QHANDLE, QHANDLE) {
                ++laterRuns;
                return true;
            });
            seen = said; // the replaced function is still whole until it returns
            return true;
        });
    ASSERT_TRUE(api.runRegistered(h, 0, nullptr));
    EXPECT_EQ(seen, "the first function's own state");
    EXPECT_EQ(api.findFunction("nxTcpSock.Close"), h);
    ASSERT_TRUE(api.runRegistered(h, 0, nullptr));
    EXPECT_EQ(laterRuns, 1) << "the handle must follow the replacement";
}

TEST_F(RegistryTest, ApplicationGetIconReturnsANonzeroHandle) {
    auto all = api.registeredFunctions();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front().fullName, "application.GetIcon");
    QHANDLE f = fn<QrvFuncGetFunc>("qrvfunc.GetFunc")(hID, "application.GetIcon");
    ASSERT_NE(f, 0u);
    EXPECT_EQ(fn<QrvFuncGetReturnTypeID>("qrvfunc.GetReturnTypeID")(hID, f), TYPEID_HANDLE);
    QHANDLE args = createTemp(TYPEID_LIST);
    QHANDLE ret = createTemp(TYPEID_HANDLE);
    ASSERT_TRUE(execute(f, args, &ret));
    std::uint32_t icon = 0;
    ASSERT_TRUE(getInt(ret, TYPEID_HANDLE, icon));
    EXPECT_NE(icon, 0u);
}

TEST_F(RegistryTest, MenuEntriesRunTheirExportWithAnEmptyList) {
    auto insert = fn<QrvMenuInsertItemEx>("menu.InsertItemEx");
    ASSERT_TRUE(insert(hID, "ExtShowWnd", "Chat client", 0));
    EXPECT_FALSE(insert(hID, "ExtNothing", "Nothing", 0));
    EXPECT_FALSE(insert(hID, "ExtShowWnd", nullptr, 0));
    ASSERT_EQ(api.menuEntries().size(), 1u);
    EXPECT_EQ(api.menuEntries()[0].exportName, "ExtShowWnd");
    EXPECT_EQ(api.menuEntries()[0].pluginId, hID);
    const std::size_t live = api.liveVariableCount();
    ASSERT_TRUE(api.chooseMenuEntry("Chat client"));
    EXPECT_EQ(g_recv.runs, 1);
    EXPECT_EQ(api.typeOf(static_cast<QHANDLE>(g_recv.argList)), 0u)
        << "the temporary argument list must be gone after the run";
    EXPECT_EQ(api.liveVariableCount(), live + 1) << "only the export's own string may remain";
    EXPECT_FALSE(api.chooseMenuEntry("Not there"));
}

TEST_F(RegistryTest, ReportsAreRecordedAndPassedToTheSink) {
    std::vector<std::string> seen;
    api.setReportSink([&](const std::string& t) { seen.push_back(t); });
    auto reportError = fn<QrvAppReportError>("app.ReportError");
    EXPECT_TRUE(
        reportError(hID, "CqTcpSock::Create error:\r\n - cannot get nxTcpSock.new function"));
    EXPECT_FALSE(reportError(hID, nullptr));
    ASSERT_EQ(api.reports().size(), 1u);
    EXPECT_EQ(seen, api.reports());
    api.clearReports();
    EXPECT_TRUE(api.reports().empty());
}

} // namespace
} // namespace devhost::testing

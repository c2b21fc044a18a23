// The test bench: every bound name answers the lookup, names can be withheld, calls
// and registered functions made to fail from their n-th use, and plug-in calls are
// logged in order in a fixed text form.
#include "tests/hostapi/host_api_fixture.h"

#include <set>

namespace devhost::testing {
namespace {

using TestBenchTest = HostApiTest;

TEST_F(TestBenchTest, All133NamesAnswerAndAreLoggedInOrder) {
    const auto& names = hostApiNames();
    ASSERT_EQ(names.size(), 133u);
    EXPECT_EQ(names.front(), "app.ReportError");
    EXPECT_EQ(names[2], "var.Create");
    EXPECT_EQ(names.back(), "script.Execute");
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 133u) << "duplicates";

    api.bench().clearCallLog();
    std::set<void*> addresses;
    for (const std::string& name : names) {
        void* p = HostApi::lookupRoutine()(hID, name.c_str());
        EXPECT_NE(p, nullptr) << name;
        addresses.insert(p);
    }
    EXPECT_EQ(addresses.size(), 133u) << "every name needs its own entry point";
    ASSERT_EQ(api.bench().callLog().size(), 133u);
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(api.bench().callLog()[i].format(), "lookup(\"" + names[i] + "\")=ptr");
    }
    EXPECT_EQ(HostApi::lookupRoutine()(hID, "var.NoSuchThing"), nullptr);
    EXPECT_EQ(HostApi::lookupRoutine()(hID, nullptr), nullptr);
}

TEST_F(TestBenchTest, UnsupportedNamesReportWhenCalled) {
    // Called here through a plain C pointer, which is how the stubs are built.
    using Stub = QARG (*)(QHANDLE);
    auto stub = reinterpret_cast<Stub>(HostApi::lookupRoutine()(hID, "map.GetWidth"));
    ASSERT_NE(stub, nullptr);
    EXPECT_EQ(stub(hID), 0u);
    ASSERT_EQ(api.reports().size(), 1u);
    EXPECT_EQ(api.reports()[0], "map.GetWidth: not supported by this host");
}

TEST_F(TestBenchTest, RemovedNamesAreNotAnswered) {
    api.bench().removeName("menu.InsertItemEx");
    api.bench().clearCallLog();
    EXPECT_EQ(HostApi::lookupRoutine()(hID, "menu.InsertItemEx"), nullptr);
    EXPECT_NE(HostApi::lookupRoutine()(hID, "menu.InsertItem"), nullptr);
    EXPECT_EQ(api.bench().callLog()[0].format(), "lookup(\"menu.InsertItemEx\")=null");
    EXPECT_EQ(api.lookup(hID, "menu.InsertItemEx"), nullptr);
    api.bench().restoreName("menu.InsertItemEx");
    EXPECT_NE(api.lookup(hID, "menu.InsertItemEx"), nullptr);
}

TEST_F(TestBenchTest, FailFromMakesTheNthCallAndAllLaterOnesFail) {
    auto createTempFn = fn<QrvVarCreateTemp>("var.CreateTemp");
    api.bench().failFrom("var.CreateTemp", 3);
    EXPECT_NE(createTempFn(hID, TYPEID_INT), 0u);
    EXPECT_NE(createTempFn(hID, TYPEID_INT), 0u);
    EXPECT_EQ(createTempFn(hID, TYPEID_INT), 0u);
    EXPECT_EQ(createTempFn(hID, TYPEID_INT), 0u);
    EXPECT_NE(api.createVar(TYPEID_INT), 0u) << "the host's own helpers never fail";
    api.bench().failFrom("var.CreateTemp", 0);
    EXPECT_NE(createTempFn(hID, TYPEID_INT), 0u);

    // Failure values per result kind.
    QHANDLE s = createTemp(TYPEID_STRING);
    api.bench().failFrom("str.GetText", 1);
    EXPECT_EQ(fn<QrvStrGetText>("str.GetText")(hID, s), nullptr);
    api.bench().failFrom("app.ReportError", 1);
    EXPECT_FALSE(fn<QrvAppReportError>("app.ReportError")(hID, "x"));
    EXPECT_TRUE(api.reports().empty()) << "a failed report must not be recorded";
    api.bench().failFrom("lookup", 1);
    EXPECT_EQ(HostApi::lookupRoutine()(hID, "var.Delete"), nullptr);
}

TEST_F(TestBenchTest, FailRunFromStopsAFunctionRunningFromItsNthRun) {
    int runs = 0;
    api.registerHostFunction("nxTcpSock.Close", {}, TYPEID_BOOL, [&](QHANDLE, QHANDLE) {
        ++runs;
        return true;
    });
    QHANDLE f = fn<QrvFuncGetFunc>("qrvfunc.GetFunc")(hID, "nxTcpSock.Close");
    auto execute = fn<QrvFuncExecute2>("qrvfunc.Execute2");
    api.bench().failRunFrom("nxTcpSock.Close", 2);
    EXPECT_TRUE(execute(hID, f, 0, nullptr));
    EXPECT_FALSE(execute(hID, f, 0, nullptr));
    EXPECT_FALSE(execute(hID, f, 0, nullptr));
    EXPECT_EQ(runs, 1) << "a failed run must not run the function";
    api.bench().failRunFrom("nxTcpSock.Close", 0);
    EXPECT_TRUE(execute(hID, f, 0, nullptr));
}

TEST_F(TestBenchTest, CallLogFormatsArgumentsAndResults) {
    api.bench().clearCallLog();
    QHANDLE list = createTemp(TYPEID_LIST);
    QHANDLE item = createItem(list, TYPEID_HANDLE, "hSock");
    std::uint32_t value = 5;
    fn<QrvVarSetValueEx>("var.SetValueEx")(hID, item, TYPEID_HANDLE, &value);
    fn<QrvStrGetText>("str.GetText")(hID, item);
    fn<QrvAppReportError>("app.ReportError")(hID, "a \"quoted\"\r\nline");
    api.createVar(TYPEID_INT); // host helpers are not logged

    std::vector<std::string> lines;
    for (const HostCall& c : api.bench().callLog())
        lines.push_back(c.format());
    const std::string l = std::to_string(list), i = std::to_string(item);
    const std::vector<std::string> expected = {
        "lookup(\"var.CreateTemp\")=ptr",  "var.CreateTemp(31)=" + l,
        "lookup(\"list.CreateItem\")=ptr", "list.CreateItem(" + l + ",20,\"hSock\")=" + i,
        "lookup(\"var.SetValueEx\")=ptr",  "var.SetValueEx(" + i + ",20,ptr)=true",
        "lookup(\"str.GetText\")=ptr",     "str.GetText(" + i + ")=null",
        "lookup(\"app.ReportError\")=ptr", "app.ReportError(\"a \\\"quoted\\\"\\r\\nline\")=true",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(api.bench().callNames()[1], "var.CreateTemp");

    api.bench().setLogging(false);
    api.bench().clearCallLog();
    createTemp(TYPEID_INT);
    EXPECT_TRUE(api.bench().callLog().empty());
}

QHANDLE g_benchId = 0;

// Registers a function while it runs: the call it makes is logged after its Execute2.
QBOOL QRV_CALL nestedExport(QARG, QARG) {
    auto createTemp =
        reinterpret_cast<QrvVarCreateTemp>(HostApi::lookupRoutine()(g_benchId, "var.CreateTemp"));
    createTemp(g_benchId, TYPEID_INT);
    return 1;
}

TEST_F(TestBenchTest, CallsMadeDuringARunFollowItInTheLog) {
    g_benchId = hID;
    exports["ExtOnClose"] = reinterpret_cast<void*>(&nestedExport);
    QHANDLE f = fn<QrvFuncLoadFunc>("qrvfunc.LoadFunc")(hID, "ExtOnClose", 1, 0);
    auto execute = fn<QrvFuncExecute2>("qrvfunc.Execute2");
    api.bench().clearCallLog();
    ASSERT_TRUE(execute(hID, f, 0, nullptr));
    auto names = api.bench().callNames();
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], "qrvfunc.Execute2");
    EXPECT_EQ(api.bench().callLog()[0].format(),
              "qrvfunc.Execute2(" + std::to_string(f) + ",0,null)=true");
    EXPECT_EQ(names[1], "lookup");
    EXPECT_EQ(names[2], "var.CreateTemp");
}

} // namespace
} // namespace devhost::testing

namespace devhost::testing {
namespace {

TEST(HostApiCurrent, TheNewestLiveInstanceIsCurrent) {
    HostApi outer;
    EXPECT_EQ(HostApi::current(), &outer);
    {
        HostApi inner;
        EXPECT_EQ(HostApi::current(), &inner);
    }
    EXPECT_EQ(HostApi::current(), &outer) << "the outer host must be current again";
}

} // namespace
} // namespace devhost::testing

// devhost's command line and listing: what a user types and what scripts compare.
#include "devhost/app/listing.h"
#include "devhost/app/options.h"
#include "devhost/app/plugin_loader.h"
#include "tests/hostapi/host_api_fixture.h"

#include <sstream>

namespace devhost::testing {
namespace {

bool parse(std::vector<const char*> args, Options& options, std::string& error) {
    args.insert(args.begin(), "devhost");
    return parseOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(DevhostOptions, ParsesRepeatedBenchOptions) {
    Options o;
    std::string error;
    ASSERT_TRUE(parse({"--plugin", "x/Volubra.so", "--log", "--remove", "menu.InsertItemEx",
                       "--remove", "app.ReportError", "--fail", "var.SetValueEx:3", "--fail-run",
                       "nxTcpSock.Connect:1"},
                      o, error))
        << error;
    EXPECT_EQ(o.pluginPath, "x/Volubra.so");
    EXPECT_TRUE(o.printLog);
    EXPECT_EQ(o.removedNames, (std::vector<std::string>{"menu.InsertItemEx", "app.ReportError"}));
    ASSERT_EQ(o.failingCalls.size(), 1u);
    EXPECT_EQ(o.failingCalls[0].first, "var.SetValueEx");
    EXPECT_EQ(o.failingCalls[0].second, 3u);
    EXPECT_EQ(o.failingRuns[0].first, "nxTcpSock.Connect");

    Options twice;
    ASSERT_TRUE(parse({"--plugin", "a.so", "--plugin", "b.so"}, twice, error)) << error;
    EXPECT_EQ(twice.pluginPath, "b.so") << "the last one counts";
}

TEST(DevhostOptions, RejectsWhatItCannotUse) {
    const std::vector<std::vector<const char*>> bad = {
        {},
        {"--log"},
        {"--plugin"},
        {"--plugin", "p", "--fail", "var.Delete"},
        {"--plugin", "p", "--fail", "var.Delete:0"},
        {"--plugin", "p", "--fail", "var.Delete:x"},
        {"--plugin", "p", "--fail", ":2"},
        {"--plugin", "p", "--fail", "var.Delete:99999999999"},
        {"--plugin", "p", "--bogus"},
    };
    for (const auto& args : bad) {
        Options o;
        std::string error;
        EXPECT_FALSE(parse(args, o, error)) << "accepted " << args.size() << " arguments";
        EXPECT_FALSE(error.empty());
    }
}

TEST(DevhostLoader, BaseNameIsTheFileNameWithoutExtension) {
    EXPECT_EQ(pluginBaseName("build/module/Volubra.qrv"), "Volubra");
    EXPECT_EQ(pluginBaseName("C:\\plugins\\Volubra.qrv"), "Volubra");
    EXPECT_EQ(pluginBaseName("Volubra"), "Volubra");
    EXPECT_EQ(pluginBaseName("lib.v2/Volubra.so"), "Volubra");
}

TEST(DevhostLoader, MissingLibraryFailsWithAReason) {
    PluginLoader loader;
    EXPECT_FALSE(loader.load("no/such/dir/Volubra.qrv"));
    EXPECT_FALSE(loader.error().empty());
    HostApi api;
    EXPECT_FALSE(loader.init(api));
    EXPECT_EQ(loader.resolve("ExtShowWnd"), nullptr);
}

QBOOL QRV_CALL listedExport(QARG, QARG) {
    return 1;
}

TEST_F(HostApiTest, ListingShowsMenuRegistrationsAndReportsOnOneLineEach) {
    exports["ExtShowWnd"] = reinterpret_cast<void*>(&listedExport);
    exports["ExtOnRecv"] = reinterpret_cast<void*>(&listedExport);
    fn<QrvFuncLoadFunc>("qrvfunc.LoadFunc")(hID, "ExtShowWnd", 1, 0);
    fn<QrvMenuInsertItemEx>("menu.InsertItemEx")(hID, "ExtShowWnd", "Chat client", 0);
    QHANDLE proto = createTemp(TYPEID_LIST);
    createItem(proto, TYPEID_HANDLE, "hSock");
    fn<QrvFuncLoadFunc>("qrvfunc.LoadFunc")(hID, "ExtOnRecv", 1, proto);
    fn<QrvAppReportError>("app.ReportError")(hID, "X::Y error:\r\n - z");
    api.bench().clearCallLog();
    fn<QrvVarCreateTemp>("var.CreateTemp")(hID, TYPEID_INT);

    std::ostringstream out;
    printPluginListing(out, api, {"Volubra", "2.5.4", true, {{"Quarzel error", "A::B error - c"}}},
                       true);
    std::string expectedStart = "plugin: Volubra\n"
                                "api version: 2.5.4\n"
                                "init: ok\n"
                                "menu: \"Chat client\" -> ExtShowWnd\n"
                                "registered: Volubra.ExtShowWnd() -> 3\n"
                                "registered: Volubra.ExtOnRecv(hSock:20) -> 3\n"
                                "report: X::Y error:\\r\\n - z\n"
                                "box: [Quarzel error] A::B error - c\n"
                                "lookup(\"var.CreateTemp\")=ptr\n"
                                "var.CreateTemp(7)=";
    EXPECT_EQ(out.str().substr(0, expectedStart.size()), expectedStart);
}

} // namespace
} // namespace devhost::testing

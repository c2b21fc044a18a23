// devhost's command line and listing: what a user types and what scripts compare.
#include "devhost/app/listing.h"
#include "devhost/app/options.h"
#include "devhost/app/plugin_loader.h"
#include "devhost/app/signal_files.h"
#include "tests/hostapi/host_api_fixture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
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

// --help and --version answer before anything is required of the command line.
TEST(DevhostOptions, HelpAndVersionStopBeforeTheRest) {
    for (const std::vector<const char*>& args :
         {std::vector<const char*>{"--help"}, {"-h"}, {"--plugin", "p", "--help"}}) {
        Options o;
        std::string error;
        EXPECT_TRUE(parse(args, o, error)) << error;
        EXPECT_TRUE(o.helpAsked) << args.back();
    }
    Options o;
    std::string error;
    ASSERT_TRUE(parse({"--version"}, o, error)) << error;
    EXPECT_TRUE(o.versionAsked);
    EXPECT_EQ(versionText().rfind("devhost ", 0), 0u) << versionText();
    const std::string usage = usageText();
    for (const char* part : {"--help", "--version", "devhost/session/session_script.h"})
        EXPECT_NE(usage.find(part), std::string::npos) << "the usage lacks " << part;
}

TEST(DevhostOptions, UnknownHostFunctionNamesAreRefusedByName) {
    Options o;
    std::string error;
    ASSERT_TRUE(parse({"--plugin", "p", "--remove", "app.ReportError", "--remove", "nosuch.Name",
                       "--fail", "var.Delete:2", "--fail", "nosuch:1"},
                      o, error))
        << error;
    EXPECT_FALSE(checkHostFunctionNames(o, error));
    EXPECT_EQ(error,
              "no host API function has the name of --remove \"nosuch.Name\", --fail \"nosuch\"");

    Options known;
    ASSERT_TRUE(
        parse({"--plugin", "p", "--remove", "menu.InsertItemEx", "--fail", "var.SetValueEx:3"},
              known, error));
    EXPECT_TRUE(checkHostFunctionNames(known, error)) << error;
}

// A rerun in the same --sync-dir starts without the signals its script gives, and
// keeps every other file: a peer may have signalled before this devhost started.
TEST(DevhostSignals, ARunRemovesTheSignalsItGivesAndNothingElse) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(::testing::TempDir()) / "devhost_signal_files";
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const char* name : {"listening", "listening.part", "ready", "peer-ready", "notes.txt"})
        std::ofstream(dir / name) << "signalled\n";

    const ParsedScript script = ParseScript("signal listening\n"
                                            "wait signal peer-ready 100\n"
                                            "signal ready\n"
                                            "signal listening\n"
                                            "signal never-given-before\n");
    ASSERT_TRUE(script.ok()) << script.error;
    EXPECT_EQ(SignalsGivenBy(script),
              (std::vector<std::string>{"listening", "ready", "never-given-before"}));
    std::string error;
    ASSERT_TRUE(RemoveEarlierSignals(dir.string(), script, error)) << error;
    std::vector<std::string> left;
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"notes.txt", "peer-ready"}));
    fs::remove_all(dir);
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
    api.clearCallLog();
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

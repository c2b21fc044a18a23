// The session's part of devhost's one command line: read beside the loader's options,
// and malformed values refused; then the session's variable files and script.
#include "devhost/app/options.h"
#include "devhost/session/session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace devhost {
namespace {

bool Parse(std::vector<const char*> args, Options& options, std::string& error) {
    args.insert(args.begin(), "devhost");
    return parseOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(SessionOptions, ReadBesideTheLoadersOptions) {
    Options options;
    std::string error;
    ASSERT_TRUE(Parse({"--plugin",  "V.so",       "--script",
                       "s.txt",     "--log",      "--bind",
                       "127.0.0.1", "--var",      "PORT=4000",
                       "--var",     "EMPTY=",     "--transcript-out",
                       "t.txt",     "--sync-dir", "d",
                       "--fail",    "x:1",        "--script-limit",
                       "9000",      "--vars",     "/scripts/chat.vars"},
                      options, error))
        << error;
    EXPECT_EQ(options.pluginPath, "V.so");
    EXPECT_TRUE(options.printLog);
    ASSERT_EQ(options.failingCalls.size(), 1u);
    EXPECT_EQ(options.failingCalls[0].first, "x");
    const SessionOptions& o = options.session;
    EXPECT_EQ(o.scriptPath, "s.txt");
    EXPECT_EQ(o.bindAddress, "127.0.0.1");
    EXPECT_EQ(o.transcriptOut, "t.txt");
    EXPECT_EQ(o.syncDir, "d");
    EXPECT_EQ(o.scriptLimitMs, 9000u);
    EXPECT_EQ(o.vars.at("PORT"), "4000");
    EXPECT_EQ(o.vars.at("EMPTY"), "");
    EXPECT_EQ(o.varsFiles, std::vector<std::string>{"/scripts/chat.vars"})
        << "a path, not an option";
    EXPECT_TRUE(o.active());
}

TEST(SessionOptions, WithoutSessionNothingChanges) {
    Options options;
    std::string error;
    ASSERT_TRUE(Parse({"--plugin", "V.so", "--remove", "var.Delete"}, options, error)) << error;
    EXPECT_EQ(options.removedNames, std::vector<std::string>{"var.Delete"});
    EXPECT_FALSE(options.session.active()) << "the plain listing run stays as it was";
}

TEST(SessionOptions, MalformedValuesAreRefused) {
    auto refuses = [](std::vector<const char*> args, const std::string& part) {
        args.insert(args.begin(), {"--plugin", "V.so"});
        Options o;
        std::string error;
        EXPECT_FALSE(Parse(args, o, error)) << args.back();
        EXPECT_NE(error.find(part), std::string::npos) << error;
    };
    refuses({"--script"}, "needs a value");
    refuses({"--var", "NOEQUALS"}, "NAME=VALUE");
    refuses({"--var", "=x"}, "NAME=VALUE");
    refuses({"--script-limit", "0"}, "milliseconds");
    refuses({"--script-limit", "12s"}, "milliseconds");
    refuses({"--script", "a", "--interactive"}, "exclude each other");
}

TEST(SessionOptions, VariableFilesAreReadFirstAndAVarWins) {
    const std::filesystem::path dir = std::filesystem::current_path(); // this build's own
    const std::string varsPath = (dir / "devhost_options_test.vars").string();
    const std::string scriptPath = (dir / "devhost_options_test.script").string();
    std::ofstream(varsPath) << "PORT=1\nNICK=ann\n";
    std::ofstream(scriptPath) << "type 15001 $PORT\ntype 15007 $NICK\n";
    SessionOptions o;
    o.scriptPath = scriptPath;
    o.varsFiles = {varsPath};
    o.vars["PORT"] = "2";
    ParsedScript script;
    std::string error;
    ASSERT_TRUE(LoadSessionScript(o, script, error)) << error;
    ASSERT_EQ(script.commands.size(), 2u);
    EXPECT_EQ(script.commands[0].text, "2") << "the command line's --var wins";
    EXPECT_EQ(script.commands[1].text, "ann");
    std::filesystem::remove(varsPath);
    std::filesystem::remove(scriptPath);
}

TEST(SessionOptions, ABrokenScriptFailsBeforeAnythingLoads) {
    SessionOptions o;
    o.scriptPath = "/nonexistent/script.txt";
    ParsedScript script;
    std::string error;
    EXPECT_FALSE(LoadSessionScript(o, script, error));
    EXPECT_NE(error.find("cannot read the script"), std::string::npos) << error;
}

} // namespace
} // namespace devhost

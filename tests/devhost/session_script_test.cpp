// Reading session scripts: every command form, the texts with their escapes, the
// session variables, and the mistakes a script writer makes, each with the line named.
#include "devhost/app/session_script.h"

#include <gtest/gtest.h>

namespace devhost {
namespace {

ScriptCommand ParseOne(const std::string& line, const ScriptVariables& vars = {}) {
    ParsedScript s = ParseScript(line, vars);
    EXPECT_TRUE(s.ok()) << "'" << line << "' should read, but: " << s.error;
    EXPECT_EQ(s.commands.size(), 1u) << "'" << line << "' is one command";
    return s.commands.empty() ? ScriptCommand{} : s.commands[0];
}

std::string ErrorOf(const std::string& source) {
    ParsedScript s = ParseScript(source);
    EXPECT_FALSE(s.ok()) << "'" << source << "' should be refused";
    EXPECT_TRUE(s.commands.empty()) << "a refused script yields no commands";
    return s.error;
}

TEST(SessionScript, ReadsEveryUserAction) {
    ScriptCommand c = ParseOne("menu \"Chat client\"");
    EXPECT_EQ(c.kind, CommandKind::Menu);
    EXPECT_EQ(c.text, "Chat client");

    c = ParseOne("click 15002");
    EXPECT_EQ(c.kind, CommandKind::Click);
    EXPECT_EQ(c.id, 15002);

    c = ParseOne("type 15004 \"say \\\"hi\\\" 100%\\r\\nnext\"");
    EXPECT_EQ(c.kind, CommandKind::Type);
    EXPECT_EQ(c.id, 15004);
    EXPECT_EQ(c.text, "say \"hi\" 100%\r\nnext") << "escapes and percent signs pass as typed";

    EXPECT_EQ(ParseOne("close").kind, CommandKind::Close);
    EXPECT_EQ(ParseOne("closebox").kind, CommandKind::CloseBox);
    EXPECT_EQ(ParseOne("quit").kind, CommandKind::Quit);

    c = ParseOne("move -20 300");
    EXPECT_EQ(c.kind, CommandKind::Move);
    EXPECT_EQ(c.number, -20);
    EXPECT_EQ(c.number2, 300);
}

TEST(SessionScript, ReadsSettingsAnswers) {
    ScriptCommand c = ParseOne("settings guest \"127.0.0.1\" 8080 \"ann\"");
    EXPECT_EQ(c.kind, CommandKind::SettingsGuest);
    EXPECT_EQ(c.text, "127.0.0.1");
    EXPECT_EQ(c.number, 8080);
    EXPECT_EQ(c.text2, "ann");

    c = ParseOne("settings guest \" \" 1");
    EXPECT_EQ(c.text, " ") << "an address of one space is the dialog's to judge";
    EXPECT_EQ(c.text2, "") << "the nickname may be left out";

    c = ParseOne("settings host 65535 \"\"");
    EXPECT_EQ(c.kind, CommandKind::SettingsHost);
    EXPECT_EQ(c.number, 65535);
    EXPECT_EQ(c.text2, "");

    EXPECT_EQ(ParseOne("settings cancel").kind, CommandKind::SettingsCancel);

    EXPECT_NE(ErrorOf("settings host 65536").find("not a port number"), std::string::npos);
    EXPECT_NE(ErrorOf("settings guest 8080").find("takes 2 to 3 arguments"), std::string::npos);
    EXPECT_NE(ErrorOf("settings visitor 1").find("guest, host or cancel"), std::string::npos);
    ErrorOf("settings cancel now");
}

TEST(SessionScript, WaitsAreBoundedWithADefault) {
    ScriptCommand c = ParseOne("wait title \"Chat host - Port 8080\" 2500");
    EXPECT_EQ(c.kind, CommandKind::WaitTitle);
    EXPECT_EQ(c.text, "Chat host - Port 8080");
    EXPECT_EQ(c.timeoutMs, 2500u);

    c = ParseOne("wait caption 15002 \"Listening\"");
    EXPECT_EQ(c.kind, CommandKind::WaitCaption);
    EXPECT_EQ(c.id, 15002);
    EXPECT_EQ(c.timeoutMs, kDefaultWaitMs);

    c = ParseOne("wait transcript \"Guest 'ann' says\" 100");
    EXPECT_EQ(c.kind, CommandKind::WaitTranscript);
    EXPECT_EQ(c.text, "Guest 'ann' says");

    c = ParseOne("wait transcript-count 2 \"is 'cat'\" 300");
    EXPECT_EQ(c.kind, CommandKind::WaitTranscriptCount);
    EXPECT_EQ(c.number, 2);
    EXPECT_EQ(c.text, "is 'cat'");
    EXPECT_EQ(c.timeoutMs, 300u);
    ErrorOf("wait transcript-count 0 \"x\"");
    ErrorOf("wait transcript-count 2 \"\"");

    c = ParseOne("wait disabled 15013 10");
    EXPECT_EQ(c.kind, CommandKind::WaitEnabled);
    EXPECT_EQ(c.number, 0);
    EXPECT_EQ(ParseOne("wait enabled 15004").number, 1);

    c = ParseOne("box expect \"Cannot connect\" 700");
    EXPECT_EQ(c.kind, CommandKind::BoxExpect);
    EXPECT_EQ(c.timeoutMs, 700u);

    std::string e = ErrorOf("wait title \"x\" 120001");
    EXPECT_NE(e.find("not a time in milliseconds"), std::string::npos) << e;
    ErrorOf("wait title \"x\" -1");
    ErrorOf("wait title \"x\" 5s");
    ErrorOf("wait");
    ErrorOf("wait colour 1 \"red\"");
    ErrorOf("box \"text\"");
}

TEST(SessionScript, SignalsArePlainNames) {
    EXPECT_EQ(ParseOne("signal ready").kind, CommandKind::Signal);
    ScriptCommand c = ParseOne("wait signal ready 9000");
    EXPECT_EQ(c.kind, CommandKind::WaitSignal);
    EXPECT_EQ(c.text, "ready");
    EXPECT_EQ(c.timeoutMs, 9000u);
    ErrorOf("signal ../etc/passwd");
    ErrorOf("wait signal a/b");
    ErrorOf("signal \"\"");
}

TEST(SessionScript, CommentsBlankLinesAndLineNumbers) {
    ParsedScript s = ParseScript("# a host\n\n   \nmenu \"Chat client\"\r\n  click 15002  \n");
    ASSERT_TRUE(s.ok()) << s.error;
    ASSERT_EQ(s.commands.size(), 2u);
    EXPECT_EQ(s.commands[0].line, 4);
    EXPECT_EQ(s.commands[1].line, 5);
    EXPECT_EQ(s.commands[1].describe(), "line 5: click 15002");

    std::string e = ErrorOf("menu \"Chat client\"\nclick\n");
    EXPECT_EQ(e, "line 2: 'click' takes 1 argument");
    EXPECT_EQ(ErrorOf("jump 3"), "line 1: unknown command 'jump'");
}

TEST(SessionScript, TextsMustBeWellFormed) {
    EXPECT_NE(ErrorOf("type 15004 \"open").find("closing quote"), std::string::npos);
    EXPECT_NE(ErrorOf("type 15004 \"a\\qb\"").find("unknown escape"), std::string::npos);
    EXPECT_NE(ErrorOf("type 15004 \"ends in \\").find("closing quote"), std::string::npos);
    EXPECT_NE(ErrorOf("click 0").find("not a control id"), std::string::npos);
    ErrorOf("click 15002x");
    ErrorOf("click 99999999999");
    EXPECT_EQ(ParseOne("type 15004 \"\"").text, "") << "an empty text is a text";
}

TEST(SessionScript, VariablesAreReplacedBeforeReading) {
    ScriptVariables vars{{"PORT", "40123"}, {"NICK", "ann lee"}, {"DIR", "/tmp/x"}};
    ScriptCommand c = ParseOne("settings guest \"127.0.0.1\" $PORT \"${NICK}\"", vars);
    EXPECT_EQ(c.number, 40123);
    EXPECT_EQ(c.text2, "ann lee");
    EXPECT_EQ(ParseOne("wait title \"Chat host - Port ${PORT}\"", vars).text,
              "Chat host - Port 40123");
    EXPECT_EQ(ParseOne("type 15004 \"costs $$5\"", vars).text, "costs $5");

    EXPECT_NE(ErrorOf("click $NOPE").find("unknown variable 'NOPE'"), std::string::npos);
    EXPECT_NE(ParseScript("click ${PORT", vars).error.find("closing '}'"), std::string::npos);
    EXPECT_NE(ParseScript("type 15004 \"$ \"", vars).error.find("without a variable name"),
              std::string::npos);
}

TEST(SessionScript, TranscriptIsPrintedWithConsoleLineBreaks) {
    EXPECT_EQ(TranscriptForConsole("a\r\n\r\nb\r\n\r\n"), "a\n\nb\n\n");
    EXPECT_EQ(TranscriptForConsole("x\ry\nz"), "x\ny\nz");
    EXPECT_EQ(TranscriptForConsole(""), "");
}

} // namespace
} // namespace devhost

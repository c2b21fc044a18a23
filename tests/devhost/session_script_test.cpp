// Reading session scripts: every command form, the texts with their escapes, the
// session variables, and the mistakes a script writer makes, each with the line named.
#include "devhost/session/session_script.h"

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

    c = ParseOne("dialog \"Chat client - disconnected\" 900");
    EXPECT_EQ(c.kind, CommandKind::Dialog);
    EXPECT_EQ(c.text, "Chat client - disconnected");
    EXPECT_EQ(c.timeoutMs, 900u);

    c = ParseOne("transcript 15003");
    EXPECT_EQ(c.kind, CommandKind::Transcript);
    EXPECT_EQ(c.id, 15003);

    c = ParseOne("click 15002");
    EXPECT_EQ(c.kind, CommandKind::Click);
    EXPECT_EQ(c.id, 15002);

    c = ParseOne("type 15004 \"say \\\"hi\\\" 100%\\r\\nnext\"");
    EXPECT_EQ(c.kind, CommandKind::Type);
    EXPECT_EQ(c.id, 15004);
    EXPECT_EQ(c.text, "say \"hi\" 100%\r\nnext") << "escapes and percent signs pass as typed";

    c = ParseOne("select 15006 \"Host\"");
    EXPECT_EQ(c.kind, CommandKind::Select);
    EXPECT_EQ(c.text, "Host");

    c = ParseOne("print text 15001");
    EXPECT_EQ(c.kind, CommandKind::PrintText);
    EXPECT_EQ(c.id, 15001);
    EXPECT_EQ(ParseOne("print title").kind, CommandKind::PrintTitle);
    ErrorOf("print text");

    EXPECT_EQ(ParseOne("closebox").kind, CommandKind::CloseBox);
    EXPECT_EQ(ParseOne("quit").kind, CommandKind::Quit);

    c = ParseOne("move -20 300");
    EXPECT_EQ(c.kind, CommandKind::Move);
    EXPECT_EQ(c.number, -20);
    EXPECT_EQ(c.number2, 300);
}

TEST(SessionScript, ModalBlocksGatherTheirLines) {
    ParsedScript s = ParseScript("modal \"Connection settings\"\n"
                                 "  select 15006 \"Guest\"\n"
                                 "  # a comment inside\n"
                                 "  type 15001 \"8080\"\n"
                                 "  click 1\n"
                                 "end\n"
                                 "click 15002\n");
    ASSERT_TRUE(s.ok()) << s.error;
    ASSERT_EQ(s.commands.size(), 2u) << "the block's lines are its own";
    const ScriptCommand& block = s.commands[0];
    EXPECT_EQ(block.kind, CommandKind::Modal);
    EXPECT_EQ(block.text, "Connection settings");
    ASSERT_EQ(block.body.size(), 3u);
    EXPECT_EQ(block.body[0].describe(), "line 2: select 15006 \"Guest\"");
    EXPECT_EQ(block.body[2].describe(), "line 5: click 1");
    EXPECT_EQ(s.commands[1].line, 7);

    EXPECT_EQ(ErrorOf("modal \"x\"\nclick 1\n"), "line 1: 'modal' without its 'end'");
    EXPECT_EQ(ErrorOf("click 1\nend\n"), "line 2: 'end' without its 'modal'");
    EXPECT_EQ(ErrorOf("modal \"x\"\nend\n"),
              "line 2: the modal block has no line that acts on the dialog");
    EXPECT_NE(ErrorOf("modal \"x\"\nwait title \"y\"\nend\n").find("only type, select and click"),
              std::string::npos);
    EXPECT_NE(ErrorOf("modal \"x\"\nmodal \"y\"\nend\nend\n").find("only type"), std::string::npos)
        << "blocks do not nest";
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
    ScriptCommand c = ParseOne("type 15001 $PORT", vars);
    EXPECT_EQ(c.text, "40123");
    EXPECT_EQ(ParseOne("type 15007 \"${NICK}\"", vars).text, "ann lee");
    EXPECT_EQ(ParseOne("wait title \"Chat host - Port ${PORT}\"", vars).text,
              "Chat host - Port 40123");
    EXPECT_EQ(ParseOne("type 15004 \"costs $$5\"", vars).text, "costs $5");

    EXPECT_NE(ErrorOf("click $NOPE").find("unknown variable 'NOPE'"), std::string::npos);
    EXPECT_NE(ParseScript("click ${PORT", vars).error.find("closing '}'"), std::string::npos);
    EXPECT_NE(ParseScript("type 15004 \"$ \"", vars).error.find("without a variable name"),
              std::string::npos);
}

TEST(SessionScript, VariableFilesHoldNameValueLines) {
    ScriptVariables vars{{"KEPT", "1"}};
    std::string error;
    ASSERT_TRUE(ReadVariables("# ids\r\n\nSEND_BUTTON=15013\r\n  TITLE=Connection settings\n"
                              "EMPTY=\nEQ=a=b\n",
                              vars, error))
        << error;
    EXPECT_EQ(vars, (ScriptVariables{{"KEPT", "1"},
                                     {"SEND_BUTTON", "15013"},
                                     {"TITLE", "Connection settings"},
                                     {"EMPTY", ""},
                                     {"EQ", "a=b"}}));
    EXPECT_FALSE(ReadVariables("A=1\nno value here\n", vars, error));
    EXPECT_EQ(error, "line 2: wants NAME=VALUE, not \"no value here\"");
    EXPECT_FALSE(ReadVariables("=1\n", vars, error));
}

TEST(SessionScript, TranscriptIsPrintedWithConsoleLineBreaks) {
    EXPECT_EQ(TranscriptForConsole("a\r\n\r\nb\r\n\r\n"), "a\n\nb\n\n");
    EXPECT_EQ(TranscriptForConsole("x\ry\nz"), "x\ny\nz");
    EXPECT_EQ(TranscriptForConsole(""), "");
}

} // namespace
} // namespace devhost

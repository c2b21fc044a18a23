// Whole chats between devhost processes on 127.0.0.1, each with the real plug-in and a
// scripted session. The scripts take turns through their transcripts and a few
// signals, so every run is the same chat; the test then compares every participant's
// transcript verbatim with the one the chat must give (guest ports are read from the
// host's arrival lines, in arrival order).
#include "testkit/ports.h"
#include "testkit/raw_peer.h"
#include "tests/e2e/participant.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace e2e {
namespace {

const std::string kGuestAddr = "127.0.0.1";

// The chat window as its menu entry opens it, its transcript box named. The ids and
// the settings dialog's title are the chat's variables (scripts/chat.vars).
const std::string kOpenChat = "menu \"Chat client\"\n"
                              "dialog \"Chat client - disconnected\" $WAIT\n"
                              "transcript $TRANSCRIPT_BOX\n";

// Answers the next connection settings dialog: mode, address (a guest's only), port
// and nickname, then OK.
std::string Settings(const std::string& mode, const std::string& port, const std::string& nick,
                     const std::string& address = "") {
    return "modal \"$SETTINGS_DIALOG\"\n"
           "select $MODE_LIST \"" +
           mode + "\"\n" + (address.empty() ? "" : "type $ADDRESS_BOX \"" + address + "\"\n") +
           "type $PORT_BOX \"" + port +
           "\"\n"
           "type $NICKNAME_BOX \"" +
           nick +
           "\"\n"
           "click $OK_BUTTON\n"
           "end\n";
}

std::string HostStart(const std::string& nick) {
    return kOpenChat +
           "wait caption $CONNECT_BUTTON \"Closed\" $WAIT\n"
           "wait title \"Chat client - disconnected\" $WAIT\n" +
           Settings("Host", "$PORT", nick) +
           "click $CONNECT_BUTTON\n"
           "wait caption $CONNECT_BUTTON \"Listening\" $WAIT\n"
           "wait title \"Chat host - Port $PORT\" $WAIT\n"
           "wait disabled $SEND_BUTTON $WAIT\n"
           "wait disabled $MESSAGE_BOX $WAIT\n";
}

std::string GuestJoin(const std::string& nick) {
    return Settings("Guest", "$PORT", nick, "127.0.0.1") +
           "click $CONNECT_BUTTON\n"
           "wait caption $CONNECT_BUTTON \"Connected\" $WAIT\n"
           "wait title \"Chat client - 127.0.0.1:$PORT\" $WAIT\n"
           "wait enabled $SEND_BUTTON $WAIT\n";
}

std::string GuestStart(const std::string& nick) {
    return kOpenChat + "wait caption $CONNECT_BUTTON \"Closed\" $WAIT\n" + GuestJoin(nick);
}

// The ports in the host's arrival lines, in order.
std::vector<std::string> ArrivalPorts(const std::string& hostTranscript) {
    std::vector<std::string> ports;
    static const std::regex arrival("Guest 127\\.0\\.0\\.1:([0-9]+) has joined host");
    for (std::sregex_iterator it(hostTranscript.begin(), hostTranscript.end(), arrival), end;
         it != end; ++it)
        ports.push_back((*it)[1]);
    return ports;
}

std::string Guest(const std::string& port) {
    return "Guest " + kGuestAddr + ":" + port;
}

class ChatEndToEnd : public ::testing::Test {
protected:
    void startAll(std::vector<std::pair<Participant*, std::string>> scripts) {
        for (auto& p : scripts) {
            std::string error;
            ASSERT_TRUE(p.first->start(p.second, error)) << p.first->name() << ": " << error;
        }
    }
    // The first is the host, whose script signals `listening`: it starts on a port of
    // its own ($PORT), and the others once it listens.
    void startChat(Scenario& s, std::vector<std::pair<Participant*, std::string>> scripts) {
        std::string error;
        ASSERT_TRUE(s.startListening(*scripts[0].first, scripts[0].second, error)) << error;
        scripts.erase(scripts.begin());
        startAll(scripts);
    }
    // Every participant ends by itself with exit code 0 within the scenario's time.
    void finishAll(Scenario& s, std::vector<Participant*> participants) {
        for (Participant* p : participants) {
            int code = -1;
            const bool ended = p->finish(s.remainingMs() + 1000, code);
            EXPECT_TRUE(ended) << p->name() << " hung and was killed\n" << s.report();
            EXPECT_EQ(code, 0) << p->name() << "'s session failed\n" << s.report();
            EXPECT_EQ(p->errors().find("report:"), std::string::npos)
                << p->name() << " reported an error: " << p->errors();
        }
    }
};

// A host with a nickname and three guests, one of them without a nickname: arrivals,
// nicknames, lines relayed to everyone with quotes, percent signs and a line break,
// the host's own line, and three ways to leave: the Connect button, the close box,
// and a process that is killed.
TEST_F(ChatEndToEnd, HostAndThreeGuestsChatAndLeave) {
    Scenario s("three_guests");
    Participant& host = s.add("host");
    Participant& ann = s.add("ann");
    Participant& bob = s.add("bob");
    Participant& anon = s.add("anon");

    const std::string annText = "hello \\\"all\\\", 100% sure\\r\\nsecond line";
    startChat(
        s,
        {
            {&host, HostStart("hal") +
                        "signal listening\n"
                        "wait transcript \"3 guest(s) are currently on-line\" $WAIT\n"
                        "wait enabled $SEND_BUTTON $WAIT\n"
                        "wait transcript \"says: \\\"from nobody\\\"\" $WAIT\n"
                        "type $MESSAGE_BOX \"welcome, 50% off\"\n"
                        "click $SEND_BUTTON\n"
                        "wait caption $MESSAGE_BOX \"\" $WAIT\n"
                        "wait transcript \"Host 'hal' says: \\\"welcome, 50% off\\\"\" $WAIT\n"
                        "wait transcript \"has disconnected\\r\\n\\r\\n0 guest(s) are currently "
                        "on-line\" $WAIT\n"
                        "wait disabled $SEND_BUTTON $WAIT\n"
                        "wait disabled $MESSAGE_BOX $WAIT\n"
                        "wait caption $CONNECT_BUTTON \"Listening\" $WAIT\n"
                        "quit\n"},
            {&ann, "wait signal listening $WAIT\n" + GuestStart("ann") +
                       "wait transcript \"is 'ann'\" $WAIT\n"
                       "signal ann-in\n"
                       "wait transcript \"3 guest(s) are currently on-line\" $WAIT\n"
                       "type $MESSAGE_BOX \"" +
                       annText +
                       "\"\n"
                       "click $SEND_BUTTON\n"
                       "wait caption $MESSAGE_BOX \"\" $WAIT\n"
                       "wait transcript \"Guest 'ann' says: \\\"" +
                       annText +
                       "\\\"\" $WAIT\n"
                       "wait transcript \"Guest 'bob' says: \\\"bye now\\\"\" $WAIT\n"
                       "click $CONNECT_BUTTON\n"
                       "wait caption $CONNECT_BUTTON \"Closed\" $WAIT\n"
                       "wait title \"Chat client - disconnected\" $WAIT\n"
                       "wait disabled $SEND_BUTTON $WAIT\n"
                       "quit\n"},
            {&bob, "wait signal ann-in $WAIT\n" + GuestStart("bob") +
                       "wait transcript \"is 'bob'\" $WAIT\n"
                       "signal bob-in\n"
                       "wait transcript \"Host 'hal' says: \\\"welcome, 50% off\\\"\" $WAIT\n"
                       "type $MESSAGE_BOX \"bye now\"\n"
                       "click $SEND_BUTTON\n"
                       "wait transcript \"Guest 'ann' has disconnected\\r\\n\\r\\n2 guest(s) are "
                       "currently on-line\" $WAIT\n"
                       "closebox\n"
                       "quit\n"},
            {&anon, "wait signal bob-in $WAIT\n" + GuestStart("") +
                        "wait transcript \"3 guest(s) are currently on-line\" $WAIT\n"
                        "wait transcript \"Guest 'ann' says:\" $WAIT\n"
                        "type $MESSAGE_BOX \"from nobody\"\n"
                        "click $SEND_BUTTON\n"
                        "wait transcript \"Guest 'bob' has disconnected\\r\\n\\r\\n1 guest(s) are "
                        "currently on-line\" $WAIT\n"
                        "print transcript\n"
                        "signal anon-waiting\n"
                        "wait signal never 100000\n"},
        });
    ASSERT_TRUE(s.waitSignal("anon-waiting")) << "the chat never reached its end\n" << s.report();
    anon.kill(); // a guest whose process dies: the host learns it from the socket
    int code = 0;
    anon.finish(5000, code);
    finishAll(s, {&host, &ann, &bob});

    const std::vector<std::string> ports = ArrivalPorts(host.transcript());
    ASSERT_EQ(ports.size(), 3u) << "three arrivals in the host's transcript:\n"
                                << host.transcript();
    const std::string &pa = ports[0], &pb = ports[1], &pn = ports[2];
    ExpectedChat chat;
    chat.join("ann");
    chat.hostLine(Guest(pa) + " has joined host 'hal'");
    chat.hostLine("1 guest(s) are currently on-line");
    chat.hostLine(Guest(pa) + " is 'ann'");
    chat.join("bob");
    chat.hostLine(Guest(pb) + " has joined host 'hal'");
    chat.hostLine("2 guest(s) are currently on-line");
    chat.hostLine(Guest(pb) + " is 'bob'");
    chat.join("anon");
    chat.hostLine(Guest(pn) + " has joined host 'hal'");
    chat.hostLine("3 guest(s) are currently on-line");
    chat.hostLine("Guest 'ann' says: \"hello \"all\", 100% sure\r\nsecond line\"");
    chat.hostLine(Guest(pn) + " says: \"from nobody\"");
    chat.hostLine("Host 'hal' says: \"welcome, 50% off\"");
    chat.hostLine("Guest 'bob' says: \"bye now\"");
    chat.leave("ann");
    chat.hostLine("Guest 'ann' has disconnected");
    chat.hostLine("2 guest(s) are currently on-line");
    chat.leave("bob");
    chat.hostLine("Guest 'bob' has disconnected");
    chat.hostLine("1 guest(s) are currently on-line");
    chat.leave("anon");
    chat.hostLine(Guest(pn) + " has disconnected");
    chat.hostLine("0 guest(s) are currently on-line");

    EXPECT_EQ(host.transcript(), chat.host()) << "the host's transcript";
    EXPECT_EQ(ann.transcript(), chat.guest("ann")) << "ann's transcript, from her arrival on";
    EXPECT_EQ(bob.transcript(), chat.guest("bob")) << "bob's transcript, from his arrival on";
    std::string printed = anon.output();
    printed.erase(std::remove(printed.begin(), printed.end(), '\r'),
                  printed.end()); // Windows' text mode
    EXPECT_EQ(printed, ConsoleForm(chat.guest("anon")))
        << "the transcript that the guest without nickname printed before it was killed";
}

// A host without nickname stops while guests are connected: each guest shows "Host has
// disconnected" once, turns to Closed and can connect again. A raw guest announces two
// nicknames; the second replaces the first.
TEST_F(ChatEndToEnd, HostStopsAndGuestsConnectAgain) {
    Scenario s("host_stops");
    Participant& host = s.add("host");
    Participant& cat = s.add("cat");
    Participant& dan = s.add("dan");
    startChat(
        s,
        {
            {&host, HostStart("") +
                        "signal listening\n"
                        "wait transcript \"Guest 'zoe' says: \\\"hi from zoe\\\"\" $WAIT\n"
                        "click $CONNECT_BUTTON\n"
                        "wait caption $CONNECT_BUTTON \"Closed\" $WAIT\n"
                        "wait title \"Chat host - closed\" $WAIT\n"
                        "wait disabled $SEND_BUTTON $WAIT\n"
                        "wait signal cat-out $WAIT\n"
                        "wait signal dan-out $WAIT\n" +
                        Settings("Host", "$PORT", "") +
                        "click $CONNECT_BUTTON\n"
                        "wait caption $CONNECT_BUTTON \"Listening\" $WAIT\n"
                        "signal relistening\n"
                        "wait transcript \"Guest 'cat' has disconnected\\r\\n\\r\\n0 guest(s) are "
                        "currently on-line\" $WAIT\n"
                        "quit\n"},
            {&cat, "wait signal listening $WAIT\n" + GuestStart("cat") +
                       "wait transcript \"is 'cat'\" $WAIT\n"
                       "signal cat-in\n"
                       "wait transcript \"Host has disconnected\" $WAIT\n"
                       "wait caption $CONNECT_BUTTON \"Closed\" $WAIT\n"
                       "wait title \"Chat client - disconnected\" $WAIT\n"
                       "wait disabled $SEND_BUTTON $WAIT\n"
                       "signal cat-out\n"
                       "wait signal relistening $WAIT\n" +
                       GuestJoin("cat") +
                       "wait transcript-count 2 \"is 'cat'\" $WAIT\n"
                       "quit\n"},
            {&dan, "wait signal cat-in $WAIT\n" + GuestStart("dan") +
                       "wait transcript \"is 'dan'\" $WAIT\n"
                       "signal dan-in\n"
                       "wait transcript \"Host has disconnected\" $WAIT\n"
                       "wait caption $CONNECT_BUTTON \"Closed\" $WAIT\n"
                       "signal dan-out\n"
                       "quit\n"},
        });
    ASSERT_TRUE(s.waitSignal("dan-in")) << s.report();
    testsupport::RawPeer raw;
    ASSERT_TRUE(raw.connect(kGuestAddr, s.port())) << "the raw guest could not connect";
    ASSERT_TRUE(raw.sendRecord("set display name", "zed"));
    ASSERT_TRUE(raw.sendRecord("set display name", "zoe"));
    ASSERT_TRUE(raw.sendRecord("text", "hi from zoe"));
    EXPECT_TRUE(raw.waitClosed(s.remainingMs())) << "the host's stop ends the raw guest too";
    finishAll(s, {&host, &cat, &dan});

    const std::vector<std::string> ports = ArrivalPorts(host.transcript());
    ASSERT_EQ(ports.size(), 4u) << host.transcript();
    ExpectedChat chat;
    chat.join("cat");
    chat.hostLine(Guest(ports[0]) + " has joined host");
    chat.hostLine("1 guest(s) are currently on-line");
    chat.hostLine(Guest(ports[0]) + " is 'cat'");
    chat.join("dan");
    chat.hostLine(Guest(ports[1]) + " has joined host");
    chat.hostLine("2 guest(s) are currently on-line");
    chat.hostLine(Guest(ports[1]) + " is 'dan'");
    chat.join("raw");
    chat.hostLine(Guest(ports[2]) + " has joined host");
    chat.hostLine("3 guest(s) are currently on-line");
    chat.hostLine(Guest(ports[2]) + " is 'zed'");
    chat.hostLine(Guest(ports[2]) + " is 'zoe'");
    chat.hostLine("Guest 'zoe' says: \"hi from zoe\"");
    // The host stops: nothing is appended or sent; each guest notes it once.
    chat.leave("cat");
    chat.leave("dan");
    chat.leave("raw");
    chat.guestOwn("cat", "Host has disconnected\r\n\r\n");
    chat.guestOwn("dan", "Host has disconnected\r\n\r\n");
    chat.join("cat");
    chat.hostLine(Guest(ports[3]) + " has joined host");
    chat.hostLine("1 guest(s) are currently on-line");
    chat.hostLine(Guest(ports[3]) + " is 'cat'");
    chat.leave("cat");
    chat.hostLine("Guest 'cat' has disconnected");
    chat.hostLine("0 guest(s) are currently on-line");

    EXPECT_EQ(host.transcript(), chat.host()) << "the host's transcript";
    EXPECT_EQ(cat.transcript(), chat.guest("cat")) << "cat's transcript, over both connections";
    EXPECT_EQ(dan.transcript(), chat.guest("dan")) << "dan's transcript";
}

// Connecting to a closed port and hosting on a port in use show the Winsock error by
// name in a message box, and leave the window Closed.
TEST_F(ChatEndToEnd, ConnectAndListenFailuresNameTheError) {
    Scenario s("failures");
    testsupport::ClosedPort closed;
    testsupport::RawListener busy;
    ASSERT_TRUE(busy.listen(0)) << "cannot hold a port on 127.0.0.1";
    ASSERT_NE(closed.port(), 0) << "cannot hold a closed port on 127.0.0.1";
    s.set("CLOSED", std::to_string(closed.port()));
    s.set("BUSY", std::to_string(busy.port()));
    Participant& p = s.add("lonely");
    startAll({{&p, kOpenChat + Settings("Guest", "$CLOSED", "x", "127.0.0.1") +
                       "click $CONNECT_BUTTON\n"
                       "box expect \"Cannot connect to host '127.0.0.1:$CLOSED' (error code = "
                       "WSAECONNREFUSED)\" $WAIT\n"
                       "wait caption $CONNECT_BUTTON \"Closed\" $WAIT\n"
                       "wait title \"Chat client - disconnected\" $WAIT\n" +
                       Settings("Host", "$BUSY", "") +
                       "click $CONNECT_BUTTON\n"
                       "box expect \"Cannot open port $BUSY for listening (error code = "
                       "WSAEADDRINUSE)\" $WAIT\n"
                       "wait caption $CONNECT_BUTTON \"Closed\" $WAIT\n"
                       "wait title \"Chat host - closed\" $WAIT\n"
                       "quit\n"}});
    finishAll(s, {&p});
    EXPECT_EQ(p.transcript(), "") << "failures write nothing to the transcript";
}

// The session itself: a wait that is not met ends devhost with exit code 1 and a
// sentence naming the line, what was expected and what was seen; so does a modal
// block that no dialog used, and a message box that no line of the script expects,
// which ends the script at once instead of at the wait's deadline.
TEST_F(ChatEndToEnd, AFailedScriptSaysWhatItMissed) {
    Scenario s("failing_scripts");
    Participant& wrongTitle = s.add("wrong_title");
    Participant& leftover = s.add("leftover_block");
    Participant& unexpectedBox = s.add("unexpected_box");
    startAll({{&wrongTitle, kOpenChat + "wait title \"Chat host - Port 1\" 300\n"
                                        "quit\n"},
              {&leftover, kOpenChat + Settings("Host", "8080", "") + "quit\n"},
              {&unexpectedBox, kOpenChat + Settings("Guest", "8080", "", "no address") +
                                   "click $CONNECT_BUTTON\n"
                                   "wait caption $CONNECT_BUTTON \"Connected\" 100000\n"
                                   "quit\n"}});
    int code = 0;
    ASSERT_TRUE(wrongTitle.finish(s.remainingMs(), code)) << s.report();
    EXPECT_EQ(code, 1);
    EXPECT_NE(wrongTitle.errors().find("script failed: line 4: wait title \"Chat host - Port 1\": "
                                       "not seen within 300 ms; the title is \"Chat client - "
                                       "disconnected\""),
              std::string::npos)
        << wrongTitle.errors();
    ASSERT_TRUE(leftover.finish(s.remainingMs(), code)) << s.report();
    EXPECT_EQ(code, 1);
    EXPECT_NE(leftover.errors().find("1 modal block(s) that no dialog used"), std::string::npos)
        << leftover.errors();
    ASSERT_TRUE(unexpectedBox.finish(s.remainingMs(), code)) << s.report();
    EXPECT_EQ(code, 1);
    EXPECT_NE(unexpectedBox.errors().find("script failed: a message box that the script did not "
                                          "expect: [Volubra] \"Cannot connect to host 'no "
                                          "address:8080' (error code = WSAEINVAL)\""),
              std::string::npos)
        << unexpectedBox.errors();
}

} // namespace
} // namespace e2e

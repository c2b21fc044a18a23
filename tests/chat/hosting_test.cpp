// Hosting: raw guests arrive, announce nicknames, speak and leave; the host's
// transcript and what each raw guest receives are compared word for word.
#include "testkit/chat_fixture.h"

#include "devhost/nxtcpsock/frame_codec.h"
#include "dialogkit/message_box.h"
#include "dialogkit/testing/testing.h"
#include "module/chat/ChatLines.h"
#include "module/chat/ShownLine.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace chat_test {
namespace {

using testsupport::RawPeer;

std::string Entry(const std::string& line) {
    return line + "\r\n\r\n";
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Where a long line is cut when the limit falls on the second byte of a euro sign: the
// sign is left out whole where it is one character (UTF-8, and the double-byte code
// pages, where 0xE2 is a lead byte), and cut through where each byte is a character.
std::size_t CutInsideAEuroSign() {
#if defined(_WIN32)
    CPINFO info{};
    if (::GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1) return shownline::kMaxShownLineBytes;
#endif
    return shownline::kMaxShownLineBytes - 1;
}

std::string Addr(std::uint16_t port) {
    return "127.0.0.1:" + std::to_string(port);
}

class HostingTest : public ChatFixture {
protected:
    // Takes the next count records of guest, whatever they are.
    void Skip(RawPeer& guest, int count) {
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(Receive(guest)) << "record " << i << " of " << count << " never came";
    }
    // A record too big for the socket buffers in one go: sent in pieces while the host
    // reads them.
    void SendLarge(RawPeer& guest, const std::string& label, const std::string& text) {
        constexpr std::size_t kPiece = 64 * 1024;
        const std::string frame = devhost::encodeFrame(label, text);
        for (std::size_t at = 0; at < frame.size(); at += kPiece) {
            ASSERT_TRUE(guest.sendRaw(frame.substr(at, kPiece)));
            sockets.pump(0);
        }
    }
};

std::string UnrelayedReport(const std::string& sender) {
    return "CChatDlg::BroadcastText error:\r\n - cannot relay a line of " + sender +
           " to every guest (error code = WSAEMSGSIZE)";
}

TEST_F(HostingTest, WholeChatWithTwoGuests) {
    const std::uint16_t port = StartHosting("Hosty");
    EXPECT_EQ(Title(), "Chat host - Port " + std::to_string(port));
    EXPECT_FALSE(SendEnabled()) << "sending must wait for a first guest";

    RawPeer alice = ConnectGuest(port);
    const std::uint16_t alicePort = GuestPort(0);
    const std::string aliceJoined = "Guest " + Addr(alicePort) + " has joined host 'Hosty'";
    EXPECT_EQ(Receive(alice), TextRecord(aliceJoined));
    EXPECT_EQ(Receive(alice), TextRecord("1 guest(s) are currently on-line"));
    EXPECT_TRUE(SendEnabled()) << "the first guest enables sending";

    ASSERT_TRUE(alice.sendRecord("set display name", "Alice"));
    const std::string aliceIs = "Guest " + Addr(alicePort) + " is 'Alice'";
    EXPECT_EQ(Receive(alice), TextRecord(aliceIs));

    RawPeer bob = ConnectGuest(port);
    const std::uint16_t bobPort = GuestPort(1);
    const std::string bobJoined = "Guest " + Addr(bobPort) + " has joined host 'Hosty'";
    for (RawPeer* guest : {&alice, &bob}) {
        EXPECT_EQ(Receive(*guest), TextRecord(bobJoined));
        EXPECT_EQ(Receive(*guest), TextRecord("2 guest(s) are currently on-line"));
    }

    // Quotes, percent signs and line breaks pass through untouched.
    const std::string tricky = "50% \"quoted\" %s%n%d\r\nsecond line";
    ASSERT_TRUE(bob.sendRecord("text", tricky));
    const std::string bobSays = "Guest " + Addr(bobPort) + " says: \"" + tricky + "\"";
    EXPECT_EQ(Receive(alice), TextRecord(bobSays));
    EXPECT_EQ(Receive(bob), TextRecord(bobSays)) << "the sender gets its own line back";

    ASSERT_TRUE(alice.sendRecord("text", "hi all"));
    const std::string aliceSays = "Guest 'Alice' says: \"hi all\"";
    EXPECT_EQ(Receive(alice), TextRecord(aliceSays));
    EXPECT_EQ(Receive(bob), TextRecord(aliceSays));

    TypeMessage("Welcome %s, 100%");
    ASSERT_TRUE(ClickSend());
    const std::string hostSays = "Host 'Hosty' says: \"Welcome %s, 100%\"";
    EXPECT_EQ(Receive(alice), TextRecord(hostSays));
    EXPECT_EQ(Receive(bob), TextRecord(hostSays));
    EXPECT_EQ(MessageBoxText(), "") << "Send empties the message box";

    alice.close();
    ASSERT_TRUE(PumpUntil([&] { return ChatState().m_GuestSocks.GetSize() == 1; }));
    EXPECT_EQ(Receive(bob), TextRecord("Guest 'Alice' has disconnected"));
    EXPECT_EQ(Receive(bob), TextRecord("1 guest(s) are currently on-line"));

    bob.close();
    ASSERT_TRUE(PumpUntil([&] { return ChatState().m_GuestSocks.GetSize() == 0; }));
    EXPECT_FALSE(SendEnabled()) << "the last departure disables sending";
    EXPECT_EQ(ConnectCaption(), "Listening");

    const std::string expected =
        Entry(aliceJoined) + Entry("1 guest(s) are currently on-line") + Entry(aliceIs) +
        Entry(bobJoined) + Entry("2 guest(s) are currently on-line") + Entry(bobSays) +
        Entry(aliceSays) + Entry(hostSays) + Entry("Guest 'Alice' has disconnected") +
        Entry("1 guest(s) are currently on-line") +
        Entry("Guest " + Addr(bobPort) + " has disconnected") +
        Entry("0 guest(s) are currently on-line");
    EXPECT_EQ(Transcript(), expected);
    EXPECT_EQ(ShownTranscript(), expected);
    EXPECT_TRUE(Reports().empty()) << Reports().front();
}

TEST_F(HostingTest, HostWithoutNicknameAndLabelsAsTheyCome) {
    const std::uint16_t port = StartHosting("");
    RawPeer guest = ConnectGuest(port);
    const std::string addr = Addr(GuestPort(0));
    EXPECT_EQ(Receive(guest), TextRecord("Guest " + addr + " has joined host"));
    EXPECT_EQ(Receive(guest), TextRecord("1 guest(s) are currently on-line"));

    // Three records in one go: an upper-case label, an unknown one, a second name.
    const std::string burst =
        devhost::encodeFrame("TEXT", "one") + devhost::encodeFrame("whisper", "ignored") +
        devhost::encodeFrame("Set Display Name", "Gus") + devhost::encodeFrame("text", "two") +
        devhost::encodeFrame("set display name", "Gustav") + devhost::encodeFrame("text", "three");
    ASSERT_TRUE(guest.sendRaw(burst));
    const std::vector<std::string> lines = {
        "Guest " + addr + " says: \"one\"", "Guest " + addr + " is 'Gus'",
        "Guest 'Gus' says: \"two\"", "Guest " + addr + " is 'Gustav'",
        "Guest 'Gustav' says: \"three\""};
    for (const std::string& line : lines)
        EXPECT_EQ(Receive(guest), TextRecord(line));

    TypeMessage("plain");
    ASSERT_TRUE(ClickSend());
    EXPECT_EQ(Receive(guest), TextRecord("Host says: \"plain\""))
        << "an unknown label must be skipped, nothing comes before the host's line";

    std::string expected =
        Entry("Guest " + addr + " has joined host") + Entry("1 guest(s) are currently on-line");
    for (const std::string& line : lines)
        expected += Entry(line);
    expected += Entry("Host says: \"plain\"");
    EXPECT_EQ(Transcript(), expected);
}

TEST_F(HostingTest, EmptySendDoesNothing) {
    const std::uint16_t port = StartHosting("Hosty");
    RawPeer guest = ConnectGuest(port);
    ASSERT_TRUE(Receive(guest));
    ASSERT_TRUE(Receive(guest));
    const std::string before = Transcript();
    TypeMessage("");
    ASSERT_TRUE(ClickSend());
    EXPECT_EQ(Transcript(), before);
    EXPECT_TRUE(NextIsMarker(guest, "Hosty"));
}

TEST_F(HostingTest, StoppingClosesEveryGuestAndTellsNobody) {
    const std::uint16_t port = StartHosting("Hosty");
    RawPeer first = ConnectGuest(port);
    RawPeer second = ConnectGuest(port);
    const std::string before = Transcript();

    ASSERT_TRUE(ClickConnect());
    EXPECT_EQ(ConnectCaption(), "Closed");
    EXPECT_EQ(Title(), "Chat host - closed");
    EXPECT_EQ(ChatState().m_GuestSocks.GetSize(), 0);
    for (RawPeer* guest : {&first, &second}) {
        // What was sent before the stop may still be read; nothing follows it.
        EXPECT_TRUE(guest->waitClosed(kWaitMs)) << "a guest's connection stayed open";
    }
    EXPECT_EQ(Transcript(), before) << "stopping appends nothing";

    // The same listening socket serves again on the next click.
    AnswerSettings(ChatMode::Host, "", port, "Again");
    ASSERT_TRUE(ClickConnect());
    EXPECT_EQ(ConnectCaption(), "Listening");
    RawPeer third = ConnectGuest(port);
    EXPECT_EQ(Receive(third),
              TextRecord("Guest " + Addr(GuestPort(0)) + " has joined host 'Again'"));
}

TEST_F(HostingTest, PortInUseShowsTheListenBox) {
    // Another program's socket of the same kind already listens on the port.
    devhost::TcpSocketSet otherProgram({}, [](QHANDLE, QHANDLE) {});
    const QHANDLE other = otherProgram.create();
    ASSERT_EQ(otherProgram.listen(other, 0), devhost::SockResult::Ok);
    const std::uint16_t port = otherProgram.localPort(other).value_or(0);

    AnswerSettings(ChatMode::Host, "", port, "");
    ASSERT_TRUE(ClickConnect());
    const auto boxes = dk::testing::TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    const std::int32_t error = ChatState().m_ListenSock.GetLastError();
    EXPECT_EQ(boxes[0].text, "Cannot open port " + std::to_string(port) +
                                 " for listening (error code = " + GetSockErrorName(error) + ")");
    EXPECT_EQ(error, 10048) << "a taken port is WSAEADDRINUSE";
    EXPECT_EQ(boxes[0].caption, "Volubra");
    EXPECT_EQ(boxes[0].flags & dk::kMbIconError, unsigned(dk::kMbIconError));
    EXPECT_EQ(ConnectCaption(), "Closed");
    EXPECT_EQ(Title(), "Chat host - closed");
    EXPECT_EQ(ChatState().m_nPort, port) << "the chosen settings are kept";
}

TEST_F(HostingTest, UnknownHandlesChangeNothingButTheCount) {
    const std::uint16_t port = StartHosting("Hosty");
    RawPeer guest = ConnectGuest(port);
    ASSERT_TRUE(Receive(guest));
    ASSERT_TRUE(Receive(guest));
    const std::string before = Transcript();
    host.clearReports();

    g_ChatDlg.OnAccept(ChatState().m_ListenSock.GetHandle() + 1000);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0], "CChatDlg::OnAccept error:\r\n - socket handle mismatch");
    EXPECT_EQ(ChatState().m_GuestSocks.GetSize(), 1);

    g_ChatDlg.OnClose(ChatState().m_ListenSock.GetHandle() + 1000);
    EXPECT_EQ(Receive(guest), TextRecord("1 guest(s) are currently on-line"));
    EXPECT_EQ(Transcript(), before + Entry("1 guest(s) are currently on-line"));
    EXPECT_EQ(ChatState().m_GuestSocks.GetSize(), 1);
    EXPECT_TRUE(NextIsMarker(guest, "Hosty"));
}

TEST_F(HostingTest, TypedTextSurvivesAGuestsArrival) {
    const std::uint16_t port = StartHosting("Hosty");
    RawPeer first = ConnectGuest(port);
    ASSERT_TRUE(Receive(first));
    ASSERT_TRUE(Receive(first));

    TypeMessage("half a sentence");
    RawPeer second = ConnectGuest(port);
    EXPECT_EQ(MessageBoxText(), "half a sentence") << "an arrival wiped the typed text";
    ASSERT_TRUE(ClickSend());
    EXPECT_EQ(Receive(first),
              TextRecord("Guest " + Addr(GuestPort(1)) + " has joined host 'Hosty'"));
    EXPECT_EQ(Receive(first), TextRecord("2 guest(s) are currently on-line"));
    EXPECT_EQ(Receive(first), TextRecord("Host 'Hosty' says: \"half a sentence\""));
}

TEST_F(HostingTest, HostVariablesReturnToTheirCountOnceEveryGuestHasLeft) {
    const std::size_t before = host.liveVariableCount();
    const std::uint16_t port = StartHosting("Hosty");
    const std::size_t listening = host.liveVariableCount(); // the listening socket's own
    constexpr int kGuests = 3;
    std::vector<RawPeer> guests;
    for (int i = 0; i < kGuests; ++i)
        guests.push_back(ConnectGuest(port));
    ASSERT_TRUE(guests[0].sendRecord("set display name", "Alice"));
    for (int i = 0; i < kGuests; ++i)
        ASSERT_TRUE(guests[i].sendRecord("text", "line " + std::to_string(i)));
    // Every guest reads until it has every relayed line, so every send has happened.
    for (RawPeer& guest : guests) {
        int lines = 0;
        while (lines < kGuests) {
            const std::optional<devhost::Record> record = Receive(guest);
            ASSERT_TRUE(record) << "a guest missed a relayed line" << Diagnostics();
            lines += record->text.find(" says: \"line ") != std::string::npos;
        }
    }
    EXPECT_NE(Transcript().find("Guest 'Alice' says: \"line 0\""), std::string::npos);

    for (RawPeer& guest : guests)
        guest.close();
    ASSERT_TRUE(PumpUntil([&] { return ChatState().m_GuestSocks.GetSize() == 0; }));
    EXPECT_EQ(host.liveVariableCount(), listening) << "the guests left host variables behind";
    // Closing the window ends hosting and lets go of the listening socket.
    g_ChatDlg.HideAndEndSessions();
    EXPECT_EQ(host.liveVariableCount(), before);
}

TEST_F(HostingTest, ABroadcastAsksEachGuestItsStateAndSendsInListOrder) {
    const std::uint16_t port = StartHosting("Hosty");
    RawPeer first = ConnectGuest(port);
    RawPeer second = ConnectGuest(port);
    RawPeer third = ConnectGuest(port);
    Skip(first, 6);
    Skip(second, 4);
    Skip(third, 2);
    host.bench().clearCallLog();
    TypeMessage("to all");
    ASSERT_TRUE(ClickSend());
    std::vector<std::string> functions;
    for (const devhost::HostCall& call : host.bench().callLog())
        if (call.name == "qrvfunc.GetFunc") functions.push_back(call.args.back());
    const std::string state = "\"nxTcpSock.GetSockState\"", send = "\"nxTcpSock.SendMsgA\"";
    EXPECT_EQ(functions, (std::vector<std::string>{state, send, state, send, state, send}));
    for (RawPeer* guest : {&first, &second, &third})
        EXPECT_EQ(Receive(*guest), TextRecord("Host 'Hosty' says: \"to all\""));
}

TEST_F(HostingTest, ALineTooLongToRelayIsReportedOncePerGuest) {
    const std::uint16_t port = StartHosting("");
    RawPeer alice = ConnectGuest(port);
    RawPeer bob = ConnectGuest(port);
    const std::string aliceAddr = Addr(GuestPort(0));
    const std::string bobAddr = Addr(GuestPort(1));
    Skip(alice, 4);
    Skip(bob, 2);

    // Within the frame limit, but not once the host has made its line of it.
    const std::string longText(devhost::kMaxTextBytes - 8, 'x');
    SendLarge(alice, "text", longText);
    ASSERT_TRUE(PumpUntil([&] { return !Reports().empty(); }));
    EXPECT_EQ(Reports(), std::vector<std::string>{UnrelayedReport("guest " + aliceAddr)});
    const std::string line = "Guest " + aliceAddr + " says: \"" + longText + "\"";
    EXPECT_TRUE(EndsWith(Transcript(), Entry(shownline::ShownLine(line))))
        << "the host shows the line it could not relay";

    SendLarge(alice, "text", longText);
    SendLarge(bob, "text", longText);
    ASSERT_TRUE(PumpUntil([&] { return Reports().size() >= 2; }));
    ASSERT_TRUE(alice.sendRecord("text", "short"));
    const std::string aliceSays = "Guest " + aliceAddr + " says: \"short\"";
    EXPECT_EQ(Receive(alice), TextRecord(aliceSays)) << "no part of a long line arrived";
    EXPECT_EQ(Receive(bob), TextRecord(aliceSays));
    EXPECT_EQ(Reports(), (std::vector<std::string>{UnrelayedReport("guest " + aliceAddr),
                                                   UnrelayedReport("guest " + bobAddr)}))
        << "each guest and cause once";
}

TEST_F(HostingTest, ALongLineIsRelayedWholeAndShownShortenedOnBothSides) {
    const std::uint16_t port = StartHosting("");
    RawPeer alice = ConnectGuest(port);
    Skip(alice, 2);
    const std::string says = "Guest " + Addr(GuestPort(0)) + " says: \"";
    // The limit falls one byte into a euro sign.
    const std::string euro = "\xE2\x82\xAC";
    std::string text(shownline::kMaxShownLineBytes - 1 - says.size(), 'x');
    for (int i = 0; i < 100000; ++i)
        text += euro;
    const std::string line = says + text + "\"";
    const std::size_t cut = CutInsideAEuroSign();
    const std::string shown = line.substr(0, cut) + " [... " +
                              (cut < shownline::kMaxShownLineBytes ? "300,001" : "300,000") +
                              " more bytes not shown]";

    SendLarge(alice, "text", text);
    // Texts of hundreds of kilobytes are compared, not printed.
    EXPECT_TRUE(Receive(alice) == TextRecord(line)) << "the wire carries the whole line";
    EXPECT_TRUE(EndsWith(Transcript(), Entry(shown))) << "the host shows its beginning";
    EXPECT_TRUE(ShownTranscript() == Transcript());

    // The same line reaching the chat as a guest, from a host that relays it whole.
    ASSERT_TRUE(ClickConnect());
    ASSERT_EQ(ConnectCaption(), "Closed");
    testsupport::RawListener rawHost;
    ASSERT_TRUE(rawHost.listen(0));
    JoinHost(rawHost.port(), "");
    RawPeer hostSide = rawHost.accept(kWaitMs);
    ASSERT_TRUE(hostSide.isOpen());
    const std::string before = Transcript();
    SendLarge(hostSide, "text", line);
    ASSERT_TRUE(PumpUntil([&] { return Transcript() != before; }));
    EXPECT_TRUE(Transcript() == before + Entry(shown)) << "the guest shows the same beginning";
    EXPECT_TRUE(ShownTranscript() == Transcript());
    EXPECT_TRUE(Reports().empty()) << Reports().front();
}

TEST_F(HostingTest, ANicknameOverTheMaximumIsRefusedAndTheOldOneKept) {
    const std::uint16_t port = StartHosting("");
    RawPeer guest = ConnectGuest(port);
    const std::string addr = Addr(GuestPort(0));
    Skip(guest, 2);
    ASSERT_TRUE(guest.sendRecord("set display name", "Gus"));
    EXPECT_EQ(Receive(guest), TextRecord("Guest " + addr + " is 'Gus'"));

    const std::string tooLong(chatlines::kMaxNicknameBytes + 1, 'n');
    ASSERT_TRUE(guest.sendRecord("set display name", tooLong));
    ASSERT_TRUE(guest.sendRecord("set display name", tooLong + "er"));
    ASSERT_TRUE(guest.sendRecord("text", "still Gus"));
    EXPECT_EQ(Receive(guest), TextRecord("Guest 'Gus' says: \"still Gus\""))
        << "a refused name makes no line and replaces nothing";
    EXPECT_EQ(Reports(), std::vector<std::string>{"CChatDlg::OnRecv error:\r\n - cannot take the "
                                                  "display name of guest " +
                                                  addr + ": longer than 256 bytes"});

    const std::string longest(chatlines::kMaxNicknameBytes, 'n');
    ASSERT_TRUE(guest.sendRecord("set display name", longest));
    EXPECT_EQ(Receive(guest), TextRecord("Guest " + addr + " is '" + longest + "'"));
}

} // namespace
} // namespace chat_test

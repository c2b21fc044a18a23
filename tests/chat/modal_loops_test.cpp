// Handlers that show a report midway: the report's box runs a modal loop in which
// other handlers run, here a guest's close or the window being closed. The report
// sink stands in for that loop. Under AddressSanitizer a handler that held on to a
// guest across the report would be caught using it after it was freed.
#include "testkit/chat_fixture.h"

#include "devhost/nxtcpsock/frame_codec.h"
#include "module/chat/ChatLines.h"
#include "module/chat/ShownLine.h"
#include "module/ui/TranscriptMenu.h"
#include "module/ui/resource.h"

#include <functional>
#include <regex>

namespace chat_test {
namespace {

using testsupport::RawPeer;

class ModalLoopsTest : public ChatFixture {
protected:
    // Runs action inside the first report only (later reports pass by).
    void OnFirstReport(std::function<void()> action) {
        host.setReportSink([action, done = false](const std::string&) mutable {
            if (done) return;
            done = true;
            action();
        });
    }
    // The user closes the window with its Close button.
    static void ClickClose() { dk::testing::ClickButton(g_ChatDlg.GetSafeHwnd(), dk::kIdOk); }
    QHANDLE GuestHandle(int index) const {
        return ChatState().m_GuestSocks.GetAt(index)->GetHandle();
    }
    // Takes a guest's arrival records, up to the count of all guests now on-line.
    void Drain(RawPeer& peer, int guestsOnline) {
        ASSERT_TRUE(ReceiveUntil(
            peer, TextRecord(std::to_string(guestsOnline) + " guest(s) are currently on-line")));
    }
    // Hosts as "Hosty" with three guests that have taken every arrival record.
    void HostThreeGuests() {
        const std::uint16_t port = StartHosting("Hosty");
        for (RawPeer& guest : guests)
            guest = ConnectGuest(port);
        for (RawPeer& guest : guests)
            Drain(guest, 3);
    }

    RawPeer guests[3];
};

TEST_F(ModalLoopsTest, WindowClosedWhileAGuestsLineIsMade) {
    const std::uint16_t port = StartHosting("Hosty");
    RawPeer guest = ConnectGuest(port);
    Drain(guest, 1);
    host.bench().failRunFrom("nxTcpSock.GetPeerAddr", 1);
    OnFirstReport([] { ClickClose(); });
    ASSERT_TRUE(guest.sendRecord("text", "hi"));
    ASSERT_TRUE(PumpUntil([&] { return !g_ChatDlg.IsShown(); }));
    Settle();
    EXPECT_EQ(ChatState().m_GuestSocks.GetSize(), 0);
    const std::string tail = "Guest :0 says: \"hi\"\r\n\r\n";
    const std::string transcript = Transcript();
    ASSERT_GE(transcript.size(), tail.size());
    EXPECT_EQ(transcript.substr(transcript.size() - tail.size()), tail);
    EXPECT_TRUE(guest.waitClosed(kWaitMs));
}

TEST_F(ModalLoopsTest, WindowClosedWhileADepartureIsAnnounced) {
    const std::uint16_t port = StartHosting("Hosty");
    RawPeer leaving = ConnectGuest(port);
    RawPeer staying = ConnectGuest(port);
    Drain(leaving, 2);
    Drain(staying, 2);
    const std::string before = Transcript();
    host.bench().failRunFrom("nxTcpSock.GetPeerAddr", 1);
    OnFirstReport([] { ClickClose(); });
    leaving.close();
    ASSERT_TRUE(PumpUntil([&] { return !g_ChatDlg.IsShown(); }));
    Settle();
    EXPECT_EQ(ChatState().m_GuestSocks.GetSize(), 0);
    EXPECT_EQ(Transcript(), before + "Guest :0 has disconnected\r\n\r\n" +
                                "0 guest(s) are currently on-line\r\n\r\n");
    EXPECT_TRUE(staying.waitClosed(kWaitMs));
}

TEST_F(ModalLoopsTest, EarlierGuestLeavingDuringADepartureTakesNoOtherGuest) {
    ASSERT_NO_FATAL_FAILURE(HostThreeGuests());
    RawPeer &first = guests[0], &second = guests[1], &third = guests[2];
    const QHANDLE hFirst = GuestHandle(0);
    const QHANDLE hThird = GuestHandle(2);
    const std::string firstAddr = "127.0.0.1:" + std::to_string(GuestPort(0));

    // The second guest leaves; while its departure is reported, the first one leaves.
    host.bench().failRunFrom("nxTcpSock.GetPeerAddr", 1);
    OnFirstReport([this, hFirst] {
        host.bench().failRunFrom("nxTcpSock.GetPeerAddr", 0);
        g_ChatDlg.OnClose(hFirst);
    });
    second.close();
    ASSERT_TRUE(PumpUntil([&] { return ChatState().m_GuestSocks.GetSize() < 2; }));
    ASSERT_EQ(ChatState().m_GuestSocks.GetSize(), 1);
    EXPECT_EQ(GuestHandle(0), hThird) << "the wrong guest was removed";
    EXPECT_EQ(Receive(third), TextRecord("Guest " + firstAddr + " has disconnected"));
    EXPECT_EQ(Receive(third), TextRecord("1 guest(s) are currently on-line"));
    EXPECT_EQ(Receive(third), TextRecord("Guest :0 has disconnected"));
    EXPECT_EQ(Receive(third), TextRecord("1 guest(s) are currently on-line"));
    EXPECT_TRUE(first.waitClosed(kWaitMs));
    ASSERT_TRUE(third.sendRecord("text", "still here"));
    EXPECT_TRUE(Receive(third).has_value()) << "the remaining guest lost its connection";
}

TEST_F(ModalLoopsTest, GuestLeavingDuringABroadcastIsSkipped) {
    ASSERT_NO_FATAL_FAILURE(HostThreeGuests());
    RawPeer &first = guests[0], &second = guests[1], &third = guests[2];
    const QHANDLE hSecond = GuestHandle(1);
    const std::string secondAddr = "127.0.0.1:" + std::to_string(GuestPort(1));

    // Sending to the first guest fails; inside its report the second guest leaves.
    host.bench().failRunFrom("nxTcpSock.SendMsgA", 1);
    OnFirstReport([this, hSecond] {
        host.bench().failRunFrom("nxTcpSock.SendMsgA", 0);
        g_ChatDlg.OnClose(hSecond);
    });
    TypeMessage("to everyone");
    ASSERT_TRUE(ClickSend());

    const std::string departed = "Guest " + secondAddr + " has disconnected";
    EXPECT_EQ(Receive(third), TextRecord(departed));
    EXPECT_EQ(Receive(third), TextRecord("2 guest(s) are currently on-line"));
    EXPECT_EQ(Receive(third), TextRecord("Host 'Hosty' says: \"to everyone\""))
        << "the guest after the one that left was skipped";
    EXPECT_EQ(Receive(first), TextRecord(departed));
    EXPECT_EQ(Receive(first), TextRecord("2 guest(s) are currently on-line"));
    EXPECT_TRUE(second.waitClosed(kWaitMs));
    EXPECT_EQ(ChatState().m_GuestSocks.GetSize(), 2);
    EXPECT_TRUE(NextIsMarker(first, "Hosty")) << "the failed send was repeated";
}

TEST_F(ModalLoopsTest, GuestArrivingDuringABroadcastGetsTheLine) {
    const std::uint16_t port = StartHosting("Hosty");
    RawPeer first = ConnectGuest(port);
    RawPeer second = ConnectGuest(port);
    for (RawPeer* guest : {&first, &second})
        Drain(*guest, 2);

    // Sending to the first guest fails; while that is reported, a new guest is accepted.
    RawPeer newcomer;
    host.bench().failRunFrom("nxTcpSock.SendMsgA", 1);
    OnFirstReport([this, port, &newcomer] {
        host.bench().failRunFrom("nxTcpSock.SendMsgA", 0);
        ASSERT_TRUE(newcomer.connect("127.0.0.1", port));
        g_ChatDlg.OnAccept(ChatState().m_ListenSock.GetHandle());
    });
    TypeMessage("to everyone");
    ASSERT_TRUE(ClickSend());

    ASSERT_EQ(ChatState().m_GuestSocks.GetSize(), 3);
    const std::string joined =
        "Guest 127.0.0.1:" + std::to_string(GuestPort(2)) + " has joined host 'Hosty'";
    const std::string hostSays = "Host 'Hosty' says: \"to everyone\"";
    for (RawPeer* guest : {&second, &newcomer}) {
        EXPECT_EQ(Receive(*guest), TextRecord(joined));
        EXPECT_EQ(Receive(*guest), TextRecord("3 guest(s) are currently on-line"));
        EXPECT_EQ(Receive(*guest), TextRecord(hostSays))
            << "a guest after the failed send missed the line";
    }
}

// A host text too long for every guest reaches nobody: it is reported once, with its
// size, not appended, and stays in the box; a second Send inside the report waits.
TEST_F(ModalLoopsTest, AHostTextThatNoGuestTakesStaysTheUsersAndASecondSendWaits) {
    const std::uint16_t port = StartHosting("Hosty");
    RawPeer guest = ConnectGuest(port);
    Drain(guest, 1);
    const std::string guestSays =
        "Guest 127.0.0.1:" + std::to_string(GuestPort(0)) + " says: \"inside the report\"";
    const std::string typed(devhost::kMaxTextBytes, 't');
    OnFirstReport([&] {
        ASSERT_TRUE(guest.sendRecord("text", "inside the report"));
        ASSERT_TRUE(PumpUntil([&] { return Transcript().find(guestSays) != std::string::npos; }));
        ClickSend();
    });
    const std::string before = Transcript();
    TypeMessage(typed);
    ClickSend();
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_NE(Reports()[0].find("too long to send (" + std::to_string(typed.size()) + " bytes)"),
              std::string::npos)
        << Reports()[0].substr(0, 200);
    EXPECT_EQ(Transcript(), before + guestSays + "\r\n\r\n") << "the refused line was appended";
    EXPECT_EQ(MessageBoxText(), typed) << "the text nobody received left the box";
    EXPECT_EQ(Receive(guest), TextRecord(guestSays));
    EXPECT_TRUE(NextIsMarker(guest, "Hosty")) << "nothing else went out";
}

// The records of one receive callback reach the window together at its end; a report
// among them shows the lines before it first, and a line handled inside its modal loop
// takes nothing away.
TEST_F(ModalLoopsTest, AReportAmongRecordsComesAfterTheirLinesAndLosesNone) {
    const std::uint16_t port = StartHosting("Hosty");
    RawPeer ann = ConnectGuest(port);
    RawPeer bob = ConnectGuest(port);
    Drain(ann, 2);
    Drain(bob, 2);
    const std::string annAt = "Guest 127.0.0.1:" + std::to_string(GuestPort(0));
    const std::string bobSays =
        "Guest 127.0.0.1:" + std::to_string(GuestPort(1)) + " says: \"inside\"";
    OnFirstReport([&] {
        EXPECT_EQ(ShownTranscript(), Transcript()) << "the report came before its lines";
        ASSERT_TRUE(bob.sendRecord("text", "inside"));
        ASSERT_TRUE(PumpUntil([&] { return Transcript().find(bobSays) != std::string::npos; }));
    });
    const std::string tooLong(chatlines::kMaxNicknameBytes + 1, 'n');
    ASSERT_TRUE(ann.sendRaw(devhost::encodeFrame("text", "one") +
                            devhost::encodeFrame("set display name", tooLong) +
                            devhost::encodeFrame("text", "two")));
    const std::string two = annAt + " says: \"two\"";
    ASSERT_TRUE(PumpUntil([&] { return Transcript().find(two) != std::string::npos; }));
    const std::string expected =
        annAt + " says: \"one\"\r\n\r\n" + bobSays + "\r\n\r\n" + two + "\r\n\r\n";
    ASSERT_GE(Transcript().size(), expected.size());
    EXPECT_EQ(Transcript().substr(Transcript().size() - expected.size()), expected);
    EXPECT_EQ(ShownTranscript(), Transcript());
    EXPECT_EQ(Reports().size(), 1u);
}

TEST_F(ModalLoopsTest, WindowClosedWhileANewGuestIsAsked) {
    const std::uint16_t port = StartHosting("Hosty");
    host.bench().failRunFrom("nxTcpSock.GetPeerAddr", 1);
    OnFirstReport([] { ClickClose(); });
    RawPeer guest;
    ASSERT_TRUE(guest.connect("127.0.0.1", port));
    ASSERT_TRUE(PumpUntil([&] { return !g_ChatDlg.IsShown(); }));
    Settle();
    EXPECT_EQ(ChatState().m_GuestSocks.GetSize(), 0) << "a guest joined a closed window";
    EXPECT_EQ(sockets.socketCount(), 0u);
    EXPECT_EQ(Transcript(), "");
    EXPECT_TRUE(guest.waitClosed(kWaitMs));
}

// Transcript menu items chosen while a report of a receive callback is open work on
// the transcript as it is then: Clear empties what was shown, and the callback's later
// line follows alone, with the time that Show times, chosen there too, puts before it.
TEST_F(ModalLoopsTest, TranscriptMenuInsideAReportWorksOnTheCurrentTranscript) {
    const auto choose = [](int item) {
        dk::testing::PushMenuChoice(item);
        dk::testing::AskContextMenu(g_ChatDlg.GetSafeHwnd(), IDC_TRANSCRIPT_EDIT);
    };
    const std::uint16_t port = StartHosting("Hosty");
    RawPeer ann = ConnectGuest(port);
    Drain(ann, 1);
    const std::string annAt = "Guest 127.0.0.1:" + std::to_string(GuestPort(0));
    OnFirstReport([&] {
        ASSERT_NE(Transcript().find(annAt + " says: \"one\""), std::string::npos);
        choose(kClearTranscriptCommand);
        EXPECT_EQ(ShownTranscript(), "");
        choose(kShowTimesCommand);
    });
    const std::string tooLong(chatlines::kMaxNicknameBytes + 1, 'n');
    ASSERT_TRUE(ann.sendRaw(devhost::encodeFrame("text", "one") +
                            devhost::encodeFrame("set display name", tooLong) +
                            devhost::encodeFrame("text", "two")));
    const std::string two = annAt + " says: \"two\"\r\n\r\n";
    ASSERT_TRUE(PumpUntil([&] { return Transcript().find(two) != std::string::npos; }));
    EXPECT_TRUE(std::regex_match(Transcript(),
                                 std::regex(R"(\[\d\d:\d\d\] )" + std::string() +
                                            "Guest 127\\.0\\.0\\.1:\\d+ says: \"two\"\r\n\r\n")))
        << Transcript();
    EXPECT_EQ(ShownTranscript(), Transcript());
    choose(kShowTimesCommand);
}

} // namespace
} // namespace chat_test

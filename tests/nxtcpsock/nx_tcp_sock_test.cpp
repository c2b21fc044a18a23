// The socket plug-in stand-in over real TCP on 127.0.0.1, driven through the host
// registry as a plug-in drives it, with callbacks that are registered host functions.
// Peers are other devhost sockets or raw framing peers from testkit/.
#include "devhost/nxtcpsock/nx_tcp_sock.h"
#include "devhost/nxtcpsock/winsock_errors.h"
#include "testkit/raw_peer.h"
#include "tests/nxtcpsock/socket_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>

#if !defined(_WIN32)
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

using devhost::NxTcpSock;
using devhost::NxTcpSockOptions;
using devhost::Record;
using nxtest::SocketClient;
using testsupport::RawListener;
using testsupport::RawPeer;
namespace wsaerr = devhost::wsaerr;

constexpr int kWaitMs = 5000;
constexpr int kQuietMs = 200; // how long to watch for a callback that must not come
constexpr const char* kLoopback = "127.0.0.1";

struct Event {
    std::string kind;
    QHANDLE hSock;
    bool operator==(const Event& o) const { return kind == o.kind && hSock == o.hSock; }
};

NxTcpSockOptions loopbackOptions() {
    NxTcpSockOptions o;
    o.listenAddress = kLoopback;
    o.connectTimeoutMs = 2000;
    return o;
}

class NxTcpSockTest : public ::testing::Test {
protected:
    explicit NxTcpSockTest(NxTcpSockOptions options = loopbackOptions())
        : plugin_(api_, withNotices(std::move(options))) {}

    NxTcpSockOptions withNotices(NxTcpSockOptions options) {
        options.notice = [this](const std::string& text) { notices_.push_back(text); };
        return options;
    }

    void SetUp() override {
        ASSERT_TRUE(plugin_.registerFunctions()) << "the host refused a socket function";
        onRecv_ = client_.registerCallback("Test.OnRecv", [this](QHANDLE h) {
            events_.push_back({"recv", h});
            if (recvHandler_)
                recvHandler_(h);
            else
                for (Record& r : client_.copyReceived(h))
                    received_[h].push_back(r);
        });
        onAccept_ = client_.registerCallback("Test.OnAccept", [this](QHANDLE h) {
            events_.push_back({"accept", h});
            if (acceptHandler_)
                acceptHandler_(h);
            else
                acceptInto(h);
        });
        onClose_ = client_.registerCallback("Test.OnClose", [this](QHANDLE h) {
            events_.push_back({"close", h});
            stateInClose_[h] = client_.state(h);
            if (closeHandler_) closeHandler_(h);
        });
        ASSERT_NE(onRecv_, 0u);
        ASSERT_NE(onAccept_, 0u);
        ASSERT_NE(onClose_, 0u);
    }

    // What a chat host does on an accept: a new socket with its callbacks takes over
    // the pending connection.
    QHANDLE acceptInto(QHANDLE hListener) {
        const QHANDLE c = client_.newSocket();
        client_.setCallback(c, devhost::kCallbackRecv, onRecv_);
        client_.setCallback(c, devhost::kCallbackClose, onClose_);
        if (!client_.accept(hListener, c)) {
            client_.remove(c);
            return 0;
        }
        accepted_.push_back(c);
        return c;
    }

    bool pumpUntil(const std::function<bool()>& done, int timeoutMs = kWaitMs) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            plugin_.pump(20);
        }
        return true;
    }
    void pumpFor(int ms) {
        pumpUntil([] { return false; }, ms);
    }
    // Handles the events already waiting; true once none is left.
    bool pumpUntilIdle() {
        return pumpUntil([&] { return !plugin_.pump(0); });
    }
    // Pumps until the socket plug-in has handled an event (such as bytes arriving).
    bool pumpUntilHandled() {
        bool handled = false;
        return pumpUntil([&] { return handled || (handled = plugin_.pump(5)); });
    }

    QHANDLE startServer(std::uint16_t& port) {
        const QHANDLE h = client_.newSocket();
        EXPECT_TRUE(client_.setCallback(h, devhost::kCallbackAccept, onAccept_));
        EXPECT_TRUE(client_.listen(h, 0)) << "error " << client_.lastError(h);
        EXPECT_EQ(client_.state(h), devhost::kSockStateListening);
        port = plugin_.localPort(h);
        EXPECT_NE(port, 0);
        return h;
    }
    QHANDLE connectClient(std::uint16_t port) {
        const QHANDLE h = client_.newSocket();
        client_.setCallback(h, devhost::kCallbackRecv, onRecv_);
        client_.setCallback(h, devhost::kCallbackClose, onClose_);
        EXPECT_TRUE(client_.connect(h, kLoopback, port)) << "error " << client_.lastError(h);
        return h;
    }
    // A raw peer connected to the server and taken over by an accepted socket.
    QHANDLE acceptRaw(std::uint16_t port, RawPeer& peer) {
        const std::size_t before = accepted_.size();
        EXPECT_TRUE(peer.connect(kLoopback, port));
        EXPECT_TRUE(pumpUntil([&] { return accepted_.size() > before; })) << "no accept";
        return accepted_.size() > before ? accepted_.back() : 0;
    }
    // Two raw peers accepted by a new server: stuck never reads (with a small receive
    // buffer, so that what is sent to it soon waits in its queue), reader does.
    struct StuckAndReader {
        RawPeer stuck, reader;
        QHANDLE connStuck = 0, connReader = 0;
    };
    void serveStuckAndReader(StuckAndReader& peers) {
        std::uint16_t port = 0;
        startServer(port);
        peers.connStuck = acceptRaw(port, peers.stuck);
        testsupport::rawSetReceiveBuffer(peers.stuck.socket(), 4096);
        peers.connReader = acceptRaw(port, peers.reader);
    }
    // Sends chunks to a peer that never reads until it is dropped, a short line to a
    // reading peer each round, which must keep being served; dropped tells whether the
    // never-reading peer went within the rounds.
    void floodUntilDropped(StuckAndReader& peers, bool& dropped) {
        constexpr int kMaxRounds = 4000; // far more than any queue, budget and socket buffer
        const std::string chunk(32 * 1024, 'z');
        dropped = false;
        for (int round = 0; round < kMaxRounds; ++round) {
            dropped = !client_.send(peers.connStuck, "text", chunk);
            if (dropped) return;
            ASSERT_TRUE(client_.send(peers.connReader, "text", std::to_string(round)));
            std::optional<Record> r;
            for (int tries = 0; tries < 100 && !r; ++tries) {
                plugin_.pump(0);
                r = peers.reader.receiveRecord(20);
            }
            ASSERT_TRUE(r.has_value()) << "the reading peer starved in round " << round;
            EXPECT_EQ(r->text, std::to_string(round));
        }
    }
    int count(const std::string& kind, QHANDLE h) const {
        return static_cast<int>(std::count(events_.begin(), events_.end(), Event{kind, h}));
    }

    std::vector<std::string> notices_;
    devhost::HostApi api_;
    NxTcpSock plugin_;
    SocketClient client_{api_};
    QHANDLE onRecv_ = 0, onAccept_ = 0, onClose_ = 0;
    std::function<void(QHANDLE)> recvHandler_, acceptHandler_, closeHandler_;
    std::vector<Event> events_;
    std::vector<QHANDLE> accepted_;
    std::map<QHANDLE, std::vector<Record>> received_;
    std::map<QHANDLE, int> stateInClose_;
};

// ---- exchange ----------------------------------------------------------------

TEST_F(NxTcpSockTest, TwoSocketsExchangeRecordsInOrderByteForByte) {
    std::uint16_t port = 0;
    const QHANDLE server = startServer(port);
    const QHANDLE guest = connectClient(port);
    ASSERT_EQ(client_.state(guest), devhost::kSockStateConnected);
    ASSERT_TRUE(pumpUntil([&] { return accepted_.size() == 1; })) << "the server saw no guest";
    const QHANDLE conn = accepted_[0];
    EXPECT_EQ(client_.state(conn), devhost::kSockStateConnected);
    EXPECT_EQ(client_.state(server), devhost::kSockStateListening);

    EXPECT_EQ(client_.peerAddress(conn), kLoopback);
    EXPECT_EQ(client_.peerPort(conn), plugin_.localPort(guest));
    EXPECT_EQ(client_.peerAddress(guest), kLoopback);
    EXPECT_EQ(client_.peerPort(guest), port);

    std::string high;
    for (int c = 128; c < 256; ++c)
        high += static_cast<char>(c);
    const std::vector<Record> up = {{"set display name", "Zoë"},
                                    {"text", "two\r\nlines"},
                                    {"text", "\"quoted\" and 100% %s %d"},
                                    {"text", high},
                                    {"text", std::string(devhost::kMaxTextBytes, 'x')}};
    const std::vector<Record> down = {{"text", "Guest 'Zoë' says: \"hi\""}, {"text", "\n\n"}};
    for (const Record& r : up)
        ASSERT_TRUE(client_.send(guest, r.label, r.text));
    for (const Record& r : down)
        ASSERT_TRUE(client_.send(conn, r.label, r.text));
    ASSERT_TRUE(pumpUntil([&] {
        return received_[conn].size() == up.size() && received_[guest].size() == down.size();
    }));
    EXPECT_EQ(received_[conn], up) << "records from the guest came changed or out of order";
    EXPECT_EQ(received_[guest], down) << "records from the host came changed or out of order";
    EXPECT_TRUE(client_.copyReceived(conn).empty()) << "records must be handed over once";
}

TEST_F(NxTcpSockTest, AFrameSentOneByteAtATimeArrivesWhole) {
    std::uint16_t port = 0;
    startServer(port);
    RawPeer peer;
    const QHANDLE conn = acceptRaw(port, peer);
    const std::string frame = devhost::encodeFrame("text", "slowly, \"byte\" by byte\r\n");
    for (std::size_t i = 0; i < frame.size(); ++i) {
        ASSERT_TRUE(peer.sendRaw(frame.substr(i, 1)));
        plugin_.pump(5);
        if (i + 1 < frame.size()) {
            ASSERT_EQ(count("recv", conn), 0) << "callback at byte " << i;
        }
    }
    ASSERT_TRUE(pumpUntil([&] { return received_[conn].size() == 1; }));
    EXPECT_EQ(received_[conn][0], (Record{"text", "slowly, \"byte\" by byte\r\n"}));
    EXPECT_EQ(client_.state(conn), devhost::kSockStateConnected);
}

// ---- bad input ends one connection, never the others ------------------------------

TEST_F(NxTcpSockTest, BadInputClosesThatConnectionOnlyAndOnce) {
    std::string oversize = devhost::encodeFrame("text", "x");
    oversize[4] = 0x7F; // text length far above the maximum
    const std::string halfFrame = devhost::encodeFrame("text", "cut short").substr(0, 12);
    struct Case {
        const char* what;
        int error; // GetLastError of the closed connection afterwards
        std::function<void(RawPeer&)> misbehave;
    };
    const Case cases[] = {
        {"frame over the maximum", wsaerr::kConnAborted, [&](RawPeer& p) { p.sendRaw(oversize); }},
        {"garbage", wsaerr::kConnAborted,
         [](RawPeer& p) { p.sendRaw("GET / HTTP/1.1\r\nHost: x\r\n\r\n"); }},
        {"NUL in the text", wsaerr::kConnAborted,
         [](RawPeer& p) { p.sendRaw(devhost::encodeFrame("text", "ab").replace(13, 1, 1, '\0')); }},
        {"reset mid-frame", wsaerr::kConnReset,
         [&](RawPeer& p) {
             pumpUntilIdle();
             p.sendRaw(halfFrame);
             EXPECT_TRUE(pumpUntilHandled()) << "the half frame never arrived";
             p.reset();
         }},
        {"close mid-frame", 0,
         [&](RawPeer& p) {
             p.sendRaw(halfFrame);
             p.close();
         }},
    };
    std::uint16_t port = 0;
    startServer(port);
    RawPeer good;
    const QHANDLE goodConn = acceptRaw(port, good);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RawPeer bad;
        const QHANDLE badConn = acceptRaw(port, bad);
        c.misbehave(bad);
        ASSERT_TRUE(pumpUntil([&] { return count("close", badConn) > 0; })) << "not closed";
        pumpFor(kQuietMs / 4);
        EXPECT_EQ(count("close", badConn), 1) << "the close callback must run once";
        EXPECT_EQ(stateInClose_[badConn], devhost::kSockStateClosed);
        EXPECT_EQ(client_.state(badConn), devhost::kSockStateClosed);
        int expectedError = c.error;
#if defined(_WIN32)
        // Wine's recv reports a reset connection as an orderly end.
        if (c.error == wsaerr::kConnReset && client_.lastError(badConn) == 0) expectedError = 0;
#endif
        EXPECT_EQ(client_.lastError(badConn), expectedError);
        EXPECT_TRUE(received_[badConn].empty());
        if (bad.isOpen()) {
            EXPECT_TRUE(bad.waitClosed()) << "the bad peer must see the close";
        }

        const std::size_t had = received_[goodConn].size();
        ASSERT_TRUE(good.sendRecord("text", std::string("still here after ") + c.what));
        ASSERT_TRUE(pumpUntil([&] { return received_[goodConn].size() > had; }));
        EXPECT_EQ(received_[goodConn].back().text, std::string("still here after ") + c.what);
        EXPECT_EQ(count("close", goodConn), 0);
        ASSERT_TRUE(client_.send(goodConn, "text", "and you?"));
        const auto echo = good.receiveRecord();
        ASSERT_TRUE(echo.has_value());
        EXPECT_EQ(echo->text, "and you?");
    }
}

TEST_F(NxTcpSockTest, AStallMidFrameIsLegal) {
    std::uint16_t port = 0;
    startServer(port);
    RawPeer peer;
    const QHANDLE conn = acceptRaw(port, peer);
    const std::string frame = devhost::encodeFrame("text", "patience");
    ASSERT_TRUE(peer.sendRaw(frame.substr(0, 10)));
    pumpFor(kQuietMs);
    EXPECT_EQ(client_.state(conn), devhost::kSockStateConnected);
    EXPECT_EQ(count("close", conn), 0);
    ASSERT_TRUE(peer.sendRaw(frame.substr(10)));
    ASSERT_TRUE(pumpUntil([&] { return received_[conn].size() == 1; }));
    EXPECT_EQ(received_[conn][0].text, "patience");
}

// ---- the peer's close --------------------------------------------------------

TEST_F(NxTcpSockTest, RecordsBeforeThePeerClosedComeBeforeTheCloseCallback) {
    std::uint16_t port = 0;
    startServer(port);
    RawPeer peer;
    const QHANDLE conn = acceptRaw(port, peer);
    std::string addressInClose;
    int portInClose = -1;
    closeHandler_ = [&](QHANDLE h) {
        addressInClose = client_.peerAddress(h);
        portInClose = client_.peerPort(h);
        EXPECT_FALSE(client_.send(h, "text", "too late")) << "sending on a closed socket";
    };
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(peer.sendRecord("text", "last words " + std::to_string(i)));
    peer.close();
    ASSERT_TRUE(pumpUntil([&] { return count("close", conn) > 0; }));
    pumpFor(kQuietMs / 2);
    ASSERT_EQ(received_[conn].size(), 3u);
    EXPECT_EQ(received_[conn][2].text, "last words 2");
    EXPECT_EQ(events_.back(), (Event{"close", conn})) << "close must come after every receive";
    EXPECT_EQ(count("close", conn), 1);
    EXPECT_EQ(stateInClose_[conn], devhost::kSockStateClosed);
    EXPECT_EQ(addressInClose, kLoopback) << "the peer's address stays readable in the close";
    EXPECT_GT(portInClose, 0);
}

TEST_F(NxTcpSockTest, ALocalCloseRaisesNoCallbackAndTheSocketCanConnectAgain) {
    std::uint16_t port = 0;
    startServer(port);
    const QHANDLE guest = connectClient(port);
    ASSERT_TRUE(pumpUntil([&] { return accepted_.size() == 1; }));
    client_.close(guest);
    EXPECT_EQ(client_.state(guest), devhost::kSockStateClosed) << "Close must end it at once";
    ASSERT_TRUE(pumpUntil([&] { return count("close", accepted_[0]) == 1; }))
        << "the other side must learn of the close";
    pumpFor(kQuietMs / 2);
    EXPECT_EQ(count("close", guest), 0) << "a local Close raises no close callback";

    ASSERT_TRUE(client_.connect(guest, kLoopback, port)) << "a closed socket connects again";
    ASSERT_TRUE(pumpUntil([&] { return accepted_.size() == 2; }));
    ASSERT_TRUE(client_.send(accepted_[1], "text", "welcome back"));
    ASSERT_TRUE(pumpUntil([&] { return received_[guest].size() == 1; }))
        << "callbacks must survive Close and a later Connect";

    client_.remove(guest);
    ASSERT_TRUE(pumpUntil([&] { return count("close", accepted_[1]) == 1; }))
        << "delete must end the connection too";
    EXPECT_EQ(count("close", guest), 0);
}

TEST_F(NxTcpSockTest, AClosedListenerReleasesItsPortAndListensAgain) {
    std::uint16_t port = 0;
    const QHANDLE server = startServer(port);
    const QHANDLE guest = connectClient(port);
    ASSERT_TRUE(pumpUntil([&] { return accepted_.size() == 1; }));
    client_.close(server);
    EXPECT_EQ(client_.state(server), devhost::kSockStateClosed);
    EXPECT_EQ(client_.state(accepted_[0]), devhost::kSockStateConnected)
        << "closing the listener leaves accepted connections alone";
    ASSERT_TRUE(client_.listen(server, port)) << "error " << client_.lastError(server);
    client_.close(guest);
    const QHANDLE again = connectClient(port);
    EXPECT_TRUE(pumpUntil([&] { return accepted_.size() == 2; }));
    EXPECT_EQ(client_.state(again), devhost::kSockStateConnected);
}

// ---- re-entrancy -------------------------------------------------------------

TEST_F(NxTcpSockTest, DeleteInsideItsOwnCloseCallback) {
    std::uint16_t port = 0;
    startServer(port);
    RawPeer a, b;
    const QHANDLE connA = acceptRaw(port, a);
    const QHANDLE connB = acceptRaw(port, b);
    closeHandler_ = [&](QHANDLE h) {
        client_.peerAddress(h);
        client_.peerPort(h);
        EXPECT_EQ(client_.state(h), devhost::kSockStateClosed);
        EXPECT_TRUE(client_.send(connB, "text", "a left")) << "sending to others from a close";
        EXPECT_TRUE(client_.remove(h));
    };
    const std::size_t before = plugin_.socketCount();
    a.reset();
    ASSERT_TRUE(pumpUntil([&] { return count("close", connA) == 1; }));
    pumpFor(kQuietMs / 2);
    EXPECT_EQ(count("close", connA), 1);
    EXPECT_EQ(plugin_.socketCount(), before - 1);
    EXPECT_EQ(client_.state(connA), -1) << "a deleted handle must be unknown";
    const auto note = b.receiveRecord();
    ASSERT_TRUE(note.has_value());
    EXPECT_EQ(note->text, "a left");
}

// Frames sent from a callback are held until the end of the loop turn (or until
// enough of them wait): they still arrive whole and in order, and deleting a socket
// right after sending to it does not lose what was sent.
TEST_F(NxTcpSockTest, SendsFromACallbackArriveInOrderEvenIfTheSocketIsDeleted) {
    constexpr int kRecords = 80; // together more than is held back in one turn
    const std::string text(devhost::kCoalesceBytes * 5 / 4 / kRecords, 'r');
    std::uint16_t port = 0;
    startServer(port);
    RawPeer sender, reader, leaver;
    const QHANDLE connSender = acceptRaw(port, sender);
    const QHANDLE connReader = acceptRaw(port, reader);
    const QHANDLE connLeaver = acceptRaw(port, leaver);
    recvHandler_ = [&](QHANDLE h) {
        client_.copyReceived(h);
        for (int i = 0; i < kRecords; ++i)
            client_.send(connReader, "text", std::to_string(i) + text);
        EXPECT_TRUE(client_.send(connLeaver, "text", "goodbye"));
        EXPECT_TRUE(client_.remove(connLeaver));
    };
    ASSERT_TRUE(sender.sendRecord("text", "go"));
    ASSERT_TRUE(pumpUntil([&] { return count("recv", connSender) == 1; }));
    pumpUntilIdle();
    for (int i = 0; i < kRecords; ++i) {
        const auto r = reader.receiveRecord();
        ASSERT_TRUE(r.has_value()) << "record " << i << " did not arrive";
        ASSERT_EQ(r->text, std::to_string(i) + text) << "record " << i;
    }
    const auto last = leaver.receiveRecord();
    ASSERT_TRUE(last.has_value()) << "a record sent just before the delete was lost";
    EXPECT_EQ(last->text, "goodbye");
}

TEST_F(NxTcpSockTest, DeletingASocketWhoseEventsAreQueuedDropsThem) {
    std::uint16_t port = 0;
    startServer(port);
    RawPeer a, b;
    const QHANDLE connA = acceptRaw(port, a);
    const QHANDLE connB = acceptRaw(port, b);
    // Whichever receive comes first deletes the other socket, whose data is pending too.
    recvHandler_ = [&](QHANDLE h) { client_.remove(h == connA ? connB : connA); };
    ASSERT_TRUE(a.sendRecord("text", "from a"));
    ASSERT_TRUE(b.sendRecord("text", "from b"));
    // Nothing is pumped before both have sent and closed, so both are usually ready in
    // one turn; where the platform reports them apart, the later report comes for a
    // deleted socket all the same.
    a.close();
    b.close();
    ASSERT_TRUE(pumpUntil([&] { return count("recv", connA) + count("recv", connB) > 0; }));
    pumpFor(kQuietMs);
    const QHANDLE survivor = count("recv", connA) ? connA : connB;
    const QHANDLE deleted = survivor == connA ? connB : connA;
    EXPECT_EQ(count("recv", deleted), 0) << "an event of a deleted socket was delivered";
    EXPECT_EQ(count("close", deleted), 0);
    EXPECT_EQ(count("close", survivor), 1);
}

TEST_F(NxTcpSockTest, AnAcceptCallbackThatTakesNothingRefusesTheConnection) {
    acceptHandler_ = [](QHANDLE) {};
    std::uint16_t port = 0;
    const QHANDLE server = startServer(port);
    RawPeer peer;
    ASSERT_TRUE(peer.connect(kLoopback, port));
    ASSERT_TRUE(pumpUntil([&] { return count("accept", server) == 1; }));
    EXPECT_TRUE(peer.waitClosed()) << "an unclaimed connection must be closed, not left hanging";
    EXPECT_EQ(client_.state(server), devhost::kSockStateListening);
}

// ---- fair turns ----------------------------------------------------------------------

TEST_F(NxTcpSockTest, AFloodIsHandedOverInBoundedTurnsWhileAnotherPeerIsHeard) {
    constexpr int kFloodRecords = 20000; // hundreds of turns' worth, and no more readiness
    std::uint16_t port = 0;
    startServer(port);
    RawPeer flood, polite;
    const QHANDLE connFlood = acceptRaw(port, flood);
    const QHANDLE connPolite = acceptRaw(port, polite);
    std::size_t largestHandOver = 0;
    std::size_t floodBeforePolite = 0;
    recvHandler_ = [&](QHANDLE h) {
        const std::vector<Record> records = client_.copyReceived(h);
        largestHandOver = std::max(largestHandOver, records.size());
        if (h == connPolite) floodBeforePolite = received_[connFlood].size();
        for (const Record& r : records)
            received_[h].push_back(r);
    };
    std::string burst;
    for (int i = 0; i < kFloodRecords; ++i)
        devhost::encodeFrame("text", std::to_string(i), burst);
    ASSERT_TRUE(flood.sendRaw(burst));
    ASSERT_TRUE(polite.sendRecord("text", "may I?"));
    ASSERT_TRUE(pumpUntil([&] {
        return received_[connFlood].size() == kFloodRecords && received_[connPolite].size() == 1;
    })) << received_[connFlood].size()
        << " of the flood's records came";
    EXPECT_LE(largestHandOver, devhost::kMaxRecordsPerCallback)
        << "one callback was handed an unbounded part of the flood";
    EXPECT_LT(floodBeforePolite, static_cast<std::size_t>(kFloodRecords) / 2)
        << "the other peer waited for the flood";
    for (int i = 0; i < kFloodRecords; ++i)
        ASSERT_EQ(received_[connFlood][i].text, std::to_string(i)) << "record " << i;
    EXPECT_EQ(count("close", connFlood), 0);
}

// ---- a peer that stops reading ---------------------------------------------------

NxTcpSockOptions smallQueueOptions() {
    NxTcpSockOptions o = loopbackOptions();
    o.sendQueueLimit = 256 * 1024;
    return o;
}

class SmallQueueTest : public NxTcpSockTest {
protected:
    SmallQueueTest() : NxTcpSockTest(smallQueueOptions()) {}
};

TEST_F(SmallQueueTest, APeerThatNeverReadsIsDroppedAtTheQueueLimit) {
    StuckAndReader peers;
    serveStuckAndReader(peers);
    const QHANDLE connStuck = peers.connStuck;
    bool dropped = false;
    floodUntilDropped(peers, dropped);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(dropped) << "the send queue of a peer that never reads grew without bound";
    EXPECT_EQ(client_.state(connStuck), devhost::kSockStateClosed);
    EXPECT_EQ(client_.lastError(connStuck), wsaerr::kNoBufs);
    EXPECT_EQ(count("close", connStuck), 0) << "no callback from inside SendMsgA";
    ASSERT_TRUE(pumpUntil([&] { return count("close", connStuck) == 1; }));
    pumpFor(kQuietMs / 2);
    EXPECT_EQ(count("close", connStuck), 1);
    ASSERT_TRUE(client_.send(peers.connReader, "text", "after the drop"));
    const auto r = peers.reader.receiveRecord();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->text, "after the drop");
}

// ---- the memory budget of all connections together ---------------------------------

constexpr std::size_t kSmallBudget = 256 * 1024;

NxTcpSockOptions smallBudgetOptions() {
    NxTcpSockOptions o = loopbackOptions();
    o.memoryBudget = kSmallBudget;
    return o;
}

class SmallBudgetTest : public NxTcpSockTest {
protected:
    explicit SmallBudgetTest(NxTcpSockOptions options = smallBudgetOptions())
        : NxTcpSockTest(std::move(options)) {}

    // The part of a notice that names the peer of a connection accepted here.
    std::string peerName(QHANDLE conn) {
        return "127.0.0.1:" + std::to_string(client_.peerPort(conn)) + " (";
    }
    // A reader on conn still gets a record through, and it gets every record in order.
    void expectServed(QHANDLE conn, RawPeer& peer, const std::string& text) {
        ASSERT_TRUE(peer.sendRecord("text", text));
        ASSERT_TRUE(pumpUntil([&] {
            return !received_[conn].empty() && received_[conn].back().text == text;
        })) << "the well-behaved peer was not heard";
    }
};

TEST_F(SmallBudgetTest, StallingFramesPastTheBudgetCloseTheConnectionsHoldingTheMost) {
    constexpr std::size_t kDeclared = 100 * 1024; // three of them pass the budget
    std::uint16_t port = 0;
    startServer(port);
    RawPeer reader;
    const QHANDLE connReader = acceptRaw(port, reader);
    std::string unfinished = devhost::encodeFrame("text", std::string(kDeclared, 's'));
    unfinished.resize(unfinished.size() / 2);
    RawPeer stallers[4];
    QHANDLE conns[4] = {};
    for (int i = 0; i < 2; ++i) {
        conns[i] = acceptRaw(port, stallers[i]);
        ASSERT_TRUE(stallers[i].sendRaw(unfinished));
        ASSERT_TRUE(pumpUntil([&] { return plugin_.heldBytes() >= (i + 1) * kDeclared; }));
    }
    EXPECT_TRUE(notices_.empty());
    // The third stalled frame passes the budget: the first of the two that hold the
    // most goes, and its peer sees the end.
    conns[2] = acceptRaw(port, stallers[2]);
    const std::string firstName = peerName(conns[0]);
    ASSERT_TRUE(stallers[2].sendRaw(unfinished));
    ASSERT_TRUE(pumpUntil([&] { return count("close", conns[0]) == 1; }));
    EXPECT_TRUE(stallers[0].waitClosed());
    EXPECT_EQ(stateInClose_[conns[0]], devhost::kSockStateClosed);
    EXPECT_EQ(client_.lastError(conns[0]), wsaerr::kNoBufs);
    EXPECT_EQ(client_.state(conns[1]), devhost::kSockStateConnected);
    EXPECT_EQ(client_.state(conns[2]), devhost::kSockStateConnected);
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_NE(notices_[0].find(firstName), std::string::npos) << notices_[0];
    expectServed(connReader, reader, "still here");

    // A fourth closes another in the same episode, without a second notice.
    conns[3] = acceptRaw(port, stallers[3]);
    ASSERT_TRUE(stallers[3].sendRaw(unfinished));
    ASSERT_TRUE(pumpUntil([&] { return count("close", conns[1]) == 1; }));
    EXPECT_EQ(notices_.size(), 1u);
    EXPECT_LE(plugin_.peakHeldBytes(), kSmallBudget);

    // Once the stallers leave, the episode is over, and what it closed later is told;
    // the next one is told again.
    stallers[2].close();
    stallers[3].close();
    ASSERT_TRUE(pumpUntil([&] { return plugin_.heldBytes() == 0; }));
    ASSERT_EQ(notices_.size(), 2u);
    EXPECT_NE(notices_[1].find(peerName(conns[1])), std::string::npos) << notices_[1];
    RawPeer more[3];
    for (RawPeer& peer : more) {
        acceptRaw(port, peer);
        ASSERT_TRUE(peer.sendRaw(unfinished));
    }
    ASSERT_TRUE(pumpUntil([&] { return notices_.size() == 3; }));
    expectServed(connReader, reader, "and still here");
    EXPECT_EQ(received_[connReader].size(), 2u);
    EXPECT_LE(plugin_.peakHeldBytes(), kSmallBudget);
}

TEST_F(SmallBudgetTest, APeerThatNeverReadsIsDroppedAtTheBudgetBeforeItsQueueLimit) {
    StuckAndReader peers;
    serveStuckAndReader(peers);
    const QHANDLE connStuck = peers.connStuck;
    const std::string stuckName = peerName(connStuck);
    bool dropped = false;
    floodUntilDropped(peers, dropped);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(dropped) << "the peer that never reads was kept past the budget";
    EXPECT_EQ(client_.lastError(connStuck), wsaerr::kNoBufs);
    EXPECT_LE(plugin_.peakHeldBytes(), kSmallBudget);
    ASSERT_TRUE(pumpUntil([&] { return count("close", connStuck) == 1; }));
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_NE(notices_[0].find(stuckName), std::string::npos) << notices_[0];
}

NxTcpSockOptions shortStallOptions() {
    NxTcpSockOptions o = smallBudgetOptions();
    o.stallMs = 300;
    return o;
}

class ShortStallBudgetTest : public SmallBudgetTest {
protected:
    ShortStallBudgetTest() : SmallBudgetTest(shortStallOptions()) {}
};

TEST_F(ShortStallBudgetTest, ADrainingReaderIsClosedLast) {
    constexpr std::size_t kDeclared = 64 * 1024;
    constexpr std::size_t kLineBytes = 64 * 1024;
    constexpr int kMaxLines = 1000; // far more than the budget and the socket buffers take
    std::uint16_t port = 0;
    startServer(port);
    RawPeer reader;
    const QHANDLE connReader = acceptRaw(port, reader);
    std::string unfinished = devhost::encodeFrame("text", std::string(kDeclared, 's'));
    unfinished.resize(unfinished.size() / 2);
    RawPeer stallers[2];
    QHANDLE connStallers[2] = {};
    for (int i = 0; i < 2; ++i) {
        connStallers[i] = acceptRaw(port, stallers[i]);
        ASSERT_TRUE(stallers[i].sendRaw(unfinished));
        ASSERT_TRUE(pumpUntil([&] { return plugin_.heldBytes() >= (i + 1) * kDeclared; }));
    }
    // The stallers' frames stop growing for longer than the stall time.
    const auto stalled = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    pumpUntil([&] { return std::chrono::steady_clock::now() >= stalled; });

    // Lines pile up for a reader that takes one for every four sent, past the budget,
    // until both stallers are closed: the reader holds the most, but it drains.
    const auto stallerOpen = [&] {
        return client_.state(connStallers[0]) == devhost::kSockStateConnected ||
               client_.state(connStallers[1]) == devhost::kSockStateConnected;
    };
    int sent = 0, got = 0;
    const auto takeLine = [&](int timeoutMs) {
        plugin_.pump(0);
        const std::optional<Record> r = reader.receiveRecord(timeoutMs);
        if (!r) return;
        EXPECT_EQ(r->text.substr(0, r->text.size() - kLineBytes), std::to_string(got));
        ++got;
    };
    while (stallerOpen() && sent < kMaxLines) {
        ASSERT_TRUE(
            client_.send(connReader, "text", std::to_string(sent++) + std::string(kLineBytes, 'r')))
            << "the draining reader was closed before the stallers";
        if (sent % 4 == 0) takeLine(0);
    }
    ASSERT_FALSE(stallerOpen()) << "the budget was never passed";
    EXPECT_LE(plugin_.peakHeldBytes(), kSmallBudget);
    for (RawPeer& staller : stallers)
        EXPECT_TRUE(staller.waitClosed());

    // The reader gets every line, in order; then the episode ends, and the notices
    // have named both stallers and why, and not the reader.
    for (int tries = 0; got < sent && tries < 100 * sent; ++tries)
        takeLine(20);
    ASSERT_EQ(got, sent) << "lines did not come";
    ASSERT_TRUE(pumpUntil([&] { return plugin_.heldBytes() == 0; }));
    std::string told;
    for (const std::string& notice : notices_)
        told += notice + "\n";
    for (QHANDLE conn : connStallers)
        EXPECT_NE(told.find(peerName(conn) + "64 KiB, unfinished frame, not grown"),
                  std::string::npos)
            << told;
    EXPECT_EQ(told.find(peerName(connReader)), std::string::npos) << told;
}

// ---- records the plug-in does not copy ----------------------------------------------

TEST_F(NxTcpSockTest, RecordsNeverCopiedAreBoundedAndGoWithTheConnection) {
    constexpr std::size_t kHeld = devhost::kMaxHeldRecords;
    constexpr int kRecords = 3 * static_cast<int>(kHeld);
    std::uint16_t port = 0;
    startServer(port);
    RawPeer peer;
    const QHANDLE conn = acceptRaw(port, peer);
    recvHandler_ = [](QHANDLE) {}; // a plug-in that is told of records and takes none
    std::string burst;
    for (int i = 0; i < kRecords; ++i)
        devhost::encodeFrame("", std::to_string(i), burst);
    ASSERT_TRUE(peer.sendRaw(burst));
    // Each round the connection fills up to its bound, each record counted, and is read
    // no further until the records are taken.
    const std::size_t atBound = kHeld * devhost::kRecordOverheadBytes;
    std::vector<Record> taken;
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(pumpUntil([&] { return plugin_.heldBytes() >= atBound; })) << round;
        pumpFor(kQuietMs / 4);
        EXPECT_LE(plugin_.heldBytes(), atBound + kHeld * 4) << round;
        const std::vector<Record> records = client_.copyReceived(conn);
        EXPECT_EQ(records.size(), kHeld) << round;
        taken.insert(taken.end(), records.begin(), records.end());
    }
    ASSERT_EQ(taken.size(), static_cast<std::size_t>(kRecords));
    for (int i = 0; i < kRecords; ++i)
        ASSERT_EQ(taken[i].text, std::to_string(i)) << "record " << i;

    // What is left uncopied when the peer leaves is freed once its close is told.
    ASSERT_TRUE(peer.sendRecord("", "last"));
    peer.close();
    ASSERT_TRUE(pumpUntil([&] { return count("close", conn) == 1; }));
    EXPECT_EQ(plugin_.heldBytes(), 0u);
    EXPECT_TRUE(client_.copyReceived(conn).empty());
}

// ---- many guests -----------------------------------------------------------------

TEST_F(NxTcpSockTest, TwoThousandConnectionsAreAcceptedAndServed) {
    constexpr int kGuests = 2000;
    constexpr std::size_t kDescriptorsNeeded = 2 * kGuests + 64; // both ends live here
    const std::size_t limit = devhost::sockio::descriptorLimit();
    if (limit != 0 && limit < kDescriptorsNeeded)
        GTEST_SKIP() << "this system lets a process open only " << limit << " descriptors";
    std::uint16_t port = 0;
    startServer(port);
    std::map<QHANDLE, std::string> echoes;
    int closes = 0;
    closeHandler_ = [&](QHANDLE) { ++closes; };
    recvHandler_ = [&](QHANDLE h) {
        const bool hostSide = client_.peerPort(h) != port; // a guest's peer is the server
        for (const Record& r : client_.copyReceived(h)) {
            if (hostSide)
                client_.send(h, "text", "echo " + r.text);
            else
                echoes[h] = r.text;
        }
    };
    std::vector<QHANDLE> guests;
    for (int i = 0; i < kGuests; ++i) {
        guests.push_back(connectClient(port));
        ASSERT_EQ(client_.state(guests.back()), devhost::kSockStateConnected) << "guest " << i;
        ASSERT_TRUE(client_.send(guests.back(), "text", std::to_string(i)));
        plugin_.pump(0);
    }
    ASSERT_TRUE(
        pumpUntil([&] { return echoes.size() == static_cast<std::size_t>(kGuests); }, 20000))
        << echoes.size() << " of " << kGuests << " guests were served";
    EXPECT_EQ(accepted_.size(), static_cast<std::size_t>(kGuests));
    for (int i = 0; i < kGuests; ++i)
        EXPECT_EQ(echoes[guests[i]], "echo " + std::to_string(i));
    for (QHANDLE g : guests)
        client_.remove(g);
    EXPECT_TRUE(pumpUntil([&] { return closes == kGuests; }))
        << "every accepted connection must see its guest leave";
    std::set<QHANDLE> closed;
    for (const Event& e : events_)
        if (e.kind == "close") closed.insert(e.hSock);
    EXPECT_EQ(closed, std::set<QHANDLE>(accepted_.begin(), accepted_.end()));
}

#if !defined(_WIN32)
// For one test, every descriptor this process may open is taken: the soft limit is
// lowered to a few above those in use and the rest are filled with copies of stdin.
// release() hands one back; the end restores the limit.
class DescriptorsExhausted {
public:
    DescriptorsExhausted() {
        constexpr int kSpare = 8;
        constexpr int kMaxFillers = 4096; // holes below the limit included
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(lowestFree + kSpare);
        lowered_ = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
        for (int fd; lowered_ && fillers_.size() < kMaxFillers && (fd = ::dup(0)) >= 0;)
            fillers_.push_back(fd);
    }
    ~DescriptorsExhausted() {
        for (int fd : fillers_)
            ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &saved_);
    }
    bool ok() const { return lowered_ && errno == EMFILE; }
    void release() {
        ::close(fillers_.back());
        fillers_.pop_back();
    }

private:
    rlimit saved_{};
    bool lowered_ = false;
    std::vector<int> fillers_;
};
#endif

TEST_F(NxTcpSockTest, OutOfDescriptorsAListenerWaitsWithoutSpinningUntilOneFrees) {
#if defined(_WIN32)
    GTEST_SKIP() << "the descriptor limit is a POSIX one";
#else
    constexpr int kMaxBusyPumps = 3; // a spinning listener makes every pump busy
    std::uint16_t port = 0;
    const QHANDLE server = startServer(port);
    RawPeer first, waiting;
    const QHANDLE connFirst = acceptRaw(port, first);
    {
        DescriptorsExhausted full;
        ASSERT_TRUE(full.ok()) << "could not take every descriptor";
        full.release();
        ASSERT_TRUE(waiting.connect(kLoopback, port)); // takes the one released
        ASSERT_TRUE(pumpUntil([&] { return !notices_.empty(); })) << "no word of the limit";
        int busyPumps = 0;
        for (int i = 0; i < kQuietMs / 10; ++i)
            busyPumps += plugin_.pump(10) ? 1 : 0;
        EXPECT_LE(busyPumps, kMaxBusyPumps) << "the loop spins on the waiting connection";
        EXPECT_EQ(accepted_.size(), 1u);
        EXPECT_EQ(client_.lastError(server), wsaerr::kTooManyFiles);

        first.close(); // its connection ends, and a descriptor frees
        ASSERT_TRUE(pumpUntil([&] { return accepted_.size() == 2; }))
            << "the waiting connection was not taken once a descriptor freed";
        EXPECT_EQ(count("close", connFirst), 1);
    }
    ASSERT_TRUE(waiting.sendRecord("text", "in at last"));
    ASSERT_TRUE(pumpUntil([&] { return received_[accepted_[1]].size() == 1; }));
    EXPECT_EQ(client_.state(server), devhost::kSockStateListening);
    ASSERT_EQ(notices_.size(), 1u) << "one word per time the limit is reached";
    EXPECT_NE(notices_[0].find("no descriptor is left for a new connection on port " +
                               std::to_string(port)),
              std::string::npos)
        << notices_[0];
#endif
}

// ---- errors ------------------------------------------------------------------

TEST_F(NxTcpSockTest, FailuresGiveWinsockNumbers) {
    std::uint16_t freePort = 0;
    {
        RawListener probe; // a port that nobody listens on once the probe is gone
        ASSERT_TRUE(probe.listen());
        freePort = probe.port();
    }
    const QHANDLE s = client_.newSocket();
    EXPECT_FALSE(client_.connect(s, kLoopback, freePort));
    EXPECT_EQ(client_.lastError(s), wsaerr::kConnRefused);
    EXPECT_EQ(client_.state(s), devhost::kSockStateClosed);

    for (const char* bad : {"localhost", "1.2.3", "256.1.1.1", "", "1.2.3.4.5", " 127.0.0.1"}) {
        EXPECT_FALSE(client_.connect(s, bad, 80)) << bad;
        EXPECT_EQ(client_.lastError(s), wsaerr::kInvalid) << bad;
    }
    EXPECT_FALSE(client_.connect(s, kLoopback, 0));
    EXPECT_EQ(client_.lastError(s), wsaerr::kAddrNotAvail);

    std::uint16_t port = 0;
    const QHANDLE server = startServer(port);
    const QHANDLE rival = client_.newSocket();
    EXPECT_FALSE(client_.listen(rival, port)) << "two listeners on one port";
    EXPECT_EQ(client_.lastError(rival), wsaerr::kAddrInUse);
    RawListener foreign;
    ASSERT_TRUE(foreign.listen());
    EXPECT_FALSE(client_.listen(rival, foreign.port()));
    EXPECT_EQ(client_.lastError(rival), wsaerr::kAddrInUse);
    EXPECT_FALSE(client_.listen(rival, 70000));
    EXPECT_EQ(client_.lastError(rival), wsaerr::kInvalid);
    EXPECT_FALSE(client_.listen(server, port)) << "listening twice";

    EXPECT_FALSE(client_.send(s, "text", "nobody there"));
    EXPECT_EQ(client_.lastError(s), wsaerr::kNotConnected);
    const QHANDLE conn = client_.newSocket();
    EXPECT_FALSE(client_.accept(server, conn)) << "nothing is pending";
    EXPECT_EQ(client_.lastError(server), wsaerr::kWouldBlock);
    EXPECT_FALSE(client_.accept(s, conn)) << "accept on a socket that does not listen";

    const QHANDLE guest = connectClient(port);
    EXPECT_FALSE(client_.connect(guest, kLoopback, port));
    EXPECT_EQ(client_.lastError(guest), wsaerr::kIsConnected);
    EXPECT_FALSE(client_.send(guest, "text", std::string(devhost::kMaxTextBytes + 1, 'x')));
    EXPECT_EQ(client_.lastError(guest), wsaerr::kMessageSize);
    EXPECT_EQ(client_.state(guest), devhost::kSockStateConnected) << "a refused send keeps it";
    EXPECT_FALSE(client_.setCallback(guest, 2, onRecv_)) << "unknown callback id";
    EXPECT_FALSE(client_.setCallback(guest, devhost::kCallbackRecv, api_.createVar(TYPEID_STRING)))
        << "a text variable is no function";
}

NxTcpSockOptions shortConnectOptions() {
    NxTcpSockOptions o = loopbackOptions();
    o.connectTimeoutMs = 500;
    return o;
}

class ShortConnectTimeoutTest : public NxTcpSockTest {
protected:
    ShortConnectTimeoutTest() : NxTcpSockTest(shortConnectOptions()) {}
};

TEST_F(ShortConnectTimeoutTest, AConnectThatHangsEndsAtTheTimeoutWithWsaETimedOut) {
#if defined(_WIN32)
    GTEST_SKIP() << "a full accept queue drops SYNs only on a Linux kernel";
#else
    RawListener full;
    ASSERT_TRUE(full.listen(0, 0));
    RawPeer first; // fills the accept queue of a listener that never accepts
    ASSERT_TRUE(first.connect(kLoopback, full.port()));
    // Left to the system, such a connect would wait minutes; the deadline is generous.
    constexpr auto kDeadline = std::chrono::seconds(20);
    const QHANDLE s = client_.newSocket();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client_.connect(s, kLoopback, full.port()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, kDeadline)
        << "Connect must not wait past its timeout";
    EXPECT_EQ(client_.lastError(s), wsaerr::kTimedOut);
    EXPECT_EQ(client_.state(s), devhost::kSockStateClosed);
#endif
}

TEST_F(NxTcpSockTest, UnknownHandlesFailToRunAndHandlesAreNeverReused) {
    const QHANDLE a = client_.newSocket();
    const QHANDLE b = client_.newSocket();
    EXPECT_NE(a, 0u);
    EXPECT_GT(b, a);
    ASSERT_TRUE(client_.remove(a));
    EXPECT_GT(client_.newSocket(), b) << "a handle came back after delete";
    const QHANDLE list = api_.createVar(TYPEID_LIST);
    const std::vector<std::pair<const char*, std::vector<nxtest::ArgValue>>> calls = {
        {"delete", {a}},
        {"Connect", {a, kLoopback, 80, 0}},
        {"Listen", {a, 0}},
        {"Close", {a}},
        {"GetSockState", {a}},
        {"SendMsgA", {a, "text", "x"}},
        {"SetCallback", {a, 1, onRecv_}},
        {"GetPeerAddr", {a}},
        {"GetPeerPort", {a}},
        {"GetLastError", {a}},
        {"CopyRecvQueue", {a, list}},
        {"Accept", {a, b}},
        {"GetSockState", {0}},
    };
    for (const auto& [name, args] : calls)
        EXPECT_FALSE(client_.run(name, args)) << name;
}

TEST_F(NxTcpSockTest, ABadQueueListKeepsTheRecordsForLater) {
    std::uint16_t port = 0;
    startServer(port);
    RawPeer peer;
    recvHandler_ = [](QHANDLE) {}; // leaves the records queued
    const QHANDLE conn = acceptRaw(port, peer);
    ASSERT_TRUE(peer.sendRecord("text", "keep me"));
    ASSERT_TRUE(pumpUntil([&] { return count("recv", conn) == 1; }));
    const QHANDLE notAList = api_.createVar(TYPEID_STRING);
    std::int64_t ok = 1;
    EXPECT_TRUE(client_.run("CopyRecvQueue", {conn, notAList}, &ok));
    EXPECT_EQ(ok, 0);
    const auto records = client_.copyReceived(conn);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].text, "keep me");
}

TEST(NxTcpSockLifetime, FunctionsFailToRunOnceThePlugInIsGone) {
    devhost::HostApi api;
    SocketClient client(api);
    {
        NxTcpSock plugin(api, loopbackOptions());
        ASSERT_TRUE(plugin.registerFunctions());
        EXPECT_NE(client.newSocket(), 0u);
    }
    EXPECT_FALSE(client.run("new", {})) << "a function ran on a destroyed socket plug-in";
}

TEST_F(NxTcpSockTest, TheRegisteredPrototypesMatchTheSocketTable) {
    std::map<std::string, std::pair<std::vector<std::uint32_t>, std::uint32_t>> seen;
    for (const auto& f : api_.registeredFunctions()) {
        if (f.fullName.rfind("nxTcpSock.", 0) != 0) continue;
        std::vector<std::uint32_t> types;
        for (const auto& a : f.prototype)
            types.push_back(a.typeId);
        seen[f.fullName] = {types, f.returnTypeId};
        ASSERT_FALSE(f.prototype.empty());
        EXPECT_EQ(f.prototype[0].name, "hSock") << f.fullName;
    }
    const std::uint32_t H = TYPEID_HANDLE, S = TYPEID_STRING, N = TYPEID_NUMBER, V = TYPEID_VARREF,
                        B = TYPEID_BOOL, I = TYPEID_INT;
    const std::map<std::string, std::pair<std::vector<std::uint32_t>, std::uint32_t>> expected = {
        {"nxTcpSock.new", {{H}, H}},
        {"nxTcpSock.delete", {{H}, B}},
        {"nxTcpSock.Connect", {{H, S, N, N}, B}},
        {"nxTcpSock.Listen", {{H, N}, B}},
        {"nxTcpSock.Close", {{H}, B}},
        {"nxTcpSock.GetSockState", {{H}, I}},
        {"nxTcpSock.SendMsgA", {{H, S, S}, B}},
        {"nxTcpSock.SetCallback", {{H, N, V}, B}},
        {"nxTcpSock.GetPeerAddr", {{H}, S}},
        {"nxTcpSock.GetPeerPort", {{H}, N}},
        {"nxTcpSock.GetLastError", {{H}, I}},
        {"nxTcpSock.CopyRecvQueue", {{H, V}, B}},
        {"nxTcpSock.Accept", {{H, H}, B}},
    };
    EXPECT_EQ(seen, expected);
}

} // namespace

// The socket proxy's compound operations: Accept's checks in order, the cached
// receive-queue function, GetPeerInfo's two parts, exceptions from the plug-in, and
// the Winsock error names.
#include "module/net/CqTcpSock.h"
#include "testkit/host_fixture.h"
#include "tests/net/fake_sock_plugin.h"

using namespace volubra_test;

namespace {

std::string Report(const std::string& operation, const std::string& what) {
    return "CqTcpSock::" + operation + " error:\r\n - " + what;
}

class SockOpsTest : public HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        Bind();
        ASSERT_TRUE(listener.Create());
        ASSERT_TRUE(guest.Create());
        plugin.sock(listener.GetHandle()).state = SOCKSTATE_LISTENING;
        plugin.clearRuns();
        host.bench().clearCallLog();
        host.clearReports();
    }
    // The sockets go while the module is still bound: deleted after the base's
    // TearDown, they would report an unbound host in a real, unanswered box.
    void TearDown() override {
        guest.Delete();
        listener.Delete();
        HostFixture::TearDown();
    }
    std::size_t CountCalls(const std::string& name, const std::string& firstArg) const {
        std::size_t n = 0;
        for (const auto& c : host.bench().callLog()) {
            if (c.name == name && !c.args.empty() && c.args[0] == firstArg) ++n;
        }
        return n;
    }

    FakeSockPlugin plugin{host};
    CqTcpSock listener; // handle 100
    CqTcpSock guest;    // handle 101
};

TEST_F(SockOpsTest, AcceptChecksBothSocketsThenHandsOverTheConnection) {
    ASSERT_TRUE(listener.Accept(&guest));
    EXPECT_EQ(plugin.runNames(), (Names{"GetSockState", "GetSockState", "Accept"}));
    EXPECT_EQ(plugin.runs()[0].args, Names{"100"});
    EXPECT_EQ(plugin.runs()[1].args, Names{"101"});
    EXPECT_EQ(plugin.runs()[2].args, (Names{"100", "101"}));
    EXPECT_TRUE(guest.OwnsSock()) << "Accept changes neither object";
    EXPECT_NE(guest.GetPropList(), 0u);
    EXPECT_TRUE(host.reports().empty());

    plugin.sock(100).answer = false;
    EXPECT_FALSE(listener.Accept(&guest));
    EXPECT_TRUE(host.reports().empty()) << "a refused accept is the caller's to report";
}

TEST_F(SockOpsTest, AcceptRefusesInTheOrderOfItsChecks) {
    EXPECT_FALSE(listener.Accept(nullptr));
    EXPECT_EQ(host.reports(), Names{Report("Accept", "invalid sokcet handle argument")});
    host.clearReports();

    CqTcpSock noSocket;
    EXPECT_FALSE(listener.Accept(&noSocket));
    EXPECT_EQ(host.reports(), Names{Report("Accept", "cannot het connection socket handle")});
    host.clearReports();

    plugin.sock(101).state = SOCKSTATE_CONNECTED;
    EXPECT_FALSE(listener.Accept(&guest));
    EXPECT_EQ(host.reports(), Names{Report("Accept", "connection socket is open")});
    host.clearReports();

    plugin.sock(100).state = SOCKSTATE_CONNECTED;
    EXPECT_FALSE(listener.Accept(&noSocket));
    EXPECT_EQ(host.reports(), Names{Report("Accept", "socket is not listening")})
        << "the listening check comes before the connection socket's";
    host.clearReports();

    plugin.sock(100).state = SOCKSTATE_LISTENING;
    plugin.sock(101).state = SOCKSTATE_CLOSED;
    host.bench().failRunFrom("nxTcpSock.GetSockState", 2);
    EXPECT_FALSE(listener.Accept(&guest));
    EXPECT_EQ(host.reports(),
              (Names{Report("GetSockState", "nxTcpSock.GetSockState function failed"),
                     Report("Accept", "connection socket is open")}))
        << "a failed state query counts as open";
    EXPECT_EQ(plugin.runNames().back(), "GetSockState") << "Accept itself is never run";
}

TEST_F(SockOpsTest, TheReceiveQueueFunctionIsLookedUpOncePerObject) {
    const QHANDLE queue = host.createVar(TYPEID_LIST);
    const std::string name = "\"nxTcpSock.CopyRecvQueue\"";
    ASSERT_TRUE(guest.GetRecvQueue(queue));
    ASSERT_TRUE(guest.GetRecvQueue(queue));
    EXPECT_EQ(CountCalls("qrvfunc.GetFunc", name), 1u);
    EXPECT_EQ(plugin.runNames(), (Names{"CopyRecvQueue", "CopyRecvQueue"}));

    guest.Delete();
    ASSERT_TRUE(guest.Create());
    ASSERT_TRUE(guest.GetRecvQueue(queue));
    EXPECT_EQ(CountCalls("qrvfunc.GetFunc", name), 1u) << "the cached handle outlives Delete";

    CqTcpSock transient;
    transient.Attach(guest.GetHandle());
    host.bench().failFrom("qrvfunc.GetFunc", 1);
    EXPECT_FALSE(transient.GetRecvQueue(queue));
    host.bench().failFrom("qrvfunc.GetFunc", 0);
    EXPECT_TRUE(transient.GetRecvQueue(queue)) << "a failed lookup is tried again";
    EXPECT_EQ(CountCalls("qrvfunc.GetFunc", name), 3u);
}

TEST_F(SockOpsTest, AHandleThatFailedToAttachIsNotUsedAgain) {
    const QHANDLE queue = host.createVar(TYPEID_LIST);
    host.bench().failFrom("qrvfunc.GetArgListPrototype", 1);
    EXPECT_FALSE(guest.GetRecvQueue(queue));
    host.bench().failFrom("qrvfunc.GetArgListPrototype", 0);
    EXPECT_TRUE(guest.GetRecvQueue(queue)) << "the next call binds a fresh handle";
    EXPECT_EQ(CountCalls("qrvfunc.GetFunc", "\"nxTcpSock.CopyRecvQueue\""), 2u);
}

TEST_F(SockOpsTest, PeerInfoWithoutAnAddressLeavesThePortAlone) {
    const QHANDLE addr = host.createVar(TYPEID_STRING);
    std::int32_t port = 1234;
    host.bench().failRunFrom("nxTcpSock.GetPeerAddr", 1);
    EXPECT_FALSE(guest.GetPeerInfo(addr, &port));
    EXPECT_EQ(host.reports(), (Names{Report("GetPeerAddr", "nxTcpSock.GetPeerAddr function failed"),
                                     Report("GetPeerInfo", "cannot get peer address")}));
    EXPECT_EQ(port, 1234);
    EXPECT_EQ(CountCalls("qrvfunc.GetFunc", "\"nxTcpSock.GetPeerPort\""), 0u)
        << "no port is asked for";
}

TEST_F(SockOpsTest, AnAddressThatCannotBeCopiedIsNoAddress) {
    const QHANDLE addr = host.createVar(TYPEID_STRING);
    std::int32_t port = 1234;
    host.bench().failFrom("var.CopyValue", 1);
    EXPECT_FALSE(guest.GetPeerAddr(addr));
    host.clearReports();
    EXPECT_FALSE(guest.GetPeerInfo(addr, &port));
    EXPECT_EQ(
        host.reports(),
        (Names{Report("GetPeerAddr", "cannot get nxTcpSock.GetPeerAddr function return value"),
               Report("GetPeerInfo", "cannot get peer address")}));
    EXPECT_EQ(port, 1234) << "the port is not written without an address";
    EXPECT_EQ(host.text(addr), "");

    const QHANDLE number = host.createVar(TYPEID_INT);
    host.bench().failFrom("var.CopyValue", 0);
    host.clearReports();
    EXPECT_FALSE(guest.GetPeerAddr(number)) << "a variable of another type takes no address";
    EXPECT_EQ(host.reports().size(), 1u);
}

TEST_F(SockOpsTest, PeerInfoWithoutAPortGivesZero) {
    const QHANDLE addr = host.createVar(TYPEID_STRING);
    plugin.sock(101).peerAddr = "10.1.2.3";
    std::int32_t port = 1234;
    host.bench().failRunFrom("nxTcpSock.GetPeerPort", 1);
    EXPECT_TRUE(guest.GetPeerInfo(addr, &port));
    EXPECT_EQ(port, 0);
    EXPECT_EQ(host.text(addr), "10.1.2.3");
    EXPECT_EQ(host.reports(),
              Names{Report("GetPeerPort", "nxTcpSock.GetPeerPort function failed")});
}

TEST_F(SockOpsTest, PeerQueriesCatchExceptionsAndOthersPassThemOn) {
    const QHANDLE addr = host.createVar(TYPEID_STRING);
    plugin.throwIn("GetPeerAddr");
    EXPECT_FALSE(guest.GetPeerAddr(addr));
    EXPECT_EQ(host.reports(), Names{"CqTcpSock::GetPeerAddr exception"});
    host.clearReports();

    plugin.throwIn("GetPeerPort");
    EXPECT_EQ(guest.GetPeerPort(), 0);
    EXPECT_EQ(host.reports(), Names{"CqTcpSock::GetPeerPort exception"});

    plugin.throwIn("Listen");
    plugin.clearRuns();
    EXPECT_THROW(guest.Listen(1), std::runtime_error);
    ASSERT_EQ(plugin.runs().size(), 1u);
    EXPECT_FALSE(host.exists(plugin.runs()[0].hArgList)) << "the binding is released first";
    EXPECT_FALSE(host.exists(plugin.runs()[0].hRetVal));
    plugin.throwIn("");
}

TEST(SockErrorName, NamesTheTwentyFiveWinsockCodes) {
    const std::vector<std::pair<std::int32_t, const char*>> table = {
        {10014, "WSAEFAULT"},         {10022, "WSAEINVAL"},       {10024, "WSAEMFILE"},
        {10035, "WSAEWOULDBLOCK"},    {10036, "WSAEINPROGRESS"},  {10038, "WSAENOTSOCK"},
        {10039, "WSAEDESTADDRREQ"},   {10040, "WSAEMSGSIZE"},     {10042, "WSAENOPROTOOPT"},
        {10045, "WSAEOPNOTSUPP"},     {10047, "WSAEAFNOSUPPORT"}, {10048, "WSAEADDRINUSE"},
        {10049, "WSAEADDRNOTAVAIL"},  {10050, "WSAENETDOWN"},     {10051, "WSAENETUNREACH"},
        {10052, "WSAENETRESET"},      {10053, "WSAECONNABORTED"}, {10054, "WSAECONNRESET"},
        {10055, "WSAENOBUFS"},        {10056, "WSAEISCONN"},      {10057, "WSAENOTCONN"},
        {10058, "WSAESHUTDOWN"},      {10060, "WSAETIMEDOUT"},    {10061, "WSAECONNREFUSED"},
        {10093, "WSANOTINITIALISED"},
    };
    for (const auto& [code, name] : table)
        EXPECT_STREQ(GetSockErrorName(code), name) << code;
    for (std::int32_t code : {0, -1, 10013, 10059, 10062, 10092, 10094, 2147483647}) {
        EXPECT_STREQ(GetSockErrorName(code), "unknown") << code;
    }
}

} // namespace

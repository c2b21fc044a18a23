// The socket proxy through devhost's real registry, against a scripted socket
// plug-in: what each operation passes and reads, its guards, its reports when a
// step fails, and what it leaves behind.
#include "module/net/CqTcpSock.h"
#include "testkit/host_fixture.h"
#include "tests/net/fake_sock_plugin.h"

#include <functional>

using namespace volubra_test;

namespace {

std::string Report(const std::string& operation, const std::string& what) {
    return "CqTcpSock::" + operation + " error:\r\n - " + what;
}

class CqTcpSockTest : public HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        Bind();
    }
    // A proxy that owns a socket of the fake plug-in, with clean logs after it.
    void MakeSocket(CqTcpSock& sock) {
        ASSERT_TRUE(sock.Create());
        Reset();
    }
    void Reset() {
        plugin.clearRuns();
        host.bench().clearCallLog();
        host.clearReports();
    }

    void ClearFaults() {
        for (const char* name : {"qrvfunc.GetFunc", "var.SetValueEx", "str.SetText",
                                 "var.GetValueEx", "var.IsType", "var.CopyValue"}) {
            host.bench().failFrom(name, 0);
        }
        for (const char* name :
             {"nxTcpSock.new", "nxTcpSock.delete", "nxTcpSock.Connect", "nxTcpSock.Listen",
              "nxTcpSock.Close", "nxTcpSock.GetSockState", "nxTcpSock.GetLastError",
              "nxTcpSock.SendMsgA", "nxTcpSock.SetCallback", "nxTcpSock.GetPeerAddr",
              "nxTcpSock.GetPeerPort", "nxTcpSock.CopyRecvQueue", "nxTcpSock.Accept"}) {
            host.bench().failRunFrom(name, 0);
        }
    }

    FakeSockPlugin plugin{host};
};

TEST_F(CqTcpSockTest, WithoutASocketNothingIsAskedOrReported) {
    CqTcpSock sock;
    CqTcpSock other;
    ASSERT_TRUE(other.Create());
    Reset();
    std::int32_t port = 77;
    const QHANDLE addr = host.createVar(TYPEID_STRING);
    EXPECT_EQ(sock.GetSockState(), -1);
    EXPECT_EQ(sock.GetLastError(), 0);
    EXPECT_EQ(sock.GetPeerPort(), 0);
    EXPECT_FALSE(sock.Connect("127.0.0.1", 8080, 0));
    EXPECT_FALSE(sock.Listen(8080));
    EXPECT_FALSE(sock.SendMsgA("text", "hello"));
    EXPECT_FALSE(sock.SetCallback(CALLBACKID_RECV, 1));
    EXPECT_FALSE(sock.GetRecvQueue(host.createVar(TYPEID_LIST)));
    EXPECT_FALSE(sock.GetPeerAddr(addr));
    EXPECT_FALSE(sock.Accept(&other));
    sock.Close();
    sock.Delete();
    EXPECT_TRUE(host.bench().callLog().empty());
    EXPECT_TRUE(plugin.runs().empty());
    EXPECT_TRUE(host.reports().empty());
    EXPECT_EQ(port, 77);
}

TEST_F(CqTcpSockTest, CreateRunsNewAndMakesThePropertyList) {
    CqTcpSock sock;
    ASSERT_TRUE(sock.Create());
    EXPECT_EQ(sock.GetHandle(), 100u);
    EXPECT_TRUE(sock.OwnsSock());
    EXPECT_EQ(host.typeOf(sock.GetPropList()), std::uint32_t{TYPEID_LIST});
    EXPECT_EQ(Calls(), (Names{"var.CreateTemp", "qrvfunc.GetFunc", "var.IsType",
                              "qrvfunc.GetArgListPrototype", "qrvfunc.GetReturnTypeID",
                              "var.CreateTemp", "qrvfunc.Execute2", "var.GetValueEx",
                              "var.CreateTemp", "var.Delete", "var.Delete"}))
        << "new runs with no item set; the binding is released when Create ends";
    EXPECT_EQ(plugin.runs().at(0).args, Names{"0"});

    const QHANDLE propList = sock.GetPropList();
    Reset();
    EXPECT_FALSE(sock.Create()) << "a socket is already held";
    EXPECT_EQ(sock.GetHandle(), 100u);
    EXPECT_EQ(sock.GetPropList(), propList);
    EXPECT_TRUE(host.bench().callLog().empty());
    EXPECT_TRUE(host.reports().empty());
}

TEST_F(CqTcpSockTest, AZeroHandleFromNewLeavesTheProxyEmpty) {
    plugin.setNextHandle(0);
    CqTcpSock sock;
    EXPECT_FALSE(sock.Create());
    EXPECT_EQ(host.reports(),
              Names{Report("Create", "invalid socket handle returned by nxTcpSock.new function")});
    EXPECT_EQ(sock.GetHandle(), 0u);
    EXPECT_EQ(sock.GetPropList(), 0u);
    EXPECT_EQ(Calls().back(), "var.Delete") << "no property list is made";
}

TEST_F(CqTcpSockTest, DeleteAsksThePluginOnlyForAnOwnedSocket) {
    {
        CqTcpSock owner;
        MakeSocket(owner);
        const QHANDLE propList = owner.GetPropList();
        owner.Delete();
        EXPECT_EQ(plugin.runNames(), Names{"delete"});
        EXPECT_EQ(plugin.runs()[0].args, Names{"100"});
        EXPECT_FALSE(plugin.exists(100));
        EXPECT_EQ(owner.GetHandle(), 0u);
        EXPECT_EQ(owner.GetPropList(), 0u);
        EXPECT_FALSE(host.exists(propList));
        Reset();
    }
    EXPECT_TRUE(plugin.runs().empty()) << "the destructor of an empty proxy does nothing";

    CqTcpSock owner;
    MakeSocket(owner);
    {
        CqTcpSock referrer;
        ASSERT_TRUE(referrer.Attach(owner.GetHandle()));
        EXPECT_FALSE(referrer.OwnsSock());
        const QHANDLE propList = referrer.GetPropList();
        EXPECT_EQ(host.typeOf(propList), std::uint32_t{TYPEID_LIST});
        referrer.Delete();
        EXPECT_FALSE(host.exists(propList));
        EXPECT_EQ(referrer.GetHandle(), 0u);
    }
    EXPECT_TRUE(plugin.runs().empty()) << "a referring proxy never deletes the socket";
    EXPECT_TRUE(plugin.exists(owner.GetHandle()));
}

TEST_F(CqTcpSockTest, AFailedDeleteKeepsEverythingAndTheDestructorTriesAgain) {
    QHANDLE propList = 0;
    {
        CqTcpSock sock;
        MakeSocket(sock);
        propList = sock.GetPropList();
        host.bench().failRunFrom("nxTcpSock.delete", 1);
        sock.Delete();
        EXPECT_EQ(host.reports(), Names{Report("Delete", "nxTcpSock.delete function failed")});
        EXPECT_EQ(sock.GetHandle(), 101u - 1);
        EXPECT_EQ(sock.GetPropList(), propList);
        EXPECT_TRUE(host.exists(propList));
        host.bench().failRunFrom("nxTcpSock.delete", 0);
    }
    EXPECT_EQ(plugin.runNames(), Names{"delete"}) << "the destructor's own try reached the plug-in";
    EXPECT_FALSE(plugin.exists(100));
    EXPECT_FALSE(host.exists(propList));
}

TEST_F(CqTcpSockTest, CreateMakesANewPropertyListAndDeletesOneLeftOver) {
    CqTcpSock sock;
    MakeSocket(sock);
    const QHANDLE leftover = sock.GetPropList();
    host.bench().failFrom("var.Delete", 3); // after the two temporaries of nxTcpSock.delete
    sock.Delete();
    host.bench().failFrom("var.Delete", 0);
    ASSERT_EQ(sock.GetHandle(), 0u);
    ASSERT_EQ(sock.GetPropList(), leftover) << "the host refused to delete the list";

    ASSERT_TRUE(sock.Create());
    EXPECT_EQ(host.typeOf(sock.GetPropList()), std::uint32_t{TYPEID_LIST});
    EXPECT_NE(sock.GetPropList(), leftover) << "a new socket gets a new temporary list";
    EXPECT_FALSE(host.exists(leftover)) << "the leftover is deleted, not forgotten";
}

TEST_F(CqTcpSockTest, AttachMakesOrEmptiesThePropertyList) {
    CqTcpSock sock;
    EXPECT_FALSE(sock.Attach(0));
    EXPECT_EQ(sock.GetPropList(), 0u);
    EXPECT_TRUE(host.bench().callLog().empty());

    ASSERT_TRUE(sock.Attach(7));
    const QHANDLE propList = sock.GetPropList();
    host.addItem(propList, TYPEID_STRING, "DisplayName");
    ASSERT_TRUE(sock.Attach(7));
    EXPECT_EQ(sock.GetPropList(), propList) << "the list is reused";
    EXPECT_TRUE(host.items(propList).empty()) << "and emptied";
    EXPECT_FALSE(sock.Attach(0));
    EXPECT_EQ(sock.GetHandle(), 7u);
}

TEST_F(CqTcpSockTest, OperationsPassTheirArgumentsInOrder) {
    CqTcpSock sock;
    MakeSocket(sock);
    EXPECT_TRUE(sock.Connect("10.0.0.2", 8080, 0));
    EXPECT_TRUE(sock.Listen(9000));
    EXPECT_TRUE(sock.SendMsgA("text", "hello there"));
    const QHANDLE callback = host.findFunction("nxTcpSock.Close");
    EXPECT_TRUE(sock.SetCallback(CALLBACKID_CLOSE, callback));
    const QHANDLE queue = host.createVar(TYPEID_LIST);
    EXPECT_TRUE(sock.GetRecvQueue(queue));
    sock.Close();
    const auto& runs = plugin.runs();
    ASSERT_EQ(runs.size(), 6u);
    EXPECT_EQ(runs[0].args, (Names{"100", "10.0.0.2", "8080", "0"}));
    EXPECT_EQ(runs[1].args, (Names{"100", "9000"}));
    EXPECT_EQ(runs[2].args, (Names{"100", "text", "hello there"}));
    EXPECT_EQ(runs[3].args, (Names{"100", "4", std::to_string(callback)}));
    EXPECT_EQ(runs[4].args, (Names{"100", std::to_string(queue)}));
    EXPECT_EQ(runs[5].function, "Close");
    EXPECT_EQ(sock.GetHandle(), 100u) << "Close keeps the socket";
    EXPECT_TRUE(host.reports().empty());
}

TEST_F(CqTcpSockTest, AFalseAnswerOfThePluginIsNoFailureOfTheProxy) {
    CqTcpSock sock;
    MakeSocket(sock);
    plugin.sock(100).answer = false;
    EXPECT_FALSE(sock.Connect("127.0.0.1", 1, 0));
    EXPECT_FALSE(sock.Listen(1));
    EXPECT_FALSE(sock.SendMsgA("text", "x"));
    EXPECT_EQ(sock.Send("text", "x"), SendOutcome::Refused);
    EXPECT_FALSE(sock.SetCallback(CALLBACKID_RECV, 1));
    EXPECT_TRUE(host.reports().empty());
}

TEST_F(CqTcpSockTest, QueriesReadTheirResults) {
    CqTcpSock sock;
    MakeSocket(sock);
    plugin.sock(100) = {SOCKSTATE_CONNECTED, 10061, "192.168.1.9", 50123, true};
    EXPECT_EQ(sock.GetSockState(), SOCKSTATE_CONNECTED);
    EXPECT_EQ(sock.GetLastError(), 10061);
    EXPECT_EQ(sock.GetPeerPort(), 50123);
    const QHANDLE addr = host.createVar(TYPEID_STRING);
    std::int32_t port = 0;
    EXPECT_TRUE(sock.GetPeerInfo(addr, &port));
    EXPECT_EQ(host.text(addr), "192.168.1.9");
    EXPECT_EQ(port, 50123);
    plugin.sock(100).state = 7;
    EXPECT_EQ(sock.GetSockState(), 7) << "other states pass through";
    EXPECT_TRUE(host.reports().empty());
}

TEST_F(CqTcpSockTest, EmptyTextsAreNotSent) {
    CqTcpSock sock;
    MakeSocket(sock);
    EXPECT_FALSE(sock.SendMsgA("", "hello"));
    EXPECT_FALSE(sock.SendMsgA("text", ""));
    EXPECT_FALSE(sock.SendMsgA(nullptr, "hello"));
    EXPECT_FALSE(sock.SendMsgA("text", nullptr));
    EXPECT_EQ(sock.Send("text", ""), SendOutcome::NotSent);
    EXPECT_TRUE(host.bench().callLog().empty());
    EXPECT_TRUE(host.reports().empty());
}

// One failing step of one operation: the fault, the operation, and its one report.
struct FaultCase {
    const char* title;
    std::function<void(devhost::HostApi&)> inject;
    std::function<void(CqTcpSock&, CqTcpSock&)> run; // (proxy, a second socket)
    std::string report;
};

auto FailCall(const char* name, unsigned n) {
    return [=](devhost::HostApi& h) { h.bench().failFrom(name, n); };
}
auto FailRun(const char* name) {
    return [=](devhost::HostApi& h) { h.bench().failRunFrom(name, 1); };
}

TEST_F(CqTcpSockTest, EachFailingStepMakesOneReportAndChangesNothing) {
    const auto connect = [](CqTcpSock& s, CqTcpSock&) { EXPECT_FALSE(s.Connect("h", 1, 0)); };
    const auto listen = [](CqTcpSock& s, CqTcpSock&) { EXPECT_FALSE(s.Listen(1)); };
    const auto close = [](CqTcpSock& s, CqTcpSock&) { s.Close(); };
    const auto state = [](CqTcpSock& s, CqTcpSock&) { EXPECT_EQ(s.GetSockState(), -1); };
    const auto lastError = [](CqTcpSock& s, CqTcpSock&) { EXPECT_EQ(s.GetLastError(), 0); };
    const auto send = [](CqTcpSock& s, CqTcpSock&) {
        EXPECT_EQ(s.Send("text", "x"), SendOutcome::NotSent) << "a failed call is no refusal";
    };
    const auto callback = [](CqTcpSock& s, CqTcpSock&) { EXPECT_FALSE(s.SetCallback(1, 1)); };
    const auto peerPort = [](CqTcpSock& s, CqTcpSock&) { EXPECT_EQ(s.GetPeerPort(), 0); };
    const auto recvQueue = [this](CqTcpSock& s, CqTcpSock&) {
        EXPECT_FALSE(s.GetRecvQueue(host.createVar(TYPEID_LIST)));
    };
    const auto peerAddr = [this](CqTcpSock& s, CqTcpSock&) {
        EXPECT_FALSE(s.GetPeerAddr(host.createVar(TYPEID_STRING)));
    };
    const auto accept = [this](CqTcpSock& s, CqTcpSock& conn) {
        plugin.sock(s.GetHandle()).state = SOCKSTATE_LISTENING;
        EXPECT_FALSE(s.Accept(&conn));
    };
    const auto remove = [](CqTcpSock& s, CqTcpSock&) { s.Delete(); };
    const auto create = [](CqTcpSock&, CqTcpSock&) {
        CqTcpSock fresh;
        EXPECT_FALSE(fresh.Create());
        EXPECT_EQ(fresh.GetHandle(), 0u);
    };

    const std::vector<FaultCase> cases = {
        {"Create lookup", FailCall("qrvfunc.GetFunc", 1), create,
         Report("Create", "cannot get nxTcpSock.new function handle")},
        {"Create run", FailRun("nxTcpSock.new"), create,
         Report("Create", "nxTcpSock.new function failed")},
        {"Create result", FailCall("var.GetValueEx", 1), create,
         Report("Create", "cannot get nxTcpSock.new function return value")},
        {"Delete lookup", FailCall("qrvfunc.GetFunc", 1), remove,
         Report("Delete", "cannot get nxTcpSock.delete function handle")},
        {"Delete hSock", FailCall("var.SetValueEx", 1), remove,
         Report("Delete", "cannot set hSock arg for nxTcpSock.delete function")},
        {"Delete run", FailRun("nxTcpSock.delete"), remove,
         Report("Delete", "nxTcpSock.delete function failed")},
        {"Connect lookup", FailCall("qrvfunc.GetFunc", 1), connect,
         Report("Connect", "cannot get nxTcpSock.Create function")},
        {"Connect hSock", FailCall("var.SetValueEx", 1), connect,
         Report("Connect", "cannot set hSock arg for nxTcpSock.Create function")},
        {"Connect lpPeerAddr", FailCall("str.SetText", 1), connect,
         Report("Connect", "cannot set lpPeerAddr arg for nxTcpSock.Create function")},
        {"Connect PeerPort", FailCall("var.SetValueEx", 2), connect,
         Report("Connect", "cannot set PeerPort arg for nxTcpSock.Create function")},
        {"Connect LocalPort", FailCall("var.SetValueEx", 3), connect,
         Report("Connect", "cannot set LocalPort arg for nxTcpSock.Create function")},
        {"Connect run", FailRun("nxTcpSock.Connect"), connect,
         Report("Connect", "nxTcpSock.Connect function failed")},
        {"Connect result", FailCall("var.GetValueEx", 1), connect,
         Report("Connect", "cannot get nxTcpSock.Connect function return value")},
        {"Listen lookup", FailCall("qrvfunc.GetFunc", 1), listen,
         Report("Listen", "cannot get nxTcpSock.Listen function")},
        {"Listen hSock", FailCall("var.SetValueEx", 1), listen,
         Report("Listen", "cannot set hSock arg for nxTcpSock.Listen function")},
        {"Listen LocalPort", FailCall("var.SetValueEx", 2), listen,
         Report("Listen", "cannot set LocalPort arg for nxTcpSock.Listen function")},
        {"Listen run", FailRun("nxTcpSock.Listen"), listen,
         Report("Listen", "nxTcpSock.Listen function failed")},
        {"Listen result", FailCall("var.GetValueEx", 1), listen,
         Report("Listen", "cannot get nxTcpSock.Listen function return value")},
        {"Close lookup", FailCall("qrvfunc.GetFunc", 1), close,
         Report("Close", "cannot get nxTcpSock.Close function")},
        {"Close hSock", FailCall("var.SetValueEx", 1), close,
         Report("Close", "cannot set hSock arg for nxTcpSock.Close function")},
        {"Close run", FailRun("nxTcpSock.Close"), close,
         Report("Close", "nxTcpSock.Close function failed")},
        {"GetSockState lookup", FailCall("qrvfunc.GetFunc", 1), state,
         Report("GetSockState", "cannot get nxTcpSock.GetSockState function")},
        {"GetSockState hSock", FailCall("var.SetValueEx", 1), state,
         Report("GetSockState", "cannot set hSock arg for nxTcpSock.GetSockState function")},
        {"GetSockState run", FailRun("nxTcpSock.GetSockState"), state,
         Report("GetSockState", "nxTcpSock.GetSockState function failed")},
        {"GetSockState result", FailCall("var.GetValueEx", 1), state,
         Report("GetSockState", "cannot get nxTcpSock.GetSockState function return value")},
        {"GetLastError lookup", FailCall("qrvfunc.GetFunc", 1), lastError,
         Report("GetLastError", "cannot get nxTcpSock.GetLastError function")},
        {"GetLastError hSock", FailCall("var.SetValueEx", 1), lastError,
         Report("GetLastError", "cannot set hSock arg for nxTcpSock.GetLastError function")},
        {"GetLastError run", FailRun("nxTcpSock.GetLastError"), lastError,
         Report("GetLastError", "nxTcpSock.GetLastError function failed")},
        {"GetLastError result", FailCall("var.GetValueEx", 1), lastError,
         Report("GetLastError", "cannot get nxTcpSock.GetLastError function return value")},
        {"SendMsgA lookup", FailCall("qrvfunc.GetFunc", 1), send,
         Report("SendMsgA", "cannot get nxTcpSock.SendMsgA function")},
        {"SendMsgA hSock", FailCall("var.SetValueEx", 1), send,
         Report("SendMsgA", "cannot set hSock arg for nxTcpSock.SendMsgA function")},
        {"SendMsgA lpLabel", FailCall("str.SetText", 1), send,
         Report("SendMsgA", "cannot set lpLabel arg for nxTcpSock.SendMsgA function")},
        {"SendMsgA lpMsgText", FailCall("str.SetText", 2), send,
         Report("SendMsgA", "cannot set lpMsgText arg for nxTcpSock.SendMsgA function")},
        {"SendMsgA run", FailRun("nxTcpSock.SendMsgA"), send,
         Report("SendMsgA", "nxTcpSock.SendMsgA function failed")},
        {"SendMsgA result", FailCall("var.GetValueEx", 1), send,
         Report("SendMsgA", "cannot get nxTcpSock.SendMsgA function return value")},
        {"SetCallback lookup", FailCall("qrvfunc.GetFunc", 1), callback,
         Report("SetCallback", "cannot get nxTcpSock.SetCallback function")},
        {"SetCallback hSock", FailCall("var.SetValueEx", 1), callback,
         Report("SetCallback", "cannot set hSock arg for nxTcpSock.SetCallback function")},
        {"SetCallback CallbackID", FailCall("var.SetValueEx", 2), callback,
         Report("SetCallback", "cannot set CallbackID arg for nxTcpSock.SetCallback function")},
        {"SetCallback hCallbackQFUNC", FailCall("var.SetValueEx", 3), callback,
         Report("SetCallback", "cannot set hCallbackQFUNC arg for nxTcpSock.SetCallback function")},
        {"SetCallback run", FailRun("nxTcpSock.SetCallback"), callback,
         Report("SetCallback", "nxTcpSock.SetCallback function failed")},
        {"SetCallback result", FailCall("var.GetValueEx", 1), callback,
         Report("SetCallback", "cannot get nxTcpSock.SetCallback function return value")},
        {"GetPeerAddr lookup", FailCall("qrvfunc.GetFunc", 1), peerAddr,
         Report("GetPeerAddr", "cannot get nxTcpSock.GetPeerAddr function")},
        {"GetPeerAddr hSock", FailCall("var.SetValueEx", 1), peerAddr,
         Report("GetPeerAddr", "cannot set hSock arg for nxTcpSock.GetPeerAddr function")},
        {"GetPeerAddr run", FailRun("nxTcpSock.GetPeerAddr"), peerAddr,
         Report("GetPeerAddr", "nxTcpSock.GetPeerAddr function failed")},
        {"GetPeerAddr copy", FailCall("var.CopyValue", 1), peerAddr,
         Report("GetPeerAddr", "cannot get nxTcpSock.GetPeerAddr function return value")},
        {"GetPeerPort lookup", FailCall("qrvfunc.GetFunc", 1), peerPort,
         Report("GetPeerPort", "cannot get nxTcpSock.GetPeerPort function")},
        {"GetPeerPort hSock", FailCall("var.SetValueEx", 1), peerPort,
         Report("GetPeerPort", "cannot set hSock arg for nxTcpSock.GetPeerPort function")},
        {"GetPeerPort run", FailRun("nxTcpSock.GetPeerPort"), peerPort,
         Report("GetPeerPort", "nxTcpSock.GetPeerPort function failed")},
        {"GetPeerPort result", FailCall("var.GetValueEx", 1), peerPort,
         Report("GetPeerPort", "cannot get nxTcpSock.GetPeerPort function return value")},
        {"GetRecvQueue lookup", FailCall("qrvfunc.GetFunc", 1), recvQueue,
         Report("GetRecvQueue", "cannot get nxTcpSock.CopyRecvQueue function")},
        {"GetRecvQueue attach", FailCall("var.IsType", 1), recvQueue,
         Report("GetRecvQueue", "cannot attach nxTcpSock.CopyRecvQueue function")},
        {"GetRecvQueue hSock", FailCall("var.SetValueEx", 1), recvQueue,
         Report("GetRecvQueue", "cannot set hSock arg for nxTcpSock.CopyRecvQueue function")},
        {"GetRecvQueue hRecvQueue", FailCall("var.SetValueEx", 2), recvQueue,
         Report("GetRecvQueue", "cannot set hRecvQueue arg for nxTcpSock.CopyRecvQueue function")},
        {"GetRecvQueue run", FailRun("nxTcpSock.CopyRecvQueue"), recvQueue,
         Report("GetRecvQueue", "nxTcpSock.CopyRecvQueue function failed")},
        {"GetRecvQueue result", FailCall("var.GetValueEx", 1), recvQueue,
         Report("GetRecvQueue", "cannot get nxTcpSock.CopyRecvQueue function return value")},
        // Accept asks both sockets' states first: two lookups, two hSock items, two reads.
        {"Accept lookup", FailCall("qrvfunc.GetFunc", 3), accept,
         Report("Accept", "cannot get nxTcpSock.Accept function")},
        {"Accept hSock", FailCall("var.SetValueEx", 3), accept,
         Report("Accept", "cannot set hSock arg for nxTcpSock.Accept function")},
        {"Accept hConnSock", FailCall("var.SetValueEx", 4), accept,
         Report("Accept", "cannot set hConnSock arg for nxTcpSock.Accept function")},
        {"Accept run", FailRun("nxTcpSock.Accept"), accept,
         Report("Accept", "nxTcpSock.Accept function failed")},
        {"Accept result", FailCall("var.GetValueEx", 3), accept,
         Report("Accept", "cannot get nxTcpSock.Accept function return value")},
    };

    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.title);
        {
            CqTcpSock sock, conn;
            ASSERT_TRUE(sock.Create());
            ASSERT_TRUE(conn.Create());
            const QHANDLE handle = sock.GetHandle();
            const QHANDLE propList = sock.GetPropList();
            host.clearReports();
            c.inject(host);
            c.run(sock, conn);
            EXPECT_EQ(host.reports(), Names{c.report});
            EXPECT_EQ(sock.GetHandle(), handle) << "the proxy is as it was";
            EXPECT_EQ(sock.GetPropList(), propList);
            ClearFaults();
        }
        EXPECT_EQ(host.reports().size(), 1u) << "the proxies' destructors report nothing";
    }
}

} // namespace

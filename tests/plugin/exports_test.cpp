// The seven exports as the host calls them: the version, the exact sequence of host
// calls of the registration, and the guards of the socket callbacks.
#include "testkit/chat_dlg_access.h"
#include "testkit/host_fixture.h"

using namespace volubra_test;

namespace {

constexpr const char* kInitFailed =
    "Volubra::ExtInitPlugin error:\r\n - cannot load Mesaform functions";

class ExportsTest : public HostFixture {
protected:
    // A callback argument list as the socket plug-in makes it: item 0 "hSock".
    QHANDLE SocketArgs(QHANDLE hSock) {
        const QHANDLE list = host.createVar(TYPEID_LIST);
        host.setScalar(host.addItem(list, TYPEID_HANDLE, "hSock"), hSock);
        return list;
    }
    std::vector<std::string> FormattedCalls() const {
        std::vector<std::string> calls;
        for (const devhost::HostCall& c : host.bench().callLog()) {
            if (c.name != "lookup") calls.push_back(c.format());
        }
        return calls;
    }
};

TEST_F(ExportsTest, VersionIsAvailableBeforeInitialisation) {
    EXPECT_STREQ(ExtGetApiVersion(), "2.5.4");
    EXPECT_EQ(ExtGetApiVersion(), ExtGetApiVersion()) << "a static text";
    EXPECT_TRUE(host.bench().callLog().empty());
}

TEST_F(ExportsTest, InitialisationRegistersFiveFunctionsAndOneMenuEntry) {
    ASSERT_EQ(ExtInitPlugin(Lookup(), hID), 1);
    EXPECT_TRUE(host.reports().empty());
    EXPECT_TRUE(dk::testing::TakeBoxes().empty());

    // The handles are the host's; name them by their first appearance.
    const std::vector<devhost::HostCall>& log = host.bench().callLog();
    std::vector<devhost::HostCall> calls;
    for (const auto& c : log) {
        if (c.name != "lookup") calls.push_back(c);
    }
    ASSERT_EQ(calls.size(), 43u);
    const std::string args = calls[0].result;  // the registrar's argument list
    const std::string ret1 = calls[5].result;  // its first return variable
    const std::string proto = calls[7].result; // the prototype list
    std::vector<std::string> expected = {
        "var.CreateTemp(31)=" + args,
        "qrvfunc.LoadFunc(\"ExtShowWnd\",1,0)=" + calls[1].result,
        "var.IsType(" + calls[1].result + ",510)=true",
        "qrvfunc.GetArgListPrototype(" + calls[1].result + "," + args + ")=true",
        "qrvfunc.GetReturnTypeID(" + calls[1].result + ")=3",
        "var.CreateTemp(3)=" + ret1,
        "menu.InsertItemEx(\"ExtShowWnd\",\"Chat client\",0)=true",
        "var.CreateTemp(31)=" + proto,
    };
    std::string ret = ret1;
    std::size_t i = expected.size();
    for (const char* name : {"ExtOnConnect", "ExtOnAccept", "ExtOnRecv", "ExtOnClose"}) {
        const std::string fn = calls[i + 2].result;
        const std::string newRet = calls[i + 7].result;
        const std::vector<std::string> step = {
            "list.DelAll(" + proto + ")=true",
            "list.CreateItem(" + proto + ",20,\"hSock\")=" + calls[i + 1].result,
            "qrvfunc.LoadFunc(\"" + std::string(name) + "\",1," + proto + ")=" + fn,
            "var.IsType(" + fn + ",510)=true",
            "qrvfunc.GetArgListPrototype(" + fn + "," + args + ")=true",
            "var.Delete(" + ret + ")=true",
            "qrvfunc.GetReturnTypeID(" + fn + ")=3",
            "var.CreateTemp(3)=" + newRet,
        };
        expected.insert(expected.end(), step.begin(), step.end());
        ret = newRet;
        i += step.size();
    }
    expected.push_back("var.Delete(" + proto + ")=true");
    expected.push_back("var.Delete(" + ret + ")=true");
    expected.push_back("var.Delete(" + args + ")=true");
    EXPECT_EQ(FormattedCalls(), expected);

    const auto functions = host.registeredFunctions();
    std::vector<std::string> names;
    for (const auto& f : functions) {
        if (!f.isPluginExport) continue;
        names.push_back(f.fullName);
        if (f.fullName == "Volubra.ExtShowWnd") {
            EXPECT_TRUE(f.prototype.empty());
        } else {
            ASSERT_EQ(f.prototype.size(), 1u) << f.fullName << ": exactly one argument";
            EXPECT_EQ(f.prototype[0].name, "hSock");
            EXPECT_EQ(f.prototype[0].typeId, std::uint32_t{TYPEID_HANDLE});
        }
    }
    EXPECT_EQ(names, (Names{"Volubra.ExtShowWnd", "Volubra.ExtOnConnect", "Volubra.ExtOnAccept",
                            "Volubra.ExtOnRecv", "Volubra.ExtOnClose"}));
    ASSERT_EQ(host.menuEntries().size(), 1u);
    EXPECT_EQ(host.menuEntries()[0].exportName, "ExtShowWnd");
    EXPECT_EQ(host.menuEntries()[0].text, "Chat client");
}

TEST_F(ExportsTest, ZeroHandlesFailInitialisationWithTwoBoxes) {
    EXPECT_EQ(ExtInitPlugin(0, hID), 0);
    auto boxes = dk::testing::TakeBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Invalid callback handle");
    EXPECT_EQ(boxes[0].caption, "Quarzel initialisation");
    EXPECT_EQ(boxes[1].text, kInitFailed);
    EXPECT_EQ(boxes[1].caption, "Volubra");
    EXPECT_EQ(boxes[1].flags, dk::kMbOk | dk::kMbIconWarning);

    EXPECT_EQ(ExtInitPlugin(Lookup(), 0), 0);
    EXPECT_EQ(BoxTexts(), (Names{"Invalid ID handle", kInitFailed}));
    EXPECT_TRUE(host.bench().callLog().empty()) << "nothing is looked up or registered";
    EXPECT_TRUE(host.menuEntries().empty());
}

TEST_F(ExportsTest, AHostWithoutMenusStillInitialises) {
    host.bench().removeName("menu.InsertItemEx");
    EXPECT_EQ(ExtInitPlugin(Lookup(), hID), 1);
    EXPECT_EQ(host.reports(), (Names{"CExtAPI::GetFuncHandle error - Function not found",
                                     "CExtAPI::menu_InsertItemEx error - function not found"}));
    EXPECT_NE(host.findFunction("Volubra.ExtOnClose"), 0u)
        << "registration goes on after the menu fails";
}

TEST_F(ExportsTest, ASecondInitialisationRepeatsEverything) {
    ASSERT_EQ(ExtInitPlugin(Lookup(), hID), 1);
    ASSERT_EQ(ExtInitPlugin(Lookup(), hID), 1);
    EXPECT_EQ(host.menuEntries().size(), 2u) << "the module keeps no record of the first call";
}

TEST_F(ExportsTest, SocketCallbacksBeforeInitialisationReportAndFail) {
    const QHANDLE args = SocketArgs(5);
    EXPECT_EQ(ExtOnRecv(0, args), 0);
    const auto boxes = dk::testing::TakeBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "CExtAPI::list_GetItemI error - function not found");
    EXPECT_EQ(boxes[1].text, "CExtAPI::var_GetValueEx error - function not found");
    EXPECT_EQ(boxes[0].caption, "Quarzel error");
    EXPECT_EQ(boxes[1].caption, "Quarzel error");
}

TEST_F(ExportsTest, SocketCallbacksNeedAReadableNonzeroHandle) {
    Bind();
    EXPECT_EQ(ExtOnRecv(0, SocketArgs(0)), 0) << "a zero handle";
    EXPECT_EQ(Calls(), (Names{"list.GetItemI", "var.GetValueEx"}))
        << "the chat window is not called";

    const QHANDLE wrongType = host.createVar(TYPEID_LIST);
    host.setScalar(host.addItem(wrongType, TYPEID_INT, "hSock"), 5);
    EXPECT_EQ(ExtOnAccept(0, wrongType), 0) << "item 0 is not a handle";
    EXPECT_EQ(ExtOnClose(0, host.createVar(TYPEID_LIST)), 0) << "no item 0";
    EXPECT_EQ(ExtOnRecv(0, 0), 0) << "no argument list";
    EXPECT_TRUE(host.reports().empty()) << "host refusals are not reported";
}

TEST_F(ExportsTest, ConnectCallbackAcceptsAndChangesNothing) {
    Bind();
    const std::size_t live = host.liveVariableCount();
    EXPECT_EQ(ExtOnConnect(0, SocketArgs(9)), 1);
    EXPECT_EQ(Calls(), (Names{"list.GetItemI", "var.GetValueEx"}));
    EXPECT_EQ(host.liveVariableCount(), live + 2) << "only the test's own list and item";
}

TEST_F(ExportsTest, ShowWindowAlwaysSucceeds) {
    ASSERT_EQ(ExtInitPlugin(Lookup(), hID), 1);
    EXPECT_EQ(ExtShowWnd(0, 0), 1);
    EXPECT_EQ(ExtShowWnd(0xdeadbeef, 42), 1) << "the arguments are ignored";
    EXPECT_TRUE(host.chooseMenuEntry("Chat client")) << "the menu entry runs ExtShowWnd";
    g_ChatDlg.HideAndEndSessions();
}

TEST_F(ExportsTest, RegisteredCallbacksRunThroughTheRegistry) {
    ASSERT_EQ(ExtInitPlugin(Lookup(), hID), 1);
    const QHANDLE fn = host.findFunction("Volubra.ExtOnConnect");
    ASSERT_NE(fn, 0u);
    QHANDLE noRet = 0;
    EXPECT_TRUE(host.runRegistered(fn, SocketArgs(3), &noRet));
}

} // namespace

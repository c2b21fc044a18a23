// CExtAPI against the development host: the lookups made at binding, the reports of
// missing functions and where they go, and the guarded calls.
#include "testkit/host_fixture.h"
#include "testkit/text_file.h"

#include <algorithm>
#include <functional>
#include <sstream>

using namespace volubra_test;

namespace {

constexpr const char* kFunctionNotFound = "CExtAPI::GetFuncHandle error - Function not found";

// The binding order as the contract gives it, from a data file of its own rather than
// from the list the module binds from, so that a reordering of that list is caught.
std::vector<std::string> ContractBindingOrder() {
    std::istringstream lines(testsupport::ReadFile(VOLUBRA_BINDING_ORDER_FILE));
    std::vector<std::string> names;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.front() != '#') names.push_back(line);
    }
    return names;
}

class CExtAPITest : public HostFixture {
protected:
    std::vector<std::string> LookedUpNames() const {
        std::vector<std::string> names;
        for (const devhost::HostCall& call : host.bench().callLog()) {
            if (call.name == "lookup") names.push_back(call.args.at(0));
        }
        return names;
    }
};

TEST_F(CExtAPITest, BindingLooksUpEveryNameOnceInOrderAndShowsNothing) {
    ASSERT_TRUE(g_ExtAPI.Init(Lookup(), hID));

    const Names looked = LookedUpNames();
    ASSERT_EQ(looked.size(), 133u) << "the binding must look up exactly 133 host functions";
    EXPECT_EQ(host.bench().callLog().size(), 133u)
        << "binding makes no host call besides the lookups";
    const std::vector<std::string> expected = ContractBindingOrder();
    ASSERT_EQ(expected.size(), 133u) << "cannot read " << VOLUBRA_BINDING_ORDER_FILE;
    for (std::size_t i = 0; i < looked.size(); ++i) {
        EXPECT_EQ(looked[i], "\"" + expected[i] + "\"") << "lookup #" << i << " out of order";
    }
    // Landmarks of the order: first and last, and the map family's tail.
    EXPECT_EQ(looked.front(), "\"app.ReportError\"");
    EXPECT_EQ(looked.back(), "\"script.Execute\"");
    const auto linInterp = std::find(looked.begin(), looked.end(), "\"map.LinInterp\"");
    ASSERT_NE(linInterp, looked.end());
    EXPECT_EQ(*(linInterp - 1), "\"map.GetDataPtr\"");
    EXPECT_TRUE(host.reports().empty());
    EXPECT_TRUE(dk::testing::TakeBoxes().empty());
}

TEST_F(CExtAPITest, ARebindReportsTheLostReportErrorThroughTheAddressItStillHolds) {
    Bind();
    host.bench().removeName("app.ReportError");
    ASSERT_TRUE(g_ExtAPI.Init(Lookup(), hID));
    EXPECT_EQ(host.reports(), Names{kFunctionNotFound})
        << "a slot keeps its address until its lookup's result is stored in it";
    EXPECT_TRUE(dk::testing::TakeBoxes().empty());
    g_ExtAPI.app_ReportError("after the re-bind");
    const auto boxes = dk::testing::TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u) << "the failed lookup emptied the slot";
    EXPECT_EQ(boxes[0].text, "after the re-bind");
}

TEST_F(CExtAPITest, WithoutReportErrorInTheHostEveryReportIsAQuarzelErrorBox) {
    host.bench().removeName("app.ReportError");
    ASSERT_TRUE(g_ExtAPI.Init(Lookup(), hID));

    auto boxes = dk::testing::TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kFunctionNotFound);
    EXPECT_EQ(boxes[0].caption, "Quarzel error");
    EXPECT_EQ(boxes[0].flags, dk::kMbOk | dk::kMbIconError);

    host.bench().removeName("var.IsType");
    ASSERT_TRUE(g_ExtAPI.Init(Lookup(), hID));
    boxes = dk::testing::TakeBoxes();
    ASSERT_EQ(boxes.size(), 2u) << "both missing names are reported in boxes on a re-bind";
    EXPECT_EQ(boxes[1].text, kFunctionNotFound);
    EXPECT_FALSE(g_ExtAPI.var_IsType(1, TYPEID_INT));
    boxes = dk::testing::TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "CExtAPI::var_IsType error - function not found");
    EXPECT_EQ(boxes[0].caption, "Quarzel error");
    EXPECT_TRUE(host.reports().empty());
}

TEST_F(CExtAPITest, MissingNamesAreReportedToTheHostAndBindingGoesOn) {
    host.bench().removeName("var.IsType");
    host.bench().removeName("list.DelAll");
    host.bench().removeName("menu.InsertItemEx");
    ASSERT_TRUE(g_ExtAPI.Init(Lookup(), hID));

    EXPECT_EQ(host.reports(), Names(3, kFunctionNotFound));
    EXPECT_TRUE(dk::testing::TakeBoxes().empty());
    EXPECT_EQ(LookedUpNames().size(), 133u) << "a missing name must not stop the binding";

    host.clearReports();
    EXPECT_FALSE(g_ExtAPI.list_DelAll(g_ExtAPI.var_CreateTemp(TYPEID_LIST)));
    EXPECT_EQ(host.reports(), Names{"CExtAPI::list_DelAll error - function not found"});
}

TEST_F(CExtAPITest, ZeroHandlesAreRefusedWithAnInitialisationBox) {
    EXPECT_FALSE(g_ExtAPI.Init(0, hID));
    EXPECT_FALSE(g_ExtAPI.Init(Lookup(), 0));
    const auto boxes = dk::testing::TakeBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Invalid callback handle");
    EXPECT_EQ(boxes[1].text, "Invalid ID handle");
    for (const auto& box : boxes) {
        EXPECT_EQ(box.caption, "Quarzel initialisation");
        EXPECT_EQ(box.flags, dk::kMbOk | dk::kMbIconError);
    }
    EXPECT_TRUE(host.bench().callLog().empty()) << "a refused binding looks nothing up";
    EXPECT_EQ(g_ExtAPI.GetFuncHandle("var.Create"), nullptr);
    EXPECT_EQ(BoxTexts(), Names{"CExtAPI::GetFuncHandle error - API not initialised"});
}

TEST_F(CExtAPITest, GetFuncHandleAnswersWhatTheHostAnswers) {
    Bind();
    EXPECT_EQ(g_ExtAPI.GetFuncHandle("var.Create"), host.lookup(hID, "var.Create"));
    EXPECT_EQ(g_ExtAPI.GetFuncHandle("no.SuchFunction"), nullptr);
    EXPECT_EQ(host.reports(), Names{kFunctionNotFound}) << "the message does not name the function";
}

// Every guarded call with an empty slot: its own message and its failure value.
TEST_F(CExtAPITest, GuardedCallsBeforeBindingReportTheirNameAndFail) {
    QHANDLE h = 7;
    int value = 0;
    struct Case {
        const char* name;
        std::function<bool()> failedQuietly; // true when the failure value came back
    };
    const std::vector<Case> cases = {
        {"var_Create", [&] { return g_ExtAPI.var_Create(TYPEID_INT, "n") == 0; }},
        {"var_CreateTemp", [&] { return g_ExtAPI.var_CreateTemp(TYPEID_INT) == 0; }},
        {"var_Delete", [&] { return !g_ExtAPI.var_Delete(&h) && h == 7; }},
        {"var_IsType", [&] { return !g_ExtAPI.var_IsType(h, TYPEID_INT); }},
        {"var_GetValueEx", [&] { return !g_ExtAPI.var_GetValueEx(h, TYPEID_INT, &value); }},
        {"var_SetValueEx", [&] { return !g_ExtAPI.var_SetValueEx(h, TYPEID_INT, &value); }},
        {"var_CopyValue", [&] { return !g_ExtAPI.var_CopyValue(h, h); }},
        {"str_GetText", [&] { return g_ExtAPI.str_GetText(h) == nullptr; }},
        {"str_SetText", [&] { return !g_ExtAPI.str_SetText(h, "x"); }},
        {"list_nItems", [&] { return g_ExtAPI.list_nItems(h) == 0; }},
        {"list_CreateItem", [&] { return g_ExtAPI.list_CreateItem(h, TYPEID_INT, "n") == 0; }},
        {"list_GetItemI", [&] { return g_ExtAPI.list_GetItemI(h, 0) == 0; }},
        {"list_GetItemA", [&] { return g_ExtAPI.list_GetItemA(h, "n") == 0; }},
        {"list_DelAll", [&] { return !g_ExtAPI.list_DelAll(h); }},
        {"buffer_nItems", [&] { return g_ExtAPI.buffer_nItems(h) == 0; }},
        {"buffer_ItemSize", [&] { return g_ExtAPI.buffer_ItemSize(h) == 0; }},
        {"buffer_GetPtr", [&] { return g_ExtAPI.buffer_GetPtr(h) == nullptr; }},
        {"qrvfunc_LoadFunc", [&] { return g_ExtAPI.qrvfunc_LoadFunc("ExtShowWnd", 1, 0) == 0; }},
        {"qrvfunc_GetFunc", [&] { return g_ExtAPI.qrvfunc_GetFunc("a.b") == 0; }},
        {"qrvfunc_GetReturnTypeID", [&] { return g_ExtAPI.qrvfunc_GetReturnTypeID(h) == 0; }},
        {"qrvfunc_GetArgListPrototype",
         [&] { return !g_ExtAPI.qrvfunc_GetArgListPrototype(h, h); }},
        {"qrvfunc_Execute2", [&] { return !g_ExtAPI.qrvfunc_Execute2(h, h, &h); }},
        {"menu_InsertItemEx", [&] { return !g_ExtAPI.menu_InsertItemEx("ExtShowWnd", "m", 0); }},
    };
    ASSERT_EQ(cases.size(), 23u);
    for (const Case& c : cases) {
        EXPECT_TRUE(c.failedQuietly()) << c.name << " must return its failure value";
        const auto boxes = dk::testing::TakeBoxes();
        ASSERT_EQ(boxes.size(), 1u) << c.name;
        EXPECT_EQ(boxes[0].text, std::string("CExtAPI::") + c.name + " error - function not found");
        EXPECT_EQ(boxes[0].caption, "Quarzel error");
    }
    EXPECT_TRUE(host.bench().callLog().empty()) << "an empty slot is never called";
}

TEST_F(CExtAPITest, GuardedCallsPassTheirArgumentsAndResultsThrough) {
    Bind();
    const QHANDLE list = g_ExtAPI.var_CreateTemp(TYPEID_LIST);
    ASSERT_NE(list, 0u);
    EXPECT_EQ(host.typeOf(list), std::uint32_t{TYPEID_LIST});
    const QHANDLE item = g_ExtAPI.list_CreateItem(list, TYPEID_STRING, "Name");
    EXPECT_TRUE(g_ExtAPI.str_SetText(item, "abc"));
    EXPECT_STREQ(g_ExtAPI.str_GetText(g_ExtAPI.list_GetItemA(list, "Name")), "abc");
    EXPECT_EQ(g_ExtAPI.list_nItems(list), 1u);
    EXPECT_EQ(host.bench().callLog().front().format(),
              "var.CreateTemp(31)=" + std::to_string(list));
    EXPECT_TRUE(host.reports().empty());
}

TEST_F(CExtAPITest, VarDeleteClearsTheHandleOnlyWhenTheHostDeleted) {
    Bind();
    QHANDLE h = g_ExtAPI.var_CreateTemp(TYPEID_INT);
    const QHANDLE original = h;
    host.bench().failFrom("var.Delete", 1);
    EXPECT_FALSE(g_ExtAPI.var_Delete(&h));
    EXPECT_EQ(h, original);
    EXPECT_TRUE(host.exists(original));
    host.bench().failFrom("var.Delete", 0);
    EXPECT_TRUE(g_ExtAPI.var_Delete(&h));
    EXPECT_EQ(h, 0u);
    EXPECT_FALSE(host.exists(original));
    EXPECT_FALSE(g_ExtAPI.var_Delete(nullptr));
    EXPECT_TRUE(host.reports().empty()) << "host refusals are not reported at this level";
}

TEST_F(CExtAPITest, ARebindEmptiesSlotsOfNamesTheHostNoLongerHas) {
    Bind();
    EXPECT_NE(g_ExtAPI.var_CreateTemp(TYPEID_INT), 0u);
    host.bench().removeName("var.CreateTemp");
    ASSERT_TRUE(g_ExtAPI.Init(Lookup(), hID));
    host.clearReports();
    EXPECT_EQ(g_ExtAPI.var_CreateTemp(TYPEID_INT), 0u);
    EXPECT_EQ(host.reports(), Names{"CExtAPI::var_CreateTemp error - function not found"});
}

} // namespace

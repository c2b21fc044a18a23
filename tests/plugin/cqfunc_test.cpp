// CqFunc against functions of the development host's registry: the host calls of
// attaching, what a failed attach leaves behind, and which argument list and return
// variable a run uses.
#include "module/plugin/CqFunc.h"
#include "testkit/host_fixture.h"

using namespace volubra_test;

namespace {

class CqFuncTest : public HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        host.registerHostFunction("test.Sum", {{"a", TYPEID_INT}, {"b", TYPEID_INT}}, TYPEID_INT,
                                  [this](QHANDLE hArgs, QHANDLE hRet) {
                                      lastArgList = hArgs;
                                      const auto items = host.items(hArgs);
                                      return host.setScalar(hRet, host.scalar(items[0]) +
                                                                      host.scalar(items[1]));
                                  });
        host.registerHostFunction(
            "test.Name", {{"hSock", TYPEID_HANDLE}}, TYPEID_STRING,
            [this](QHANDLE, QHANDLE hRet) { return host.setText(hRet, "guest"); });
        Bind();
    }
    QHANDLE lastArgList = 0;
};

TEST_F(CqFuncTest, AttachFetchesThePrototypeAndMakesAReturnVariable) {
    CqFunc func;
    host.bench().clearCallLog();
    ASSERT_TRUE(func.GetFunc("test.Sum"));
    EXPECT_EQ(Calls(), (Names{"qrvfunc.GetFunc", "var.IsType", "qrvfunc.GetArgListPrototype",
                              "qrvfunc.GetReturnTypeID", "var.CreateTemp"}));
    EXPECT_EQ(host.bench().callLog()[4].args, Names{"7"})
        << "the return variable has the result type";
    EXPECT_EQ(host.typeOf(func.m_RetVal.GetHandle()), std::uint32_t{TYPEID_INT});
    const auto args = host.items(func.m_ArgList.GetHandle());
    ASSERT_EQ(args.size(), 2u);
    EXPECT_EQ(host.nameOf(args[1]), "b");

    // A second function: the first return variable goes, the same list is refilled.
    const QHANDLE firstRet = func.m_RetVal.GetHandle();
    const QHANDLE argList = func.m_ArgList.GetHandle();
    host.bench().clearCallLog();
    ASSERT_TRUE(func.GetFunc("test.Name"));
    EXPECT_EQ(Calls(), (Names{"qrvfunc.GetFunc", "var.IsType", "qrvfunc.GetArgListPrototype",
                              "var.Delete", "qrvfunc.GetReturnTypeID", "var.CreateTemp"}));
    EXPECT_FALSE(host.exists(firstRet));
    EXPECT_EQ(func.m_ArgList.GetHandle(), argList);
    ASSERT_EQ(host.items(argList).size(), 1u);
    EXPECT_EQ(host.typeOf(host.items(argList)[0]), std::uint32_t{TYPEID_HANDLE});
}

TEST_F(CqFuncTest, RunsOnItsOwnListOrOnTheOneGiven) {
    CqFunc func;
    ASSERT_TRUE(func.GetFunc("test.Sum"));
    std::int32_t a = 2, b = 40;
    ASSERT_TRUE(func.m_ArgList.SetItemValueEx(0, TYPEID_INT, &a));
    ASSERT_TRUE(func.m_ArgList.SetItemValueEx(1, TYPEID_INT, &b));
    QHANDLE ret = 0;
    ASSERT_TRUE(func.Execute(0, &ret));
    EXPECT_EQ(lastArgList, func.m_ArgList.GetHandle());
    EXPECT_EQ(ret, func.m_RetVal.GetHandle());
    std::int32_t sum = 0;
    ASSERT_TRUE(func.m_RetVal.GetValueEx(TYPEID_INT, &sum));
    EXPECT_EQ(sum, 42);

    CqFunc other;
    ASSERT_TRUE(other.GetFunc("test.Sum"));
    b = 5;
    other.m_ArgList.SetItemValueEx(0, TYPEID_INT, &a);
    other.m_ArgList.SetItemValueEx(1, TYPEID_INT, &b);
    const std::vector<QHANDLE> ownItems = host.items(func.m_ArgList.GetHandle());
    EXPECT_EQ(func.ExecuteRet(other.m_ArgList.GetHandle()), func.m_RetVal.GetHandle());
    EXPECT_EQ(lastArgList, other.m_ArgList.GetHandle());
    EXPECT_EQ(host.items(func.m_ArgList.GetHandle()), ownItems) << "own list untouched";
    EXPECT_EQ(host.scalar(func.m_RetVal.GetHandle()), 7);
}

TEST_F(CqFuncTest, AFailedRunReturnsNothing) {
    CqFunc func;
    ASSERT_TRUE(func.GetFunc("test.Name"));
    host.bench().failRunFrom("test.Name", 1);
    QHANDLE ret = 12345;
    EXPECT_FALSE(func.Execute(0, &ret));
    EXPECT_EQ(ret, 12345u) << "the return handle is not written on failure";
    EXPECT_EQ(func.ExecuteRet(0), 0u) << "even though a return variable exists";
    EXPECT_NE(func.m_RetVal.GetHandle(), 0u);
}

TEST_F(CqFuncTest, WithoutAFunctionNothingRuns) {
    CqFunc func;
    host.bench().clearCallLog();
    EXPECT_FALSE(func.Execute(0, nullptr));
    EXPECT_EQ(func.ExecuteRet(0), 0u);
    EXPECT_FALSE(func.GetArgListPrototype(func.m_ArgList.GetHandle()));
    EXPECT_TRUE(Calls().empty());
}

TEST_F(CqFuncTest, AVariableThatIsNoFunctionIsGivenBack) {
    const QHANDLE number = host.createVar(TYPEID_INT);
    CqFunc func;
    EXPECT_FALSE(func.Attach(number));
    EXPECT_FALSE(host.exists(number)) << "the handle is deleted with var.Delete";
    EXPECT_EQ(func.GetHandle(), 0u);

    host.bench().failFrom("var.IsType", 1);
    host.bench().clearCallLog();
    EXPECT_FALSE(func.GetFunc("test.Sum"));
    EXPECT_EQ(Calls(), (Names{"qrvfunc.GetFunc", "var.IsType", "var.Delete"}));
    EXPECT_EQ(func.GetHandle(), 0u);
}

TEST_F(CqFuncTest, AFunctionWithoutPrototypeIsGivenBack) {
    CqFunc func;
    host.bench().failFrom("qrvfunc.GetArgListPrototype", 1);
    host.bench().clearCallLog();
    EXPECT_FALSE(func.GetFunc("test.Sum"));
    EXPECT_EQ(Calls(), (Names{"qrvfunc.GetFunc", "var.IsType", "qrvfunc.GetArgListPrototype",
                              "var.Delete"}));
    EXPECT_EQ(func.GetHandle(), 0u);
    EXPECT_EQ(func.m_RetVal.GetHandle(), 0u);
}

TEST_F(CqFuncTest, WithoutReturnVariableTheFunctionStaysAttached) {
    CqFunc func;
    host.bench().failFrom("var.CreateTemp", 1);
    EXPECT_FALSE(func.GetFunc("test.Sum"));
    EXPECT_NE(func.GetHandle(), 0u);
    EXPECT_EQ(func.m_RetVal.GetHandle(), 0u);
    EXPECT_EQ(host.items(func.m_ArgList.GetHandle()).size(), 2u) << "arguments are ready";
}

TEST_F(CqFuncTest, AnUnknownNameKeepsThePreviousFunction) {
    CqFunc func;
    ASSERT_TRUE(func.GetFunc("test.Sum"));
    const QHANDLE sum = func.GetHandle();
    const QHANDLE ret = func.m_RetVal.GetHandle();
    EXPECT_FALSE(func.GetFunc("test.Missing"));
    EXPECT_EQ(func.GetHandle(), sum);
    EXPECT_EQ(func.m_RetVal.GetHandle(), ret);
    EXPECT_TRUE(host.reports().empty()) << "CqFunc reports nothing itself";
}

TEST_F(CqFuncTest, DestructionDeletesTheReturnVariableThenTheListButNotTheFunction) {
    QHANDLE argList = 0, ret = 0, fn = 0;
    {
        CqFunc func;
        ASSERT_TRUE(func.GetFunc("test.Sum"));
        argList = func.m_ArgList.GetHandle();
        ret = func.m_RetVal.GetHandle();
        fn = func.GetHandle();
        host.bench().clearCallLog();
    }
    ASSERT_EQ(host.bench().callLog().size(), 2u);
    EXPECT_EQ(host.bench().callLog()[0].format(), "var.Delete(" + std::to_string(ret) + ")=true");
    EXPECT_EQ(host.bench().callLog()[1].format(),
              "var.Delete(" + std::to_string(argList) + ")=true");
    EXPECT_TRUE(host.exists(fn));

    {
        CqFunc failed;
        argList = failed.m_ArgList.GetHandle();
        failed.GetFunc("test.Missing");
        host.bench().clearCallLog();
    }
    ASSERT_EQ(host.bench().callLog().size(), 1u) << "only the argument list is deleted";
    EXPECT_EQ(host.bench().callLog()[0].format(),
              "var.Delete(" + std::to_string(argList) + ")=true");
}

} // namespace

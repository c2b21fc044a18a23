// The host variable holders: which variables they create and delete, and the typed
// operations of lists, strings and buffers, checked against the host's variables
// and call log.
#include "module/plugin/CqVar.h"
#include "testkit/host_fixture.h"

using namespace volubra_test;

namespace {

class CqVarTest : public HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        Bind();
    }
};

TEST_F(CqVarTest, OwnedVariablesAreDeletedAndAttachedOnesKept) {
    const QHANDLE list = host.createVar(TYPEID_LIST);
    const QHANDLE item = host.addItem(list, TYPEID_STRING, "DisplayName");
    QHANDLE owned = 0;
    {
        CqStr attached;
        owned = attached.GetHandle();
        ASSERT_NE(owned, 0u);
        host.bench().clearCallLog();
        EXPECT_TRUE(attached.Attach(item));
        EXPECT_FALSE(host.exists(owned)) << "attaching deletes the variable the wrapper made";
        EXPECT_EQ(Calls(), Names{"var.Delete"});
        host.bench().clearCallLog();
    }
    EXPECT_TRUE(host.exists(item)) << "destroying an attached wrapper must not delete the item";
    EXPECT_TRUE(Calls().empty());
}

TEST_F(CqVarTest, TypedWrapperOnAListItemCostsOneCreateAndOneDelete) {
    const QHANDLE list = host.createVar(TYPEID_LIST);
    host.addItem(list, TYPEID_BUFFER, "data");
    CqList records;
    ASSERT_TRUE(records.Attach(list));
    host.bench().clearCallLog();
    {
        CqBuffer data;
        data.Attach(records.GetItemI(0));
    }
    EXPECT_EQ(Calls(), (Names{"var.CreateTemp", "list.GetItemI", "var.Delete"}));
    EXPECT_EQ(host.bench().callLog()[0].args, Names{"15"});
}

TEST_F(CqVarTest, AttachZeroDropsAnOwnedVariableButKeepsAnAttachedOne) {
    CqVar owner;
    ASSERT_TRUE(owner.Create(TYPEID_INT));
    const QHANDLE owned = owner.GetHandle();
    EXPECT_FALSE(owner.Attach(0));
    EXPECT_EQ(owner.GetHandle(), 0u);
    EXPECT_FALSE(host.exists(owned));

    const QHANDLE other = host.createVar(TYPEID_INT);
    CqVar holder;
    ASSERT_TRUE(holder.Attach(other));
    EXPECT_FALSE(holder.Attach(0));
    EXPECT_EQ(holder.GetHandle(), other);
    EXPECT_TRUE(host.exists(other));
}

TEST_F(CqVarTest, CreateOverAnAttachedHandleLeavesItAlone) {
    const QHANDLE other = host.createVar(TYPEID_INT);
    CqVar holder;
    holder.Attach(other);
    ASSERT_TRUE(holder.Create(TYPEID_STRING, "Nick"));
    EXPECT_TRUE(host.exists(other));
    EXPECT_NE(holder.GetHandle(), other);
    EXPECT_EQ(host.nameOf(holder.GetHandle()), "Nick");
    EXPECT_EQ(Calls(), (Names{"var.Create"})) << "a name makes a named variable";

    const QHANDLE named = holder.GetHandle();
    ASSERT_TRUE(holder.Create(TYPEID_INT));
    EXPECT_FALSE(host.exists(named)) << "a second Create replaces the owned variable";
}

TEST_F(CqVarTest, FreeDeletesWhateverIsHeld) {
    const QHANDLE other = host.createVar(TYPEID_INT);
    CqVar holder;
    holder.Attach(other);
    EXPECT_TRUE(holder.Free());
    EXPECT_FALSE(host.exists(other));
    EXPECT_EQ(holder.GetHandle(), 0u);
    EXPECT_TRUE(holder.Free()) << "freeing nothing succeeds";

    holder.Attach(host.createVar(TYPEID_INT));
    host.bench().failFrom("var.Delete", 1);
    EXPECT_FALSE(holder.Free());
    EXPECT_EQ(holder.GetHandle(), 0u) << "a refused deletion still empties the wrapper";
}

TEST_F(CqVarTest, AFailedCreateLeavesTheWrapperEmpty) {
    host.bench().failFrom("var.CreateTemp", 1);
    CqList list;
    EXPECT_EQ(list.GetHandle(), 0u);
    host.bench().failFrom("var.CreateTemp", 0);
    host.bench().clearCallLog();
    EXPECT_EQ(list.nItems(), 0u);
    EXPECT_EQ(list.CreateItem(TYPEID_INT, "n"), 0u);
    EXPECT_EQ(list.GetItemA("n"), 0u);
    EXPECT_FALSE(list.DelAll());
    int value = 1;
    EXPECT_FALSE(list.SetItemValueEx(0, TYPEID_INT, &value));
    EXPECT_FALSE(list.GetValueEx(TYPEID_INT, &value));
    EXPECT_FALSE(list.IsType(TYPEID_LIST));
    CqStr text;
    text.Free();
    EXPECT_EQ(text.GetText(), nullptr);
    EXPECT_EQ(text.GetLength(), 0);
    EXPECT_EQ(Calls(), (Names{"var.CreateTemp", "var.Delete"}))
        << "an empty wrapper never calls the host";
}

TEST_F(CqVarTest, ListItemsAreSetAndFoundByTypeAndName) {
    CqList list;
    const QHANDLE port = list.CreateItem(TYPEID_NUMBER, "PeerPort");
    std::int32_t value = 8080;
    EXPECT_TRUE(list.SetItemValueEx(0, TYPEID_NUMBER, &value));
    EXPECT_EQ(host.scalar(port), 8080);
    EXPECT_FALSE(list.SetItemValueEx(1, TYPEID_NUMBER, &value)) << "no item 1";
    EXPECT_EQ(list.GetOrCreateItem(TYPEID_NUMBER, "PeerPort"), port);

    const std::size_t before = host.items(list.GetHandle()).size();
    EXPECT_EQ(list.GetOrCreateItem(TYPEID_STRING, "PeerPort"), 0u)
        << "an item of another type is not handed out";
    EXPECT_EQ(host.items(list.GetHandle()).size(), before) << "and nothing is created";

    const QHANDLE name = list.GetOrCreateItem(TYPEID_STRING, "DisplayName");
    ASSERT_NE(name, 0u);
    EXPECT_EQ(host.typeOf(name), std::uint32_t{TYPEID_STRING});
    EXPECT_EQ(list.nItems(), 2u);
    EXPECT_TRUE(list.DelAll());
    EXPECT_EQ(list.nItems(), 0u);
}

TEST_F(CqVarTest, StringBytesOutsideTheTextAreZero) {
    CqStr text;
    g_ExtAPI.str_SetText(text.GetHandle(), "text");
    EXPECT_EQ(text.GetLength(), 4);
    EXPECT_EQ(text.GetAt(0), 't');
    EXPECT_EQ(text.GetAt(3), 't');
    EXPECT_EQ(text.GetAt(-1), 0);
    EXPECT_EQ(text.GetAt(4), 0);
}

TEST_F(CqVarTest, CompareNoCaseMatchesLettersWithoutCaseAndSkipsOtherBytes) {
    CqStr label;
    g_ExtAPI.str_SetText(label.GetHandle(), "text");
    EXPECT_EQ(label.CompareNoCase("TEXT"), 0);
    EXPECT_EQ(label.CompareNoCase("tExT"), 0);
    EXPECT_EQ(label.CompareNoCase("texts"), 1);
    EXPECT_EQ(label.CompareNoCase("abcde"), 1);
    EXPECT_EQ(label.CompareNoCase("tex"), 1);
    EXPECT_EQ(label.CompareNoCase("texd"), 1);
    EXPECT_EQ(label.CompareNoCase(nullptr), 1);

    g_ExtAPI.str_SetText(label.GetHandle(), "set display name");
    EXPECT_EQ(label.CompareNoCase("SET_DISPLAY_NAME"), 0);
    EXPECT_EQ(label.CompareNoCase("set display names"), 1);

    g_ExtAPI.str_SetText(label.GetHandle(), "caf\xc3\xa9");
    EXPECT_EQ(label.CompareNoCase("CAF!!"), 0) << "bytes from 128 up are not compared";

    g_ExtAPI.str_SetText(label.GetHandle(), "");
    EXPECT_EQ(label.CompareNoCase(""), 0);
    EXPECT_EQ(label.CompareNoCase(nullptr), 0);
}

TEST_F(CqVarTest, BufferElementsAreAddressedWithinTheBuffer) {
    CqBuffer buffer;
    EXPECT_EQ(buffer.GetItemPtr(0), nullptr) << "an empty buffer has no element 0";
    ASSERT_TRUE(host.setBuffer(buffer.GetHandle(), 2, {'a', 0, 'b', 0, 'c', 0}));
    EXPECT_EQ(buffer.nItems(), 3u);
    EXPECT_EQ(buffer.ItemSize(), 2u);
    host.bench().clearCallLog();
    const auto* first = static_cast<const char*>(buffer.GetItemPtr(0));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Calls(), (Names{"buffer.nItems", "buffer.GetPtr", "buffer.ItemSize"}));
    EXPECT_STREQ(first, "a");
    EXPECT_EQ(static_cast<const char*>(buffer.GetItemPtr(2)), first + 4);
    EXPECT_EQ(buffer.GetItemPtr(3), nullptr);
    EXPECT_EQ(buffer.GetItemPtr(-1), nullptr);
}

} // namespace

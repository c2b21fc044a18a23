// Variables, strings, buffers and lists as a plug-in sees them: strict about types and
// handles, lists owning their items, values copied only between equal types.
#include "devhost/hostapi/var_store.h"
#include "tests/hostapi/host_api_fixture.h"

#include <algorithm>
#include <cstring>

namespace devhost::testing {
namespace {

using VariablesTest = HostApiTest;

TEST_F(VariablesTest, ScalarsKeepTheirWidthAndRefuseOtherTypes) {
    QHANDLE hInt = createTemp(TYPEID_INT);
    ASSERT_NE(hInt, 0u);
    EXPECT_TRUE(setInt(hInt, TYPEID_INT, 0xFFFFFFFEu));
    EXPECT_EQ(api.scalar(hInt), -2) << "INT must read back as a signed 32-bit value";
    std::uint32_t out = 0;
    EXPECT_FALSE(getInt(hInt, TYPEID_NUMBER, out)) << "INT read as NUMBER must fail";
    EXPECT_FALSE(setInt(hInt, TYPEID_HANDLE, 5)) << "INT written as HANDLE must fail";
    EXPECT_EQ(api.scalar(hInt), -2) << "a refused write must not change the value";

    // A BOOL is one byte: the byte after it must be left alone.
    QHANDLE hBool = createTemp(TYPEID_BOOL);
    unsigned char two[2] = {7, 0xAB};
    EXPECT_TRUE(fn<QrvVarSetValueEx>("var.SetValueEx")(hID, hBool, TYPEID_BOOL, two));
    unsigned char back[2] = {0x55, 0xCD};
    EXPECT_TRUE(fn<QrvVarGetValueEx>("var.GetValueEx")(hID, hBool, TYPEID_BOOL, back));
    EXPECT_EQ(back[0], 1) << "a nonzero BOOL reads back as 1";
    EXPECT_EQ(back[1], 0xCD) << "a BOOL read wrote more than one byte";

    auto getValue = fn<QrvVarGetValueEx>("var.GetValueEx");
    EXPECT_FALSE(getValue(hID, hInt, TYPEID_INT, nullptr)) << "null address must fail";
}

TEST_F(VariablesTest, ValueCallsRefuseStringsListsBuffersAndUnknownTypes) {
    auto getValue = fn<QrvVarGetValueEx>("var.GetValueEx");
    std::uint32_t value = 0;
    for (std::uint32_t type : {TYPEID_STRING, TYPEID_LIST, TYPEID_BUFFER}) {
        QHANDLE h = createTemp(type);
        ASSERT_NE(h, 0u);
        EXPECT_FALSE(getValue(hID, h, type, &value)) << "GetValueEx on type " << type;
        EXPECT_FALSE(setInt(h, type, 1)) << "SetValueEx on type " << type;
    }
    EXPECT_EQ(createTemp(12345), 0u) << "an unknown type ID must not make a variable";
    EXPECT_EQ(fn<QrvVarCreate>("var.Create")(hID, TYPEID_INT, nullptr), 0u);
    EXPECT_EQ(fn<QrvVarCreate>("var.Create")(hID, TYPEID_INT, ""), 0u);
    QHANDLE named = fn<QrvVarCreate>("var.Create")(hID, TYPEID_INT, "Port");
    EXPECT_EQ(api.nameOf(named), "Port");
}

TEST_F(VariablesTest, StaleHandlesNameNothingWhileSlotsAreReused) {
    auto del = fn<QrvVarDelete>("var.Delete");
    auto isType = fn<QrvVarIsType>("var.IsType");
    auto createTempFn = fn<QrvVarCreateTemp>("var.CreateTemp");
    QHANDLE first = createTemp(TYPEID_INT);
    EXPECT_TRUE(del(hID, first));
    EXPECT_FALSE(del(hID, first)) << "deleting twice must fail";
    EXPECT_FALSE(isType(hID, first, TYPEID_INT));
    std::uint32_t v = 0;
    EXPECT_FALSE(getInt(first, TYPEID_INT, v));
    EXPECT_FALSE(del(hID, 0));

    // Temporaries made and deleted one after another: the table reuses its slots
    // instead of growing, and first's slot, once reused, still does not answer to first.
    api.bench().setLogging(false);
    bool firstSlotReused = false;
    QHANDLE highestSlot = 0;
    for (std::size_t i = 0; i < 3 * kReuseDelay; ++i) {
        const QHANDLE h = createTempFn(hID, TYPEID_INT);
        ASSERT_NE(h, first) << "a deleted handle was handed out again";
        firstSlotReused |= (h & kSlotIndexMask) == (first & kSlotIndexMask);
        highestSlot = std::max(highestSlot, h & kSlotIndexMask);
        EXPECT_FALSE(isType(hID, first, TYPEID_INT));
        ASSERT_TRUE(del(hID, h));
    }
    EXPECT_TRUE(firstSlotReused);
    EXPECT_LE(highestSlot, kReuseDelay + 8) << "the table grew with every variable made";
}

TEST_F(VariablesTest, UnknownCallerIdFails) {
    auto createTempFn = fn<QrvVarCreateTemp>("var.CreateTemp");
    EXPECT_EQ(createTempFn(hID + 1000, TYPEID_INT), 0u);
    EXPECT_EQ(HostApi::lookupRoutine()(hID + 1000, "var.CreateTemp"), nullptr)
        << "the lookup must not answer an unknown hID";
}

TEST_F(VariablesTest, StringsGiveStableTextUntilChanged) {
    auto getText = fn<QrvStrGetText>("str.GetText");
    auto setText = fn<QrvStrSetText>("str.SetText");
    QHANDLE h = createTemp(TYPEID_STRING);
    ASSERT_STREQ(getText(hID, h), "");
    ASSERT_TRUE(setText(hID, h, "set display name"));
    const char* p = getText(hID, h);
    for (int i = 0; i < 50; ++i)
        createTemp(TYPEID_STRING); // the store grows
    EXPECT_STREQ(p, "set display name");
    EXPECT_FALSE(setText(hID, h, nullptr));
    QHANDLE hInt = createTemp(TYPEID_INT);
    EXPECT_EQ(getText(hID, hInt), nullptr) << "str.GetText on a number must fail";
    EXPECT_FALSE(setText(hID, hInt, "x"));
}

TEST_F(VariablesTest, BuffersReportElementsAndAddress) {
    auto nItems = fn<QrvBufferNItems>("buffer.nItems");
    auto itemSize = fn<QrvBufferItemSize>("buffer.ItemSize");
    auto getPtr = fn<QrvBufferGetPtr>("buffer.GetPtr");
    QHANDLE h = createTemp(TYPEID_BUFFER);
    EXPECT_EQ(nItems(hID, h), 0u);
    EXPECT_EQ(getPtr(hID, h), nullptr) << "an empty buffer has no element 0";
    ASSERT_TRUE(api.setBuffer(h, 2, {'h', 0, 'i', 0, 0, 0}));
    EXPECT_EQ(nItems(hID, h), 3u);
    EXPECT_EQ(itemSize(hID, h), 2u);
    const auto* p = static_cast<const std::uint8_t*>(getPtr(hID, h));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[2], 'i');
    EXPECT_FALSE(api.setBuffer(h, 2, {1, 2, 3})) << "size must be a multiple of the element";
    EXPECT_EQ(nItems(hID, createTemp(TYPEID_STRING)), 0u);
}

TEST_F(VariablesTest, ListItemsAreNamedTypedAndOwnedByTheList) {
    auto nItems = fn<QrvListNItems>("list.nItems");
    auto getI = fn<QrvListGetItemI>("list.GetItemI");
    auto getA = fn<QrvListGetItemA>("list.GetItemA");
    auto delAll = fn<QrvListDelAll>("list.DelAll");
    auto del = fn<QrvVarDelete>("var.Delete");
    const std::size_t before = api.liveVariableCount();

    QHANDLE list = createTemp(TYPEID_LIST);
    QHANDLE sock = createItem(list, TYPEID_HANDLE, "hSock");
    QHANDLE port = createItem(list, TYPEID_NUMBER, "PeerPort");
    QHANDLE inner = createItem(list, TYPEID_LIST, "record");
    QHANDLE label = createItem(inner, TYPEID_STRING, "label");
    EXPECT_EQ(nItems(hID, list), 3u);
    EXPECT_EQ(getI(hID, list, 0), sock);
    EXPECT_EQ(getI(hID, list, 3), 0u);
    EXPECT_EQ(getA(hID, list, "PeerPort"), port);
    EXPECT_EQ(getA(hID, list, "nothing"), 0u);
    EXPECT_EQ(api.typeOf(port), TYPEID_NUMBER);
    EXPECT_EQ(createItem(createTemp(TYPEID_INT), TYPEID_INT, "x"), 0u)
        << "items can only be made in lists";

    // Deleting an item takes it out of its list.
    EXPECT_TRUE(del(hID, port));
    EXPECT_EQ(nItems(hID, list), 2u);
    EXPECT_EQ(getI(hID, list, 1), inner);

    EXPECT_TRUE(delAll(hID, list));
    EXPECT_EQ(nItems(hID, list), 0u);
    EXPECT_FALSE(api.exists(sock));
    EXPECT_FALSE(api.exists(label)) << "DelAll must delete nested items too";

    createItem(list, TYPEID_INT, "again");
    EXPECT_TRUE(del(hID, list));
    EXPECT_EQ(api.liveVariableCount(), before + 1) << "a deleted list left items behind";
}

TEST_F(VariablesTest, CopyValueRequiresEqualTypesAndDeepCopiesLists) {
    auto copy = fn<QrvVarCopyValue>("var.CopyValue");
    QHANDLE a = createTemp(TYPEID_STRING);
    QHANDLE b = createTemp(TYPEID_STRING);
    api.setText(a, "127.0.0.1");
    EXPECT_TRUE(copy(hID, b, a));
    EXPECT_EQ(api.text(b), "127.0.0.1");
    EXPECT_FALSE(copy(hID, createTemp(TYPEID_INT), a)) << "STRING into INT must fail";
    EXPECT_FALSE(copy(hID, b, 999999));

    QHANDLE src = createTemp(TYPEID_LIST);
    QHANDLE item = createItem(src, TYPEID_STRING, "label");
    api.setText(item, "text");
    QHANDLE dest = createTemp(TYPEID_LIST);
    QHANDLE old = createItem(dest, TYPEID_INT, "old");
    EXPECT_TRUE(copy(hID, dest, src));
    EXPECT_FALSE(api.exists(old)) << "copying over a list must delete its former items";
    ASSERT_EQ(api.items(dest).size(), 1u);
    QHANDLE copied = api.items(dest)[0];
    EXPECT_NE(copied, item) << "lists must be copied deeply, not share items";
    EXPECT_EQ(api.nameOf(copied), "label");
    EXPECT_EQ(api.text(copied), "text");
    api.setText(item, "changed");
    EXPECT_EQ(api.text(copied), "text");

    // A list copied into one of its own items terminates and keeps the source intact.
    QHANDLE nested = createItem(src, TYPEID_LIST, "nested");
    EXPECT_TRUE(copy(hID, nested, src));
    EXPECT_EQ(api.items(src).size(), 2u);
    EXPECT_EQ(api.items(nested).size(), 2u);

    QHANDLE buf = createTemp(TYPEID_BUFFER);
    QHANDLE buf2 = createTemp(TYPEID_BUFFER);
    api.setBuffer(buf, 1, {'o', 'k', 0});
    EXPECT_TRUE(copy(hID, buf2, buf));
    EXPECT_EQ(api.bufferBytes(buf2), api.bufferBytes(buf));
}

TEST_F(VariablesTest, ReferencesMustNameSomething) {
    QHANDLE ref = createTemp(TYPEID_VARREF);
    QHANDLE target = createTemp(TYPEID_LIST);
    EXPECT_TRUE(setInt(ref, TYPEID_VARREF, target));
    EXPECT_TRUE(setInt(ref, TYPEID_VARREF, 0));
    EXPECT_FALSE(setInt(ref, TYPEID_VARREF, 987654)) << "a reference to nothing must fail";
    QHANDLE func = createTemp(TYPEID_FUNC);
    EXPECT_FALSE(setInt(func, TYPEID_FUNC, target)) << "a FUNC must name a function";
}

} // namespace
} // namespace devhost::testing

// Allocator chains, reference counting, tables, restrictions and property
// helpers of the MAPI stand-in.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/MemoryTable.h"

using namespace qb::mapi;

namespace {

PropertyBag Row(const char* name, LONG rights, bool isDefault) {
    PropertyBag row;
    row.SetString(PR_DISPLAY_NAME, name);
    row.SetLong(PR_RIGHTS, rights);
    row.SetBool(PR_DEFAULT_STORE, isDefault);
    const BYTE id[4] = {1, 2, 3, static_cast<BYTE>(rights)};
    row.SetBinary(PR_ENTRYID, id, sizeof id);
    return row;
}

MapiPtr<IMAPITable> SampleTable() {
    return MemoryTable::Create({Row("Inbox", 1, false), Row("Sent Items", 2, true), Row("inbox", 3, false)},
                               {PR_DISPLAY_NAME, PR_RIGHTS});
}

SPropValue StringValue(ULONG tag, const char* text) {
    SPropValue v{};
    v.ulPropTag = tag;
    v.Value.lpszA = const_cast<char*>(text);
    return v;
}

}  // namespace

TEST(MapiAlloc, ChainedBuffersAreFreedWithTheirRoot) {
    LPVOID root = nullptr;
    ASSERT_EQ(MAPIAllocateBuffer(64, &root), S_OK);
    LPVOID child = nullptr, grandChild = nullptr;
    ASSERT_EQ(MAPIAllocateMore(128, root, &child), S_OK);
    // A buffer chained to a chained buffer joins the same chain.
    ASSERT_EQ(MAPIAllocateMore(32, child, &grandChild), S_OK);
    std::memset(child, 0xAB, 128);
    std::memset(grandChild, 0xCD, 32);
    EXPECT_EQ(MAPIFreeBuffer(root), 0u);  // the sanitizer build reports any leak of the chain
    EXPECT_EQ(MAPIFreeBuffer(nullptr), 0u);
    LPVOID none = reinterpret_cast<LPVOID>(1);
    EXPECT_EQ(MAPIAllocateMore(8, nullptr, &none), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(none, nullptr);
}

TEST(MapiAlloc, MapiBufferHolderFrees) {
    MapiBuffer<SPropValue> holder;
    ASSERT_EQ(MAPIAllocateBuffer(sizeof(SPropValue), holder.PutVoid()), S_OK);
    EXPECT_TRUE(holder);
}

TEST(MapiTable, QueryAllRowsWithPropertyRestrictionIgnoresCase) {
    MapiPtr<IMAPITable> table = SampleTable();
    SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_RIGHTS}};
    SPropValue name = StringValue(PR_DISPLAY_NAME, "INBOX");
    SRestriction r{};
    r.rt = RES_PROPERTY;
    r.res.resProperty = {RELOP_EQ, PR_DISPLAY_NAME, &name};
    RowSetHolder rows;
    ASSERT_EQ(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), &r, nullptr, 0, rows.Put()),
              S_OK);
    ASSERT_EQ(rows->cRows, 2u);
    EXPECT_EQ(rows->aRow[0].cValues, 2u);
    EXPECT_EQ(rows->aRow[0].lpProps[0].ulPropTag, PR_ENTRYID);
    EXPECT_EQ(rows->aRow[0].lpProps[1].Value.l, 1);
    EXPECT_EQ(rows->aRow[1].lpProps[1].Value.l, 3);
}

TEST(MapiTable, ContentRestrictionFullStringIsExact) {
    MapiPtr<IMAPITable> table = SampleTable();
    SPropValue name = StringValue(PR_DISPLAY_NAME, "inbox");
    SRestriction r{};
    r.rt = RES_CONTENT;
    r.res.resContent = {FL_FULLSTRING, PR_DISPLAY_NAME, &name};
    RowSetHolder rows;
    ASSERT_EQ(HrQueryAllRows(table.get(), nullptr, &r, nullptr, 0, rows.Put()), S_OK);
    ASSERT_EQ(rows->cRows, 1u);
    EXPECT_STREQ(rows->aRow[0].lpProps[0].Value.lpszA, "inbox");

    r.res.resContent.ulFuzzyLevel = FL_SUBSTRING | FL_IGNORECASE;
    name.Value.lpszA = const_cast<char*>("ITEM");
    ASSERT_EQ(HrQueryAllRows(table.get(), nullptr, &r, nullptr, 0, rows.Put()), S_OK);
    ASSERT_EQ(rows->cRows, 1u);
    EXPECT_STREQ(rows->aRow[0].lpProps[0].Value.lpszA, "Sent Items");
}

TEST(MapiTable, AndOrNotAndMissingColumns) {
    MapiPtr<IMAPITable> table = SampleTable();
    SPropValue isDefault{};
    isDefault.ulPropTag = PR_DEFAULT_STORE;
    isDefault.Value.b = 1;
    SRestriction inner[2]{};
    inner[0].rt = RES_PROPERTY;
    inner[0].res.resProperty = {RELOP_EQ, PR_DEFAULT_STORE, &isDefault};
    inner[1].rt = RES_NOT;
    inner[1].res.resNot = {0, &inner[0]};
    SRestriction either{};
    either.rt = RES_OR;
    either.res.resOr = {2, inner};
    SizedSPropTagArray(2, columns) = {2, {PR_DISPLAY_NAME, PR_SUBJECT}};
    RowSetHolder rows;
    ASSERT_EQ(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), &either, nullptr, 0,
                             rows.Put()),
              S_OK);
    ASSERT_EQ(rows->cRows, 3u);
    EXPECT_EQ(rows->aRow[0].lpProps[1].ulPropTag, PROP_TAG(PT_ERROR, PROP_ID(PR_SUBJECT)));
    EXPECT_EQ(rows->aRow[0].lpProps[1].Value.err, MAPI_E_NOT_FOUND);

    SRestriction both{};
    both.rt = RES_AND;
    both.res.resAnd = {2, inner};
    ASSERT_EQ(HrQueryAllRows(table.get(), nullptr, &both, nullptr, 0, rows.Put()), S_OK);
    EXPECT_EQ(rows->cRows, 0u);
    EXPECT_EQ(HrQueryAllRows(SampleTable().get(), nullptr, nullptr, nullptr, 2, rows.Put()), MAPI_E_TABLE_TOO_BIG);
}

TEST(MapiTable, SeekAndQueryRowsMoveTheCursor) {
    MapiPtr<IMAPITable> table = SampleTable();
    LONG sought = 0;
    ASSERT_EQ(table->SeekRow(BOOKMARK_END, -1, &sought), S_OK);
    EXPECT_EQ(sought, -1);
    RowSetHolder rows;
    ASSERT_EQ(table->QueryRows(5, 0, rows.Put()), S_OK);
    ASSERT_EQ(rows->cRows, 1u);
    EXPECT_STREQ(rows->aRow[0].lpProps[0].Value.lpszA, "inbox");
    ASSERT_EQ(table->QueryRows(5, 0, rows.Put()), S_OK);
    EXPECT_EQ(rows->cRows, 0u);
    ASSERT_EQ(table->SeekRow(BOOKMARK_BEGINNING, 10, &sought), S_OK);
    EXPECT_EQ(sought, 3);
    ULONG count = 0;
    ASSERT_EQ(table->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(table->SeekRow(7, 0, nullptr), MAPI_E_INVALID_BOOKMARK);
}

TEST(MapiUnknown, ReferenceCountingAndQueryInterface) {
    MapiPtr<IMAPITable> table = SampleTable();
    MapiPtr<IUnknown> unknown;
    ASSERT_EQ(table.As(unknown), S_OK);
    MapiPtr<IMAPIProp> notATable;
    EXPECT_EQ(table.As(notATable), E_NOINTERFACE);
    EXPECT_FALSE(notATable);
    IMAPITable* raw = table.get();
    EXPECT_EQ(raw->AddRef(), 3u);
    EXPECT_EQ(UlRelease(raw), 2u);
    EXPECT_EQ(UlRelease(nullptr), 0u);
}

TEST(MapiProps, PropertyBagGetPropsConvertsStringsAndReportsMissing) {
    PropertyBag bag;
    bag.SetString(PR_DISPLAY_NAME_W, "Gr\xC3\xBC\xC3\x9F" "e");
    SizedSPropTagArray(2, tags) = {2, {PR_DISPLAY_NAME, PR_BODY}};
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    ASSERT_EQ(bag.GetProps(reinterpret_cast<LPSPropTagArray>(&tags), &count, values.Put()), MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(count, 2u);
    EXPECT_STREQ(values.get()[0].Value.lpszA, "Gr\xC3\xBC\xC3\x9F" "e");
    EXPECT_EQ(PROP_TYPE(values.get()[1].ulPropTag), PT_ERROR);

    SPropValue multi{};
    LPSTR words[2] = {const_cast<char*>("a"), const_cast<char*>("bc")};
    multi.ulPropTag = PROP_TAG(PT_MV_STRING8, 0x8001);
    multi.Value.MVszA = {2, words};
    ASSERT_EQ(bag.Set(multi), S_OK);
    const SPropValue* copy = bag.Find(multi.ulPropTag);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->Value.MVszA.lppszA, words);
    EXPECT_STREQ(copy->Value.MVszA.lppszA[1], "bc");
}

// Folder contents worked out for all folders in one pass: every folder of a
// crafted database and of a generated sample holds exactly the documents a
// per-document check of $FolderRefs (as LNItem::GetNoteRefs reads it, case
// ignored) finds, in file order, or in sort key order with equal keys in
// file order; references in any case, as texts or note refs, repeated,
// damaged or in a second $FolderRefs item; notes added, changed and deleted
// between two opens are seen at the second open, also when the index
// changes without the file being read again. Note references are read in
// place as GetNoteRefs reads them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "NotesTestSupport.h"
#include "notes/api/DatabaseImpl.h"
#include "notes/api/FolderMembership.h"
#include "notes/api/LNItem.h"
#include "notes/api/SelectionFormula.h"
#include "notes/sample/SampleGenerator.h"
#include "text/Base64.h"
#include "text/TextCase.h"

namespace qb::test {
namespace {

constexpr const char* kPlain = "0F0F0F0F0F0F0F0F852500000000C001";
constexpr const char* kByKey = "0F0F0F0F0F0F0F0F852500000000C002";
constexpr const char* kByKeyDown = "0F0F0F0F0F0F0F0F852500000000C003";
constexpr const char* kEmpty = "0F0F0F0F0F0F0F0F852500000000C004";

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A note ref list item value naming these UNIDs, its count as given.
std::string RawNoteRefs(std::uint16_t count, const std::vector<std::string>& unids) {
    notes::Bytes value;
    notes::PutWord(value, count);
    for (const std::string& unid : unids) {
        notes::Bytes raw;
        EXPECT_TRUE(notes::UnidFromText(unid, &raw));
        value += raw;
    }
    return text::EncodeBase64(value);
}

std::string Document(int id, const std::string& items) {
    char noteId[16];
    std::snprintf(noteId, sizeof noteId, "%x", id);
    return "<document form='Memo'><noteinfo noteid='" + std::string(noteId) + "'/>" + items + "</document>\n";
}

std::string TextRefs(const std::vector<std::string>& texts, const std::string& name = "$FolderRefs") {
    std::string item = "<item name='" + name + "'><textlist>";
    for (const std::string& text : texts) item += "<text>" + text + "</text>";
    return item + "</textlist></item>";
}

std::string Key(const std::string& key) { return "<item name='Key'><text>" + key + "</text></item>"; }

std::string CraftedDxl() {
    std::string dxl = R"(<?xml version='1.0' encoding='utf-8'?>
<database xmlns='http://www.lotus.com/dxl' version='9.0' title='Folders'>
<view name='($All)'><noteinfo noteid='10' unid='0F0F0F0F0F0F0F0F852500000000A010'/>
<code event='selection'><formula>SELECT @All</formula></code></view>
<folder name='Plain'><noteinfo noteid='14' unid=')" + std::string(kPlain) + R"('/></folder>
<folder name='ByKey'><noteinfo noteid='18' unid=')" + kByKey + R"('/><column sort='ascending' itemname='Key'/></folder>
<folder name='ByKeyDown'><noteinfo noteid='1c' unid=')" + kByKeyDown + R"('/><column sort='descending' itemname='Key'/></folder>
<folder name='Empty'><noteinfo noteid='20' unid=')" + kEmpty + R"('/></folder>
)";
    // 0x100: in Plain (lower case) and ByKey.
    dxl += Document(0x100, TextRefs({Lower(kPlain), kByKey}) + Key("b"));
    // 0x104: note refs naming Plain twice, and ByKeyDown.
    dxl += Document(0x104, "<item name='$FolderRefs'><rawitemdata type='4'>" +
                               RawNoteRefs(3, {kPlain, kPlain, kByKeyDown}) + "</rawitemdata></item>" + Key("a"));
    // 0x108: one text in mixed case naming ByKey, its key equal to 0x100's.
    dxl += Document(0x108, "<item name='$FolderRefs'><text>" + Lower(kByKey).substr(0, 16) + std::string(kByKey).substr(16) +
                               "</text></item>" + Key("b"));
    // 0x10c: a damaged note ref list (says 5, holds 1): names nothing.
    dxl += Document(0x10c, "<item name='$FolderRefs'><rawitemdata type='4'>" + RawNoteRefs(5, {kPlain}) +
                               "</rawitemdata></item>" + Key("a"));
    // 0x110: only the first $FolderRefs item counts.
    dxl += Document(0x110, TextRefs({"not a unid"}) + TextRefs({kPlain}) + Key("a"));
    // 0x114: ByKey and ByKeyDown, key "a".
    dxl += Document(0x114, TextRefs({kByKey, kByKeyDown}) + Key("a"));
    // 0x118: no key; a text one digit too long names nothing.
    dxl += Document(0x118, TextRefs({std::string(kPlain) + "0", kByKey, kByKeyDown}));
    // 0x11c: the item's name in another case.
    dxl += Document(0x11c, TextRefs({kPlain}, "$folderrefs") + Key("c"));
    // 0x120: no references at all.
    dxl += Document(0x120, Key("a"));
    return dxl + "</database>\n";
}

std::vector<NOTEID> Entries(LNDatabase& database, const std::string& name) {
    LNViewFolder folder;
    EXPECT_EQ(database.GetViewFolder(name, &folder), LNNOERROR) << name;
    EXPECT_EQ(folder.Open(), LNNOERROR) << name;
    std::vector<NOTEID> ids;
    for (LNINT i = 0; i < folder.GetEntryCount(); ++i) ids.push_back(folder[i].GetNoteID());
    folder.Close();
    return ids;
}

// The documents naming the folder, in file order, read one by one as a folder's were before.
std::vector<NOTEID> NamingDocuments(LNDatabase& database, const std::string& folderUnid) {
    std::vector<NOTEID> ids;
    std::string detail;
    database.Impl()->notes.Scan(
        [](const notes::NoteIndex::Slot& slot) { return !slot.Deleted() && slot.noteClass == NOTE_CLASS_DOCUMENT; },
        [&](const notes::NoteIndexEntry& entry) {
            notes::ItemData refs;
            if (!entry.summary.Find("$FolderRefs", &refs)) return true;
            std::vector<LNString> unids;
            LNItem(std::make_shared<notes::ItemData>(refs)).GetNoteRefs(&unids);
            for (const LNString& unid : unids)
                if (text::EqualsIgnoreCase(unid, folderUnid)) {
                    ids.push_back(entry.noteId);
                    break;
                }
            return true;
        },
        &detail);
    return ids;
}

using Ids = std::vector<NOTEID>;

class FolderMembershipTest : public NotesDatabaseTest {
protected:
    void SetUp() override {
        NotesDatabaseTest::SetUp();
        ASSERT_EQ(OpenText("folders.dxl", CraftedDxl()), LNNOERROR);
    }
};

TEST_F(FolderMembershipTest, FoldersHoldWhatTheirReferencesName) {
    EXPECT_EQ(Entries(database, "Plain"), (Ids{0x100, 0x104, 0x11c}));
    // Missing keys first, equal keys in file order.
    EXPECT_EQ(Entries(database, "ByKey"), (Ids{0x118, 0x114, 0x100, 0x108}));
    EXPECT_EQ(Entries(database, "ByKeyDown"), (Ids{0x104, 0x114, 0x118}));
    EXPECT_EQ(Entries(database, "Empty"), Ids{});
    for (const char* unid : {kPlain, kByKey, kByKeyDown, kEmpty}) {
        const auto named = NamingDocuments(database, unid);
        const notes::NoteIndex& index = database.Impl()->notes;
        const std::vector<std::uint32_t>* members = nullptr;
        std::string detail;
        ASSERT_EQ(database.Impl()->folders.Members(index, unid, &members, &detail), LNNOERROR);
        Ids ids;
        for (std::uint32_t position : *members) ids.push_back(index.At(position).noteId);
        EXPECT_EQ(ids, named) << unid;
        EXPECT_EQ(database.Impl()->folders.Members(index, Lower(unid), &members, &detail), LNNOERROR);
        EXPECT_EQ(members->size(), named.size()) << "the folder's UNID in lower case";
    }
}

TEST_F(FolderMembershipTest, NotesChangedBetweenOpensAreSeen) {
    EXPECT_EQ(Entries(database, "Plain"), (Ids{0x100, 0x104, 0x11c}));
    LNDocument added;
    ASSERT_EQ(database.CreateDocument(&added, "Memo"), LNNOERROR);
    ASSERT_EQ(added.SetItem(LNMakeTextItem("$FolderRefs", {Lower(kPlain), kByKeyDown})), LNNOERROR);
    ASSERT_EQ(added.SetItem(LNMakeTextItem("Key", {"a"})), LNNOERROR);
    ASSERT_EQ(added.Save(), LNNOERROR);
    const NOTEID addedId = added.GetNoteID();
    EXPECT_EQ(Entries(database, "Plain"), (Ids{0x100, 0x104, 0x11c, addedId}));
    EXPECT_EQ(Entries(database, "ByKeyDown"), (Ids{0x104, 0x114, addedId, 0x118}));

    ASSERT_EQ(database.DeleteDocument(0x104), LNNOERROR);
    EXPECT_EQ(Entries(database, "Plain"), (Ids{0x100, 0x11c, addedId}));

    LNDocument changed;
    ASSERT_EQ(database.GetDocument(0x100, &changed), LNNOERROR);
    ASSERT_EQ(changed.Open(), LNNOERROR);
    ASSERT_EQ(changed.SetItem(LNMakeTextItem("$FolderRefs", {kByKey})), LNNOERROR);
    ASSERT_EQ(changed.Save(), LNNOERROR);
    EXPECT_EQ(Entries(database, "Plain"), (Ids{0x11c, addedId}));
    EXPECT_EQ(Entries(database, "ByKey"), (Ids{0x118, 0x114, 0x100, 0x108}));
}

// The index changed in memory alone (a note held or deleted, the index
// cleared or replaced): the membership worked out before is not served.
TEST(FolderMembership, FollowsTheIndexGeneration) {
    notes::NoteIndex index;
    std::string detail;
    auto entry = [](NOTEID id, const std::vector<std::string>& refs) {
        notes::NoteIndexEntry made;
        made.noteId = id;
        std::memcpy(made.unid.data(), "00000000000000000000000000000000", 32);
        made.summary.Add(TestItem("$FolderRefs", TYPE_TEXT_LIST, notes::EncodeTextList(refs)));
        return made;
    };
    ASSERT_EQ(index.Append(entry(4, {kPlain}), &detail), LNNOERROR);
    ASSERT_EQ(index.Append(entry(8, {kByKey}), &detail), LNNOERROR);
    ASSERT_EQ(index.Finish("x", &detail), LNNOERROR);
    notes::FolderMembership folders;
    auto members = [&](const char* unid) {
        const std::vector<std::uint32_t>* positions = nullptr;
        EXPECT_EQ(folders.Members(index, unid, &positions, &detail), LNNOERROR);
        Ids ids;
        for (std::uint32_t position : *positions) ids.push_back(index.At(position).noteId);
        return ids;
    };
    EXPECT_EQ(members(kPlain), Ids{4});
    const auto generation = index.Generation();
    EXPECT_EQ(members(kPlain), Ids{4});
    EXPECT_EQ(index.Generation(), generation) << "reading changes nothing";

    index.Hold(entry(12, {kPlain, kPlain}));
    EXPECT_EQ(members(kPlain), (Ids{4, 12}));
    index.Hold(entry(4, {kByKey}));  // replaces note 4 in its place
    EXPECT_EQ(members(kPlain), Ids{12});
    EXPECT_EQ(members(kByKey), (Ids{4, 8}));
    index.MarkDeleted(*index.FindSlot(8));
    EXPECT_EQ(members(kByKey), Ids{4});

    notes::NoteIndex other;
    ASSERT_EQ(other.Append(entry(16, {kByKey}), &detail), LNNOERROR);
    ASSERT_EQ(other.Finish("y", &detail), LNNOERROR);
    index = std::move(other);
    EXPECT_EQ(members(kByKey), Ids{16});
    index.Clear();
    EXPECT_EQ(members(kByKey), Ids{});
}

TEST(NoteRefs, ReadInPlaceAsGetNoteRefsReadsThem) {
    const std::string unid = "0123456789abcdef0123456789ABCDEF";
    notes::Bytes stored;
    ASSERT_TRUE(notes::UnidFromText(unid, &stored));
    notes::Bytes twoRefs, damaged;
    notes::PutWord(twoRefs, 2);
    twoRefs += stored + stored;
    notes::PutWord(damaged, 3);
    damaged += stored;
    const notes::Bytes badList = std::string("\x02\x00\x20\x00\x40\x00", 6) + unid;  // second text runs out
    struct Case {
        LNITEMTYPE type;
        notes::Bytes value;
    };
    const std::vector<Case> cases = {
        {TYPE_NOTEREF_LIST, twoRefs},
        {TYPE_NOTEREF_LIST, damaged},
        {TYPE_NOTEREF_LIST, ""},
        {TYPE_NOTEREF_LIST, "x"},
        {TYPE_TEXT, unid},
        {TYPE_TEXT, unid + " "},
        {TYPE_TEXT, "0123456789abcdef0123456789ABCDEG"},
        {TYPE_TEXT_LIST, notes::EncodeTextList({"x", unid, Lower(unid)})},
        {TYPE_TEXT_LIST, badList},
        {TYPE_NUMBER, notes::EncodeNumber(1)},
    };
    for (const Case& c : cases) {
        std::vector<LNString> expected;
        LNItem(std::make_shared<notes::ItemData>(TestItem("$FolderRefs", c.type, c.value))).GetNoteRefs(&expected);
        std::vector<std::string> got;
        notes::ForEachNoteRef(c.type, c.value, [&](const notes::StoredUnid& ref) {
            got.push_back(notes::UnidToText(std::string_view(ref.data(), ref.size())));
            return true;
        });
        EXPECT_EQ(got, std::vector<std::string>(expected.begin(), expected.end()))
            << "type " << c.type << " value of " << c.value.size() << " bytes";
    }
}

// A document's $Date as a sort key: (kind, value), a missing one lowest.
std::pair<int, std::int64_t> DateKey(LNDatabase& database, NOTEID id) {
    notes::IndexEntryPtr entry = database.Impl()->Find(id);
    notes::ItemData date;
    if (!entry || !entry->summary.Find("$Date", &date)) return {0, 0};
    notes::FormulaValue value = notes::ItemToFormulaValue(date.type, date.value);
    EXPECT_EQ(value.type(), notes::FormulaValueType::Datetime);
    if (value.type() != notes::FormulaValueType::Datetime || value.datetimes().empty()) return {0, 0};
    return {2, value.datetimes()[0].hundredths};
}

bool SortsByDate(LNDatabase& database, const LNViewFolder& folder) {
    notes::IndexEntryPtr entry = database.Impl()->Find(folder.GetNoteID());
    notes::ItemData collation;
    return entry && entry->summary.Find("$Collation", &collation) && collation.value.find("$Date") != std::string::npos;
}

// Every folder of a generated mailbox holds what its documents' references name.
TEST(FolderMembershipSample, FoldersOfASampleMailbox) {
    TempDir dir;
    notes::sample::SampleOptions options;
    options.outDir = dir.File("sample");
    options.messages = 400;
    options.seed = 11;
    notes::sample::GenerateSample(options);
    LNNotesSession session;
    ASSERT_EQ(session.Initialize(options.outDir + "/notes.ini"), LNNOERROR);
    LNDatabase mail;
    ASSERT_EQ(session.GetMailDatabase(&mail), LNNOERROR);
    ASSERT_EQ(mail.Open(), LNNOERROR);
    std::vector<LNViewFolder> views;
    ASSERT_EQ(mail.GetViewFolders(&views), LNNOERROR);
    std::size_t folders = 0, sortedFolders = 0, placed = 0;
    for (LNViewFolder& view : views) {
        if (!view.IsFolder()) continue;
        ++folders;
        ASSERT_EQ(view.Open(), LNNOERROR);
        Ids got;
        for (LNINT i = 0; i < view.GetEntryCount(); ++i) got.push_back(view[i].GetNoteID());
        // The sample's folders sort by $Date, latest first, or not at all.
        Ids named = NamingDocuments(mail, view.GetUniversalID());
        if (SortsByDate(mail, view)) {
            ++sortedFolders;
            std::stable_sort(named.begin(), named.end(),
                             [&](NOTEID a, NOTEID b) { return DateKey(mail, a) > DateKey(mail, b); });
        }
        EXPECT_EQ(got, named) << view.GetTitle();
        placed += got.size();
        view.Close();
    }
    EXPECT_GE(folders, 3u);
    EXPECT_GE(sortedFolders, 3u);
    EXPECT_GT(placed, 50u);
    mail.Close();
    session.Term();
}

}  // namespace
}  // namespace qb::test

// The indexing of a DXL file in two parts gives exactly the index of one
// parse (every slot, record, id, UNID and the database's information): on the
// generated sample and on files made to mislead the split (a start tag in
// CDATA, a comment, a processing instruction, an attribute value, a nested
// note element, an empty note element at the split), with entities and namespaces the second part
// needs, ids repeated or missing across the split, an access list or replica
// id in the second half, and a syntax error in the second half (reported as
// one parse reports it). Files under the threshold are parsed once.

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "NotesTestSupport.h"
#include "notes/api/DxlReader.h"
#include "notes/api/NoteIndex.h"
#include "notes/sample/SampleGenerator.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace qb::notes {
namespace {

using test::ScopedEnv;
using test::TempDir;

struct Indexed {
    LNSTATUS status = LNNOERROR;
    std::string detail;
    DxlDatabaseInfo info;
    NoteIndex index;
    DxlIndexSplit split = DxlIndexSplit::NotTried;
};

Indexed IndexFile(const std::string& path, bool twoParts) {
    SetDxlIndexSplitEnabled(twoParts);
    Indexed out;
    out.status = IndexDxlFile(path, &out.info, &out.index, &out.detail);
    out.split = LastDxlIndexSplit();
    return out;
}

void ExpectSameIndex(const Indexed& two, const Indexed& one) {
    ASSERT_EQ(two.status, one.status);
    EXPECT_EQ(two.detail, one.detail);
    if (one.status != LNNOERROR) return;
    EXPECT_EQ(two.info.title, one.info.title);
    EXPECT_EQ(two.info.replicaId, one.info.replicaId);
    EXPECT_TRUE(two.info.created == one.info.created);
    EXPECT_EQ(two.info.encoding, one.info.encoding);
    EXPECT_EQ(two.info.entityDeclarations, one.info.entityDeclarations);
    EXPECT_EQ(two.info.defaultAccess, one.info.defaultAccess);
    ASSERT_EQ(two.info.acl.size(), one.info.acl.size());
    for (std::size_t i = 0; i < one.info.acl.size(); ++i) {
        EXPECT_EQ(two.info.acl[i].name, one.info.acl[i].name);
        EXPECT_EQ(two.info.acl[i].level, one.info.acl[i].level);
    }
    ASSERT_EQ(two.index.Size(), one.index.Size());
    for (std::size_t i = 0; i < one.index.Size(); ++i) {
        const NoteIndex::Slot& got = two.index.At(i);
        const NoteIndex::Slot& want = one.index.At(i);
        EXPECT_EQ(got.spillOffset, want.spillOffset) << i;
        EXPECT_EQ(got.noteId, want.noteId) << i;
        EXPECT_EQ(got.noteClass, want.noteClass) << i;
        EXPECT_EQ(got.flags, want.flags) << i;
        NoteIndexEntry gotEntry, wantEntry;
        std::string detail;
        ASSERT_EQ(two.index.ReadUncached(got, &gotEntry, &detail), LNNOERROR) << detail;
        ASSERT_EQ(one.index.ReadUncached(want, &wantEntry, &detail), LNNOERROR) << detail;
        SCOPED_TRACE("slot " + std::to_string(i));
        test::ExpectSameIndexEntry(gotEntry, wantEntry);
        if (::testing::Test::HasFailure()) return;
    }
}

std::string Unid(int n) {
    char text[40];
    std::snprintf(text, sizeof text, "%032X", 0xABC000 + n);
    return text;
}

// A mail document; id 0 leaves the note id out, unid false the UNID.
std::string Document(unsigned id, int n, const std::string& extra = "", bool unid = true) {
    char noteId[16];
    std::snprintf(noteId, sizeof noteId, "%X", id);
    std::string text = "<document form='Memo'>\n<noteinfo";
    if (id) text += std::string(" noteid='") + noteId + "'";
    if (unid) text += " unid='" + Unid(n) + "'";
    text += "><created><datetime>20240102T10" + std::to_string(10 + n % 50) +
            "00,00+01</datetime></created></noteinfo>\n";
    text += "<item name='Subject'><text>Message " + std::to_string(n) + "</text></item>\n";
    text += "<item name='From'><text>Person " + std::to_string(n % 7) + "</text></item>\n";
    text += extra;
    text += "</document>\n";
    return text;
}

constexpr const char* kRootStart =
    "<database xmlns='http://www.lotus.com/dxl' title='Mail' replicaid='85257A3B0059C3D1'>\n";

// Documents first..last-1 with rising ids.
std::string Documents(int first, int last) {
    std::string text;
    for (int n = first; n < last; ++n) text += Document(static_cast<unsigned>(4 * (n + 1)), n);
    return text;
}

class DxlIndexingTest : public ::testing::Test {
protected:
    void SetUp() override { SetDxlIndexSplitThreshold(64); }
    void TearDown() override {
        SetDxlIndexSplitEnabled(std::nullopt);
        SetDxlIndexSplitThreshold(std::nullopt);
        SetDxlIndexSplitSearchStart(std::nullopt);
    }
    // Indexes the text both ways, the split sought from `marker` (the middle
    // without one); expects the same index and returns how the split went.
    DxlIndexSplit ExpectSameBothWays(const std::string& text, const std::string& marker = "",
                                     LNSTATUS expected = LNNOERROR) {
        const std::string path = dir.Write("mail.dxl", text);
        std::optional<std::uint64_t> from;
        if (!marker.empty()) {
            const std::size_t at = text.find(marker);
            EXPECT_NE(at, std::string::npos) << marker;
            from = at;
        }
        SetDxlIndexSplitSearchStart(from);
        const Indexed one = IndexFile(path, false);
        EXPECT_EQ(one.split, DxlIndexSplit::NotTried);
        EXPECT_EQ(one.status, expected) << one.detail;
        const Indexed two = IndexFile(path, true);
        ExpectSameIndex(two, one);
        return two.split;
    }
    TempDir dir;
    ScopedEnv tmpdir{"TMPDIR", dir.path()};
};

TEST_F(DxlIndexingTest, GeneratedSampleIndexesTheSameInTwoParts) {
    sample::SampleOptions options;
    options.outDir = dir.File("sample");
    options.messages = 400;
    const sample::SampleSummary summary = sample::GenerateSample(options);
    for (const std::string& database : {summary.mailDatabase, summary.addressBook}) {
        SCOPED_TRACE(database);
        const std::string path = options.outDir + "/" + database;
        const Indexed one = IndexFile(path, false);
        ASSERT_EQ(one.status, LNNOERROR) << one.detail;
        const Indexed two = IndexFile(path, true);
        EXPECT_EQ(two.split, DxlIndexSplit::Used);
        ExpectSameIndex(two, one);
        if (database == summary.mailDatabase) {
            EXPECT_GT(one.index.Size(), 400u);
            std::size_t skipped = 0;
            std::string detail;
            for (std::size_t i = 0; i < one.index.Size(); ++i) {
                NoteIndexEntry entry;
                ASSERT_EQ(one.index.ReadUncached(one.index.At(i), &entry, &detail), LNNOERROR);
                skipped += entry.skipped.size();
            }
            EXPECT_GT(skipped, 0u);  // attachment ranges come through the split too
        }
    }
}

TEST_F(DxlIndexingTest, PlainFileIsSplitInTheMiddle) {
    const std::string text = "<?xml version='1.0' encoding='UTF-8'?>\n" + std::string(kRootStart) +
                             Documents(0, 60) + "</database>\n";
    EXPECT_EQ(ExpectSameBothWays(text), DxlIndexSplit::Used);
}

TEST_F(DxlIndexingTest, StartTagsThatAreNoElementsBetweenNotesAreRefused) {
    const std::string before = std::string(kRootStart) + Documents(0, 20);
    const std::string after = Documents(20, 40) + "</database>\n";
    struct Case {
        const char* name;
        std::string text;
        const char* marker;  // where the split is sought from
        DxlIndexSplit split;
    };
    const Case cases[] = {
        {"cdata",
         before + Document(84, 20, "<item name='Body'><text><![CDATA[ <document form='Fake'> ]]></text></item>\n") +
             after,
         "<![CDATA[", DxlIndexSplit::Discarded},
        {"comment", before + "<!-- <document form='Fake'> -->\n" + after, "<!-- <document", DxlIndexSplit::Discarded},
        {"processing instruction", before + "<?marker <document ?>\n" + after, "<?marker",
         DxlIndexSplit::Discarded},
        {"nested", before + Document(84, 20, "<item name='X'><text>a</text></item><document form='Inner'></document>\n") +
                       after,
         "<item name='X'>", DxlIndexSplit::Discarded},
        {"empty note", before + "<document form='Empty'/>\n" + after, "<document form='Empty'/>",
         DxlIndexSplit::Discarded},
        {"escaped in text", before + Document(84, 20, "<item name='Y'><text>&lt;note x</text></item>\n") +
                                "<note class='document'>\n</note>\n" + after,
         "<item name='Y'>", DxlIndexSplit::Used},
    };
    for (const Case& one : cases) {
        SCOPED_TRACE(one.name);
        EXPECT_EQ(ExpectSameBothWays(one.text, one.marker), one.split);
    }
}

TEST_F(DxlIndexingTest, EntitiesAndNamespacesOfTheFileServeTheSecondPart) {
    const std::string text =
        "<?xml version='1.0' encoding='ISO-8859-1'?>\n"
        "<!DOCTYPE database [\n<!ENTITY company \"Acme \xE9quipe &#x263A;\">\n<!ENTITY sig \"-- &company;\">\n]>\n"
        "<database xmlns='http://www.lotus.com/dxl' xmlns:x='urn:example:x' title='T\xE9l' replicaid='85257A3B0059C3D1'>\n" +
        Documents(0, 20) + "<!--split-->\n" +
        Document(84, 20, "<item name='Company'><text>&company; &sig;</text></item>\n<x:extra x:kind='a'/>\n") +
        "<x:unknown><x:deep/></x:unknown>\n" + Documents(21, 30) + "</database>\n";
    EXPECT_EQ(ExpectSameBothWays(text, "<!--split-->"), DxlIndexSplit::Used);
    const Indexed one = IndexFile(dir.File("mail.dxl"), true);
    ASSERT_EQ(one.status, LNNOERROR) << one.detail;
    NoteIndexEntry entry;
    std::string detail;
    ASSERT_EQ(one.index.ReadUncached(one.index.At(20), &entry, &detail), LNNOERROR);
    const std::string& summary = entry.summary.Data();
    EXPECT_NE(summary.find("Acme"), std::string::npos);
    EXPECT_NE(summary.find("-- Acme"), std::string::npos);
}

TEST_F(DxlIndexingTest, IdsRepeatedOrMissingAcrossTheSplitAreMadeUniqueInFileOrder) {
    std::string text = std::string(kRootStart) + Document(0x10, 1) + Document(0x14, 2) + Document(0, 3) +
                       Document(0x40, 4, "", false) + "<!--split-->\n" + Document(0x10, 5) + Document(0, 6, "", false) +
                       Document(0x14, 7) + Document(0x8, 8) + Document(0x40, 9, "", false) + "</database>\n";
    EXPECT_EQ(ExpectSameBothWays(text, "<!--split-->"), DxlIndexSplit::Used);
}

TEST_F(DxlIndexingTest, SyntaxErrorInTheSecondHalfIsReportedAsOneParseReportsIt) {
    const std::string text = std::string(kRootStart) + Documents(0, 20) + "<!--split-->\n" + Documents(20, 30) +
                             Document(200, 30, "<item name='Bad'><text>unclosed</item>\n") + Documents(31, 35) +
                             "</database>\n";
    EXPECT_EQ(ExpectSameBothWays(text, "<!--split-->", LNERR_BAD_DXL), DxlIndexSplit::Discarded);
    const Indexed one = IndexFile(dir.File("mail.dxl"), true);
    EXPECT_NE(one.detail.find("mismatched tag"), std::string::npos) << one.detail;
    EXPECT_NE(one.detail.find(", line "), std::string::npos) << one.detail;

    // The root closed early: what follows is junk to one parse, and to the second part.
    const std::string early = std::string(kRootStart) + Documents(0, 20) + "<!--split-->\n" + Documents(20, 25) +
                              "</database>\n" + Documents(25, 27) + "</database>\n";
    EXPECT_EQ(ExpectSameBothWays(early, "<!--split-->", LNERR_BAD_DXL), DxlIndexSplit::Discarded);

    // A start tag in an attribute value: not well-formed, for both ways alike.
    const std::string attribute = std::string(kRootStart) + Documents(0, 20) +
                                  "<document form='a <document form=\"b\">'>\n</document>\n" + Documents(21, 30) +
                                  "</database>\n";
    EXPECT_EQ(ExpectSameBothWays(attribute, "form='a <document", LNERR_BAD_DXL), DxlIndexSplit::Discarded);

    // An error before the split is the first part's own.
    const std::string first = std::string(kRootStart) + Documents(0, 5) + "<bad></wrong>" + Documents(5, 30) +
                              "</database>\n";
    EXPECT_EQ(ExpectSameBothWays(first, Document(80, 19), LNERR_BAD_DXL), DxlIndexSplit::Discarded);
}

TEST_F(DxlIndexingTest, DatabaseInformationLaterInTheFileIsTakenAsOneParseTakesIt) {
    // An access list after the split: the second part is not used.
    const std::string acl = std::string(kRootStart) + Documents(0, 20) + "<!--split-->\n" + Documents(20, 22) +
                            "<acl><aclentry name='-Default-' level='reader' default='true'/></acl>\n" +
                            Documents(22, 30) + "</database>\n";
    EXPECT_EQ(ExpectSameBothWays(acl, "<!--split-->"), DxlIndexSplit::Discarded);
    // A database element without a replica id takes the first note's, here after the split.
    const std::string replica = "<database xmlns='http://www.lotus.com/dxl' title='NoReplica'>\n" + Documents(0, 20) +
                                "<!--split-->\n" + "<document replicaid='1122334455667788'>\n</document>\n" +
                                Documents(20, 30) + "</database>\n";
    EXPECT_EQ(ExpectSameBothWays(replica, "<!--split-->"), DxlIndexSplit::Used);
    const Indexed two = IndexFile(dir.File("mail.dxl"), true);
    EXPECT_EQ(two.info.replicaId, "1122334455667788");
}

TEST_F(DxlIndexingTest, SmallFilesAndTheSwitchKeepOneParse) {
    const std::string text = std::string(kRootStart) + Documents(0, 30) + "</database>\n";
    const std::string path = dir.Write("mail.dxl", text);
    SetDxlIndexSplitThreshold(text.size() + 1);
    EXPECT_EQ(IndexFile(path, true).split, DxlIndexSplit::NotTried);
    SetDxlIndexSplitThreshold(text.size());
    EXPECT_EQ(IndexFile(path, true).split, DxlIndexSplit::Used);
    EXPECT_EQ(IndexFile(path, false).split, DxlIndexSplit::NotTried);
    // No note after the middle: nothing to split at.
    const std::string tail = std::string(kRootStart) + Documents(0, 3) + "<!--" + std::string(4000, 'x') + "-->" +
                             "</database>\n";
    EXPECT_EQ(ExpectSameBothWays(tail), DxlIndexSplit::NotTried);
    // A note as the root element.
    EXPECT_EQ(ExpectSameBothWays(Document(4, 1, std::string(3000, ' ') + "<document/>")), DxlIndexSplit::NotTried);
}

}  // namespace
}  // namespace qb::notes

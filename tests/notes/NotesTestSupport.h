#pragma once
// Opening test databases through a session whose data directory is a temp folder.

#include <gtest/gtest.h>

#include <string>

#include "support/TempDir.h"
#include "notes/api/LNNotes.h"
#include "notes/api/NoteData.h"

namespace qb::test {

// Restores error returning whatever a test switched on.
struct ThrowGuard {
    ~ThrowGuard() { LNSetThrowAllErrorsGlobal(false); }
};

class NotesDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(session.InitializeWithDataDirectory(dir.path()), LNNOERROR); }
    // Writes the text as a database file and opens it.
    LNSTATUS OpenText(const std::string& name, const std::string& text) {
        dir.Write(name, text);
        LNSTATUS status = session.GetDatabase(name, &database);
        return status ? status : database.Open();
    }
    TempDir dir;
    LNNotesSession session;
    LNDatabase database;
    ThrowGuard guard;
};

// An item as a note's summary holds it (a summary item unless told otherwise).
inline notes::ItemData TestItem(std::string name, LNITEMTYPE type, notes::Bytes value,
                                LNITEMFLAGS flags = LNITEMFLAGS_SUMMARY) {
    notes::ItemData item;
    item.name = std::move(name);
    item.type = type;
    item.flags = flags;
    item.value = std::move(value);
    return item;
}

// Every field of an index record equal: what the index keeps of a note.
inline void ExpectSameIndexEntry(const notes::NoteIndexEntry& got, const notes::NoteIndexEntry& want) {
    EXPECT_EQ(got.noteId, want.noteId);
    EXPECT_EQ(got.Unid(), want.Unid());
    EXPECT_EQ(got.noteClass, want.noteClass);
    EXPECT_EQ(got.deleted, want.deleted);
    EXPECT_EQ(got.start, want.start);
    EXPECT_EQ(got.end, want.end);
    ASSERT_EQ(got.skipped.size(), want.skipped.size());
    for (std::size_t i = 0; i < got.skipped.size(); ++i) {
        EXPECT_EQ(got.skipped[i].offset, want.skipped[i].offset);
        EXPECT_EQ(got.skipped[i].length, want.skipped[i].length);
    }
    EXPECT_TRUE(got.created == want.created);
    EXPECT_TRUE(got.modified == want.modified);
    EXPECT_EQ(got.summary.Data(), want.summary.Data());
}

}  // namespace qb::test

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

}  // namespace qb::test

#include "convert/ScratchDatabase.h"

#include "notes/NotesErrorText.h"
#include "shell/platform/Paths.h"

namespace qb {

bool ScratchDatabase::Open() {
    if (open_) return true;
    if (folder_.empty()) return false;
    if (path_.empty()) path_ = platform::JoinPath(folder_, kScratchDatabaseName);

    ScopedNotesThrowMode returnCodes(false);
    LNDatabase existing;
    if (session_.GetDatabase(path_, &existing) == LNNOERROR && existing.Open() == LNNOERROR) {
        database_ = existing;
        open_ = true;
        return true;
    }
    LNDatabase created;
    if (session_.CreateDatabase(path_, &created) != LNNOERROR) return false;
    LNACL acl;
    LNACLEntry defaultEntry;
    if (created.GetACL(&acl) == LNNOERROR && acl.GetDefaultEntry(&defaultEntry) == LNNOERROR) {
        defaultEntry.SetAccessLevel(LNACCESSLEVEL_MANAGER);
        acl.Save();
    }
    database_ = created;
    open_ = true;
    return true;
}

void ScratchDatabase::Close() {
    if (!open_) return;
    ScopedNotesThrowMode returnCodes(false);
    database_.Close();
    open_ = false;
}

}  // namespace qb

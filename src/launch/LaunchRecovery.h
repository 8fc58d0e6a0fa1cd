#pragma once
// What the launch needs of the recovery journal and of the user to decide,
// before anything is exported, whether an earlier export of the same
// database is resumed, exported again or left alone. The journal itself
// lives in the batch layer above; the program hands it in through
// LaunchJournal, and the window or the command line answer the questions.

#include <cstdint>
#include <string>

#include "convert/ExportServices.h"

namespace qb {

class LaunchJournal : public RecoveryHooks {
public:
    enum class LoadResult {
        Missing,   // no journal (or none that could be resumed): a new one is started
        Loaded,    // a journal, read in full
        Unusable,  // files that are truncated or corrupt: LastError() says why
    };
    // Reads the journal from its folder.
    virtual LoadResult Load() = 0;
    // Starts a new journal for a database, replacing the files of any earlier one.
    virtual bool Create(const std::string& server, const std::string& path) = 0;
    virtual const std::string& Server() const = 0;
    virtual const std::string& Path() const = 0;
    virtual bool Complete() const = 0;
    // The view entry index of the last document recorded.
    virtual std::int32_t LastIndex() const = 0;
    // The resume offset: the export of the unfinished view starts after it.
    virtual void SetLastIndex(std::int32_t index) = 0;
    virtual const std::string& LastError() const = 0;
};

enum class RecoveryAnswer { Recover, StartOver, Cancel };

class RecoveryQuestions {
public:
    virtual ~RecoveryQuestions() = default;
    // "This database has aleady been exported successfully. Do you wish to
    // export it again?": true for Yes.
    virtual bool ExportAgain() = 0;
    // The "Export Recovery" dialog; `offset` starts at the journal's last
    // index and holds the "Recovery Offset" read back on Recover.
    virtual RecoveryAnswer ExportRecovery(std::int64_t& offset) = 0;
    // A journal for this folder that cannot be used; `reason` names the file
    // and the fault. True starts over.
    virtual bool StartOverUnusable(const std::string& reason) = 0;
};

// The offset of the "Export Recovery" dialog as a last index: -1 (start the
// view from its first document) up to the largest index that still has a
// next one.
std::int32_t ClampRecoveryOffset(std::int64_t offset);

}  // namespace qb

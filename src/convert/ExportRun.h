#pragma once
// The state of one export of one mailbox, shared between the window thread
// (which sets cancelRequested and reads the rest once the worker has ended)
// and the export worker.

#include <atomic>
#include <cstdint>
#include <set>
#include <string>

#include "convert/TimeZoneOffsets.h"
#include "notes/api/LNDatabase.h"

namespace qb {

// Result codes of a run.
enum RunResult : int {
    kRunCompleted = 0,
    kRunCancelled = 2000,
    kRunNamedPropertiesFailed = 110,
    kRunTranslationOrThreadFailed = 120,
    kRunMailDatabaseNotFound = 200,
    kRunDatabaseNotOpened = 201,
    kRunAddressBookNotFound = 300,
    kRunAddressBookNotOpened = 301,
    kRunNotesError = 1000,
    kRunUnexpectedError = 1001,
    // A write to the Outlook store or to the temporary folder failed; the run
    // stopped there.
    kRunWriteFailed = 1002,
};

// The id an item carries: the document's universal id, with "#i" for the
// i-th further instance of a document that becomes several items, so that a
// resumed run can tell which of them were saved.
inline std::string ItemId(const std::string& universalId, std::size_t instance) {
    if (universalId.empty() || instance == 0) return universalId;
    return universalId + "#" + std::to_string(instance);
}

struct ExportRun {
    // Documents taken but not exported, not counting those the date filter left out.
    std::int32_t notExportedCount() const { return processedCount - exportedCount - filteredCount; }
    // True when the run found nothing missing: every document taken was exported
    // whole and every view could be read.
    bool exportedInFull() const { return notExportedCount() <= 0 && incompleteCount == 0 && lostViewCount == 0; }

    std::atomic<bool> cancelRequested{false};
    bool errorRaised = false;
    std::string lastErrorText;
    // Notes error texts of the documents that failed, one a line, for the window.
    std::string notesErrorText;
    std::atomic<std::int32_t> runStep{0};
    std::atomic<bool> exportInProgress{false};
    std::int32_t logToFile = 0;
    bool needsMailDatabase = false;
    bool contactsSelected = false;
    std::int32_t processedCount = 0;
    std::int32_t exportedCount = 0;
    // While a resumed view or component runs: the item ids found in its
    // Outlook folder after the journal's last record; such items are not
    // written again (and count as saved).
    const std::set<std::string>* savedBeforeInterruption = nullptr;
    bool SavedBefore(const std::string& itemId) const {
        return savedBeforeInterruption && !itemId.empty() && savedBeforeInterruption->count(itemId) > 0;
    }
    // Documents saved without one of their attachments or their body (also
    // counted in exportedCount).
    std::int32_t incompleteCount = 0;
    // Documents the date filter left out: taken, not exported, not lost.
    std::int32_t filteredCount = 0;
    // Views and folders that could not be exported at all.
    std::int32_t lostViewCount = 0;
    // The first write to the Outlook store or to the temporary folder that
    // failed, with the system's reason and the path. The documents after it
    // would fail the same way, so the run stops at the end of the document
    // that met it. Empty while the run may go on.
    std::string stopText;
    std::string subfolderName;  // at most 255 characters
    TimeZoneOffsets offsets;
    LNDatabase mailDatabase;
    LNDatabase addressBook;
    std::string resultText;
};

// What the window hands the worker when an export starts.
struct RunInputs {
    std::string mailServer;  // empty for a local database
    std::string mailFile;
    std::string addressBookServer;
    std::string addressBookPath;
    std::string logPath;
};

}  // namespace qb

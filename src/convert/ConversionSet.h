#pragma once
// The converters of one export, put together from what a run has: the mail
// converter with its scratch database and temporary folder, the calendar and
// task converters, and the dispatcher that routes each document by its Form.
// The command line and the window build one of these for each export.

#include <functional>
#include <string>

#include "convert/CalendarConverter.h"
#include "convert/ContactConverter.h"
#include "convert/DocumentDispatcher.h"
#include "convert/GroupConverter.h"
#include "convert/MailConverter.h"
#include "convert/ScratchDatabase.h"
#include "convert/TaskConverter.h"
#include "shell/platform/RecycledFiles.h"
#include "shell/platform/RunFolder.h"

namespace qb {

struct ConversionServices {
    ExportRun& run;
    const ExportSettings& settings;
    const ExportLog& log;
    ProgressSink& progress;
    CMapiSession& outlook;
    const AddressTranslator& translator;
    LNNotesSession& session;
    // Where the window shows a failure of the plain text reader; none: only logged.
    std::function<void(const std::string&)> showFieldTextFailure;
    // Where a contact or list whose properties the store refused is shown
    // (with an OK button only); none: only logged.
    MessageSink* messages = nullptr;
};

class ConversionSet {
public:
    // `tempFolder` is the private per-user temporary folder
    // (platform::TempFolder()). The scratch database lives there and is kept
    // between runs; the files of each document go into a folder of this run's
    // own inside it, removed with the set. The run keeps the inodes of the
    // files it is done with there (RecycledFiles) and removes them first.
    ConversionSet(const ConversionServices& services, const std::string& tempFolder);
    ConversionSet(const ConversionSet&) = delete;
    ConversionSet& operator=(const ConversionSet&) = delete;

    DocumentDispatcher& dispatcher() { return dispatcher_; }
    MailConverter& mail() { return mail_; }
    ContactConverter& contacts() { return contacts_; }
    GroupConverter& groups() { return groups_; }
    ScratchDatabase& scratch() { return scratch_; }
    // Where this run writes bodies, pictures and attachments; empty when the
    // folder could not be made (the converter then writes no files and says so).
    const std::string& workFolder() const { return workFolder_.path(); }

private:
    ScratchDatabase scratch_;
    platform::RunFolder workFolder_;
    platform::RecycledFiles recycled_;
    MailConverter mail_;
    CalendarConverter calendar_;
    TaskConverter task_;
    FormDispatcher dispatcher_;
    ContactConverter contacts_;
    GroupConverter groups_;
};

}  // namespace qb

#pragma once
// The converters of one export, put together from what a run has: the mail
// converter with its scratch database and temporary folder, and the
// dispatcher that routes each document by its Form. The command line and the
// window build one of these for each export.

#include <functional>
#include <string>

#include "convert/DocumentDispatcher.h"
#include "convert/MailConverter.h"
#include "convert/ScratchDatabase.h"

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
};

class ConversionSet {
public:
    // Temporary files and the scratch database go into `tempFolder`, the
    // private per-user temporary folder (platform::TempFolder()).
    ConversionSet(const ConversionServices& services, const std::string& tempFolder);
    ConversionSet(const ConversionSet&) = delete;
    ConversionSet& operator=(const ConversionSet&) = delete;

    DocumentDispatcher& dispatcher() { return dispatcher_; }
    MailConverter& mail() { return mail_; }
    ScratchDatabase& scratch() { return scratch_; }

private:
    ScratchDatabase scratch_;
    MailConverter mail_;
    UnavailableConverter calendar_;
    UnavailableConverter task_;
    FormDispatcher dispatcher_;
};

}  // namespace qb

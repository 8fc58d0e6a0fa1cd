#pragma once
// The objects one export works with, put together in one place for the
// command line and the window: the run's state, its log, the address
// translator, the converters and the component runs. One is made for each
// "Export Now"; the catalogue (the user's view selection) and the journal
// outlive it and are lent.

#include <functional>
#include <string>

#include "convert/AddressTranslation.h"
#include "convert/ComponentRunner.h"
#include "convert/ConversionSet.h"
#include "convert/ExportDriver.h"
#include "shell/report/MessageSink.h"

namespace qb {

struct ExportPartsInputs {
    const ExportSettings& settings;
    ProgressSink& progress;
    CMapiSession& outlook;
    LNNotesSession& session;
    ViewFolderCatalogue& catalogue;
    RecoveryHooks& journal;
    // Where the converters show what the store refused; null: only logged.
    MessageSink* messages = nullptr;
    // Make SMTP and its domain: offered by the front end, never stored.
    bool makeSmtp = false;
    std::string smtpDomain;
};

class ExportParts {
public:
    explicit ExportParts(const ExportPartsInputs& inputs);
    ExportParts(const ExportParts&) = delete;
    ExportParts& operator=(const ExportParts&) = delete;

    ExportEnvironment env();

    ExportRun run;
    ExportLog log;
    AddressTranslator translator;

private:
    ExportPartsInputs in_;
    ConversionSet conversions_;
    ComponentRunner components_;
    InitNamedPropsSetup namedProperties_;
};

}  // namespace qb

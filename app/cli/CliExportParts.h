#pragma once
// What an export run works with on the command line, made in one place for
// `export` and `batch run`: the run's state, log and Outlook session, the
// converters and component runs, and the environment over all of them.
// The settings, the Notes session, the sinks and the journal are the
// caller's and must outlive the parts.

#include "convert/ComponentRunner.h"
#include "convert/ConversionSet.h"
#include "convert/ExportDriver.h"
#include "shell/report/MessageSink.h"

namespace qb::cli {

class CliExportParts {
public:
    // `messages` gets what a terminal shows without waiting (a contact the
    // store refused); reader failures go to the log only.
    CliExportParts(const ExportSettings& settings, LNNotesSession& session, ProgressSink& progress,
                   MessageSink& messages, RecoveryHooks& journal);
    CliExportParts(const CliExportParts&) = delete;
    CliExportParts& operator=(const CliExportParts&) = delete;

    ExportRun run;
    ExportLog log;
    CMapiSession outlook;
    ViewFolderCatalogue catalogue;
    AddressTranslator translator;

    ExportEnvironment env() { return env_; }

private:
    static AddressTranslator TranslatorFor(const ExportSettings& settings);

    ConversionSet conversions_;
    ComponentRunner components_;
    InitNamedPropsSetup namedProperties_;
    ExportEnvironment env_;
};

}  // namespace qb::cli

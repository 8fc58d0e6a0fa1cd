#pragma once
// Routes each document of a mail view or folder by its Form: calendar
// entries and tasks to their converters, everything else to mail conversion.

#include <string>

#include "convert/ExportServices.h"

namespace qb {

class ExportLog;

// One kind of document conversion. True when the document went through
// conversion (whether or not its item could be saved).
class DocumentConverter {
public:
    virtual ~DocumentConverter() = default;
    virtual bool Convert(const FolderHandle& folder, LNNotesSession& session, LNDocument& document) = 0;
    // Releases what the converter keeps open for a run.
    virtual void EndRun() {}
};

class FormDispatcher : public DocumentDispatcher {
public:
    FormDispatcher(DocumentConverter& mail, DocumentConverter& calendar, DocumentConverter& task)
        : mail_(mail), calendar_(calendar), task_(task) {}
    void Dispatch(const FolderHandle& folder, LNNotesSession& session, LNDocument& document) override;
    void EndRun() override;

private:
    DocumentConverter& mail_;
    DocumentConverter& calendar_;
    DocumentConverter& task_;
};

// Stands in for a converter this build does not have: it says so in the log
// for every document and converts nothing.
class UnavailableConverter : public DocumentConverter {
public:
    UnavailableConverter(const ExportLog& log, std::string kind) : log_(log), kind_(std::move(kind)) {}
    bool Convert(const FolderHandle& folder, LNNotesSession& session, LNDocument& document) override;

private:
    const ExportLog& log_;
    std::string kind_;
};

// Components this build does not have: each run says so in the log.
class UnavailableComponents : public ComponentRuns {
public:
    explicit UnavailableComponents(const ExportLog& log) : log_(log) {}
    void ExportCalendarEntries(LNNotesSession&, LNDatabase&, const std::string&) override;
    void ExportTaskEntries(LNNotesSession&, LNDatabase&, const std::string&) override;
    void ExportContactEntries(LNNotesSession&, LNDatabase&, const std::string&) override;
    void ExportGroupEntries(LNNotesSession&, LNDatabase&, const std::string&) override;

private:
    void Report(const char* component);
    const ExportLog& log_;
};

}  // namespace qb

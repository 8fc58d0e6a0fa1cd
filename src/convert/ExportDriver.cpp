#include "convert/ExportDriver.h"

#include <fmt/format.h>

#include <algorithm>
#include <exception>
#include <set>
#include <vector>

#include "convert/TimeZoneOffsets.h"
#include "notes/NotesDesignNoteSource.h"
#include "notes/NotesErrorText.h"
#include "outlook/NamedProperties.h"
#include "shell/settings/Component.h"

namespace qb {
namespace {

std::string ServerOrLocal(const std::string& server) { return server.empty() ? "Local" : server; }

// Runs a Notes operation that may either throw or return its status.
template <class Operation>
bool Succeeds(Operation&& operation) {
    try {
        return operation() == LNNOERROR;
    } catch (const LNStatusError&) {
        return false;
    }
}

}  // namespace

void ExportDriver::PrepareComponentFlags(const ExportSettings& settings, ExportRun& run) {
    const auto& c = settings.Components;
    run.contactsSelected = IsComponentSelected(c, Component::Contacts);
    run.needsMailDatabase = IsComponentSelected(c, Component::Mail) || IsComponentSelected(c, Component::Calendar) ||
                            IsComponentSelected(c, Component::Tasks) ||
                            (run.contactsSelected && settings.ContactsFormat == 1);
}

bool ExportDriver::Ticked(const char* component) const {
    return std::find(env_.settings.Components.begin(), env_.settings.Components.end(), component) !=
           env_.settings.Components.end();
}

void ExportDriver::Fail(std::string text, std::string& resultText) {
    resultText = std::move(text);
    env_.progress.SetStatusText(resultText);
    // The log is what is left to read after a batch: it says why, too.
    env_.log.Write("~#>ERROR " + resultText + "\n");
}

LNSTATUS ExportDriver::ThreadSession::Begin() {
    const LNSTATUS status = session_.InitThread();
    initialised_ = status == LNNOERROR;
    return status;
}

void ExportDriver::ThreadSession::End() {
    if (initialised_ && session_.IsThreadInitialized()) session_.TermThread();
    initialised_ = false;
}

int ExportDriver::RunExport(const RunInputs& inputs, LNNotesSession& session, std::string& resultText) {
    ThreadSession thread(session);
    auto caught = [&](std::string text, int code) {
        thread.End();
        env_.run.errorRaised = true;
        env_.run.lastErrorText = text;
        env_.log.Write(text + "\n");
        env_.progress.SetStatusText(text);
        resultText = std::move(text);
        return code;
    };
    int result;
    try {
        result = RunSteps(inputs, session, resultText, thread);
    } catch (const LNStatusError& e) {
        result = caught(fmt::format("~#>ERROR: {} [EDCS A S={}]", NotesErrorText(e.GetStatus()), env_.run.runStep.load()),
                        kRunNotesError);
    } catch (...) {
        result = caught(fmt::format("~#>ERROR: Unexpected Error [EDCS A S={}]", env_.run.runStep.load()),
                        kRunUnexpectedError);
    }
    LNSetThrowAllErrorsGlobal(false);
    // What the converters keep for a run (the scratch database) goes with it.
    try {
        // A run ended by an exception still records what the store holds.
        journal_.Settle();
        env_.dispatcher.EndRun();
    } catch (...) {
    }
    return result;
}

int ExportDriver::RunSteps(const RunInputs& inputs, LNNotesSession& session, std::string& resultText,
                           ThreadSession& thread) {
    ExportRun& run = env_.run;
    const ExportSettings& settings = env_.settings;
    resultText.clear();
    run.exportedCount = 0;
    run.processedCount = 0;
    run.incompleteCount = 0;
    run.filteredCount = 0;
    run.lostViewCount = 0;
    run.stopText.clear();
    run.cancelRequested = false;
    Step(50);
    run.offsets = ComputeOffsets(settings);

    Step(100);
    if (!env_.namedProperties.Setup(env_.outlook)) {
        Fail("Unable to initialize properties:" + env_.outlook.lastError + ". Unable to continue.", resultText);
        return kRunNamedPropertiesFailed;
    }
    journal_.BeginRun();
    Step(110);
    if (settings.TranslateEmailAddresses) {
        Step(112);
        env_.progress.SetStatusText("..Loading translation information from file");
        std::string error;
        if (!env_.translator.table.Load(settings.TranslationFilePath, error)) {
            Step(118);
            Fail("Translation File Error. " + error + " See Options - Translate Email Address Options.", resultText);
            return kRunTranslationOrThreadFailed;
        }
    }

    Step(200);
    if (!session.IsThreadInitialized()) {
        env_.progress.SetStatusText("Thread Session NOT Initiated");
        const LNSTATUS status = thread.Begin();
        if (status != LNNOERROR) {
            Fail(NotesErrorText(status), resultText);
            return kRunTranslationOrThreadFailed;
        }
        env_.progress.SetStatusText("Initiated Thread Session");
    }
    Step(300);
    LNSetThrowAllErrorsGlobal(true);

    if (int code = OpenDatabases(inputs, session, resultText, thread); code != kRunCompleted) return code;

    if (run.needsMailDatabase) {
        Step(600);
        LoadCatalogue(inputs);
        Step(605);
        Step(700);
        Step(704);
        env_.log.Write(inputs.mailServer.empty()
                           ? "Begin Export of database: " + inputs.mailFile + "\n"
                           : "Begin Export of database: " + inputs.mailServer + ":" + inputs.mailFile + "\n");
        Step(707);
    }

    Step(800);
    env_.progress.SetStatusText("");
    env_.progress.SetSecondaryText(1, "");
    env_.progress.SetSecondaryText(2, "");
    run.processedCount = 0;

    if (run.needsMailDatabase && Ticked("Mail") && !Cancelled()) ExportMailViews(session);

    Step(1496);
    if (run.needsMailDatabase && !Cancelled() && !Stopped() && Ticked("Calendar")) {
        Step(1497);
        RunComponent("Calendar", [&] {
            env_.components.ExportCalendarEntries(session, run.mailDatabase, settings.CalendarDestinationFolder);
        });
    }
    Step(1498);
    if (run.needsMailDatabase && !Cancelled() && !Stopped() && Ticked("Tasks")) {
        Step(1499);
        RunComponent("Tasks", [&] {
            env_.components.ExportTaskEntries(session, run.mailDatabase, settings.TasksDestinationFolder);
        });
    }
    if (run.contactsSelected && !Stopped()) {
        if (int code = ExportContactsAndGroups(inputs, session, resultText, thread); code != kRunCompleted)
            return code;
    }
    // Only a run that went through every selected component is complete; a
    // later launch then offers no recovery.
    journal_.Settle();
    if (!Cancelled() && !Stopped() && journal_.IsOn()) journal_.MarkComplete();

    env_.progress.SetSecondaryText(1, "");
    env_.progress.SetSecondaryText(2, "");
    env_.progress.SetProgressRange32(0, 1);
    env_.progress.SetProgressPosition(1);

    Step(1600);
    if (run.mailDatabase.IsOpen()) run.mailDatabase.Close();

    const int result = Summarise(resultText);
    Step(10000);
    thread.End();
    return result;
}

int ExportDriver::Summarise(std::string& resultText) {
    ExportRun& run = env_.run;
    Step(1700);
    if (Stopped()) {
        // The write failure is the run's result: the documents after it were never tried.
        const std::string summary = fmt::format("Export stopped ({} exported from {} before the failure).",
                                                run.exportedCount, run.processedCount);
        Step(1800);
        env_.log.Write("\n" + run.stopText + "\n");
        env_.log.Write(summary);
        run.errorRaised = true;
        run.lastErrorText = run.stopText;
        resultText = run.stopText;
        env_.progress.SetStatusText(run.stopText);
        env_.progress.SetStatusText(summary);
        return kRunWriteFailed;
    }
    const bool cancelled = Cancelled();
    const std::string summary =
        cancelled ? fmt::format("Export cancelled ({} exported from {} before cancel).", run.exportedCount,
                                run.processedCount)
                  : fmt::format("Completed exporting a total of {} from {}", run.exportedCount, run.processedCount);
    if (cancelled) resultText = summary;
    Step(1800);
    env_.log.Write("\n");
    env_.log.Write(summary);
    env_.progress.SetStatusText(summary);
    if (run.incompleteCount > 0) {
        const std::string partial = fmt::format(
            "~#>Warning {} of the exported documents lost an attachment or part of their body.", run.incompleteCount);
        env_.log.Write("\n" + partial);
        env_.progress.SetStatusText(partial);
    }
    return cancelled ? kRunCancelled : kRunCompleted;
}

int ExportDriver::OpenDatabases(const RunInputs& inputs, LNNotesSession& session, std::string& resultText,
                                ThreadSession& thread) {
    ExportRun& run = env_.run;
    const ExportSettings& settings = env_.settings;
    Step(400);
    if (run.needsMailDatabase) {
        env_.progress.SetStatusText("...opening mailbox database");
        run.mailDatabase = LNDatabase();
        if (!Succeeds([&] { return session.GetDatabase(inputs.mailFile, &run.mailDatabase, inputs.mailServer); })) {
            Fail("Unable to get specified database. Check server and filename are correct.", resultText);
            return kRunMailDatabaseNotFound;
        }
        Step(500);
        if (!Succeeds([&] { return run.mailDatabase.Open(); })) {
            Fail("Unable to open specified mailbox " + inputs.mailFile + " on server " + ServerOrLocal(inputs.mailServer),
                 resultText);
            return kRunDatabaseNotOpened;
        }
    }
    if (run.contactsSelected && settings.ContactsFormat == 0 && !inputs.addressBookPath.empty()) {
        run.addressBook = LNDatabase();
        if (!Succeeds([&] {
                return session.GetDatabase(inputs.addressBookPath, &run.addressBook, inputs.addressBookServer);
            })) {
            env_.progress.SetStatusText(fmt::format(
                "Unable to open specified address book {}. Check filename is correct.", inputs.addressBookPath));
            thread.End();
            return kRunAddressBookNotFound;
        }
        Step(505);
        if (!Succeeds([&] { return run.addressBook.Open(); })) {
            Fail("Unable to open specified address book " + inputs.addressBookPath + " on server " +
                     ServerOrLocal(inputs.addressBookServer),
                 resultText);
            return kRunDatabaseNotOpened;
        }
    }
    return kRunCompleted;
}

void ExportDriver::LoadCatalogue(const RunInputs& inputs) {
    ViewFolderCatalogue& catalogue = env_.catalogue;
    const std::string databaseKey = ViewFolderCatalogue::KeyFor(inputs.mailServer, inputs.mailFile);
    if (catalogue.loaded && catalogue.loadedFor == databaseKey) return;
    Step(601);
    env_.progress.SetStatusText("...loading view folder information for \"" + env_.run.mailDatabase.GetTitle() + "\"");
    Step(602);
    NotesDesignNoteSource source(env_.run.mailDatabase);
    catalogue.LoadCatalogue(source, env_.run.cancelRequested, &env_.progress);
    catalogue.loadedFor = databaseKey;
    Step(603);
    catalogue.ApplyFolderRules(env_.settings.ExcludeViewFolders, env_.settings.IncludeViewFolders);
    Step(604);
    env_.progress.SetStatusText("");
}

void ExportDriver::ExportMailViews(LNNotesSession& session) {
    std::vector<std::string> exported;
    // The list is copied: a catalogue entry is never changed by the export
    // of a view, but the catalogue may be reloaded by the window afterwards.
    const std::vector<CatalogueNode*> entries = env_.catalogue.exportList;
    for (CatalogueNode* entry : entries) {
        Step(1270);
        Step(1271);
        if (entry->selected && entry->exportable) {
            Step(1272);
            const bool seen = std::find(exported.begin(), exported.end(), entry->notesName) != exported.end();
            Step(1274);
            if (!seen) {
                Step(1275);
                exported.push_back(entry->notesName);
                Step(1276);
                LNViewFolder view;
                LNSTATUS status;
                {
                    ScopedNotesThrowMode returnCodes(false);
                    status = env_.run.mailDatabase.GetViewFolder(entry->notesName, &view);
                }
                Step(1277);
                if (status != LNNOERROR) {
                    env_.log.Write(fmt::format("ERROR Unable to export view: {}\n", entry->outlookPath));
                    ++env_.run.lostViewCount;
                } else {
                    Step(1280);
                    try {
                        ExportViewFolder(session, view, entry->outlookPath);
                    } catch (...) {
                        env_.log.Write(fmt::format(
                            "~#>ERROR Possible corruption in view/folder '{}'. Was unable to export.\n",
                            entry->outlookPath));
                        ++env_.run.lostViewCount;
                    }
                    Step(1290);
                }
            }
        }
        if (Cancelled() || Stopped()) break;
    }
    env_.progress.SetSecondaryText(1, "");
}

void ExportDriver::RunComponent(const char* name, const std::function<void()>& exportEntries) {
    ResumePoint point;
    if (journal_.IsOn()) {
        if (!journal_.ShouldExportView(RecoveryHooks::kComponentViewId, name, point)) {
            env_.log.Write(fmt::format("..{} was exported completely before: not again\n", name));
            return;
        }
        journal_.StartView(RecoveryHooks::kComponentViewId, name);
    }
    // Every run records its entries, journal or not: the store's commits
    // decide which of them are durable (and counted once a commit fails).
    env_.components.ResumeAt(journal_, point);
    exportEntries();
    // Committed at the end of the run, also after a cancel or a failure.
    journal_.Settle();
    if (!Cancelled() && !Stopped() && journal_.IsOn()) journal_.MarkViewFolderComplete();
}

int ExportDriver::ExportContactsAndGroups(const RunInputs& inputs, LNNotesSession& session, std::string& resultText,
                                          ThreadSession& thread) {
    ExportRun& run = env_.run;
    const ExportSettings& settings = env_.settings;
    std::string server = inputs.addressBookServer;
    std::string path = inputs.addressBookPath;
    if (settings.ContactsFormat == 1) {
        server = inputs.mailServer;
        path = inputs.mailFile;
    }
    Step(1500);
    if (Cancelled() || !Ticked("Contacts") || path.empty()) return kRunCompleted;
    Step(1505);
    const bool useMailDatabase = settings.ContactsFormat == 1 && run.mailDatabase.IsOpen();
    LNDatabase located;
    if (!useMailDatabase && !run.addressBook.IsOpen()) {
        if (!Succeeds([&] { return session.GetDatabase(path, &located, server); })) {
            env_.progress.SetStatusText(
                fmt::format("Unable to open specified address book {}. Check filename is correct.", path));
            thread.End();
            return kRunAddressBookNotFound;
        }
        Step(1510);
        LNSTATUS status;
        {
            ScopedNotesThrowMode returnCodes(false);
            Step(1520);
            status = located.Open();
        }
        if (status != LNNOERROR) {
            Fail("Unable to open specified database. Make sure you have the appropriate ACL security.", resultText);
            thread.End();
            return kRunAddressBookNotOpened;
        }
        run.addressBook = located;
    }
    LNDatabase& book = useMailDatabase ? run.mailDatabase : run.addressBook;
    Step(1530);
    RunComponent("Contacts",
                 [&] { env_.components.ExportContactEntries(session, book, settings.ContactsDestinationFolder); });
    Step(1535);
    if (!Cancelled() && !Stopped())
        RunComponent("Groups",
                     [&] { env_.components.ExportGroupEntries(session, book, settings.ContactsDestinationFolder); });
    Step(1540);
    if (!useMailDatabase && run.addressBook.IsOpen()) run.addressBook.Close();
    Step(1550);
    return kRunCompleted;
}

int ExportDriver::ExportViewFolder(LNNotesSession& session, LNViewFolder& view, const std::string& outlookFolderName) {
    std::int32_t localStep = 10;
    std::int32_t entryCount = 0;
    bool opened = false;
    try {
        opened = view.Open() == LNNOERROR;
    } catch (...) {
    }
    if (!opened) {
        env_.log.Write("..Error: Unable to open view");
        ++env_.run.lostViewCount;
        return 0;
    }
    // A view whose items could not be written is not finished: a resumed
    // export tries it again.
    bool finished = true;
    try {
        ResumePoint point;
        bool skip = false;
        if (journal_.IsOn()) {
            if (!journal_.ShouldExportView(view.GetNoteID(), view.GetName(), point)) {
                // Finished before: nothing of it is marked again.
                skip = true;
                finished = false;
            } else {
                journal_.StartView(view.GetNoteID(), view.GetName());
            }
        }
        if (!skip) {
            localStep = 20;
            entryCount = view.GetEntryCount();
            env_.log.Write(fmt::format("..Exporting view/folder, '{}' - VFEC{}\n", outlookFolderName, entryCount));
            localStep = 100;
            std::optional<FolderHandle> folder = env_.outlook.OpenFolderPath(outlookFolderName, "");
            if (!folder) {
                const std::string reason = env_.outlook.lastError.empty() ? "" : ": " + env_.outlook.lastError;
                env_.log.Write("..ERROR with Outlook/Exchange. " + env_.run.lastErrorText + reason);
                ++env_.run.lostViewCount;
                // A store that refuses writes fails every later folder and message the same way.
                if (env_.outlook.storeWriteFailed && env_.run.stopText.empty())
                    env_.run.stopText = "~#>ERROR " + env_.run.lastErrorText + reason;
                finished = false;
            } else if (localStep = 150; folder->rightsKnown && !(folder->rights & frightsCreate)) {
                env_.log.Write("..ERROR with Outlook/Exchange RIGHTS. You do not have create rights in folder '" +
                               outlookFolderName + "'");
                ++env_.run.lostViewCount;
                finished = false;
            } else {
                localStep = 200;
                env_.progress.SetStatusText(fmt::format("Exporting View: {}", outlookFolderName));
                env_.progress.SetProgressPosition(0);
                env_.progress.SetProgressRange32(0, entryCount);
                ExportDocuments(session, view, *folder, point, entryCount, localStep);
            }
        }
    } catch (...) {
        env_.log.Write(fmt::format("~#>ERROR..UNEXPECTED VIEW/FOLDER ERROR {}", localStep));
        ++env_.run.lostViewCount;
    }
    PostView(view, entryCount, finished);
    return 1;
}

void ExportDriver::ExportDocuments(LNNotesSession& session, LNViewFolder& view, const FolderHandle& folder,
                                   const ResumePoint& point, std::int32_t entryCount, std::int32_t& localStep) {
    // An interrupted run may have committed documents after the last one its
    // journal recorded (the journal is written after the commit): they are
    // in the folder with their universal id and are not written again.
    const std::set<std::string> alreadySaved =
        point.resumed ? RecentUniversalIds(folder, point.lastUniversalId, kMaxUnrecordedItems) : std::set<std::string>();
    // A write failure ends the loop as a cancel does, without its log line.
    for (std::int32_t index = point.startIndex;
         static_cast<std::uint32_t>(index) < static_cast<std::uint32_t>(entryCount) && !Stopped(); ++index) {
        localStep = index;
        try {
            env_.progress.SetProgressPosition(index);
            LNVFEntry entry;
            LNDocument document;
            bool got = false;
            {
                ScopedNotesThrowMode returnCodes(false);
                got = view.GetEntry(index, &entry) == LNNOERROR && entry.GetDocument(&document) == LNNOERROR &&
                      !document.IsNull();
            }
            if (!got) {
                env_.log.Write(fmt::format("....Unable to export document Entry Count = {}\n", index));
            } else {
                ++env_.run.processedCount;
                const std::string universalId =
                    journal_.IsOn() ? std::string(document.GetUniversalID()) : std::string();
                env_.log.Write(
                    fmt::format("....About to export document Entry Count = {}\n", env_.run.processedCount));
                // The converters pass over the items of the document that are there already.
                env_.run.savedBeforeInterruption = alreadySaved.empty() ? nullptr : &alreadySaved;
                env_.dispatcher.Dispatch(folder, session, document);
                env_.run.savedBeforeInterruption = nullptr;
                // A write failure at this document leaves it unrecorded: a
                // resumed export tries it again (and finds it by its universal
                // id if it was saved after all). Recorded in the journal once
                // the store has committed its items.
                if (!Stopped()) journal_.RecordDocument(index, document.GetNoteID(), universalId);
            }
        } catch (const LNStatusError& e) {
            env_.log.Write(fmt::format("....~#>ERROR Unable to export document Entry Count = {}. Error = {} [{}]\n",
                                       index, NotesErrorText(e.GetStatus()), e.GetStatus()));
            continue;
        } catch (...) {
            env_.log.Write("....~#>ERROR Unexpected error while processing view\n");
            continue;
        }
        if (Cancelled()) {
            env_.log.Write("...Export was manually cancelled");
            break;
        }
    }
}

void ExportDriver::PostView(LNViewFolder& view, std::int32_t entryCount, bool finished) {
    try {
        // Committed at the end of the view, also after a cancel or a failure.
        journal_.Settle();
        // A view left by a write failure is resumed, not marked complete.
        if (finished && !Cancelled() && !Stopped() && journal_.IsOn()) journal_.MarkViewFolderComplete();
        env_.log.Write("\n");
        env_.progress.SetProgressPosition(entryCount);
        view.Close();
    } catch (const LNStatusError&) {
        env_.log.Write("..~#>ERROR Post Export View Error");
    } catch (...) {
        env_.log.Write("....~#>ERROR Post Export View Unexpected error\n");
    }
}

}  // namespace qb

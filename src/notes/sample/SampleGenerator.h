#pragma once
// Generates a Notes data directory for trying out and testing the export:
//
//   DIR/notes.ini            [Notes] Directory, Names, MailFile, MailServer, KeyFilename, UserName
//   DIR/Quillbox.ini         the four components on, this mailbox and address book selected
//   DIR/data/mail/jdoe.dxl   the mail database (DXL, both forms)
//   DIR/data/names.dxl       the personal address book
//   DIR/manifest.json        what the files hold: views and folders with their entry counts,
//                            the documents the component searches select, file attachments,
//                            and the Outlook folders the export fills with their item counts
//   DIR/expected_mail.json   every mail item the export writes, as it must read back
//   DIR/expected_items.json  every appointment and task the export writes, by section
//   DIR/server/mail/         the data directory of the server "Hub/Acme" (notes.ini
//                            Server_Hub/Acme), with the --mailboxes mailboxes staffNN.dxl;
//                            DIR/mailboxes/staffNN/ holds each one's manifest and expectations
//
// The same seed and size always give the same files. Documents are written
// one at a time, so memory does not grow with the number of messages.

#include <cstdint>
#include <string>
#include <vector>

#include "notes/sample/SampleDatabase.h"

namespace qb::notes::sample {

struct SampleOptions {
    std::string outDir;
    long long messages = 200;
    std::uint64_t seed = 1;
    // Further mailboxes for the batch export, in the server Hub/Acme's data
    // directory DIR/server/mail, each with DIR/mailboxes/<name>/manifest.json.
    int mailboxes = 0;
};

struct SampleViewCount {
    std::string title;
    bool folder = false;
    long long entries = 0;
};

struct SampleSummary {
    std::string mailDatabase;  // relative to the output folder
    std::string addressBook;
    long long mailDocuments = 0;
    long long addressBookDocuments = 0;
    std::vector<SampleViewCount> views;             // of the mail database
    std::vector<SampleViewCount> addressBookViews;
    long long calendar = 0, tasks = 0, contacts = 0, groups = 0;
    long long fileAttachments = 0, mimeAttachments = 0;
    // Outlook folder paths ("\" between levels) and the items the export
    // writes into each, from the shipped folder rules.
    std::vector<NamedCount> outlookFolders;
    long long expectedMessages = 0;  // entries of expected_mail.json
    long long expectedAppointments = 0, expectedTasks = 0;  // entries of expected_items.json
};

// Writes the data directory; throws std::exception on a failure.
SampleSummary GenerateSample(const SampleOptions& options);

// The manifest text of a summary (JSON).
std::string ManifestJson(const SampleOptions& options, const SampleSummary& summary);

// The fixed search formulas of the export's components.
inline constexpr const char* kCalendarSearch = R"(Form = "Appointment" & @IsAvailable(CalendarDateTime))";
inline constexpr const char* kTaskSearch =
    R"(Form = "Task" & !(ExcludeFromView = "T") & !(@IsAvailable(OrgRepeat) & !@IsResponseDoc))";
inline constexpr const char* kContactSearch = R"(Form = "Contact":"Person")";
inline constexpr const char* kGroupSearch = R"(Form = "Group")";

}  // namespace qb::notes::sample

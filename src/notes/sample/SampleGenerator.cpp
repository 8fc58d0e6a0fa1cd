#include "notes/sample/SampleGenerator.h"

#include <fmt/format.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "notes/sample/AddressBookContent.h"
#include "notes/sample/ContactExpectations.h"
#include "notes/sample/ItemExpectations.h"
#include "notes/sample/MailExpectations.h"
#include "notes/sample/MailboxContent.h"
#include "notes/sample/OutlookFolderPlan.h"
#include "notes/sample/SampleExportSettings.h"
#include "text/JsonText.h"
#include "notes/sample/SamplePeople.h"

namespace qb::notes::sample {

using text::JsonString;

namespace {

namespace fs = std::filesystem;

constexpr const char* kMailFile = "mail/jdoe.dxl";
constexpr const char* kNamesFile = "names.dxl";
constexpr const char* kExpectedMailFile = "expected_mail.json";
constexpr const char* kExpectedItemsFile = "expected_items.json";
constexpr const char* kExpectedContactsFile = "expected_contacts.json";
constexpr const char* kServerFolder = "server";

void WriteTextFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<SampleViewCount> ViewCounts(const SampleDatabase& db) {
    std::vector<SampleViewCount> counts;
    for (const ViewDefinition& view : db.views()) counts.push_back({view.title, view.folder, view.entries});
    return counts;
}

long long CountOf(const SampleDatabase& db, const std::string& name) {
    for (const NamedCount& count : db.formulaCounts())
        if (count.name == name) return count.count;
    return 0;
}

std::string JsonViews(const std::vector<SampleViewCount>& views) {
    std::string out = "{";
    for (std::size_t i = 0; i < views.size(); ++i)
        out += fmt::format("{}\n    {}: {}", i ? "," : "", JsonString(views[i].title), views[i].entries);
    return out + "\n  }";
}

std::string JsonCounts(const std::vector<NamedCount>& counts) {
    std::string out = "{";
    for (std::size_t i = 0; i < counts.size(); ++i)
        out += fmt::format("{}\n    {}: {}", i ? "," : "", JsonString(counts[i].name), counts[i].count);
    return out + "\n  }";
}

std::string JsonFolders(const std::vector<SampleViewCount>& views) {
    std::string out = "[";
    bool first = true;
    for (const SampleViewCount& view : views) {
        if (!view.folder) continue;
        out += (first ? "" : ", ") + JsonString(view.title);
        first = false;
    }
    return out + "]";
}

void WriteNotesIni(const fs::path& dir, const fs::path& dataDir) {
    WriteTextFile(dir / "notes.ini",
                  "[Notes]\n"
                  "Directory=" + dataDir.string() + "\n"
                  "KeyFilename=user.id\n"
                  "UserName=" + MailboxOwner().notesName + "\n"
                  "MailFile=" + kMailFile + "\n"
                  "MailServer=\n"
                  "Names=" + kNamesFile + "\n"
                  "Server_Hub/Acme=" + kServerFolder + "\n"
                  "Location=Office (Network)\n");
}

const char* Flag(bool on) { return on ? "1" : "0"; }

void WriteQuillboxIni(const fs::path& dir, const SampleExportSettings& settings) {
    WriteTextFile(dir / "Quillbox.ini",
                  "[Notes]\n"
                  "IniFilePath=" + (dir / "notes.ini").string() + "\n"
                  "[Lotus Notes]\n"
                  "Components=Mail,Calendar,Tasks,Contacts,\n"
                  "MailServer=Local\n"
                  "MailFile=" + kMailFile + "\n"
                  "AddressBookServer=*\n"
                  "AddressBookFile=" + kNamesFile + "\n"
                  "ContactsFormat=0\n"
                  "ExcludeViewFolders=" + settings.ExcludeSetting() + "\n"
                  "IncludeViewFolders=" + settings.IncludeSetting() + "\n"
                  "ContactsDestinationFolder=Contacts\n"
                  "CalendarDestinationFolder=Calendar\n"
                  "TasksDestinationFolder=Tasks\n"
                  "AttachmentsRenameEXEs=" + Flag(settings.renameExecutables) + "\n"
                  "ExportDocLinks=" + Flag(settings.exportDocLinks) + "\n"
                  "BodyFormat=" + Flag(settings.richTextBodies) + "\n"
                  "AttachImages=" + Flag(settings.attachImages) + "\n"
                  "UseAbbNotesNames=1\n"
                  "[Other Settings]\n"
                  "LogExport=1\n");
}

// One mail database with its expectations (in `expectDir`); fills the
// mail half of the summary.
void GenerateMailbox(SampleRandom& random, const fs::path& file, const DatabaseInfo& info, const fs::path& expectDir,
                     long long messages, SampleSummary& summary) {
    SampleDatabase mail(random, file.string(), info);
    MailboxContent mailbox(random, mail);
    mailbox.DefineCatalogue();
    mail.CountFormula("calendar", kCalendarSearch);
    mail.CountFormula("tasks", kTaskSearch);
    OutlookFolderPlan plan(ShippedExportSettings());
    plan.AddViews(mail.views());
    MailExpectationWriter expectations((expectDir / kExpectedMailFile).string(), ShippedExportSettings());
    ItemExpectationWriter items((expectDir / kExpectedItemsFile).string());
    const ComponentSelection components;
    NamedCount calendarFolder{"Calendar", 0}, tasksFolder{"Tasks", 0};
    mail.SetObserver([&](const SampleDocument& document, const std::vector<std::string>& holders) {
        std::vector<std::string> folders = plan.Place(document, holders);
        if (RouteOf(document) == DocumentRoute::Mail) {
            if (!folders.empty()) expectations.Add(document, folders);
            return;
        }
        // Calendar entries and tasks also land in their component's folder.
        if (const std::optional<std::string> component = components.FolderOf(document)) {
            const int count = CalendarItemCount(document);
            (*component == calendarFolder.name ? calendarFolder : tasksFolder).count += count;
            if (count > 0) folders.push_back(*component);
        }
        items.Add(document, folders);
    });
    mail.Open();
    MailboxSize size;
    size.messages = messages;
    size.calendarEntries = 24 + messages / 50;
    size.tasks = 16 + messages / 100;
    size.notices = 3 + messages / 200;
    mailbox.WriteDocuments(size);
    mail.Close();
    mail.SetObserver(nullptr);
    expectations.Close();
    items.Close();
    summary.outlookFolders = plan.folders();
    summary.outlookFolders.push_back(calendarFolder);
    summary.outlookFolders.push_back(tasksFolder);
    summary.expectedMessages = expectations.messages();
    summary.expectedAppointments = items.appointments();
    summary.expectedTasks = items.tasks();
    summary.mailDocuments = mail.documents();
    summary.views = ViewCounts(mail);
    summary.calendar = CountOf(mail, "calendar");
    summary.tasks = CountOf(mail, "tasks");
    summary.fileAttachments = mail.fileAttachments();
    summary.mimeAttachments = mail.mimeAttachments();
}

// The batch's mailboxes in the server's "mail" directory, each with its
// manifest and expectations in mailboxes/<name>/; a batch names no address
// book, so they expect no contacts.
void GenerateServerMailboxes(const SampleOptions& options, const fs::path& dir, const SampleTime& designTime) {
    const fs::path mailDir = dir / kServerFolder / "mail";
    fs::create_directories(mailDir);
    for (int k = 1; k <= options.mailboxes; ++k) {
        const std::string name = fmt::format("staff{:02}", k);
        const fs::path expectDir = dir / "mailboxes" / name;
        fs::create_directories(expectDir);
        // A stream of its own per mailbox: the first mailbox stays as it was.
        SampleRandom random(options.seed * 1000003u + static_cast<std::uint64_t>(k));
        SampleSummary summary;
        summary.mailDatabase = fmt::format("{}/mail/{}.dxl", kServerFolder, name);
        GenerateMailbox(random, mailDir / (name + ".dxl"),
                        {fmt::format("Staff Mailbox {:02}", k), fmt::format("{:016X}", random.Next()),
                         "mail\\" + name + ".nsf", designTime},
                        expectDir, options.messages, summary);
        WriteTextFile(expectDir / "manifest.json", ManifestJson(options, summary));
    }
}

}  // namespace

SampleSummary GenerateSample(const SampleOptions& options) {
    if (options.messages < 0) throw std::invalid_argument("the number of messages must not be negative");
    if (options.mailboxes < 0) throw std::invalid_argument("the number of mailboxes must not be negative");
    const fs::path dir = fs::absolute(options.outDir);
    const fs::path dataDir = dir / "data";
    fs::create_directories(dataDir / "mail");

    SampleRandom random(options.seed);
    const SampleTime designTime = SampleTime::Local(2022, 1, 3, 9, 0);
    SampleSummary summary;
    summary.mailDatabase = "data/" + std::string(kMailFile);
    summary.addressBook = "data/" + std::string(kNamesFile);
    GenerateMailbox(random, dataDir / kMailFile,
                    {"Jane Doe's Mail", fmt::format("{:016X}", random.Next()), "mail\\jdoe.nsf", designTime}, dir,
                    options.messages, summary);

    SampleDatabase names(random, (dataDir / kNamesFile).string(),
                         {"Jane Doe's Address Book", fmt::format("{:016X}", random.Next()), "names.nsf", designTime});
    AddressBookContent addressBook(random, names);
    addressBook.DefineCatalogue();
    names.CountFormula("contacts", kContactSearch);
    names.CountFormula("groups", kGroupSearch);
    ContactExpectationWriter contactExpectations((dir / kExpectedContactsFile).string());
    names.SetObserver([&](const SampleDocument& document, const std::vector<std::string>&) {
        contactExpectations.Add(document);
    });
    names.Open();
    AddressBookSize bookSize;
    bookSize.persons = 30 + options.messages / 500;
    bookSize.contacts = 5;
    bookSize.groups = 8 + options.messages / 2000;
    addressBook.WriteDocuments(bookSize);
    names.Close();
    names.SetObserver(nullptr);
    contactExpectations.Close();

    WriteNotesIni(dir, dataDir);
    WriteQuillboxIni(dir, ShippedExportSettings());

    summary.addressBookDocuments = names.documents();
    summary.addressBookViews = ViewCounts(names);
    summary.contacts = CountOf(names, "contacts");
    summary.groups = CountOf(names, "groups");
    // Contacts and lists share one Outlook folder.
    summary.outlookFolders.push_back({"Contacts", summary.contacts + summary.groups});
    summary.fileAttachments += names.fileAttachments();
    summary.mimeAttachments += names.mimeAttachments();
    GenerateServerMailboxes(options, dir, designTime);
    WriteTextFile(dir / "manifest.json", ManifestJson(options, summary));
    return summary;
}

std::string ManifestJson(const SampleOptions& options, const SampleSummary& summary) {
    return fmt::format(
        "{{\n"
        "  \"generator\": \"quillbox-cli sample\",\n"
        "  \"seed\": {},\n"
        "  \"messages\": {},\n"
        "  \"notes_ini\": \"notes.ini\",\n"
        "  \"quillbox_ini\": \"Quillbox.ini\",\n"
        "  \"mail_database\": {},\n"
        "  \"address_book\": {},\n"
        "  \"documents\": {{\"mail_database\": {}, \"address_book\": {}}},\n"
        "  \"views\": {},\n"
        "  \"folders\": {},\n"
        "  \"address_book_views\": {},\n"
        "  \"components\": {{\"calendar\": {}, \"tasks\": {}, \"contacts\": {}, \"groups\": {}}},\n"
        "  \"attachments\": {},\n"
        "  \"attachment_kinds\": {{\"file_objects\": {}, \"mime_parts\": {}}},\n"
        "  \"outlook_folders\": {},\n"
        "  \"expected_mail\": {{\"file\": {}, \"messages\": {}}},\n"
        "  \"expected_items\": {{\"file\": {}, \"appointments\": {}, \"tasks\": {}}}\n"
        "}}\n",
        options.seed, options.messages, JsonString(summary.mailDatabase), JsonString(summary.addressBook),
        summary.mailDocuments, summary.addressBookDocuments, JsonViews(summary.views), JsonFolders(summary.views),
        JsonViews(summary.addressBookViews), summary.calendar, summary.tasks, summary.contacts, summary.groups,
        summary.fileAttachments + summary.mimeAttachments, summary.fileAttachments, summary.mimeAttachments,
        JsonCounts(summary.outlookFolders), JsonString(kExpectedMailFile), summary.expectedMessages,
        JsonString(kExpectedItemsFile), summary.expectedAppointments, summary.expectedTasks);
}

}  // namespace qb::notes::sample

// The sample data directory read back independently: the DXL files are
// parsed with expat, every document's items are turned into formula values,
// and the view formulas found in the files, the folder references and the
// component searches are evaluated with the formula engine. The manifest
// must promise exactly what the files hold.

#include <expat.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "support/TempDir.h"
#include "notes/api/NotesFormat.h"
#include "notes/api/formula/CompiledFormula.h"
#include "notes/api/formula/MapFormulaDocument.h"
#include "notes/api/mime/MessageContent.h"
#include "notes/api/mime/NotesMimeItems.h"
#include "notes/sample/SampleGenerator.h"
#include "shell/platform/PrivateProfile.h"
#include "shell/settings/SettingsStore.h"

using namespace qb::notes;
using namespace qb::notes::sample;

namespace {

std::string DecodeBase64(const std::string& text) {
    qb::notes::Bytes bytes;
    EXPECT_TRUE(qb::notes::DecodeBase64(text, &bytes));
    return bytes;
}

std::uint32_t Word(const std::string& bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes.at(at)) | static_cast<unsigned char>(bytes.at(at + 1)) << 8;
}

std::uint32_t Dword(const std::string& bytes, std::size_t at) { return Word(bytes, at) | Word(bytes, at + 2) << 16; }

struct ParsedNote {
    bool document = false;
    bool folder = false;
    std::string title, flags, formula, unid;
    MapFormulaDocument values;
    std::vector<std::string> folderRefs;
    int files = 0, mimeAttachments = 0;
    std::vector<qb::mime::NotesRawItem> rawItems;  // Internet headers and MIME parts
};

// What one DXL database holds, gathered in one pass.
struct ParsedDatabase {
    std::vector<ParsedNote> design;
    std::vector<ParsedNote> documents;
};

class DxlReader {
public:
    ParsedDatabase Read(const std::string& text) {
        std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate("UTF-8"), XML_ParserFree);
        XML_SetUserData(parser.get(), this);
        XML_SetElementHandler(parser.get(), &Start, &End);
        XML_SetCharacterDataHandler(parser.get(), &Chars);
        const auto status = XML_Parse(parser.get(), text.data(), static_cast<int>(text.size()), 1);
        EXPECT_EQ(status, XML_STATUS_OK) << XML_ErrorString(XML_GetErrorCode(parser.get())) << " at line "
                                         << XML_GetCurrentLineNumber(parser.get());
        return std::move(result_);
    }

private:
    static std::string Attr(const XML_Char** attrs, const char* name) {
        for (int i = 0; attrs[i]; i += 2)
            if (std::string(attrs[i]) == name) return attrs[i + 1];
        return {};
    }

    static void Start(void* self, const XML_Char* name, const XML_Char** attrs) {
        static_cast<DxlReader*>(self)->OnStart(name, attrs);
    }
    static void End(void* self, const XML_Char* name) { static_cast<DxlReader*>(self)->OnEnd(name); }
    static void Chars(void* self, const XML_Char* text, int length) {
        static_cast<DxlReader*>(self)->chars_.append(text, static_cast<std::size_t>(length));
    }

    void OnStart(const std::string& name, const XML_Char** attrs) {
        chars_.clear();
        if (name == "document" || (name == "note" && Attr(attrs, "class") == "document")) {
            note_ = ParsedNote();
            note_.document = true;
            if (name == "document") note_.values.SetText("Form", Attr(attrs, "form"));
        } else if (name == "view" || name == "folder" || (name == "note" && Attr(attrs, "class") == "view")) {
            note_ = ParsedNote();
            note_.title = Attr(attrs, "name");
            note_.folder = name == "folder";
        } else if (name == "noteinfo") {
            note_.unid = Attr(attrs, "unid");
        } else if (name == "item") {
            item_ = Attr(attrs, "name");
            texts_.clear();
            numbers_.clear();
            times_ = 0;
            raw_.clear();
            rawType_.clear();
        } else if (name == "rawitemdata") {
            rawType_ = Attr(attrs, "type");
        } else if (name == "file") {
            ++note_.files;
        }
    }

    void OnEnd(const std::string& name) {
        if (name == "text" || name == "richtext") texts_.push_back(chars_);
        else if (name == "number") numbers_.push_back(std::stod(chars_));
        else if (name == "datetime") ++times_;
        else if (name == "rawitemdata") raw_ = DecodeBase64(chars_);
        else if (name == "formula") note_.formula = chars_;
        else if (name == "item") EndItem();
        else if (name == "document" || name == "note" || name == "view" || name == "folder") {
            (note_.document ? result_.documents : result_.design).push_back(std::move(note_));
            note_ = ParsedNote();
        }
        chars_.clear();
    }

    void EndItem() {
        if (item_ == "$TITLE") note_.title = texts_.at(0);
        if (item_ == "$Flags") note_.flags = texts_.at(0);
        FormulaValue value;
        if (!numbers_.empty()) value = FormulaValue::NumberList(numbers_);
        else if (times_ > 0) value = FormulaValue::DatetimeList(std::vector<FormulaDatetime>(times_));
        else if (!texts_.empty()) value = FormulaValue::TextList(texts_);
        if (rawType_ == "4") {
            std::vector<std::string> unids;
            for (std::uint32_t i = 0, n = Word(raw_, 0); i < n; ++i) {
                const std::size_t at = 2 + 16 * i;
                unids.push_back(fmt::format("{:08X}{:08X}{:08X}{:08X}", Dword(raw_, at + 4), Dword(raw_, at),
                                            Dword(raw_, at + 12), Dword(raw_, at + 8)));
            }
            if (item_ == "$FolderRefs") note_.folderRefs = unids;
            if (item_ == "$REF") note_.values.SetResponse(true);
        } else if (rawType_ == "502") {
            EXPECT_EQ(Word(raw_, 0), 14u);
            const std::uint32_t format = Dword(raw_, 2) & 0x0F;
            value = format == 1 ? FormulaValue::Datetime({}) : FormulaValue::Text(raw_.substr(14, Word(raw_, 6)));
        } else if (rawType_ == "19") {
            const std::string headers = raw_.substr(20 + Word(raw_, 10), Word(raw_, 12));
            if (headers.find("Content-Disposition: attachment") != std::string::npos) ++note_.mimeAttachments;
        }
        if (rawType_ == "502" || rawType_ == "19")
            note_.rawItems.push_back({item_, static_cast<std::uint16_t>(std::stoi(rawType_, nullptr, 16)), raw_});
        // The first item of a name is the one a formula sees.
        if (!note_.values.HasItem(item_)) note_.values.Set(item_, value);
    }

    ParsedDatabase result_;
    ParsedNote note_;
    std::string chars_, item_, raw_, rawType_;
    std::vector<std::string> texts_;
    std::vector<double> numbers_;
    std::size_t times_ = 0;
};

std::unique_ptr<CompiledFormula> Compile(const std::string& text) {
    FormulaCompileError error;
    auto formula = CompiledFormula::Compile(text, error);
    EXPECT_TRUE(formula) << text << ": " << error.text;
    return formula;
}

long long CountSelected(const ParsedDatabase& db, const std::string& formulaText) {
    const auto formula = Compile(formulaText);
    long long count = 0;
    for (const ParsedNote& note : db.documents) count += formula && formula->Selects(note.values);
    return count;
}

// Entry counts of every view and folder of the database, from the files alone.
std::map<std::string, long long> EntryCounts(const ParsedDatabase& db) {
    std::map<std::string, long long> counts;
    for (const ParsedNote& design : db.design) {
        if (design.flags.find('^') != std::string::npos) continue;
        const bool folder = design.folder || design.flags.find('F') != std::string::npos;
        long long count = 0;
        for (const ParsedNote& note : db.documents) {
            if (folder) {
                for (const std::string& ref : note.folderRefs) count += ref == design.unid;
            }
        }
        counts[design.title] = folder ? count : CountSelected(db, design.formula);
    }
    return counts;
}

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

class SampleGeneratorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new qb::test::TempDir();
        options_.outDir = dir_->File("sample");
        options_.messages = 300;
        options_.seed = 7;
        summary_ = new SampleSummary(GenerateSample(options_));
        mail_ = new ParsedDatabase(DxlReader().Read(qb::test::ReadFile(options_.outDir + "/" + summary_->mailDatabase)));
        names_ = new ParsedDatabase(DxlReader().Read(qb::test::ReadFile(options_.outDir + "/" + summary_->addressBook)));
    }
    static void TearDownTestSuite() {
        delete names_;
        delete mail_;
        delete summary_;
        delete dir_;
    }

    static inline qb::test::TempDir* dir_ = nullptr;
    static inline SampleOptions options_;
    static inline SampleSummary* summary_ = nullptr;
    static inline ParsedDatabase* mail_ = nullptr;
    static inline ParsedDatabase* names_ = nullptr;
};

TEST_F(SampleGeneratorTest, ViewAndFolderCountsMatchTheFiles) {
    const auto mailCounts = EntryCounts(*mail_);
    ASSERT_EQ(mailCounts.size(), summary_->views.size());
    for (const SampleViewCount& view : summary_->views) {
        ASSERT_TRUE(mailCounts.count(view.title)) << view.title;
        EXPECT_EQ(mailCounts.at(view.title), view.entries) << view.title;
    }
    const auto bookCounts = EntryCounts(*names_);
    for (const SampleViewCount& view : summary_->addressBookViews) EXPECT_EQ(bookCounts.at(view.title), view.entries) << view.title;
    EXPECT_EQ(static_cast<long long>(mail_->documents.size()), summary_->mailDocuments);
    EXPECT_EQ(static_cast<long long>(names_->documents.size()), summary_->addressBookDocuments);
    // The special folders and views, nested folders and hidden ones all hold documents.
    for (const char* title : {"($Inbox)", "($Sent)", "($Drafts)", "($All)", "($Calendar)", "($ToDo)", "($Trash)",
                              "Projects\\Alpha\\Specs", "Archive\\2023", "(Hidden Folder)", "Views\\With Attachments"})
        EXPECT_GT(mailCounts.at(title), 0) << title;
    EXPECT_EQ(mailCounts.at("($All)"), summary_->mailDocuments);
}

TEST_F(SampleGeneratorTest, ComponentCountsAreWhatTheSearchesSelect) {
    EXPECT_EQ(CountSelected(*mail_, kCalendarSearch), summary_->calendar);
    EXPECT_EQ(CountSelected(*mail_, kTaskSearch), summary_->tasks);
    EXPECT_EQ(CountSelected(*names_, kContactSearch), summary_->contacts);
    EXPECT_EQ(CountSelected(*names_, kGroupSearch), summary_->groups);
    // Each search leaves something out on purpose: an entry without
    // CalendarDateTime, hidden and repeat-parent tasks, non-contact forms.
    EXPECT_LT(summary_->calendar, CountSelected(*mail_, R"(Form = "Appointment")"));
    EXPECT_LT(summary_->tasks, CountSelected(*mail_, R"(Form = "Task")"));
    EXPECT_LT(summary_->contacts + summary_->groups, static_cast<long long>(names_->documents.size()));
    EXPECT_GT(CountSelected(*names_, R"(Form = "Contact")"), 0);
}

TEST_F(SampleGeneratorTest, AttachmentsAndMailFeaturesArePresent) {
    long long files = 0, mime = 0;
    for (const ParsedNote& note : mail_->documents) {
        files += note.files;
        mime += note.mimeAttachments;
    }
    EXPECT_EQ(files, summary_->fileAttachments);
    EXPECT_EQ(mime, summary_->mimeAttachments);
    const std::string text = qb::test::ReadFile(options_.outDir + "/" + summary_->mailDatabase);
    for (const char* feature : {"name='setup.exe'", "name='notes: draft?*.txt'", "<doclink ", "<picture ", "<gif>",
                                "<attachmentref ", "style='bold'", "<rawitemdata type='19'>", "name='$Seal'",
                                "seal='true'", "name='BlindCopyTo'", "@PartnerDomain", "name='Repeats'",
                                "name='NoticeType'", "name='$AlarmOffset'", "name='CompletedDateTime'",
                                "<note class='view'>", "<folder name='Projects\\Alpha'", "dst='true'"})
        EXPECT_NE(text.find(feature), std::string::npos) << feature;
}

// The MIME memos decoded by the MIME reader, which was built on mail that
// Notes itself itemised.
TEST_F(SampleGeneratorTest, MimeMemosDecodeToTheirMessages) {
    int memos = 0, attachments = 0;
    for (const ParsedNote& note : mail_->documents) {
        if (note.rawItems.empty()) continue;
        ++memos;
        const qb::mime::MimeMessage message = qb::mime::ParseNotesMime(note.rawItems);
        EXPECT_TRUE(message.warnings.empty()) << message.warnings.front();
        EXPECT_FALSE(message.Subject().empty());
        const qb::mime::MessageContent content = qb::mime::ExtractContent(message.root);
        EXPECT_FALSE(content.plainText.empty());
        attachments += static_cast<int>(content.attachments.size());
        EXPECT_EQ(static_cast<int>(content.attachments.size()), note.mimeAttachments);
    }
    EXPECT_GE(memos, 2);
    EXPECT_EQ(attachments, summary_->mimeAttachments);
}

TEST_F(SampleGeneratorTest, ManifestAndIniFilesDescribeTheData) {
    const std::string manifest = qb::test::ReadFile(options_.outDir + "/manifest.json");
    EXPECT_NE(manifest.find("\"mail_database\": \"data/mail/jdoe.dxl\""), std::string::npos);
    EXPECT_NE(manifest.find("\"address_book\": \"data/names.dxl\""), std::string::npos);
    for (const SampleViewCount& view : summary_->views)
        EXPECT_NE(manifest.find(Json(view.title) + ": " + std::to_string(view.entries)), std::string::npos) << view.title;
    EXPECT_NE(manifest.find(fmt::format("\"components\": {{\"calendar\": {}, \"tasks\": {}, \"contacts\": {}, \"groups\": {}}}",
                                        summary_->calendar, summary_->tasks, summary_->contacts, summary_->groups)),
              std::string::npos);
    EXPECT_NE(manifest.find(fmt::format("\"attachments\": {},", summary_->fileAttachments + summary_->mimeAttachments)),
              std::string::npos);

    const std::string notesIni = options_.outDir + "/notes.ini";
    const std::string dataDir = qb::platform::GetPrivateProfileString("Notes", "Directory", "", 15000, notesIni);
    EXPECT_EQ(qb::platform::GetPrivateProfileString("Notes", "MailFile", "", 15000, notesIni), "mail/jdoe.dxl");
    EXPECT_EQ(qb::platform::GetPrivateProfileString("Notes", "Names", "", 15000, notesIni), "names.dxl");
    EXPECT_FALSE(qb::test::ReadFile(dataDir + "/mail/jdoe.dxl").empty());
    // Quillbox.ini as the program loads it.
    qb::ExportSettings settings;
    qb::SettingsStore(options_.outDir + "/Quillbox.ini").Load(settings);
    EXPECT_EQ(settings.Components, (std::vector<std::string>{"Mail", "Calendar", "Tasks", "Contacts"}));
    EXPECT_EQ(settings.IniFilePath, notesIni);
    EXPECT_EQ(settings.MailFile, "mail/jdoe.dxl");
    EXPECT_EQ(settings.AddressBookFile, "names.dxl");
    EXPECT_EQ(settings.ContactsFormat, 0);
    EXPECT_TRUE(settings.LogExport);
}

TEST(SampleGenerator, SameSeedSameFilesOtherSeedOtherFiles) {
    qb::test::TempDir dir;
    SampleOptions options;
    options.messages = 40;
    options.seed = 3;
    options.outDir = dir.File("a");
    GenerateSample(options);
    options.outDir = dir.File("b");
    GenerateSample(options);
    options.outDir = dir.File("c");
    options.seed = 4;
    GenerateSample(options);
    for (const char* file : {"/data/mail/jdoe.dxl", "/data/names.dxl", "/manifest.json"})
        EXPECT_EQ(qb::test::ReadFile(dir.File("a") + file), qb::test::ReadFile(dir.File("b") + file)) << file;
    EXPECT_NE(qb::test::ReadFile(dir.File("a") + "/data/mail/jdoe.dxl"),
              qb::test::ReadFile(dir.File("c") + "/data/mail/jdoe.dxl"));
}

TEST(SampleGenerator, EmptyMailboxStillHasEveryViewAndComponent) {
    qb::test::TempDir dir;
    SampleOptions options;
    options.messages = 0;
    options.outDir = dir.File("empty");
    const SampleSummary summary = GenerateSample(options);
    EXPECT_GT(summary.calendar, 0);
    EXPECT_GT(summary.tasks, 0);
    const ParsedDatabase mail = DxlReader().Read(qb::test::ReadFile(options.outDir + "/" + summary.mailDatabase));
    EXPECT_EQ(static_cast<long long>(mail.documents.size()), summary.mailDocuments);
}

}  // namespace

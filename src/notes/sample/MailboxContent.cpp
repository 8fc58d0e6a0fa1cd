#include "notes/sample/MailboxContent.h"

#include <fmt/format.h>

#include "text/Base64.h"
#include "text/TextCase.h"

#include <algorithm>

namespace qb::notes::sample {
namespace {


const std::vector<std::string>& Subjects() {
    static const std::vector<std::string> subjects = {
        "Quarterly figures",      "Re: Meeting notes",   "Lunch on Friday?",   "Contract draft v2",
        "Urgent: server outage",  "Travel plans",        "Your invoice",       "Fwd: Product launch",
        "Weekly status",          "Angebot & Preise",    "Café order <urgent>", "Reminder: timesheets",
    };
    return subjects;
}

const std::vector<std::string>& Sentences() {
    static const std::vector<std::string> sentences = {
        "Please find the latest numbers below.",
        "Let me know if anything is unclear.",
        "We agreed to move the deadline by one week.",
        "The customer asked for a revised quote & a delivery date.",
        "Grüße aus Hamburg — see you soon.",
        "Attached are the documents we discussed.",
        "Can you confirm the room booking for Tuesday?",
        "Thanks for the quick reply!",
    };
    return sentences;
}

// Names chosen to exercise the safe-file-name rules: reserved characters,
// non-ASCII, no extension, a long name and an executable.
const std::vector<std::string>& AttachmentNames() {
    static const std::vector<std::string> names = {
        "report.pdf",
        "Quarterly Results (final).xlsx",
        "setup.exe",
        "notes: draft?*.txt",
        "Übersicht_Grüße.docx",
        "README",
        "a very long attachment name that goes on and on to test the limits of file names.txt",
        "photo.JPG",
        "archive.tar.gz",
        "tool.EXE",
    };
    return names;
}

std::string FileContent(SampleRandom& random, const std::string& name, int size) {
    std::string content;
    content.reserve(size);
    const std::string lower = text::ToLower(name);
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".exe") == 0) content = "MZ";
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".pdf") == 0) content = "%PDF-1.4\n";
    while (static_cast<int>(content.size()) < size) content += static_cast<char>(random.Next() & 0xFF);
    return content;
}

std::string Base64Lines(const std::string& bytes) {
    const std::string encoded = text::EncodeBase64(bytes);
    std::string out;
    for (char c : encoded) {
        if (c == '\n') out += "\r\n";
        else out += c;
    }
    return out + "\r\n";
}

}  // namespace

MailboxContent::MailboxContent(SampleRandom& random, SampleDatabase& database)
    : random_(random), db_(database), calendar_(random, database) {}

void MailboxContent::DefineCatalogue() {
    db_.AddFolder("($Inbox)", false);
    db_.AddView("($Sent)", R"(SELECT @IsAvailable(PostedDate) & @IsUnavailable(DeliveredDate) & Form = "Memo":"Reply")",
                "", false);
    db_.AddView("($Drafts)",
                R"(SELECT @IsUnavailable(PostedDate) & @IsUnavailable(DeliveredDate) & Form = "Memo":"Reply")", "",
                false);
    allViewUnid_ = db_.AddView("($All)", R"(SELECT Form = "Memo":"Reply":"Notice":"Appointment":"Task")", "", false);
    db_.AddView("($Calendar)", R"(SELECT @IsAvailable(CalendarDateTime) & Form = "Appointment")", "c", true);
    db_.AddView("($ToDo)", R"(SELECT Form = "Task" & !(ExcludeFromView = "T"))", "", false);
    db_.AddView("($Meetings)", R"(SELECT Form = "Appointment" & AppointmentType = "3")", "c", true);
    db_.AddView("($Alarms)", R"(SELECT Alarms = "1")", "", false);
    db_.AddFolder("($Trash)", true);
    db_.AddView("(Discussion Threads)", R"(SELECT @IsResponseDoc | Form = "Reply")", "", true);
    db_.AddView("(Rules\\Archive)", R"(SELECT @Contains(Categories; "Archive"))", "", true);
    db_.AddView("Views\\With Attachments", "SELECT @IsAvailable($FILE)", "", false);
    db_.AddView("Views\\By Category", R"(SELECT @IsAvailable(Categories) & Categories != "")", "", false);
    db_.AddView("Important", R"(SELECT Importance = "1")", "", true);
    db_.AddSharedColumn("Shared Date Column");
    for (const char* title : {"Projects", "Projects\\Alpha", "Projects\\Alpha\\Specs", "Projects\\Beta",
                              "Archive\\2023", "Personal", "Receipts & Invoices", "Reisen ✈ Travel",
                              "(Hidden Folder)"}) {
        const bool noteForm = std::string(title) == "Projects\\Alpha\\Specs" || title[0] == '(';
        userFolders_.push_back(db_.AddFolder(title, noteForm));
    }
}

void MailboxContent::WriteDocuments(const MailboxSize& size) {
    // Interleaved, as documents arrive in a real mailbox over time.
    const long long total = size.messages + size.calendarEntries + size.tasks + size.notices;
    long long memo = 0, entry = 0, task = 0, notice = 0;
    for (long long i = 0; i < total; ++i) {
        const long long remaining = total - i;
        const auto pick = static_cast<long long>(random_.Next() % static_cast<std::uint64_t>(remaining));
        if (pick < size.messages - memo) WriteMemo(memo++, size.messages);
        else if (pick < size.messages - memo + size.calendarEntries - entry) calendar_.WriteEntry(entry++);
        else if (pick < size.messages - memo + size.calendarEntries - entry + size.tasks - task) calendar_.WriteTask(task++);
        else WriteNotice(notice++);
    }
}

SampleDocument MailboxContent::NewDocument(const std::string& form, const SampleTime& created, bool noteForm) {
    return NewMailboxDocument(random_, db_, form, created, noteForm);
}

void MailboxContent::Remember(const std::string& unid) {
    recentUnids_.push_back(unid);
    if (recentUnids_.size() > 32) recentUnids_.pop_front();
}

const SamplePerson& MailboxContent::SomeoneElse() { return random_.Pick(SamplePeople()); }

std::vector<std::string> MailboxContent::Recipients(int minimum, int maximum, bool withOwner) {
    std::vector<std::string> list;
    if (withOwner) list.push_back(MailboxOwner().notesName);
    const int count = random_.Between(minimum, maximum);
    for (int i = 0; i < count; ++i) {
        std::string address = random_.Chance(10) ? std::string("Sales Team") : SomeoneElse().Address();
        if (random_.Chance(15)) address = SomeoneElse().internet;  // bare Internet address
        if (std::find(list.begin(), list.end(), address) == list.end()) list.push_back(address);
    }
    return list;
}

RichParagraph MailboxContent::StyledParagraph(long long index) {
    RichParagraph paragraph;
    RichRun plain;
    plain.text = random_.Pick(Sentences()) + " ";
    paragraph.runs.push_back(plain);
    RichRun bold;
    bold.text = "Important:";
    bold.style = "bold";
    paragraph.runs.push_back(bold);
    RichRun colored;
    colored.text = fmt::format(" item {} ", index);
    colored.style = index % 2 ? "italic underline" : "italic";
    colored.color = index % 3 ? "red" : "#0000ff";
    colored.sizePoints = 12 + static_cast<int>(index % 3) * 2;
    colored.fontName = index % 2 ? "Arial" : "Courier New";
    paragraph.runs.push_back(colored);
    plain.text = random_.Pick(Sentences());
    paragraph.runs.push_back(plain);
    return paragraph;
}

std::vector<SampleFile> MailboxContent::Attachments(long long index, const SampleTime& when, bool forced) {
    std::vector<SampleFile> files;
    if (!forced && !random_.Chance(15)) return files;
    const std::vector<std::string>& names = AttachmentNames();
    const int count = forced ? static_cast<int>(names.size()) : random_.Between(1, 3);
    for (int i = 0; i < count; ++i) {
        SampleFile file;
        file.name = forced ? names[i] : names[(index + i * 3) % names.size()];
        bool duplicate = false;
        for (const SampleFile& other : files) duplicate |= other.name == file.name;
        if (duplicate) continue;
        file.content = FileContent(random_, file.name, random_.Between(64, 2000));
        file.created = when;
        files.push_back(std::move(file));
    }
    return files;
}

void MailboxContent::AddBody(SampleDocument& doc, int bodyKind, long long index, std::vector<SampleFile>& files) {
    if (bodyKind == kPlainBody) {
        SampleItem& body = doc.AddText("Body", random_.Pick(Sentences()) + "\n" + random_.Pick(Sentences()));
        body.summary = false;
        return;
    }
    if (doc.noteForm && index % 10 == 9 && files.empty() && bodyKind == kRichBody) {
        // Rich text in its stored form, as a raw DXL export carries it.
        SampleItem& body = doc.Add("Body", ItemKind::RichText);
        body.rawRecords = true;
        RichParagraph first;
        RichRun run;
        run.text = "This is normal text.";
        first.runs.push_back(run);
        run.text = " And this is bold.";
        run.style = "bold";
        first.runs.push_back(run);
        body.paragraphs.push_back(first);
        RichParagraph second;
        run.text = fmt::format("Monospaced red text of message {}", index);
        run.style = "italic underline";
        run.fontName = "Courier New";
        run.color = "red";
        run.sizePoints = 12;
        second.runs.push_back(run);
        body.paragraphs.push_back(second);
        return;
    }
    SampleItem& body = doc.Add("Body", ItemKind::RichText);
    body.sealed = bodyKind == kEncryptedReadable;
    body.paragraphs.push_back(StyledParagraph(index));
    RichParagraph second;
    RichRun run;
    run.text = random_.Pick(Sentences());
    second.runs.push_back(run);
    body.paragraphs.push_back(second);
    if ((index == 1 || random_.Chance(10)) && !recentUnids_.empty()) {
        RichParagraph link;
        RichRun text;
        text.text = "See the earlier message: ";
        link.runs.push_back(text);
        RichRun doclink;
        doclink.kind = RichRun::Kind::DocLink;
        doclink.text = "Earlier message";
        doclink.replicaId = db_.replicaId();
        doclink.viewUnid = allViewUnid_;
        doclink.documentUnid = recentUnids_[random_.Below(static_cast<std::uint32_t>(recentUnids_.size()))];
        link.runs.push_back(doclink);
        body.paragraphs.push_back(link);
    }
    if (index == 1 || random_.Chance(8)) {
        RichParagraph picture;
        picture.align = "center";
        RichRun image;
        image.kind = RichRun::Kind::Picture;
        image.gif = SampleGif();
        image.width = image.height = 1;
        picture.runs.push_back(image);
        body.paragraphs.push_back(picture);
    }
    for (const SampleFile& file : files) {
        RichParagraph paragraph;
        RichRun ref;
        ref.kind = RichRun::Kind::AttachmentRef;
        ref.text = file.name;
        paragraph.runs.push_back(ref);
        body.paragraphs.push_back(paragraph);
    }
    RichParagraph signature;
    signature.align = "right";
    RichRun name;
    name.text = "-- " + MailboxOwner().FullName();
    name.style = "italic";
    signature.runs.push_back(name);
    body.paragraphs.push_back(signature);
}

void MailboxContent::AddMimeMessage(SampleDocument& doc, const SamplePerson& from, const std::vector<std::string>& to,
                                    const SampleTime& posted, const std::string& subject, bool withAttachment) {
    auto header = [&](const std::string& item, const std::string& native, const std::string& name,
                      const std::string& raw) {
        SampleItem& h = doc.Add(item, ItemKind::Rfc822Text);
        h.texts = {native, name, raw};
        h.summary = true;
    };
    doc.AddText("$NoteHasNativeMIME", "1");
    header("MIME_Version", "1.0", "MIME-Version", "1.0");
    header("From", from.Address(), "From", from.Address());
    header("SendTo", to.front(), "To", to.front());
    header("Subject", subject, "Subject", subject);
    header("$MessageID", fmt::format("<{}@mail.example.com>", doc.unid), "Message-ID",
           fmt::format("<{}@mail.example.com>", doc.unid));
    SampleItem& date = doc.Add("PostedDate", ItemKind::Rfc822Date);
    date.times = {posted};
    date.texts = {"", "Date", posted.Rfc822Text()};
    date.summary = true;

    auto part = [&](int type, std::string boundary, std::string headers, std::string body) {
        SampleItem& p = doc.Add("Body", ItemKind::MimePart);
        p.numbers = {static_cast<double>(type)};
        p.texts = {std::move(boundary), std::move(headers), std::move(body)};
        p.sealed = false;
    };
    const std::string text = random_.Pick(Sentences()) + "\r\n" + random_.Pick(Sentences()) + "\r\n";
    if (!withAttachment) {
        part(2, "", "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n", text);
        return;
    }
    const std::string boundary = "==Quillbox_" + doc.unid.substr(0, 8) + "==";
    part(1, "", "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n",
         "This is a multi-part message in MIME format.\r\n");
    part(2, "--" + boundary + "\r\n", "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n",
         text);
    part(2, "--" + boundary + "\r\n",
         "Content-Type: image/gif\r\nContent-ID: <logo@quillbox>\r\nContent-Disposition: inline; filename=\"logo.gif\"\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\n",
         Base64Lines(SampleGif()));
    const std::string name = random_.Chance(50) ? "quote.pdf" : "Preisliste 2024.xlsx";
    part(2, "--" + boundary + "\r\n",
         "Content-Type: application/octet-stream; name=\"" + name + "\"\r\nContent-Disposition: attachment; filename=\"" +
             name + "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n",
         Base64Lines(FileContent(random_, name, random_.Between(100, 1500))));
    part(3, "--" + boundary + "--\r\n", "", "");
}

MemoShape MailboxContent::ChooseMemoShape(long long index) {
    // The first ten memos show one feature each; the rest are mixed.
    MemoShape shape;
    switch (index) {
    case 0: shape.bodyKind = kPlainBody; break;
    case 1: case 2: break;
    case 3: case 4: shape.bodyKind = kMimeBody; break;
    case 5: shape.bodyKind = kEncryptedReadable; break;
    case 6: shape.bodyKind = kEncryptedUnreadable; break;
    case 7: shape.state = kSent; break;
    case 8: shape.state = kDraft; break;
    case 9: shape.reply = true; break;
    default: {
        const auto r = random_.Below(100);
        shape.state = r < 62 ? kReceived : r < 88 ? kSent : kDraft;
        const auto b = random_.Below(100);
        shape.bodyKind = b < 20 ? kPlainBody : b < 82 ? kRichBody : b < 94 ? kMimeBody
                         : b < 97 ? kEncryptedReadable : kEncryptedUnreadable;
        if (shape.bodyKind == kMimeBody && shape.state != kReceived) shape.bodyKind = kRichBody;
        shape.reply = random_.Chance(12) && !recentUnids_.empty();
    }
    }
    return shape;
}

void MailboxContent::AddNotesHeaders(SampleDocument& doc, const MemoShape& shape, long long index,
                                     const SamplePerson& sender, const std::string& subject, const SampleTime& posted) {
    doc.AddText("From", sender.Address());
    if (!sender.notesName.empty() || random_.Chance(30)) doc.AddText("INetFrom", sender.internet);
    const bool allClasses = index == 7 || index == 8 || random_.Chance(30);
    doc.AddTextList("SendTo", Recipients(1, 4, shape.state == kReceived));
    if (allClasses || random_.Chance(40)) doc.AddTextList("CopyTo", Recipients(1, 3, false));
    if (allClasses && shape.state != kReceived) doc.AddTextList("BlindCopyTo", Recipients(1, 2, false));
    if (random_.Chance(10)) doc.AddText("Principal", SomeoneElse().Address());
    if (random_.Chance(10)) doc.AddText("ReplyTo", SomeoneElse().Address());
    doc.AddText("Subject", subject);
    // Some received mail comes through gateways that keep no posting date.
    const bool deliveredOnly = shape.state == kReceived && index >= 10 && index % 13 == 6;
    if (shape.state != kDraft && !deliveredOnly) doc.AddTimes("PostedDate", {posted});
    if (shape.state == kReceived) doc.AddTimes("DeliveredDate", {posted.PlusMinutes(random_.Between(1, 45))});
}

// An encrypted memo exported by someone who cannot decrypt it: the seal
// and the encrypted data, no body.
void MailboxContent::AddUnreadableSeal(SampleDocument& doc) {
    doc.AddText("Encrypt", "1");
    doc.AddTextList("PublicEncryptionKeys", {SamplePeople()[5].notesName});
    SampleItem& seal = doc.Add("$Seal", ItemKind::Raw);
    seal.rawType = "9";
    for (int i = 0; i < 96; ++i) seal.rawData += static_cast<char>(random_.Next() & 0xFF);
    SampleItem& sealData = doc.Add("$SealData", ItemKind::Raw);
    sealData.rawType = "a";
    for (int i = 0; i < 256; ++i) sealData.rawData += static_cast<char>(random_.Next() & 0xFF);
}

// Every user folder gets a document early on; received mail mostly sits in
// the Inbox, some in user folders or the trash.
std::vector<std::string> MailboxContent::FoldersFor(long long index, int state) {
    const std::string inbox = db_.UnidOf("($Inbox)");
    if (index >= 10 && index < 10 + static_cast<long long>(userFolders_.size()))
        return {userFolders_[static_cast<std::size_t>(index - 10)]};
    const auto r = random_.Below(100);
    if (state == kReceived) {
        if (r < 65) return {inbox};
        if (r < 85) return {random_.Pick(userFolders_)};
        if (r < 92) return {db_.UnidOf("($Trash)")};
        return {inbox, db_.UnidOf("Projects\\Alpha")};
    }
    if (state == kSent && r < 12) return {random_.Pick(userFolders_)};
    if (state == kSent && r < 15) return {db_.UnidOf("($Trash)")};
    return {};
}

void MailboxContent::WriteMemo(long long index, long long total) {
    // Spread over three and a half years, in order.
    const std::int64_t spanMinutes = 3LL * 365 * 24 * 60 + 182LL * 24 * 60;
    const std::int64_t step = std::max<std::int64_t>(1, spanMinutes / std::max<long long>(total, 1));
    const SampleTime created =
        SampleTime::Local(2023, 1, 2, 8, 0).PlusMinutes(index * step + random_.Below(static_cast<std::uint32_t>(step)));
    const MemoShape shape = ChooseMemoShape(index);
    const bool noteForm = shape.bodyKind == kMimeBody || index % 5 == 4;
    SampleDocument doc = NewDocument(shape.reply ? "Reply" : "Memo", created, noteForm);
    const SamplePerson& sender = shape.state == kReceived ? SomeoneElse() : MailboxOwner();
    const std::string subject = (shape.reply ? "Re: " : "") +
                                Subjects()[static_cast<std::size_t>(index) % Subjects().size()] +
                                fmt::format(" [{}]", index);
    std::vector<SampleFile> files = Attachments(index, created, index == 2);
    if (shape.bodyKind == kMimeBody || shape.bodyKind == kEncryptedUnreadable) files.clear();

    if (shape.bodyKind == kMimeBody) {
        AddMimeMessage(doc, sender, Recipients(1, 1, true), created, subject, index == 3 || random_.Chance(40));
        doc.AddTimes("DeliveredDate", {created.PlusMinutes(random_.Between(1, 45))});
        doc.AddText("SMTPOriginator", sender.internet);
    } else {
        AddNotesHeaders(doc, shape, index, sender, subject, created);
        if (shape.bodyKind == kEncryptedUnreadable) {
            AddUnreadableSeal(doc);
        } else {
            if (shape.bodyKind == kEncryptedReadable) {
                doc.AddText("Encrypt", "1");
                doc.AddTextList("PublicEncryptionKeys", {MailboxOwner().notesName});
            }
            AddBody(doc, shape.bodyKind, index, files);
        }
    }
    doc.AddText("Importance", index % 7 == 0 ? "1" : index % 7 == 3 ? "3" : "2");
    if (random_.Chance(15)) doc.AddTextList("Categories", {random_.Chance(50) ? "Archive" : "Customers", "2024"});
    if (shape.reply && !recentUnids_.empty()) {
        SampleItem& ref = doc.Add("$REF", ItemKind::NoteRefs);
        ref.texts = {recentUnids_.back()};
        ref.summary = true;
    }
    for (SampleFile& file : files) {
        SampleItem& item = doc.Add("$FILE", ItemKind::File);
        item.file = std::move(file);
        item.summary = true;
        item.sealed = shape.bodyKind == kEncryptedReadable;
    }
    if (std::vector<std::string> folders = FoldersFor(index, shape.state); !folders.empty()) {
        SampleItem& refs = doc.Add("$FolderRefs", ItemKind::NoteRefs);
        refs.texts = std::move(folders);
    }
    db_.Write(doc);
    Remember(doc.unid);
}

void MailboxContent::WriteNotice(long long index) {
    const SampleTime created = SampleTime::Local(2024, 1, 10, 12, 0).PlusDays(static_cast<int>(index % 800));
    SampleDocument doc = NewDocument("Notice", created, false);
    const SamplePerson& from = SamplePeople()[static_cast<std::size_t>(index) % 5];
    doc.AddText("NoticeType", "A");
    doc.AddText("Subject", fmt::format("Accepted: Project kick-off ({})", index));
    doc.AddText("From", from.notesName);
    doc.AddTextList("SendTo", {MailboxOwner().notesName});
    doc.AddTimes("PostedDate", {created});
    doc.AddTimes("DeliveredDate", {created.PlusMinutes(2)});
    SampleItem& refs = doc.Add("$FolderRefs", ItemKind::NoteRefs);
    refs.texts = {db_.UnidOf("($Inbox)")};
    db_.Write(doc);
}

}  // namespace qb::notes::sample

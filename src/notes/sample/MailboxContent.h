#pragma once
// The mail database of the sample: its views and folders, and its
// documents — mail memos in every state and body kind, calendar entries,
// tasks and acceptance notices — generated one at a time and handed to the
// SampleDatabase, which writes and counts them.

#include <deque>
#include <string>
#include <vector>

#include "notes/sample/CalendarContent.h"
#include "notes/sample/SampleDatabase.h"
#include "notes/sample/SamplePeople.h"

namespace qb::notes::sample {

struct MailboxSize {
    long long messages = 0;
    long long calendarEntries = 0;
    long long tasks = 0;
    long long notices = 0;
};

enum MailState { kReceived = 0, kSent = 1, kDraft = 2 };
enum BodyKind { kPlainBody, kRichBody, kMimeBody, kEncryptedReadable, kEncryptedUnreadable };

// What kind of memo to write: its state, body and whether it answers another.
struct MemoShape {
    int state = kReceived;
    int bodyKind = kRichBody;
    bool reply = false;
};

class MailboxContent {
public:
    MailboxContent(SampleRandom& random, SampleDatabase& database);

    // Declares the views and folders; call before the database is opened.
    void DefineCatalogue();
    void WriteDocuments(const MailboxSize& size);

private:
    void WriteMemo(long long index, long long total);
    MemoShape ChooseMemoShape(long long index);
    void AddNotesHeaders(SampleDocument& doc, const MemoShape& shape, long long index, const SamplePerson& sender,
                         const std::string& subject, const SampleTime& posted);
    void AddUnreadableSeal(SampleDocument& doc);
    std::vector<std::string> FoldersFor(long long index, int state);
    void WriteNotice(long long index);

    SampleDocument NewDocument(const std::string& form, const SampleTime& created, bool noteForm);
    std::vector<std::string> Recipients(int minimum, int maximum, bool withOwner);
    const SamplePerson& SomeoneElse();
    void AddBody(SampleDocument& doc, int bodyKind, long long index, std::vector<SampleFile>& files);
    RichParagraph StyledParagraph(long long index);
    std::vector<SampleFile> Attachments(long long index, const SampleTime& when, bool forced);
    void AddMimeMessage(SampleDocument& doc, const SamplePerson& from, const std::vector<std::string>& to,
                        const SampleTime& posted, const std::string& subject, bool withAttachment);
    void Remember(const std::string& unid);

    SampleRandom& random_;
    SampleDatabase& db_;
    std::vector<std::string> userFolders_;
    std::string allViewUnid_;
    std::deque<std::string> recentUnids_;
    CalendarContent calendar_;
};

}  // namespace qb::notes::sample

#pragma once
// Writes a Notes database as DXL, one note at a time, in either of the two
// DXL forms: the formatted form (<document>, <view>, <folder>) and the note
// form (<note class=...> holding only <item>s). Values Notes exports only
// in binary (note references, Internet headers, MIME parts, seals) are
// written as <rawitemdata> in the canonical layout of the Notes C API.

#include <ostream>
#include <string>

#include "notes/sample/SampleDocument.h"

namespace qb::notes::sample {

struct DatabaseInfo {
    std::string title;
    std::string replicaId;  // 16 hex digits
    std::string path;       // as Notes shows it, e.g. "mail\\jdoe.nsf"
    SampleTime created;
};

class DxlWriter {
public:
    explicit DxlWriter(std::ostream& out) : out_(out) {}

    void BeginDatabase(const DatabaseInfo& info);
    void WriteNote(const SampleDocument& note);
    void EndDatabase();

private:
    void NoteInfo(const SampleDocument& note);
    void DesignNote(const SampleDocument& note);
    void Item(const SampleItem& item);
    void ItemValue(const SampleItem& item);
    void Datetime(const SampleTime& time);
    void RichText(const SampleItem& item);
    void Run(const RichRun& run);
    void File(const SampleFile& file);
    void Raw(const std::string& type, const std::string& bytes);

    std::ostream& out_;
};

// The binary layouts behind <rawitemdata>.
std::string NoteRefListBytes(const std::vector<std::string>& unids);
std::string Rfc822ItemBytes(const SampleItem& item);
std::string MimePartBytes(const SampleItem& item);
std::string CompositeBytes(const SampleItem& item);

}  // namespace qb::notes::sample

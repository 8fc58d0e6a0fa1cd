#pragma once
// The Body item of a mail document turned into what the message needs: the
// plain text always; for rich text also the RTF body (BodyFormat 1) and the
// pictures as TIFF attachments (AttachImages). A body of a type the reader
// does not know is read again from a copy in the scratch database, and
// failing that from its raw bytes.

#include <cstdint>
#include <functional>
#include <string>

#include "convert/FieldText.h"
#include "convert/ScratchDatabase.h"
#include "notes/api/LNNote.h"
#include "shell/platform/RecycledFiles.h"

namespace qb {

class ExportLog;
class MessageRecord;
struct ExportSettings;

inline constexpr const char* kNoBodyText = "(This message contains no body text)";
// How much of an unknown body is read, and the header skipped in front of it.
inline constexpr std::size_t kRawBodyReadLimit = 10000;
inline constexpr std::size_t kRawBodyHeaderSize = 22;

struct BodyContext {
    const ExportSettings& settings;
    const ExportLog& log;
    std::string tempFolder;             // the private per-user temporary folder
    const std::int32_t& exportedCount;  // numbers the RTF files
    ScratchDatabase& scratch;
    std::function<void(const std::string&)> reportFieldTextFailure;
    platform::RecycledFiles* recycled = nullptr;  // the run's kept files; null: none kept
};

class BodyConverter {
public:
    BodyConverter(const BodyContext& context, std::int32_t& stepCode) : context_(context), step_(stepCode) {}

    // Fills `bodyText`, the record's rich text flag and, for rich text, its
    // RTF body and picture files. `document` may be replaced by its copy in
    // the scratch database; DeleteScratchCopy removes that copy again.
    void ConvertBody(LNDocument& document, MessageRecord& record, std::string& bodyText);

    bool HasScratchCopy() const { return hasScratchCopy_; }
    void DeleteScratchCopy(const LNDocument& copy);

    // Pictures exported from the last rich text body (numbering restarts per document).
    int pictureCount() const { return pictureNumber_; }

    // True when part of the body (its RTF form, a picture, or the body
    // itself) could not be exported.
    bool lostPart() const { return lostPart_; }
    // The temporary folder refused a file of the body (full, broken, not
    // writable): the system's reason with the path. Empty otherwise.
    const std::string& writeFailure() const { return writeFailure_; }

private:
    void RichTextBody(const LNDocument& document, MessageRecord& record, std::string& bodyText);
    void ExportRtf(const LNRichText& body, MessageRecord& record);
    void ExportPictures(const LNRichText& body, MessageRecord& record);
    void ExportPicture(const LNRichText& body, const LNRTCursor& at, MessageRecord& record);
    // True when the document now is a copy in the scratch database.
    bool CopyToScratch(LNDocument& document);
    std::string RawBody(const LNDocument& document);
    void Step(std::int32_t value) { step_ = value; }
    // A failed export of the body's RTF or of a picture: a failure of the
    // file itself is the temporary folder's.
    void ExportFailed(LNSTATUS status, const std::string& what);

    const BodyContext& context_;
    std::int32_t& step_;
    int pictureNumber_ = 0;
    int attempts_ = 0;
    bool hasScratchCopy_ = false;
    bool lostPart_ = false;
    std::string writeFailure_;
};

}  // namespace qb

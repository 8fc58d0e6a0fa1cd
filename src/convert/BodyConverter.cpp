#include "convert/BodyConverter.h"

#include <fmt/format.h>

#include <algorithm>
#include <vector>

#include "notes/NotesErrorText.h"
#include "notes/api/NotesCore.h"
#include "outlook/MessageRecord.h"
#include "shell/log/ExportLog.h"
#include "shell/platform/FileInfo.h"
#include "shell/platform/Paths.h"
#include "shell/settings/ExportSettings.h"

namespace qb {
namespace {

constexpr const char* kBodyItem = "Body";
constexpr const char* kRtfWarning = "....~#>Warning unable to export body in RTF format\n";

}  // namespace

void BodyConverter::ConvertBody(LNDocument& document, MessageRecord& record, std::string& bodyText) {
    pictureNumber_ = 0;
    attempts_ = 0;
    hasScratchCopy_ = false;
    lostPart_ = false;
    writeFailure_.clear();
    for (;;) {
        Step(900);
        if (!document.HasItem(kBodyItem)) {
            bodyText = kNoBodyText;
            return;
        }
        LNITEMTYPE type = TYPE_INVALID_OR_UNKNOWN;
        document.GetItemType(kBodyItem, &type);
        if (type == TYPE_COMPOSITE) {
            RichTextBody(document, record, bodyText);
        } else if (type == TYPE_TEXT_LIST) {
            Step(920);
            LNText values;
            document.GetItem(kBodyItem, &values);
            bodyText.clear();
            for (const LNString& value : values.GetTexts()) {
                if (!bodyText.empty()) bodyText.push_back('\n');
                bodyText += value;
            }
        } else if (type == TYPE_INVALID_OR_UNKNOWN) {
            Step(925);
            if (CopyToScratch(document)) continue;
            Step(926);
            context_.log.Write("....Error: Unsupported body type - Body not exported\n");
            lostPart_ = true;
            Step(927);
            bodyText = RawBody(document);
        } else {
            Step(930);
            bodyText = GetFieldText(document.GetNoteHandle(), kBodyItem, ';',
                                    {context_.settings.ExportDocLinks, context_.reportFieldTextFailure});
        }
        return;
    }
}

void BodyConverter::RichTextBody(const LNDocument& document, MessageRecord& record, std::string& bodyText) {
    Step(910);
    LNRichText body;
    {
        ScopedNotesThrowMode returnCodes(false);
        if (document.GetItem(kBodyItem, &body) != LNNOERROR) {
            context_.log.Write("....UNABLE TO GET BODY TO RICH TEXT ITEM\n");
            lostPart_ = true;
        }
    }
    Step(918);
    record.bodyIsRichText = true;
    Step(919);
    bodyText = GetFieldText(document.GetNoteHandle(), kBodyItem, ';',
                            {context_.settings.ExportDocLinks, context_.reportFieldTextFailure});
    Step(10919);
    if (context_.settings.BodyFormat == 1) ExportRtf(body, record);
    Step(20919);
    if (context_.settings.AttachImages) ExportPictures(body, record);
    Step(30919);
}

void BodyConverter::ExportRtf(const LNRichText& body, MessageRecord& record) {
    try {
        ScopedNotesThrowMode returnCodes(false);
        if (context_.tempFolder.empty()) {
            context_.log.Write(kRtfWarning);
            return;
        }
        const std::string path =
            platform::JoinPath(context_.tempFolder, fmt::format("RTF{}.rtf", context_.exportedCount));
        LNRTCursor start, end;
        body.GetCursor(&start);
        body.GetEndCursor(&end);
        platform::ProvideFile(context_.recycled, path);
        if (const LNSTATUS status = body.Export(path, start, end, ""); status != LNNOERROR) {
            context_.log.Write(kRtfWarning);
            ExportFailed(status, "the RTF body");
        } else if (record.WriteRichTextBody(path) != 0) {
            context_.log.Write("....SaveRTF Error: " + record.lastError + "\n");
            lostPart_ = true;
        }
        // A failed export may still have left part of a file behind.
        platform::RemoveFile(context_.recycled, path);
    } catch (const LNStatusError&) {
        context_.log.Write(kRtfWarning);
    } catch (...) {
        context_.log.Write("....~#>Warning unable to export body in RTF format (Unexpected)\n");
    }
}

void BodyConverter::ExportPictures(const LNRichText& body, MessageRecord& record) {
    ScopedNotesThrowMode returnCodes(false);
    LNRTCursor picture;
    if (body.GetCursor(&picture) != LNNOERROR) return;
    for (LNSTATUS found = picture.GotoFirst(LNRTTYPE_GRAPHIC); found == LNNOERROR;
         found = picture.GotoNext(LNRTTYPE_GRAPHIC)) {
        ++pictureNumber_;
        ExportPicture(body, picture, record);
    }
}

void BodyConverter::ExportPicture(const LNRichText& body, const LNRTCursor& at, MessageRecord& record) {
    try {
        if (context_.tempFolder.empty()) {
            context_.log.Write(fmt::format("....Warning Unable to extract IMAGE{}: {}\n", pictureNumber_,
                                           "no private temporary folder"));
            return;
        }
        LNRTCursor end = at;
        end += 1;
        const std::string path = platform::JoinPath(context_.tempFolder, fmt::format("_IMAGE{}.tif", pictureNumber_));
        context_.log.Write("....Extract Image to: " + path + "\n");
        platform::ProvideFile(context_.recycled, path);
        if (const LNSTATUS status = body.Export(path, at, end, ""); status != LNNOERROR) {
            context_.log.Write(
                fmt::format("....Warning Unable to extract IMAGE{}: {}\n", pictureNumber_, NotesErrorText(status)));
            platform::RemoveFile(context_.recycled, path);
            ExportFailed(status, fmt::format("the picture IMAGE{}", pictureNumber_));
            return;
        }
        record.attachmentFiles.push_back(path);
    } catch (const LNStatusError& e) {
        context_.log.Write(fmt::format("....Warning Unable to extract IMAGE{}: {}\n", pictureNumber_,
                                       NotesErrorText(e.GetStatus())));
        ExportFailed(e.GetStatus(), fmt::format("the picture IMAGE{}", pictureNumber_));
    } catch (const std::exception& e) {
        context_.log.Write(
            fmt::format("....~#>Warning Unable to extract IMAGE{}: {} (unexpected)\n", pictureNumber_, e.what()));
        lostPart_ = true;
    } catch (...) {
        context_.log.Write(fmt::format("....~#>Warning Unable to extract IMAGE{}: {} (unexpected)\n", pictureNumber_,
                                       "unknown failure"));
        lostPart_ = true;
    }
}

void BodyConverter::ExportFailed(LNSTATUS status, const std::string& what) {
    lostPart_ = true;
    if (status == LNERR_EXPORT_WRITE && writeFailure_.empty())
        writeFailure_ = "Unable to write " + what + " into the temporary folder: " + NotesErrorText(status);
}

// The first unknown body is read again from a copy; a copy whose body is
// still unknown is read raw rather than copied once more.
bool BodyConverter::CopyToScratch(LNDocument& document) {
    ++attempts_;
    if (attempts_ > 1) return false;
    Step(9270);
    if (!context_.scratch.Open()) return false;
    ScopedNotesThrowMode returnCodes(false);
    LNDocument copy;
    Step(9271);
    if (context_.scratch.database().CreateDocument(document, &copy) != LNNOERROR) return false;
    Step(9272);
    if (copy.Save() != LNNOERROR) return false;
    hasScratchCopy_ = true;
    Step(9273);
    LNDocument reopened;
    if (context_.scratch.database().GetDocument(copy.GetNoteID(), &reopened) != LNNOERROR) {
        DeleteScratchCopy(copy);
        return false;
    }
    Step(9274);
    if (reopened.Open() != LNNOERROR) {
        DeleteScratchCopy(copy);
        return false;
    }
    Step(9275);
    document.Close();
    document = reopened;
    Step(92711);
    return true;
}

void BodyConverter::DeleteScratchCopy(const LNDocument& copy) {
    if (!hasScratchCopy_) return;
    hasScratchCopy_ = false;
    ScopedNotesThrowMode returnCodes(false);
    context_.scratch.database().DeleteDocument(copy.GetNoteID());
}

std::string BodyConverter::RawBody(const LNDocument& document) {
    ITEMHANDLE item;
    WORD type = 0;
    if (NSFItemInfo(document.GetNoteHandle(), kBodyItem, &item, &type, nullptr) != LNNOERROR) return {};
    std::vector<char> raw(kRawBodyReadLimit);
    const DWORD read = NSFItemGetValueBytes(item, raw.data(), static_cast<DWORD>(raw.size()));
    if (read <= kRawBodyHeaderSize) return {};
    std::string text(raw.data() + kRawBodyHeaderSize, read - kRawBodyHeaderSize);
    std::replace(text.begin(), text.end(), '\0', '\xFF');
    return text;
}

}  // namespace qb

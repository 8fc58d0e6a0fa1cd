#include "notes/api/LNRichText.h"

#include "notes/api/NoteData.h"
#include "notes/api/NotesFormat.h"
#include "notes/api/RichTextExport.h"
#include "notes/api/RichTextRecords.h"
#include "notes/api/RichTextRender.h"

using namespace qb::notes;

namespace {

constexpr std::size_t kMaxTextPiece = 0xFFFF;

bool Matches(const CdRecord& record, LNRTTYPE type) {
    switch (type) {
    case LNRTTYPE_ANY: return true;
    case LNRTTYPE_PARAGRAPH: return record.signature == SIG_CD_PARAGRAPH;
    case LNRTTYPE_TEXT: return record.signature == SIG_CD_TEXT;
    case LNRTTYPE_DOCLINK: return record.signature == SIG_CD_LINK || record.signature == SIG_CD_LINKEXPORT2;
    case LNRTTYPE_GRAPHIC: return record.signature == SIG_CD_GRAPHIC;
    case LNRTTYPE_HOTSPOT: return record.signature == SIG_CD_HOTSPOTBEGIN;
    case LNRTTYPE_ATTACHMENT:
        return record.signature == SIG_CD_HOTSPOTBEGIN && record.body.size() >= 2 && GetWord(record.body, 0) == HOTSPOTREC_TYPE_FILE;
    }
    return false;
}

}  // namespace

LNSTATUS LNRTCursor::Move(LNINT records) {
    if (!records_) return Fail(LNERR_INVALID_PARAMETER);
    std::string_view all(*records_);
    for (LNINT i = 0; i < records; ++i) {
        std::size_t next = NextPosition(all, offset_);
        if (next <= offset_) {
            offset_ = all.size();
            return LNWARN_NOT_FOUND;
        }
        offset_ = next;
    }
    return LNNOERROR;
}

LNSTATUS LNRTCursor::Find(std::size_t from, LNRTTYPE type, LNGraphic* graphic) {
    if (!records_) return Fail(LNERR_INVALID_PARAMETER);
    std::string_view all(*records_);
    for (std::size_t offset = from; offset < all.size();) {
        CdRecordReader reader(all.substr(offset));
        CdRecord record;
        if (!reader.Next(&record)) break;  // damaged: nothing further can be found
        if (Matches(record, type)) {
            offset_ = offset;
            if (graphic && record.signature == SIG_CD_GRAPHIC) {
                GraphicImage image;
                ReadGraphicAt(all, offset, &image);
                *graphic = LNGraphic();
                graphic->records_ = all.substr(offset, image.end - offset);
                graphic->imageType_ = image.imageType;
                graphic->width_ = image.width;
                graphic->height_ = image.height;
                graphic->image_ = std::move(image.data);
            }
            return LNNOERROR;
        }
        offset = NextPosition(all, offset);
    }
    return LNWARN_NOT_FOUND;
}

LNSTATUS LNRTCursor::GotoFirst(LNRTTYPE type, LNGraphic* graphic) { return Find(offset_, type, graphic); }

LNSTATUS LNRTCursor::GotoNext(LNRTTYPE type, LNGraphic* graphic) {
    if (!records_) return Fail(LNERR_INVALID_PARAMETER);
    std::size_t next = NextPosition(*records_, offset_);
    if (next <= offset_) return LNWARN_NOT_FOUND;
    return Find(next, type, graphic);
}

LNRichText::LNRichText(const LNItem& item) {
    if (item.IsNull() || item.GetType() != TYPE_COMPOSITE) return;
    data_ = item.Data();
    records_ = std::make_shared<const std::string>(data_->value);
}

LNRichText LNRichText::FromItems(const std::vector<LNItem>& items) {
    LNRichText result;
    std::string joined;
    for (const LNItem& item : items) {
        if (item.GetType() != TYPE_COMPOSITE) continue;
        if (!result.data_) result.data_ = item.Data();
        joined += item.GetRawValue();
        if (joined.size() & 1) joined.push_back('\0');
    }
    if (result.data_) result.records_ = std::make_shared<const std::string>(std::move(joined));
    return result;
}

LNRichText LNRichText::Empty(const LNString& name) {
    LNRichText result(LNMakeRawItem(name, TYPE_COMPOSITE, std::string()));
    return result;
}

LNSTATUS LNRichText::GetText(LNString* text) const {
    if (!records_) return Fail(LNERR_WRONG_ITEM_TYPE);
    *text = RichTextPlainText(*records_);
    return LNNOERROR;
}

LNSTATUS LNRichText::GetText(LNRTCursor* start, const LNRTCursor& end, LNString* text) const {
    if (!records_ || !start || start->records_ != records_) return Fail(LNERR_INVALID_PARAMETER);
    text->clear();
    std::string_view all(*records_);
    std::size_t stop = std::min(end.offset_, all.size());
    if (start->offset_ >= stop) return LNNOERROR;
    CdRecordReader reader(all.substr(start->offset_, stop - start->offset_));
    std::size_t before = 0;
    bool first = start->offset_ == 0;
    for (CdRecord record; reader.Next(&record); before = reader.Offset()) {
        std::string piece;
        if (record.signature == SIG_CD_PARAGRAPH) {
            if (!first) piece = "\n";
            first = false;
        } else if (record.signature == SIG_CD_TEXT && record.body.size() >= 4) {
            first = false;
            for (char c : record.body.substr(4)) piece.push_back(c == '\0' ? '\n' : c);
        }
        if (!text->empty() && text->size() + piece.size() > kMaxTextPiece) {
            start->offset_ += before;
            return LNWARN_TOO_MUCH_TEXT;
        }
        *text += piece.substr(0, kMaxTextPiece);
    }
    start->offset_ = stop;
    return LNNOERROR;
}

LNSTATUS LNRichText::GetCursor(LNRTCursor* cursor) const {
    if (!records_) return Fail(LNERR_WRONG_ITEM_TYPE);
    cursor->records_ = records_;
    cursor->offset_ = 0;
    return LNNOERROR;
}

LNSTATUS LNRichText::GetEndCursor(LNRTCursor* cursor) const {
    if (!records_) return Fail(LNERR_WRONG_ITEM_TYPE);
    cursor->records_ = records_;
    cursor->offset_ = records_->size();
    return LNNOERROR;
}

LNSTATUS LNRichText::Export(const LNString& path, const LNRTCursor& start, const LNRTCursor& end,
                            const LNString&) const {
    if (!records_) return Fail(LNERR_WRONG_ITEM_TYPE);
    if (start.records_ != records_ || end.records_ != records_)
        return Fail(LNERR_INVALID_PARAMETER, "cursor of another rich text item");
    if (path.empty()) return Fail(LNERR_INVALID_PARAMETER, "empty export file name");
    std::string detail;
    std::string_view links = links_ ? std::string_view(*links_) : std::string_view();
    std::string_view fonts = fonts_ ? std::string_view(*fonts_) : std::string_view();
    LNSTATUS status = ExportRichTextRange(*records_, start.offset_, end.offset_, links, fonts, path, &detail,
                                          preparedRtf_.get());
    return status == LNNOERROR ? LNNOERROR : Fail(status, detail);
}

void LNRichText::AppendText(const LNString& text) {
    CdRecordWriter writer;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        writer.Paragraph();
        if (end > begin) writer.Text(FontId{}, std::string_view(text).substr(begin, end - begin));
        begin = end + 1;
    }
    std::string value = records_ ? *records_ : std::string();
    value += writer.Value();
    auto data = std::make_shared<ItemData>(data_ ? *data_ : ItemData{});
    data->type = TYPE_COMPOSITE;
    data->value = value;
    data_ = data;
    records_ = std::make_shared<const std::string>(std::move(value));
}

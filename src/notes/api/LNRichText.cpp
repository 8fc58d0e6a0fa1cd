#include "notes/api/LNRichText.h"

#include "notes/api/NoteData.h"
#include "notes/api/NotesFormat.h"
#include "notes/api/RichTextRecords.h"

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
        return record.signature == SIG_CD_HOTSPOTBEGIN && record.body.size() >= 2 && GetWord(record.body, 0) == 4;
    }
    return false;
}

// Reads the image records that follow a CDGRAPHIC.
void FillGraphic(std::string_view records, std::size_t offset, LNGraphic* graphic, int* type, int* width, int* height,
                 std::string* image) {
    CdRecordReader reader(records.substr(offset));
    CdRecord record;
    if (!reader.Next(&record)) return;
    if (record.body.size() >= 4) {
        *width = GetWord(record.body, 0);
        *height = GetWord(record.body, 2);
    }
    while (reader.Next(&record)) {
        if (record.signature == SIG_CD_IMAGEHEADER && record.body.size() >= 2) {
            *type = GetWord(record.body, 0);
        } else if (record.signature == SIG_CD_IMAGESEGMENT && record.body.size() >= 4) {
            std::size_t size = GetWord(record.body, 0);
            image->append(record.body.substr(4, size));
        } else {
            break;
        }
    }
    (void)graphic;
}

}  // namespace

LNSTATUS LNRTCursor::Move(LNINT records) {
    if (!records_) return Fail(LNERR_INVALID_PARAMETER);
    CdRecordReader reader(std::string_view(*records_).substr(offset_));
    CdRecord record;
    LNSTATUS status = LNNOERROR;
    for (LNINT i = 0; i < records; ++i) {
        if (!reader.Next(&record)) {
            status = LNWARN_NOT_FOUND;
            break;
        }
    }
    offset_ += reader.Offset();
    if (offset_ > records_->size()) offset_ = records_->size();
    return status;
}

LNSTATUS LNRTCursor::Find(std::size_t from, LNRTTYPE type, LNGraphic* graphic) {
    if (!records_) return Fail(LNERR_INVALID_PARAMETER);
    std::string_view all(*records_);
    CdRecordReader reader(all.substr(from));
    std::size_t before = 0;
    for (CdRecord record; reader.Next(&record); before = reader.Offset()) {
        if (!Matches(record, type)) continue;
        offset_ = from + before;
        if (graphic && record.signature == SIG_CD_GRAPHIC) {
            *graphic = LNGraphic();
            graphic->records_ = all.substr(offset_);
            FillGraphic(all, offset_, graphic, &graphic->imageType_, &graphic->width_, &graphic->height_,
                        &graphic->image_);
        }
        return LNNOERROR;
    }
    return LNWARN_NOT_FOUND;
}

LNSTATUS LNRTCursor::GotoFirst(LNRTTYPE type, LNGraphic* graphic) { return Find(offset_, type, graphic); }

LNSTATUS LNRTCursor::GotoNext(LNRTTYPE type, LNGraphic* graphic) {
    if (!records_) return Fail(LNERR_INVALID_PARAMETER);
    CdRecordReader reader(std::string_view(*records_).substr(offset_));
    CdRecord record;
    if (!reader.Next(&record)) return LNWARN_NOT_FOUND;
    return Find(offset_ + reader.Offset(), type, graphic);
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

LNSTATUS LNRichText::Export(const LNString& path, const LNRTCursor&, const LNRTCursor&, const LNString&) const {
    return Fail(LNERR_UNSUPPORTED, "rich text export to " + path);
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

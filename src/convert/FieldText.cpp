#include "convert/FieldText.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "convert/DocLinks.h"
#include "notes/api/NotesCore.h"
#include "notes/api/RichTextRecords.h"

namespace qb {
namespace {

// Where the reader is, for the failure text.
enum FieldTextProgress : int {
    kFoundFirstItem = 200,
    kTranslatingText = 230,
    kReadingListEntries = 330,
    kConvertingOther = 50,
    kItemHandled = 30000,
};

void AppendWithLineBreaks(std::string& text, std::string_view value) {
    const std::size_t start = text.size();
    text.append(value);
    std::replace(text.begin() + static_cast<std::ptrdiff_t>(start), text.end(), '\0', '\n');
}

// Notes text in the platform's character set; the result is cut at the
// value limit like every text the reader gathers.
std::string Translated(const char* value, std::size_t length) {
    length = std::min<std::size_t>(length, 0xFFFF);
    std::vector<char> out(std::min<std::size_t>(length * 3 + 1, kTextValueLimit));
    const WORD written = OSTranslate(OS_TRANSLATE_LMBCS_TO_NATIVE, value, static_cast<WORD>(length), out.data(),
                                     static_cast<WORD>(out.size()));
    return std::string(out.data(), written);
}

std::uint32_t Word32(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

class FieldTextReader {
public:
    FieldTextReader(NOTEHANDLE note, const char* name, char separator, const FieldTextOptions& options)
        : note_(note), name_(name), separator_(separator), options_(options) {}

    std::string Read();

private:
    // True: go on with the next item of the same name.
    bool ReadItem(ITEMHANDLE item, WORD type);
    void ReadText();
    void ReadTextList();
    void ReadSignature();
    void ReadNoteReference(ITEMHANDLE item);
    void ReadRichText(ITEMHANDLE item);
    void ReadOther(ITEMHANDLE item);

    NOTEHANDLE note_;
    const char* name_;
    char separator_;
    const FieldTextOptions& options_;
    std::string text_;
    int progress_ = 0;
};

std::string FieldTextReader::Read() {
    try {
        ITEMHANDLE item;
        WORD type = 0;
        if (NSFItemInfo(note_, name_, &item, &type, nullptr) != LNNOERROR) return {};
        progress_ = kFoundFirstItem;
        while (ReadItem(item, type)) {
            progress_ = kItemHandled;
            ITEMHANDLE next;
            if (NSFItemInfoNext(note_, item, name_, &next, &type, nullptr) != LNNOERROR) break;
            item = next;
        }
    } catch (...) {
        const std::string failure = fmt::format("~#>ERROR GetFieldText Error at field {}: {}", name_, progress_);
        if (!options_.reportFailure) throw;
        options_.reportFailure(failure);
    }
    return text_;
}

bool FieldTextReader::ReadItem(ITEMHANDLE item, WORD type) {
    switch (type) {
        case TYPE_TEXT:
            ReadText();
            return false;
        case TYPE_TEXT_LIST:
            ReadTextList();
            return false;
        case TYPE_SIGNATURE:
            ReadSignature();
            return false;
        case TYPE_NOTEREF_LIST:
            ReadNoteReference(item);
            return false;
        case TYPE_COMPOSITE:
            ReadRichText(item);
            return true;
        default:
            // The conversion to text reads by name, which always gives the
            // first item: reading on would repeat it.
            ReadOther(item);
            return false;
    }
}

void FieldTextReader::ReadText() {
    std::vector<char> value(kTextValueLimit);
    const WORD length = NSFItemGetText(note_, name_, value.data(), static_cast<WORD>(value.size()));
    progress_ = kTranslatingText;
    AppendWithLineBreaks(text_, Translated(value.data(), length));
}

void FieldTextReader::ReadTextList() {
    std::vector<char> value(kTextValueLimit);
    const WORD count = NSFItemGetTextListEntries(note_, name_);
    progress_ = kReadingListEntries;
    for (WORD i = 0; i < count; ++i) {
        const WORD length =
            NSFItemGetTextListEntry(note_, name_, i, value.data(), static_cast<WORD>(value.size()));
        const std::string entry = Translated(value.data(), length);
        if (!text_.empty()) text_.push_back(separator_);
        AppendWithLineBreaks(text_, entry);
    }
}

void FieldTextReader::ReadSignature() {
    char signer[256] = {};
    TIMEDATE when;
    if (NSFNoteVerifySignature(note_, signer, sizeof signer, &when) != LNNOERROR) return;
    char whenText[81] = {};
    const WORD length = ConvertTIMEDATEToText(&when, whenText, sizeof whenText);
    text_ = length > 0 ? fmt::format("Signed by {} on {}", signer, whenText) : fmt::format("Signed by {}", signer);
}

void FieldTextReader::ReadNoteReference(ITEMHANDLE item) {
    const std::string_view value = NSFItemValue(item);
    if (value.size() < 2 + 16) return;
    const std::string_view reference = value.substr(2, 16);
    text_ = fmt::format("{:08X}{:08X}{:08X}{:08X}", Word32(reference, 4), Word32(reference, 0), Word32(reference, 12),
                        Word32(reference, 8));
}

void FieldTextReader::ReadRichText(ITEMHANDLE item) {
    std::string_view links;
    ITEMHANDLE linksItem;
    WORD linksType = 0;
    if (NSFItemInfo(note_, "$Links", &linksItem, &linksType, nullptr) == LNNOERROR) links = NSFItemValue(linksItem);

    std::string gathered;
    notes::CdRecordReader reader(NSFItemValue(item));
    for (notes::CdRecord record; reader.Next(&record) && gathered.size() < kRichTextTextLimit;) {
        switch (record.signature) {
            case notes::SIG_CD_PARAGRAPH:
                gathered.push_back('\n');
                break;
            case notes::SIG_CD_TEXT:
                if (record.body.size() > 4) AppendWithLineBreaks(gathered, record.body.substr(4));
                break;
            case notes::SIG_CD_LINK:
                DocLinkUrl(options_.exportDocLinks, kSigLinkByIndex, Bytes(record.body), Bytes(links), gathered);
                break;
            case notes::SIG_CD_LINKEXPORT2:
                DocLinkUrl(options_.exportDocLinks, kSigLinkWithData, Bytes(record.body), Bytes(links), gathered);
                break;
            default:
                break;
        }
    }
    if (gathered.size() > kRichTextTextLimit) gathered.resize(kRichTextTextLimit);
    progress_ = kTranslatingText;
    text_ += Translated(gathered.data(), gathered.size());
}

void FieldTextReader::ReadOther(ITEMHANDLE) {
    std::vector<char> value(kOtherValueLimit);
    progress_ = kConvertingOther;
    const WORD length =
        NSFItemConvertToText(note_, name_, value.data(), static_cast<WORD>(value.size()), separator_);
    AppendWithLineBreaks(text_, std::string_view(value.data(), length));
}

}  // namespace

std::string GetFieldText(NOTEHANDLE note, const char* itemName, char separator, const FieldTextOptions& options) {
    if (!note || !itemName) return {};
    return FieldTextReader(note, itemName, separator, options).Read();
}

}  // namespace qb

#include "notes/api/NotesBitmap.h"

#include <array>

#include "notes/api/NotesFormat.h"
#include "notes/api/RichTextRecords.h"

namespace qb::notes {

namespace {

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kPatternSize = 24;
constexpr std::size_t kPelsPerPattern = 8;

struct Rgb {
    std::uint8_t red = 0, green = 0, blue = 0;
};

// The 16 standard colours an 8-bit bitmap may use without a colour table.
constexpr std::array<Rgb, 16> kStandardColours = {{{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                                   {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                                   {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                                   {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}}};

class BitmapDecoder {
public:
    explicit BitmapDecoder(render::Bitmap& bitmap) : bitmap_(bitmap) {}

    render::ImageStatus Decode(std::string_view records, std::string* detail) {
        CdRecordReader reader(records);
        CdRecord record;
        if (!reader.Next(&record) || record.signature != SIG_CD_BITMAPHEADER || record.body.size() < kHeaderSize)
            return Fail(detail, render::ImageStatus::Corrupt, "no bitmap header");
        if (render::ImageStatus status = ReadHeader(record.body, detail); status != render::ImageStatus::Ok) return status;
        while (reader.Next(&record) && !Done()) {
            if (record.signature == SIG_CD_COLORTABLE) ReadColours(record.body);
            else if (record.signature == SIG_CD_PATTERNTABLE) patterns_ = record.body;
            else if (record.signature == SIG_CD_BITMAPSEGMENT) Segment(record.body);
            else if (!IsNotesBitmapRecord(record.signature)) break;
        }
        if (!Done()) return Fail(detail, render::ImageStatus::Truncated, "bitmap lines missing");
        return render::ImageStatus::Ok;
    }

private:
    static render::ImageStatus Fail(std::string* detail, render::ImageStatus status, const char* why) {
        if (detail) *detail = why;
        return status;
    }

    render::ImageStatus ReadHeader(std::string_view body, std::string* detail) {
        std::uint32_t width = GetWord(body, 16), height = GetWord(body, 18);
        bitsPerPixel_ = GetWord(body, 20);
        if (bitsPerPixel_ != 1 && bitsPerPixel_ != 8 && bitsPerPixel_ != 16)
            return Fail(detail, render::ImageStatus::Unsupported, "bits per pixel not 1, 8 or 16");
        if (width == 0 || height == 0) return Fail(detail, render::ImageStatus::Corrupt, "empty bitmap");
        if (!bitmap_.Allocate(width, height)) return Fail(detail, render::ImageStatus::TooLarge, "bitmap too large");
        pelSize_ = bitsPerPixel_ == 16 ? 2 : 1;
        pelsPerLine_ = bitsPerPixel_ == 1 ? (width + 7) / 8 : width;
        for (std::size_t i = 0; i < kStandardColours.size(); ++i) colours_[i] = kStandardColours[i];
        return render::ImageStatus::Ok;
    }

    void ReadColours(std::string_view body) {
        for (std::size_t i = 0; i < 256 && (i + 1) * 3 <= body.size(); ++i)
            colours_[i] = Rgb{static_cast<std::uint8_t>(body[i * 3]), static_cast<std::uint8_t>(body[i * 3 + 1]),
                              static_cast<std::uint8_t>(body[i * 3 + 2])};
    }

    bool Done() const { return y_ >= bitmap_.height; }

    void Segment(std::string_view body) {
        if (body.size() < 12) return;
        std::string_view data = body.substr(12, GetWord(body, 10));
        std::size_t at = 0;
        auto byte = [&]() -> int { return at < data.size() ? static_cast<unsigned char>(data[at++]) : -1; };
        while (at < data.size() && !Done()) {
            int flag = byte();
            std::size_t count = static_cast<std::size_t>(flag & 0x3F);
            int kind = flag >> 6;
            if (kind == 2 || kind == 1) {
                int low = byte();
                if (low < 0) return;
                count = count << 8 | static_cast<std::size_t>(low);
            }
            if (kind == 1) {
                int index = byte();
                if (index < 0) return;
                for (std::size_t i = 0; i < count && !Done(); ++i) Pattern(static_cast<std::size_t>(index));
            } else if (kind == 0) {
                for (std::size_t i = 0; i < count && !Done(); ++i) {
                    if (at + pelSize_ > data.size()) return;
                    Pel(data.substr(at, pelSize_));
                    at += pelSize_;
                }
            } else {
                if (at + pelSize_ > data.size()) return;
                std::string_view pel = data.substr(at, pelSize_);
                at += pelSize_;
                for (std::size_t i = 0; i < count && !Done(); ++i) Pel(pel);
            }
        }
    }

    void Pattern(std::size_t index) {
        std::size_t offset = index * kPatternSize;
        if (offset + kPatternSize > patterns_.size()) {
            for (std::size_t i = 0; i < kPelsPerPattern; ++i) Pel(std::string_view("\0\0", pelSize_));
            return;
        }
        std::string_view entry = patterns_.substr(offset, kPatternSize);
        for (std::size_t i = 0; i < kPelsPerPattern && !Done(); ++i) {
            if (bitsPerPixel_ == 16) {
                Put(x_, Rgb{static_cast<std::uint8_t>(entry[i * 3]), static_cast<std::uint8_t>(entry[i * 3 + 1]),
                            static_cast<std::uint8_t>(entry[i * 3 + 2])});
                NextPel();
            } else {
                Pel(entry.substr(i, 1));
            }
        }
    }

    // One picture element at the current place of the line.
    void Pel(std::string_view pel) {
        auto value = static_cast<unsigned char>(pel[0]);
        if (bitsPerPixel_ == 1) {
            // As in Windows monochrome bitmaps: set bits white, clear bits black.
            for (int bit = 0; bit < 8; ++bit) {
                std::uint8_t level = (value >> (7 - bit)) & 1 ? 255 : 0;
                Put(x_ * 8 + static_cast<std::uint32_t>(bit), Rgb{level, level, level});
            }
        } else if (bitsPerPixel_ == 8) {
            Put(x_, colours_[value]);
        } else {
            unsigned word = value | static_cast<unsigned>(static_cast<unsigned char>(pel[1])) << 8;
            auto scale = [](unsigned five) { return static_cast<std::uint8_t>(five * 255 / 31); };
            Put(x_, Rgb{scale(word >> 10 & 31), scale(word >> 5 & 31), scale(word & 31)});
        }
        NextPel();
    }

    void Put(std::uint32_t x, const Rgb& colour) {
        if (x >= bitmap_.width || Done()) return;
        std::uint8_t* pixel = bitmap_.Row(y_) + std::size_t{x} * 4;
        pixel[0] = colour.red;
        pixel[1] = colour.green;
        pixel[2] = colour.blue;
        pixel[3] = 255;
    }

    void NextPel() {
        if (++x_ < pelsPerLine_) return;
        x_ = 0;
        ++y_;
    }

    render::Bitmap& bitmap_;
    unsigned bitsPerPixel_ = 8;
    std::size_t pelSize_ = 1;
    std::uint32_t pelsPerLine_ = 0;
    std::uint32_t x_ = 0, y_ = 0;
    std::array<Rgb, 256> colours_{};
    std::string_view patterns_;
};

}  // namespace

bool IsNotesBitmapRecord(std::uint8_t signature) {
    return signature == SIG_CD_BITMAPHEADER || signature == SIG_CD_BITMAPSEGMENT || signature == SIG_CD_COLORTABLE ||
           signature == SIG_CD_PATTERNTABLE || signature == SIG_CD_TRANSPARENTTABLE;
}

render::ImageStatus DecodeNotesBitmap(std::string_view records, render::Bitmap& bitmap, std::string* detail) {
    return BitmapDecoder(bitmap).Decode(records, detail);
}

}  // namespace qb::notes

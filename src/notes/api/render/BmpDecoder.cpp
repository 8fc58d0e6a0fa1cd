// Windows bitmaps (BMP): OS/2 and Windows info headers (12 to 124 bytes),
// 1/4/8/16/24/32 bits, uncompressed, bit fields, RLE4 and RLE8. Every read
// is bounds-checked against the input.
#include "notes/api/render/Image.h"

#include <array>
#include <bit>

namespace qb::render {

namespace {

class ByteReader {
public:
    explicit ByteReader(std::string_view data) : data_(data) {}
    bool Has(size_t at, size_t n) const { return at <= data_.size() && n <= data_.size() - at; }
    uint8_t U8(size_t at) const { return Has(at, 1) ? static_cast<uint8_t>(data_[at]) : 0; }
    uint32_t U16(size_t at) const { return U8(at) | (uint32_t{U8(at + 1)} << 8); }
    uint32_t U32(size_t at) const { return U16(at) | (U16(at + 2) << 16); }
    size_t size() const { return data_.size(); }

private:
    std::string_view data_;
};

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

struct BitField {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    explicit BitField(uint32_t m = 0) : mask(m) {
        if (!m) return;
        shift = std::countr_zero(m);
        bits = std::popcount(m >> shift);
    }
    uint8_t Extract(uint32_t pixel) const {
        if (!mask) return 0;
        uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return static_cast<uint8_t>(v >> (bits - 8));
        uint32_t max = (1u << bits) - 1;
        return static_cast<uint8_t>(v * 255 / max);
    }
};

struct Header {
    uint32_t width = 0;
    uint32_t height = 0;
    bool topDown = false;
    uint32_t bitCount = 0;
    uint32_t compression = kRgb;
    uint32_t paletteOffset = 0;
    uint32_t paletteEntrySize = 4;
    uint32_t paletteCount = 0;
    uint32_t pixelOffset = 0;
    BitField red, green, blue, alpha;
};

ImageStatus Fail(ImageStatus status, const char* text, std::string* detail) {
    if (detail) *detail = text;
    return status;
}

ImageStatus ReadHeader(const ByteReader& in, Header& h, std::string* detail) {
    if (!in.Has(0, 18)) return Fail(ImageStatus::Truncated, "BMP header truncated", detail);
    h.pixelOffset = in.U32(10);
    uint32_t infoSize = in.U32(14);
    if (infoSize != 12 && (infoSize < 16 || infoSize > 124))
        return Fail(ImageStatus::Corrupt, "unknown BMP info header size", detail);
    if (!in.Has(14, infoSize)) return Fail(ImageStatus::Truncated, "BMP info header truncated", detail);
    h.paletteOffset = 14 + infoSize;
    int64_t width = 0, height = 0;
    if (infoSize == 12) {
        width = in.U16(18);
        height = static_cast<int16_t>(in.U16(20));
        h.bitCount = in.U16(24);
        h.paletteEntrySize = 3;
    } else {
        width = static_cast<int32_t>(in.U32(18));
        height = static_cast<int32_t>(in.U32(22));
        h.bitCount = in.U16(28);
        h.compression = infoSize >= 20 ? in.U32(30) : kRgb;
        h.paletteCount = infoSize >= 36 ? in.U32(46) : 0;
    }
    if (width <= 0 || height == 0) return Fail(ImageStatus::Corrupt, "BMP without size", detail);
    h.topDown = height < 0;
    h.width = static_cast<uint32_t>(width);
    h.height = static_cast<uint32_t>(height < 0 ? -height : height);
    if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
        // The masks follow a 40-byte header; larger headers hold them inside.
        size_t at = 14 + 40;
        uint32_t count = h.compression == kAlphaBitFields ? 4 : 3;
        if (infoSize >= 56) count = 4;
        if (!in.Has(at, count * 4)) return Fail(ImageStatus::Truncated, "BMP bit fields truncated", detail);
        h.red = BitField(in.U32(at));
        h.green = BitField(in.U32(at + 4));
        h.blue = BitField(in.U32(at + 8));
        if (count == 4) h.alpha = BitField(in.U32(at + 12));
        if (infoSize == 40) h.paletteOffset += count * 4;
    } else if (h.bitCount == 16) {
        h.red = BitField(0x7C00), h.green = BitField(0x03E0), h.blue = BitField(0x001F);
    } else if (h.bitCount == 32) {
        h.red = BitField(0x00FF0000), h.green = BitField(0x0000FF00), h.blue = BitField(0x000000FF);
    }
    switch (h.bitCount) {
        case 1: case 4: case 8: case 16: case 24: case 32: break;
        default: return Fail(ImageStatus::Unsupported, "BMP bit count not supported", detail);
    }
    bool rleOk = (h.compression == kRle8 && h.bitCount == 8) || (h.compression == kRle4 && h.bitCount == 4);
    bool fieldsOk = (h.compression == kBitFields || h.compression == kAlphaBitFields) &&
                    (h.bitCount == 16 || h.bitCount == 32);
    if (h.compression != kRgb && !rleOk && !fieldsOk)
        return Fail(ImageStatus::Unsupported, "BMP compression not supported", detail);
    if (h.bitCount <= 8) {
        uint32_t maxEntries = 1u << h.bitCount;
        if (h.paletteCount == 0 || h.paletteCount > maxEntries) h.paletteCount = maxEntries;
    } else {
        h.paletteCount = 0;
    }
    return ImageStatus::Ok;
}

using Palette = std::array<std::array<uint8_t, 3>, 256>;

Palette ReadPalette(const ByteReader& in, const Header& h) {
    Palette palette{};
    for (uint32_t i = 0; i < h.paletteCount; ++i) {
        size_t at = h.paletteOffset + size_t{i} * h.paletteEntrySize;
        if (!in.Has(at, 3)) break;  // missing entries stay black
        palette[i] = {in.U8(at + 2), in.U8(at + 1), in.U8(at)};
    }
    return palette;
}

void SetPixel(Bitmap& bitmap, const Header& h, uint32_t x, uint32_t fileRow, const std::array<uint8_t, 3>& rgb) {
    if (x >= h.width || fileRow >= h.height) return;
    uint32_t y = h.topDown ? fileRow : h.height - 1 - fileRow;
    uint8_t* p = bitmap.Row(y) + size_t{x} * 4;
    p[0] = rgb[0], p[1] = rgb[1], p[2] = rgb[2];
}

ImageStatus DecodeUncompressed(const ByteReader& in, const Header& h, const Palette& palette, Bitmap& bitmap) {
    uint64_t rowBytes = ((uint64_t{h.width} * h.bitCount + 31) / 32) * 4;
    bool useAlpha = h.alpha.mask != 0;
    bool anyAlpha = false;
    for (uint32_t row = 0; row < h.height; ++row) {
        size_t at = h.pixelOffset + row * rowBytes;
        if (!in.Has(at, rowBytes)) return ImageStatus::Truncated;
        uint32_t y = h.topDown ? row : h.height - 1 - row;
        uint8_t* out = bitmap.Row(y);
        for (uint32_t x = 0; x < h.width; ++x, out += 4) {
            if (h.bitCount <= 8) {
                size_t bit = size_t{x} * h.bitCount;
                uint8_t byte = in.U8(at + bit / 8);
                uint32_t index = (byte >> (8 - h.bitCount - bit % 8)) & ((1u << h.bitCount) - 1);
                out[0] = palette[index][0], out[1] = palette[index][1], out[2] = palette[index][2];
            } else if (h.bitCount == 24) {
                size_t p = at + size_t{x} * 3;
                out[0] = in.U8(p + 2), out[1] = in.U8(p + 1), out[2] = in.U8(p);
            } else {
                uint32_t pixel = h.bitCount == 16 ? in.U16(at + size_t{x} * 2) : in.U32(at + size_t{x} * 4);
                out[0] = h.red.Extract(pixel), out[1] = h.green.Extract(pixel), out[2] = h.blue.Extract(pixel);
                if (useAlpha) {
                    out[3] = h.alpha.Extract(pixel);
                    anyAlpha = anyAlpha || out[3] != 0;
                }
            }
        }
    }
    // Writers that fill the alpha bits with zero mean "no alpha".
    if (useAlpha && !anyAlpha)
        for (size_t i = 3; i < bitmap.pixels.size(); i += 4) bitmap.pixels[i] = 255;
    bitmap.hasAlpha = useAlpha && anyAlpha;
    return ImageStatus::Ok;
}

ImageStatus DecodeRle(const ByteReader& in, const Header& h, const Palette& palette, Bitmap& bitmap) {
    const bool four = h.compression == kRle4;
    size_t pos = h.pixelOffset;
    uint32_t x = 0, row = 0;
    auto colour = [&](uint32_t index) -> const std::array<uint8_t, 3>& { return palette[index & 0xFF]; };
    while (row < h.height) {
        if (!in.Has(pos, 2)) return ImageStatus::Truncated;
        uint8_t count = in.U8(pos), value = in.U8(pos + 1);
        pos += 2;
        if (count > 0) {
            for (uint32_t i = 0; i < count; ++i, ++x)
                SetPixel(bitmap, h, x, row, colour(four ? ((i % 2) ? value & 0x0F : value >> 4) : value));
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++row;
        } else if (value == 1) {  // end of bitmap
            return ImageStatus::Ok;
        } else if (value == 2) {  // delta
            if (!in.Has(pos, 2)) return ImageStatus::Truncated;
            x += in.U8(pos);
            row += in.U8(pos + 1);
            pos += 2;
        } else {  // absolute run of 'value' pixels, padded to a word
            uint32_t bytes = four ? (value + 1) / 2 : value;
            if (!in.Has(pos, bytes)) return ImageStatus::Truncated;
            for (uint32_t i = 0; i < value; ++i, ++x) {
                uint8_t b = in.U8(pos + (four ? i / 2 : i));
                SetPixel(bitmap, h, x, row, colour(four ? ((i % 2) ? b & 0x0F : b >> 4) : b));
            }
            pos += bytes + (bytes & 1);
        }
    }
    return ImageStatus::Ok;
}

}  // namespace

ImageStatus DecodeBmp(std::string_view data, Bitmap& bitmap, std::string* detail) {
    ByteReader in(data);
    if (data.substr(0, 2) != "BM") return Fail(ImageStatus::UnknownFormat, "not a BMP file", detail);
    Header h;
    ImageStatus status = ReadHeader(in, h, detail);
    if (status != ImageStatus::Ok) return status;
    if (!bitmap.Allocate(h.width, h.height)) return Fail(ImageStatus::TooLarge, "BMP too large", detail);
    if (h.pixelOffset >= data.size()) return Fail(ImageStatus::Truncated, "BMP without pixel data", detail);
    Palette palette = ReadPalette(in, h);
    bool rle = h.compression == kRle8 || h.compression == kRle4;
    status = rle ? DecodeRle(in, h, palette, bitmap) : DecodeUncompressed(in, h, palette, bitmap);
    if (status == ImageStatus::Truncated && detail) *detail = "BMP pixel data truncated";
    return status;
}

}  // namespace qb::render

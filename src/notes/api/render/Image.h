#pragma once
// Pictures of rich text bodies: decoding GIF, JPEG, PNG and BMP into
// 8-bit RGBA, and writing TIFF and PNG.
//
// Libraries, and why:
// - giflib (libgif): the reference GIF decoder, small, used by every Linux
//   desktop; its record-level API lets us check sizes before any pixel
//   buffer is allocated.
// - libjpeg-turbo (libjpeg): the standard JPEG codec of Debian; handles
//   baseline, progressive, grey and CMYK files.
// - libpng: the reference PNG codec; its transformations give RGBA for all
//   colour types and bit depths, and it checks every chunk CRC.
// - libtiff: the reference TIFF writer; tiffinfo and every TIFF reader
//   accept its output.
// - BMP is a plain uncompressed (or RLE) layout: a short decoder of our own
//   is simpler than a dependency and lets us bound every read.
// All four libraries are already on every build machine (scripts/deps).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb::render {

enum class ImageFormat { Unknown, Gif, Jpeg, Png, Bmp, Tiff };

enum class ImageStatus {
    Ok,
    UnknownFormat,  // not a picture format we read
    Truncated,      // the data ends early; the rows read so far are kept
    Corrupt,        // the data is not valid for its format
    TooLarge,       // width, height or pixel count above the limits below
    Unsupported,    // a valid variant we do not decode (e.g. 12-bit JPEG)
    WriteFailed,    // the output file could not be written
};

constexpr uint32_t kMaxImageDimension = 32768;
constexpr uint64_t kMaxImagePixels = uint64_t{1} << 26;  // 64 M pixels, 256 MB as RGBA

// 8-bit RGBA, rows top to bottom, no padding.
struct Bitmap {
    uint32_t width = 0;
    uint32_t height = 0;
    bool hasAlpha = false;  // false: every alpha value is 255
    std::vector<uint8_t> pixels;

    // Sets the size and fills with opaque black; false when above the limits.
    bool Allocate(uint32_t w, uint32_t h);
    uint8_t* Row(uint32_t y) { return pixels.data() + size_t{y} * width * 4; }
    const uint8_t* Row(uint32_t y) const { return pixels.data() + size_t{y} * width * 4; }
};

// What the first bytes say; no full check.
ImageFormat DetectImageFormat(std::string_view data);
const char* ImageFormatName(ImageFormat format);
const char* ImageStatusText(ImageStatus status);

// Decodes any of the formats above (TIFF excepted). The first frame of an
// animated GIF. detail, when given, receives the library's own message.
ImageStatus DecodeImage(std::string_view data, Bitmap& bitmap, std::string* detail = nullptr);

ImageStatus DecodeGif(std::string_view data, Bitmap& bitmap, std::string* detail = nullptr);
ImageStatus DecodeJpeg(std::string_view data, Bitmap& bitmap, std::string* detail = nullptr);
ImageStatus DecodePng(std::string_view data, Bitmap& bitmap, std::string* detail = nullptr);
ImageStatus DecodeBmp(std::string_view data, Bitmap& bitmap, std::string* detail = nullptr);

// PNG of the bitmap (RGB when it has no alpha, else RGBA).
ImageStatus EncodePng(const Bitmap& bitmap, std::string& out, std::string* detail = nullptr);

// A TIFF file (RGB or RGBA with unassociated alpha, LZW compressed); a
// file that fails half-way is removed.
ImageStatus WriteTiff(const Bitmap& bitmap, const std::string& path, std::string* detail = nullptr);

// Decode and WriteTiff in one: the picture export of a rich text range.
// Nothing is written when the decoding fails; a truncated picture is still
// written (with its missing rows black) and reported as Truncated.
ImageStatus ConvertImageToTiff(std::string_view data, const std::string& path, std::string* detail = nullptr);

// Width and height from the header only (no pixel decoding); false when
// the header cannot be read.
bool ReadImageSize(std::string_view data, uint32_t& width, uint32_t& height);

}  // namespace qb::render

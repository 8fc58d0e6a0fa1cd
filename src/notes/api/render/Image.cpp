#include "notes/api/render/Image.h"

#include <cstring>

namespace qb::render {

bool Bitmap::Allocate(uint32_t w, uint32_t h) {
    if (w == 0 || h == 0 || w > kMaxImageDimension || h > kMaxImageDimension ||
        uint64_t{w} * h > kMaxImagePixels)
        return false;
    width = w;
    height = h;
    hasAlpha = false;
    pixels.assign(size_t{w} * h * 4, 0);
    for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;
    return true;
}

ImageFormat DetectImageFormat(std::string_view data) {
    auto starts = [&](std::string_view magic) { return data.substr(0, magic.size()) == magic; };
    if (starts("GIF87a") || starts("GIF89a")) return ImageFormat::Gif;
    if (starts("\xFF\xD8\xFF")) return ImageFormat::Jpeg;
    if (starts("\x89PNG\r\n\x1A\n")) return ImageFormat::Png;
    if (starts("BM") && data.size() >= 18) return ImageFormat::Bmp;
    if (starts("II*\0") || starts(std::string_view("MM\0*", 4))) return ImageFormat::Tiff;
    return ImageFormat::Unknown;
}

const char* ImageFormatName(ImageFormat format) {
    switch (format) {
        case ImageFormat::Gif: return "GIF";
        case ImageFormat::Jpeg: return "JPEG";
        case ImageFormat::Png: return "PNG";
        case ImageFormat::Bmp: return "BMP";
        case ImageFormat::Tiff: return "TIFF";
        case ImageFormat::Unknown: break;
    }
    return "unknown";
}

const char* ImageStatusText(ImageStatus status) {
    switch (status) {
        case ImageStatus::Ok: return "ok";
        case ImageStatus::UnknownFormat: return "unknown picture format";
        case ImageStatus::Truncated: return "picture data truncated";
        case ImageStatus::Corrupt: return "picture data corrupt";
        case ImageStatus::TooLarge: return "picture too large";
        case ImageStatus::Unsupported: return "picture variant not supported";
        case ImageStatus::WriteFailed: return "picture file could not be written";
    }
    return "unknown";
}

ImageStatus DecodeImage(std::string_view data, Bitmap& bitmap, std::string* detail) {
    switch (DetectImageFormat(data)) {
        case ImageFormat::Gif: return DecodeGif(data, bitmap, detail);
        case ImageFormat::Jpeg: return DecodeJpeg(data, bitmap, detail);
        case ImageFormat::Png: return DecodePng(data, bitmap, detail);
        case ImageFormat::Bmp: return DecodeBmp(data, bitmap, detail);
        case ImageFormat::Tiff:
        case ImageFormat::Unknown: break;
    }
    return ImageStatus::UnknownFormat;
}

ImageStatus ConvertImageToTiff(std::string_view data, const std::string& path, std::string* detail) {
    Bitmap bitmap;
    ImageStatus status = DecodeImage(data, bitmap, detail);
    if (status != ImageStatus::Ok && !(status == ImageStatus::Truncated && !bitmap.pixels.empty())) return status;
    ImageStatus written = WriteTiff(bitmap, path, detail);
    return written != ImageStatus::Ok ? written : status;
}

namespace {

uint32_t Be16(std::string_view d, size_t at) {
    return (uint32_t{static_cast<uint8_t>(d[at])} << 8) | static_cast<uint8_t>(d[at + 1]);
}
uint32_t Be32(std::string_view d, size_t at) { return (Be16(d, at) << 16) | Be16(d, at + 2); }
uint32_t Le16(std::string_view d, size_t at) {
    return static_cast<uint8_t>(d[at]) | (uint32_t{static_cast<uint8_t>(d[at + 1])} << 8);
}
uint32_t Le32(std::string_view d, size_t at) { return Le16(d, at) | (Le16(d, at + 2) << 16); }

bool JpegSize(std::string_view d, uint32_t& w, uint32_t& h) {
    size_t pos = 2;
    while (pos + 4 <= d.size()) {
        if (static_cast<uint8_t>(d[pos]) != 0xFF) return false;
        uint8_t marker = static_cast<uint8_t>(d[pos + 1]);
        if (marker == 0xFF) {
            ++pos;
            continue;
        }
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            pos += 2;
            continue;
        }
        uint32_t length = Be16(d, pos + 2);
        bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) {
            if (pos + 9 > d.size()) return false;
            h = Be16(d, pos + 5);
            w = Be16(d, pos + 7);
            return w > 0 && h > 0;
        }
        if (length < 2) return false;
        pos += 2 + length;
    }
    return false;
}

}  // namespace

bool ReadImageSize(std::string_view d, uint32_t& width, uint32_t& height) {
    switch (DetectImageFormat(d)) {
        case ImageFormat::Png:
            if (d.size() < 24 || d.substr(12, 4) != "IHDR") return false;
            width = Be32(d, 16);
            height = Be32(d, 20);
            return width > 0 && height > 0;
        case ImageFormat::Gif:
            if (d.size() < 10) return false;
            width = Le16(d, 6);
            height = Le16(d, 8);
            return width > 0 && height > 0;
        case ImageFormat::Bmp: {
            if (d.size() < 26) return false;
            uint32_t headerSize = Le32(d, 14);
            if (headerSize == 12) {
                width = Le16(d, 18);
                height = Le16(d, 20);
            } else {
                if (d.size() < 26) return false;
                int32_t w = static_cast<int32_t>(Le32(d, 18));
                int32_t h = static_cast<int32_t>(Le32(d, 22));
                if (w <= 0 || h == 0 || h == INT32_MIN) return false;
                width = static_cast<uint32_t>(w);
                height = static_cast<uint32_t>(h < 0 ? -h : h);
            }
            return width > 0 && height > 0;
        }
        case ImageFormat::Jpeg: return JpegSize(d, width, height);
        default: return false;
    }
}

}  // namespace qb::render

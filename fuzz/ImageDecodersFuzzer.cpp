// Every picture decoder on arbitrary bytes; decoded pictures go through the
// PNG encoder and the RTF picture path as well.
#include "notes/api/render/Image.h"
#include "notes/api/render/RtfWriter.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qb::render;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    uint32_t width = 0, height = 0;
    ReadImageSize(bytes, width, height);
    Bitmap bitmap;
    std::string detail;
    ImageStatus status = DecodeImage(bytes, bitmap, &detail);
    // The BMP decoder also runs on data that merely starts like a BMP.
    if (DetectImageFormat(bytes) != ImageFormat::Bmp && size > 2 && bytes.substr(0, 2) == "BM") {
        Bitmap bmp;
        DecodeBmp(bytes, bmp, &detail);
    }
    if (status == ImageStatus::Ok && uint64_t{bitmap.width} * bitmap.height <= 512 * 512) {
        std::string png;
        if (EncodePng(bitmap, png) == ImageStatus::Ok) {
            Bitmap again;
            if (DecodePng(png, again) != ImageStatus::Ok || again.pixels.size() != bitmap.pixels.size()) __builtin_trap();
        }
        RichTextDocument document;
        document.paragraphs.emplace_back();
        document.paragraphs.back().inlines.push_back(PictureRun{std::string(bytes)});
        RenderRtf(document);
    }
    return 0;
}

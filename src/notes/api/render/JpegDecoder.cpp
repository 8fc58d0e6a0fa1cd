// JPEG through libjpeg. libjpeg reports fatal errors by longjmp, so every
// function that calls it under setjmp holds plain C data only.
#include "notes/api/render/Image.h"

#include <csetjmp>
#include <cstdio>
#include <memory>

#include <jpeglib.h>
#include <jerror.h>

namespace qb::render {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool ranOut;
};

void OnError(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->message);
    longjmp(errors->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) errors->ranOut = true;
}

// Stops files with thousands of progressive scans, which would take
// minutes to decode for a few bytes of input.
void OnProgress(j_common_ptr cinfo) {
    if (cinfo->is_decompressor) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (d->input_scan_number > 1000) {
            auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
            std::snprintf(errors->message, sizeof errors->message, "too many progressive scans");
            longjmp(errors->jump, 1);
        }
    }
}

struct Decoder {
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    jpeg_progress_mgr progress;
    bool created = false;
    ~Decoder() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
};

// Reads the header and starts decompression; false on a libjpeg error.
bool StartDecoding(Decoder& d, const unsigned char* data, unsigned long size) {
    if (setjmp(d.errors.jump)) return false;
    jpeg_create_decompress(&d.cinfo);
    d.created = true;
    d.cinfo.mem->max_memory_to_use = 512L * 1024 * 1024;
    d.progress.progress_monitor = OnProgress;
    d.cinfo.progress = &d.progress;
    jpeg_mem_src(&d.cinfo, data, size);
    jpeg_read_header(&d.cinfo, TRUE);
    J_COLOR_SPACE in = d.cinfo.jpeg_color_space;
    d.cinfo.out_color_space = (in == JCS_CMYK || in == JCS_YCCK) ? JCS_CMYK : JCS_RGB;
    return true;
}

bool Begin(Decoder& d) {
    if (setjmp(d.errors.jump)) return false;
    jpeg_start_decompress(&d.cinfo);
    return true;
}

// Decodes every scanline into rows (RGBA, width*4 bytes apart). rowsDone
// counts the rows written before any error.
bool ReadRows(Decoder& d, unsigned char* rows, unsigned char* scratch, unsigned* rowsDone) {
    if (setjmp(d.errors.jump)) return false;
    const unsigned width = d.cinfo.output_width;
    const int components = d.cinfo.output_components;
    const bool cmyk = d.cinfo.out_color_space == JCS_CMYK;
    // Adobe writes CMYK JPEGs inverted; the marker tells.
    const bool inverted = cmyk && d.cinfo.saw_Adobe_marker;
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        JSAMPROW row = scratch;
        if (jpeg_read_scanlines(&d.cinfo, &row, 1) != 1) break;
        unsigned char* out = rows + static_cast<size_t>(*rowsDone) * width * 4;
        for (unsigned x = 0; x < width; ++x, out += 4) {
            const unsigned char* in = scratch + static_cast<size_t>(x) * components;
            if (cmyk) {
                unsigned c = in[0], m = in[1], y = in[2], k = in[3];
                if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
                out[0] = static_cast<unsigned char>(c * k / 255);
                out[1] = static_cast<unsigned char>(m * k / 255);
                out[2] = static_cast<unsigned char>(y * k / 255);
            } else if (components == 3) {
                out[0] = in[0], out[1] = in[1], out[2] = in[2];
            } else {
                out[0] = out[1] = out[2] = in[0];
            }
        }
        ++*rowsDone;
    }
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

}  // namespace

ImageStatus DecodeJpeg(std::string_view data, Bitmap& bitmap, std::string* detail) {
    auto decoder = std::make_unique<Decoder>();
    Decoder& d = *decoder;
    d.cinfo.err = jpeg_std_error(&d.errors.base);
    d.errors.base.error_exit = OnError;
    d.errors.base.emit_message = OnMessage;
    d.errors.message[0] = '\0';
    d.errors.ranOut = false;
    auto fail = [&](ImageStatus status) {
        if (detail) *detail = d.errors.message;
        return status;
    };
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    if (!StartDecoding(d, bytes, static_cast<unsigned long>(data.size())))
        return fail(d.errors.ranOut ? ImageStatus::Truncated : ImageStatus::Corrupt);
    if (d.cinfo.data_precision != 8) {
        if (detail) *detail = "JPEG with more than 8 bits per sample";
        return ImageStatus::Unsupported;
    }
    if (d.cinfo.image_width == 0 || d.cinfo.image_height == 0) return fail(ImageStatus::Corrupt);
    if (!bitmap.Allocate(d.cinfo.image_width, d.cinfo.image_height)) return ImageStatus::TooLarge;
    if (!Begin(d)) return fail(d.errors.ranOut ? ImageStatus::Truncated : ImageStatus::Corrupt);
    if (d.cinfo.output_width != bitmap.width || d.cinfo.output_height != bitmap.height ||
        d.cinfo.output_components < 1 || d.cinfo.output_components > 4)
        return fail(ImageStatus::Corrupt);
    std::vector<unsigned char> scratch(static_cast<size_t>(d.cinfo.output_width) * d.cinfo.output_components);
    unsigned rowsDone = 0;
    bool finished = ReadRows(d, bitmap.pixels.data(), scratch.data(), &rowsDone);
    if (!finished) return fail(d.errors.ranOut ? ImageStatus::Truncated : ImageStatus::Corrupt);
    if (d.errors.ranOut) {
        if (detail) *detail = "premature end of JPEG data";
        return ImageStatus::Truncated;
    }
    return ImageStatus::Ok;
}

}  // namespace qb::render

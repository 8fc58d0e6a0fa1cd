// PNG through libpng, read and write. libpng reports fatal errors by
// longjmp, so every function that calls it under setjmp holds plain C data
// only.
#include "notes/api/render/Image.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace qb::render {

namespace {

struct ReadState {
    const unsigned char* data;
    size_t size;
    size_t pos;
    bool ranOut;
    char message[256];
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
    auto* state = static_cast<ReadState*>(png_get_io_ptr(png));
    if (state->size - state->pos < length) {
        state->ranOut = true;
        png_error(png, "unexpected end of PNG data");
    }
    std::memcpy(out, state->data + state->pos, length);
    state->pos += length;
}

void OnError(png_structp png, png_const_charp message) {
    auto* state = static_cast<ReadState*>(png_get_error_ptr(png));
    if (state) std::snprintf(state->message, sizeof state->message, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

struct Reader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ReadState state{};
    ~Reader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

// Reads the header and sets the transformations to 8-bit RGBA.
bool ReadHeader(Reader& r, png_uint_32* width, png_uint_32* height, int* hadAlpha) {
    if (setjmp(png_jmpbuf(r.png))) return false;
    png_set_read_fn(r.png, &r.state, ReadFromMemory);
    png_set_user_limits(r.png, kMaxImageDimension, kMaxImageDimension);
    png_set_chunk_malloc_max(r.png, 64L * 1024 * 1024);
    png_read_info(r.png, r.info);
    *width = png_get_image_width(r.png, r.info);
    *height = png_get_image_height(r.png, r.info);
    int colourType = png_get_color_type(r.png, r.info);
    *hadAlpha = (colourType & PNG_COLOR_MASK_ALPHA) || png_get_valid(r.png, r.info, PNG_INFO_tRNS);
    png_set_expand(r.png);
    png_set_strip_16(r.png);
    png_set_gray_to_rgb(r.png);
    png_set_add_alpha(r.png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    return png_get_rowbytes(r.png, r.info) == size_t{*width} * 4;
}

bool ReadPixels(Reader& r, png_bytepp rows) {
    if (setjmp(png_jmpbuf(r.png))) return false;
    png_read_image(r.png, rows);
    png_read_end(r.png, nullptr);
    return true;
}

struct WriteState {
    std::string* out;
    char message[256];
};

void WriteToString(png_structp png, png_bytep data, png_size_t length) {
    auto* state = static_cast<WriteState*>(png_get_io_ptr(png));
    state->out->append(reinterpret_cast<const char*>(data), length);
}

void Flush(png_structp) {}

void OnWriteError(png_structp png, png_const_charp message) {
    auto* state = static_cast<WriteState*>(png_get_error_ptr(png));
    if (state) std::snprintf(state->message, sizeof state->message, "%s", message);
    png_longjmp(png, 1);
}

bool WriteImage(png_structp png, png_infop info, WriteState* state, png_uint_32 width, png_uint_32 height,
                bool alpha, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, state, WriteToString, Flush);
    png_set_IHDR(png, info, width, height, 8, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (!alpha) png_set_filler(png, 0, PNG_FILLER_AFTER);  // drop the alpha byte of each pixel
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

ImageStatus DecodePng(std::string_view data, Bitmap& bitmap, std::string* detail) {
    Reader r;
    r.state.data = reinterpret_cast<const unsigned char*>(data.data());
    r.state.size = data.size();
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r.state, OnError, OnWarning);
    if (!r.png) return ImageStatus::Corrupt;
    r.info = png_create_info_struct(r.png);
    if (!r.info) return ImageStatus::Corrupt;
    auto fail = [&](ImageStatus status) {
        if (detail) *detail = r.state.message;
        return status;
    };
    png_uint_32 width = 0, height = 0;
    // libpng rejects an oversized header as merely invalid; say why.
    if (ReadImageSize(data, width, height) &&
        (width > kMaxImageDimension || height > kMaxImageDimension || uint64_t{width} * height > kMaxImagePixels))
        return ImageStatus::TooLarge;
    int hadAlpha = 0;
    if (!ReadHeader(r, &width, &height, &hadAlpha))
        return fail(r.state.ranOut ? ImageStatus::Truncated : ImageStatus::Corrupt);
    if (!bitmap.Allocate(width, height)) return ImageStatus::TooLarge;
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = bitmap.Row(y);
    if (!ReadPixels(r, rows.data())) {
        bitmap.hasAlpha = hadAlpha != 0;
        return fail(r.state.ranOut ? ImageStatus::Truncated : ImageStatus::Corrupt);
    }
    bitmap.hasAlpha = hadAlpha != 0;
    return ImageStatus::Ok;
}

ImageStatus EncodePng(const Bitmap& bitmap, std::string& out, std::string* detail) {
    if (bitmap.width == 0 || bitmap.height == 0 || bitmap.pixels.size() != size_t{bitmap.width} * bitmap.height * 4) {
        if (detail) *detail = "empty or inconsistent bitmap";
        return ImageStatus::Corrupt;
    }
    WriteState state{&out, {}};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, OnWriteError, OnWarning);
    if (!png) return ImageStatus::WriteFailed;
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows(bitmap.height);
    for (uint32_t y = 0; y < bitmap.height; ++y) rows[y] = const_cast<png_bytep>(bitmap.Row(y));
    out.clear();
    bool ok = info && WriteImage(png, info, &state, bitmap.width, bitmap.height, bitmap.hasAlpha, rows.data());
    png_destroy_write_struct(&png, info ? &info : nullptr);
    if (!ok) {
        if (detail) *detail = state.message;
        out.clear();
        return ImageStatus::WriteFailed;
    }
    return ImageStatus::Ok;
}

}  // namespace qb::render

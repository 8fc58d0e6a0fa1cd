#include "TestImages.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>

namespace qb::test {

namespace {

int WriteToString(GifFileType* gif, const GifByteType* data, int length) {
    static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
    return length;
}

void Le16(std::string& s, unsigned v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Le32(std::string& s, unsigned v) {
    Le16(s, v & 0xFFFF);
    Le16(s, v >> 16);
}

std::string BmpHeaders(int width, int height, int bits, unsigned compression, unsigned paletteCount,
                       size_t pixelBytes) {
    std::string s = "BM";
    unsigned offset = 14 + 40 + paletteCount * 4;
    Le32(s, static_cast<unsigned>(offset + pixelBytes));
    Le32(s, 0);
    Le32(s, offset);
    Le32(s, 40);
    Le32(s, static_cast<unsigned>(width));
    Le32(s, static_cast<unsigned>(height));
    Le16(s, 1);
    Le16(s, static_cast<unsigned>(bits));
    Le32(s, compression);
    Le32(s, static_cast<unsigned>(pixelBytes));
    Le32(s, 2835);
    Le32(s, 2835);
    Le32(s, paletteCount);
    Le32(s, 0);
    return s;
}

}  // namespace

std::string MakeGif(int width, int height, bool interlaced, bool transparentIndex0) {
    std::string out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, WriteToString, &error);
    GifColorType colours[256];
    for (int i = 0; i < 256; ++i) colours[i] = {static_cast<GifByteType>((i % 16) * 40), static_cast<GifByteType>((i / 16) * 40), 200};
    ColorMapObject* map = GifMakeMapObject(256, colours);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, width, height, 8, 0, map);
    if (transparentIndex0) {
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = 0;
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
    }
    EGifPutImageDesc(gif, 0, 0, width, height, interlaced, nullptr);
    std::vector<GifPixelType> line(static_cast<size_t>(width));
    auto writeRow = [&](int y) {
        for (int x = 0; x < width; ++x) line[static_cast<size_t>(x)] = static_cast<GifPixelType>((y % 16) * 16 + x % 16);
        EGifPutLine(gif, line.data(), width);
    };
    if (interlaced) {
        const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = start[pass]; y < height; y += step[pass]) writeRow(y);
    } else {
        for (int y = 0; y < height; ++y) writeRow(y);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

std::string MakeJpeg(int width, int height, bool grey, bool progressive) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(static_cast<size_t>(width) * cinfo.input_components);
    while (cinfo.next_scanline < cinfo.image_height) {
        int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            if (grey) {
                row[static_cast<size_t>(x)] = static_cast<unsigned char>(x * 40);
            } else {
                row[static_cast<size_t>(x) * 3] = static_cast<unsigned char>(x * 40);
                row[static_cast<size_t>(x) * 3 + 1] = static_cast<unsigned char>(y * 40);
                row[static_cast<size_t>(x) * 3 + 2] = 200;
            }
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string out(reinterpret_cast<char*>(buffer), size);
    std::free(buffer);
    return out;
}

std::string MakeJpegCmykAdobe(int width, int height) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(static_cast<size_t>(width) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            // Inverted CMYK of (x*40, y*40, 200) with no black.
            row[static_cast<size_t>(x) * 4] = static_cast<unsigned char>(x * 40);
            row[static_cast<size_t>(x) * 4 + 1] = static_cast<unsigned char>(y * 40);
            row[static_cast<size_t>(x) * 4 + 2] = 200;
            row[static_cast<size_t>(x) * 4 + 3] = 255;
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string out(reinterpret_cast<char*>(buffer), size);
    std::free(buffer);
    return out;
}

std::string MakeGifWithOffsetFrame() {
    std::string out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, WriteToString, &error);
    GifColorType colours[8] = {};
    colours[5] = {10, 20, 30};
    ColorMapObject* map = GifMakeMapObject(8, colours);
    EGifPutScreenDesc(gif, 4, 3, 3, 0, map);
    EGifPutImageDesc(gif, 1, 1, 2, 2, false, nullptr);
    GifPixelType line[2] = {5, 5};
    EGifPutLine(gif, line, 2);
    EGifPutLine(gif, line, 2);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

std::string MakeBmp24(int width, int height) {
    size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    std::string s = BmpHeaders(width, height, 24, 0, 0, rowBytes * static_cast<size_t>(height));
    for (int y = height - 1; y >= 0; --y) {
        std::string row;
        for (int x = 0; x < width; ++x) {
            row.push_back(static_cast<char>(200));
            row.push_back(static_cast<char>(y * 40));
            row.push_back(static_cast<char>(x * 40));
        }
        row.resize(rowBytes, '\0');
        s += row;
    }
    return s;
}

std::string MakeBmpRle8(int width, int height) {
    std::string pixels;
    for (int fileRow = 0; fileRow < height; ++fileRow) {
        int y = height - 1 - fileRow;
        pixels.push_back(static_cast<char>(width));
        pixels.push_back(static_cast<char>(y));
        pixels += std::string("\0\0", 2);
    }
    pixels += std::string("\0\1", 2);
    std::string s = BmpHeaders(width, height, 8, 1, 256, pixels.size());
    for (int i = 0; i < 256; ++i) {
        s.push_back(0);
        s.push_back(0);
        s.push_back(static_cast<char>(i * 50));
        s.push_back(0);
    }
    return s + pixels;
}

std::string MakeBmp1(int width, int height) {
    size_t rowBytes = (static_cast<size_t>(width) + 31) / 32 * 4;
    std::string s = BmpHeaders(width, height, 1, 0, 2, rowBytes * static_cast<size_t>(height));
    s += std::string("\0\0\0\0\xFF\xFF\xFF\0", 8);
    for (int y = height - 1; y >= 0; --y) {
        std::string row(rowBytes, '\0');
        for (int x = 0; x < width; ++x)
            if ((x + y) % 2) row[static_cast<size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
        s += row;
    }
    return s;
}

}  // namespace qb::test

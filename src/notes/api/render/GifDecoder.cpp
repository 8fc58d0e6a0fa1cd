// GIF through giflib's record API: the sizes are checked before a raster is
// allocated, and only the first frame is decoded.
#include "notes/api/render/Image.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace qb::render {

namespace {

struct MemoryReader {
    std::string_view data;
    size_t pos = 0;
    bool ranOut = false;
};

int ReadFromMemory(GifFileType* gif, GifByteType* buffer, int length) {
    auto* reader = static_cast<MemoryReader*>(gif->UserData);
    if (length <= 0) return 0;
    size_t available = reader->data.size() - reader->pos;
    size_t n = std::min(available, static_cast<size_t>(length));
    if (n < static_cast<size_t>(length)) reader->ranOut = true;
    std::memcpy(buffer, reader->data.data() + reader->pos, n);
    reader->pos += n;
    return static_cast<int>(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

ImageStatus Fail(ImageStatus status, int code, std::string* detail) {
    if (detail) {
        const char* text = GifErrorString(code);
        *detail = text ? text : "GIF error";
    }
    return status;
}

struct Transparency {
    bool enabled = false;
    int index = -1;
};

// Reads the extension blocks; remembers the transparency of the next image.
bool ReadExtension(GifFileType* gif, Transparency& transparency) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
        transparency.enabled = (block[1] & 0x01) != 0;
        transparency.index = block[4];
    }
    while (block) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
    }
    return true;
}

}  // namespace

ImageStatus DecodeGif(std::string_view data, Bitmap& bitmap, std::string* detail) {
    MemoryReader reader{data};
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&reader, ReadFromMemory, &error));
    if (!gif) return Fail(reader.ranOut ? ImageStatus::Truncated : ImageStatus::Corrupt, error, detail);
    Transparency transparency;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
            return Fail(reader.ranOut ? ImageStatus::Truncated : ImageStatus::Corrupt, gif->Error, detail);
        if (type == TERMINATE_RECORD_TYPE) {
            if (detail) *detail = "GIF without an image";
            return ImageStatus::Corrupt;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            if (!ReadExtension(gif.get(), transparency))
                return Fail(reader.ranOut ? ImageStatus::Truncated : ImageStatus::Corrupt, gif->Error, detail);
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) {
            if (detail) *detail = "unexpected GIF record";
            return ImageStatus::Corrupt;
        }
        break;
    }
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
        return Fail(reader.ranOut ? ImageStatus::Truncated : ImageStatus::Corrupt, gif->Error, detail);
    const GifImageDesc& desc = gif->Image;
    if (desc.Width <= 0 || desc.Height <= 0 || desc.Left < 0 || desc.Top < 0) {
        if (detail) *detail = "GIF frame without size";
        return ImageStatus::Corrupt;
    }
    const ColorMapObject* colours = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    if (!colours || !colours->Colors) {
        if (detail) *detail = "GIF without a colour table";
        return ImageStatus::Corrupt;
    }
    // The logical screen when it holds the frame, else the frame alone.
    uint32_t width = static_cast<uint32_t>(desc.Width);
    uint32_t height = static_cast<uint32_t>(desc.Height);
    if (gif->SWidth > 0 && gif->SHeight > 0 && desc.Left + desc.Width <= gif->SWidth &&
        desc.Top + desc.Height <= gif->SHeight) {
        width = static_cast<uint32_t>(gif->SWidth);
        height = static_cast<uint32_t>(gif->SHeight);
    }
    if (!bitmap.Allocate(width, height)) return ImageStatus::TooLarge;
    bool offsetFrame = width != static_cast<uint32_t>(desc.Width) || height != static_cast<uint32_t>(desc.Height);
    uint32_t left = offsetFrame ? static_cast<uint32_t>(desc.Left) : 0;
    uint32_t top = offsetFrame ? static_cast<uint32_t>(desc.Top) : 0;
    if (transparency.enabled || offsetFrame) {
        // Around a smaller frame, and where the frame is transparent, show
        // nothing: transparent pixels.
        bitmap.hasAlpha = true;
        if (offsetFrame)
            for (size_t i = 3; i < bitmap.pixels.size(); i += 4) bitmap.pixels[i] = 0;
    }

    std::vector<GifPixelType> line(static_cast<size_t>(desc.Width));
    auto putRow = [&](uint32_t row) {
        uint8_t* out = bitmap.Row(top + row) + size_t{left} * 4;
        for (int x = 0; x < desc.Width; ++x, out += 4) {
            int index = line[static_cast<size_t>(x)];
            if (transparency.enabled && index == transparency.index) {
                out[3] = 0;
                continue;
            }
            if (index < colours->ColorCount) {
                out[0] = colours->Colors[index].Red;
                out[1] = colours->Colors[index].Green;
                out[2] = colours->Colors[index].Blue;
            }
            out[3] = 255;
        }
    };
    ImageStatus status = ImageStatus::Ok;
    auto readRow = [&](uint32_t row) {
        if (DGifGetLine(gif.get(), line.data(), desc.Width) == GIF_ERROR) {
            status = reader.ranOut ? ImageStatus::Truncated : ImageStatus::Corrupt;
            if (detail) *detail = GifErrorString(gif->Error) ? GifErrorString(gif->Error) : "GIF error";
            return false;
        }
        putRow(row);
        return true;
    };
    uint32_t frameHeight = static_cast<uint32_t>(desc.Height);
    if (desc.Interlace) {
        static constexpr uint32_t kStart[] = {0, 4, 2, 1};
        static constexpr uint32_t kStep[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4 && status == ImageStatus::Ok; ++pass)
            for (uint32_t row = kStart[pass]; row < frameHeight; row += kStep[pass])
                if (!readRow(row)) break;
    } else {
        for (uint32_t row = 0; row < frameHeight; ++row)
            if (!readRow(row)) break;
    }
    return status;
}

}  // namespace qb::render

// TIFF files through libtiff. The picture is made in memory and written
// whole through OutputFile, so the file holds exactly its bytes even when it
// is a reused one with longer stale contents (RecycledFiles).
#include "notes/api/render/Image.h"

#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>

#include "shell/platform/OutputFile.h"

namespace qb::render {

namespace {

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};

thread_local std::string lastTiffMessage;

void CaptureMessage(const char* module, const char* format, va_list args) {
    char buffer[512];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    lastTiffMessage = std::string(module ? module : "libtiff") + ": " + buffer;
}

void IgnoreWarning(const char*, const char*, va_list) {}

// The TIFF as libtiff writes it, held in memory: bytes with a position,
// behaving as the file libtiff would otherwise write (a write past the end
// grows it, a gap reads as zeros). libtiff writes the strips where the file
// ends, so it cannot write into a reused file that holds stale bytes (see
// RecycledFiles); the finished picture goes out through OutputFile instead.
// `limit` bounds the bytes by the picture's size.
struct MemoryTiff {
    std::string bytes;
    std::uint64_t position = 0;
    std::uint64_t limit = 0;
};

MemoryTiff& MemoryOf(thandle_t handle) { return *static_cast<MemoryTiff*>(handle); }

tmsize_t MemoryRead(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryTiff& memory = MemoryOf(handle);
    if (size < 0) return -1;
    const std::uint64_t available = memory.position < memory.bytes.size() ? memory.bytes.size() - memory.position : 0;
    const auto count = static_cast<std::size_t>(std::min(available, static_cast<std::uint64_t>(size)));
    if (count > 0) std::memcpy(buffer, memory.bytes.data() + memory.position, count);
    memory.position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t MemoryWrite(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryTiff& memory = MemoryOf(handle);
    if (size < 0) return -1;
    const auto count = static_cast<std::uint64_t>(size);
    if (memory.position > memory.limit || count > memory.limit - memory.position) {
        errno = EFBIG;
        return -1;
    }
    const std::uint64_t end = memory.position + count;
    if (memory.bytes.size() < end) memory.bytes.resize(static_cast<std::size_t>(end));
    if (count > 0) std::memcpy(memory.bytes.data() + memory.position, buffer, static_cast<std::size_t>(count));
    memory.position = end;
    return size;
}

toff_t MemorySeek(thandle_t handle, toff_t offset, int whence) {
    MemoryTiff& memory = MemoryOf(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) base = memory.position;
    else if (whence == SEEK_END) base = memory.bytes.size();
    else if (whence != SEEK_SET) return static_cast<toff_t>(-1);
    // libtiff passes a negative relative offset as its two's complement.
    const auto relative = static_cast<std::int64_t>(offset);
    if (relative < 0 ? static_cast<std::uint64_t>(-relative) > base
                     : static_cast<std::uint64_t>(relative) > memory.limit - std::min(base, memory.limit)) {
        errno = EINVAL;
        return static_cast<toff_t>(-1);
    }
    memory.position = base + static_cast<std::uint64_t>(relative);
    return memory.position;
}

int MemoryClose(thandle_t) { return 0; }
toff_t MemorySize(thandle_t handle) { return MemoryOf(handle).bytes.size(); }
int MemoryMap(thandle_t, void**, toff_t*) { return 0; }
void MemoryUnmap(thandle_t, void*, toff_t) {}

TIFF* OpenInMemory(const std::string& name, MemoryTiff& memory) {
    return TIFFClientOpen(name.c_str(), "w", &memory, MemoryRead, MemoryWrite, MemorySeek, MemoryClose, MemorySize,
                          MemoryMap, MemoryUnmap);
}

// libtiff prints to stderr by default; its messages belong in our status.
void InstallHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(CaptureMessage);
        TIFFSetWarningHandler(IgnoreWarning);
    });
}

}  // namespace

ImageStatus WriteTiff(const Bitmap& bitmap, const std::string& path, std::string* detail) {
    if (bitmap.width == 0 || bitmap.height == 0 || bitmap.pixels.size() != size_t{bitmap.width} * bitmap.height * 4) {
        if (detail) *detail = "empty or inconsistent bitmap";
        return ImageStatus::Corrupt;
    }
    InstallHandlers();
    lastTiffMessage.clear();
    const uint16_t samples = bitmap.hasAlpha ? 4 : 3;
    // LZW codes take at most 12 bits per byte; the rest is a few tags.
    MemoryTiff memory;
    memory.limit = std::uint64_t{bitmap.width} * bitmap.height * samples * 2 + (std::uint64_t{1} << 20);
    std::unique_ptr<TIFF, TiffCloser> tif(OpenInMemory(path, memory));
    auto fail = [&] {
        if (detail) *detail = lastTiffMessage.empty() ? "cannot write " + path : lastTiffMessage;
        // No picture is left under the name, as none was written (and
        // nothing but a plain file is ever removed).
        tif.reset();
        std::error_code ignored;
        if (std::filesystem::is_regular_file(std::filesystem::symlink_status(path, ignored)))
            std::filesystem::remove(path, ignored);
        return ImageStatus::WriteFailed;
    };
    if (!tif) return fail();
    TIFFSetField(tif.get(), TIFFTAG_IMAGEWIDTH, bitmap.width);
    TIFFSetField(tif.get(), TIFFTAG_IMAGELENGTH, bitmap.height);
    TIFFSetField(tif.get(), TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif.get(), TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif.get(), TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif.get(), TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tif.get(), TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif.get(), TIFFTAG_XRESOLUTION, 96.0f);
    TIFFSetField(tif.get(), TIFFTAG_YRESOLUTION, 96.0f);
    if (bitmap.hasAlpha) {
        uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif.get(), TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    TIFFSetField(tif.get(), TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif.get(), 0));
    std::vector<uint8_t> line(size_t{bitmap.width} * samples);
    for (uint32_t y = 0; y < bitmap.height; ++y) {
        const uint8_t* in = bitmap.Row(y);
        for (uint32_t x = 0; x < bitmap.width; ++x)
            for (uint16_t s = 0; s < samples; ++s) line[size_t{x} * samples + s] = in[size_t{x} * 4 + s];
        if (TIFFWriteScanline(tif.get(), line.data(), y, 0) < 0) return fail();
    }
    if (!TIFFFlush(tif.get())) return fail();
    tif.reset();
    std::string error;
    if (!platform::WriteWholeFile(path, memory.bytes, &error)) {
        if (detail) *detail = error;
        return ImageStatus::WriteFailed;
    }
    return ImageStatus::Ok;
}

}  // namespace qb::render

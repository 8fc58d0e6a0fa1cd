// TIFF files through libtiff.
#include "notes/api/render/Image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdarg>
#include <filesystem>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

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

// The file opened for libtiff: private, never through a symbolic link, and
// emptied without truncating a file that is empty already (ext4 writes a file
// truncated to empty out to disk when it is closed; the converters hand
// pictures reused empty files).
TIFF* OpenForWriting(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat st {};
    const bool ready = fd >= 0 && ::fstat(fd, &st) == 0 &&
                       (st.st_size > 0 ? ::ftruncate(fd, 0) == 0 : ::futimens(fd, nullptr) == 0);
    if (!ready) {
        lastTiffMessage = path + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return nullptr;
    }
    TIFF* tif = TIFFFdOpen(fd, path.c_str(), "w");  // closes fd with the TIFF
    if (!tif) ::close(fd);
    return tif;
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
    std::unique_ptr<TIFF, TiffCloser> tif(OpenForWriting(path));
    auto fail = [&] {
        if (detail) *detail = lastTiffMessage.empty() ? "cannot write " + path : lastTiffMessage;
        if (tif) {
            tif.reset();
            // No half-written picture is left to attach (and nothing but a
            // plain file is ever removed).
            std::error_code ignored;
            if (std::filesystem::is_regular_file(path, ignored)) std::filesystem::remove(path, ignored);
        }
        return ImageStatus::WriteFailed;
    };
    if (!tif) return fail();
    const uint16_t samples = bitmap.hasAlpha ? 4 : 3;
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
    return ImageStatus::Ok;
}

}  // namespace qb::render

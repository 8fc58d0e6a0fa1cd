// Picture decoders, the PNG encoder and the TIFF writer, on files made by
// the real encoders, and on cut and damaged copies of them.
#include "notes/api/render/Image.h"

#include "TestImages.h"
#include "support/OutsideTools.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace qb::render {
namespace {

using test::MakeBmp1;
using test::MakeBmp24;
using test::MakeBmpRle8;
using test::MakeGif;
using test::MakeJpeg;

std::array<int, 4> Pixel(const Bitmap& b, uint32_t x, uint32_t y) {
    const uint8_t* p = b.Row(y) + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

// Recomputes the CRC of the chunk at offset (length field) after an edit.
void SetPngChunkCrc(std::string& png, size_t offset) {
    auto u8 = [&](size_t i) { return static_cast<uint8_t>(png[i]); };
    uint32_t length = (uint32_t{u8(offset)} << 24) | (u8(offset + 1) << 16) | (u8(offset + 2) << 8) | u8(offset + 3);
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = offset + 4; i < offset + 8 + length; ++i) {
        crc ^= u8(i);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    crc ^= 0xFFFFFFFFu;
    for (int k = 0; k < 4; ++k) png[offset + 8 + length + k] = static_cast<char>(crc >> (24 - 8 * k));
}

void ExpectGradient(const Bitmap& b, int tolerance) {
    for (uint32_t y = 0; y < b.height; ++y)
        for (uint32_t x = 0; x < b.width; ++x) {
            auto p = Pixel(b, x, y);
            EXPECT_NEAR(p[0], static_cast<int>(x * 40), tolerance) << x << "," << y;
            EXPECT_NEAR(p[1], static_cast<int>(y * 40), tolerance) << x << "," << y;
            EXPECT_NEAR(p[2], 200, tolerance) << x << "," << y;
            EXPECT_EQ(p[3], 255);
        }
}

TEST(ImageDecoders, GifPlainInterlacedAndTransparent) {
    Bitmap plain;
    ASSERT_EQ(DecodeImage(MakeGif(5, 3, false, false), plain), ImageStatus::Ok);
    EXPECT_EQ(plain.width, 5u);
    EXPECT_EQ(plain.height, 3u);
    EXPECT_FALSE(plain.hasAlpha);
    ExpectGradient(plain, 0);
    Bitmap interlaced;
    ASSERT_EQ(DecodeImage(MakeGif(6, 6, true, false), interlaced), ImageStatus::Ok);
    ExpectGradient(interlaced, 0);
    Bitmap transparent;
    ASSERT_EQ(DecodeImage(MakeGif(4, 4, false, true), transparent), ImageStatus::Ok);
    EXPECT_TRUE(transparent.hasAlpha);
    EXPECT_EQ(Pixel(transparent, 0, 0)[3], 0);
    EXPECT_EQ(Pixel(transparent, 1, 0)[3], 255);
}

TEST(ImageDecoders, GifFrameSmallerThanScreenIsPlacedOnTransparency) {
    Bitmap b;
    ASSERT_EQ(DecodeImage(test::MakeGifWithOffsetFrame(), b), ImageStatus::Ok);
    EXPECT_EQ(b.width, 4u);
    EXPECT_EQ(b.height, 3u);
    EXPECT_TRUE(b.hasAlpha);
    EXPECT_EQ(Pixel(b, 0, 0)[3], 0);
    EXPECT_EQ(Pixel(b, 1, 1), (std::array<int, 4>{10, 20, 30, 255}));
    EXPECT_EQ(Pixel(b, 2, 2), (std::array<int, 4>{10, 20, 30, 255}));
    EXPECT_EQ(Pixel(b, 3, 2)[3], 0);
}

TEST(ImageDecoders, JpegColourGreyAndProgressive) {
    Bitmap colour;
    ASSERT_EQ(DecodeImage(MakeJpeg(6, 6, false, false), colour), ImageStatus::Ok);
    EXPECT_EQ(colour.width, 6u);
    ExpectGradient(colour, 30);  // 4:2:0 chroma on a steep gradient
    Bitmap progressive;
    ASSERT_EQ(DecodeImage(MakeJpeg(6, 6, false, true), progressive), ImageStatus::Ok);
    ExpectGradient(progressive, 30);
    Bitmap cmyk;
    ASSERT_EQ(DecodeImage(test::MakeJpegCmykAdobe(6, 6), cmyk), ImageStatus::Ok);
    ExpectGradient(cmyk, 8);
    Bitmap grey;
    ASSERT_EQ(DecodeImage(MakeJpeg(5, 2, true, false), grey), ImageStatus::Ok);
    auto p = Pixel(grey, 4, 1);
    EXPECT_NEAR(p[0], 160, 10);
    EXPECT_EQ(p[0], p[1]);
    EXPECT_EQ(p[1], p[2]);
}

TEST(ImageDecoders, BmpTrueColourRleAndMonochrome) {
    Bitmap rgb;
    ASSERT_EQ(DecodeImage(MakeBmp24(5, 4), rgb), ImageStatus::Ok);
    ExpectGradient(rgb, 0);
    Bitmap rle;
    ASSERT_EQ(DecodeImage(MakeBmpRle8(3, 4), rle), ImageStatus::Ok);
    for (uint32_t y = 0; y < 4; ++y) EXPECT_EQ(Pixel(rle, 2, y)[0], static_cast<int>(y * 50));
    Bitmap mono;
    ASSERT_EQ(DecodeImage(MakeBmp1(9, 3), mono), ImageStatus::Ok);
    EXPECT_EQ(Pixel(mono, 0, 0)[0], 0);
    EXPECT_EQ(Pixel(mono, 1, 0)[0], 255);
    EXPECT_EQ(Pixel(mono, 8, 1)[0], 255);
}

TEST(ImageDecoders, PngRoundTripWithAndWithoutAlpha) {
    Bitmap source;
    ASSERT_TRUE(source.Allocate(7, 3));
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 7; ++x) {
            uint8_t* p = source.Row(y) + x * 4;
            p[0] = static_cast<uint8_t>(x * 40), p[1] = static_cast<uint8_t>(y * 40), p[2] = 200;
        }
    for (bool alpha : {false, true}) {
        source.hasAlpha = alpha;
        source.Row(1)[3] = alpha ? 17 : 255;
        std::string png;
        ASSERT_EQ(EncodePng(source, png), ImageStatus::Ok);
        EXPECT_EQ(DetectImageFormat(png), ImageFormat::Png);
        uint32_t w = 0, h = 0;
        ASSERT_TRUE(ReadImageSize(png, w, h));
        EXPECT_EQ(w, 7u);
        EXPECT_EQ(h, 3u);
        Bitmap decoded;
        ASSERT_EQ(DecodeImage(png, decoded), ImageStatus::Ok);
        EXPECT_EQ(decoded.hasAlpha, alpha);
        EXPECT_EQ(decoded.pixels, source.pixels);
    }
}

TEST(ImageDecoders, SizesFromHeadersOnly) {
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(ReadImageSize(MakeJpeg(13, 7, false, true), w, h));
    EXPECT_EQ(w, 13u);
    EXPECT_EQ(h, 7u);
    ASSERT_TRUE(ReadImageSize(MakeGif(9, 2, false, false), w, h));
    EXPECT_EQ(w, 9u);
    ASSERT_TRUE(ReadImageSize(MakeBmp24(3, 11), w, h));
    EXPECT_EQ(h, 11u);
    EXPECT_FALSE(ReadImageSize("not a picture", w, h));
}

// Every prefix of every sample: a status, never a crash; the half file is
// reported as truncated.
TEST(ImageDecoders, CutFilesGiveStatusesNeverCrashes) {
    Bitmap pngSource;
    pngSource.Allocate(16, 16);
    std::string png;
    EncodePng(pngSource, png);
    for (const std::string& sample : {MakeGif(16, 16, true, true), MakeJpeg(16, 16, false, true), png,
                                      MakeBmp24(16, 16), MakeBmpRle8(16, 16)}) {
        for (size_t length = 0; length < sample.size(); ++length) {
            Bitmap b;
            ImageStatus status = DecodeImage(std::string_view(sample).substr(0, length), b);
            if (status == ImageStatus::Ok) {
                EXPECT_EQ(b.width, 16u);
            }
        }
        Bitmap half;
        ImageStatus status = DecodeImage(std::string_view(sample).substr(0, sample.size() / 2), half);
        EXPECT_EQ(status, ImageStatus::Truncated) << ImageFormatName(DetectImageFormat(sample));
    }
}

TEST(ImageDecoders, DamagedAndHugeHeadersAreRefused) {
    Bitmap b;
    std::string detail;
    EXPECT_EQ(DecodeImage("plain text", b), ImageStatus::UnknownFormat);
    // A PNG chunk with a wrong CRC.
    Bitmap source;
    source.Allocate(4, 4);
    std::string png;
    EncodePng(source, png);
    std::string badCrc = png;
    badCrc[png.find("IDAT") + 6] ^= 0x55;
    EXPECT_EQ(DecodePng(badCrc, b, &detail), ImageStatus::Corrupt);
    EXPECT_FALSE(detail.empty());
    // Sizes above the limits, before any pixel buffer is made.
    std::string hugePng = png;
    hugePng[16] = hugePng[20] = '\x7F';
    SetPngChunkCrc(hugePng, 8);
    EXPECT_EQ(DecodeImage(hugePng, b, &detail), ImageStatus::TooLarge) << detail;
    std::string hugeGif = MakeGif(4, 4, false, false);
    hugeGif[6] = hugeGif[7] = hugeGif[8] = hugeGif[9] = '\xFF';
    // The 4x4 frame would sit on a 65535x65535 screen.
    EXPECT_EQ(DecodeImage(hugeGif, b), ImageStatus::TooLarge);
    std::string hugeBmp = MakeBmp24(2, 2);
    hugeBmp[21] = hugeBmp[25] = '\x10';
    EXPECT_EQ(DecodeImage(hugeBmp, b), ImageStatus::TooLarge);
    std::string oddBmp = MakeBmp24(2, 2);
    oddBmp[28] = 7;  // 7 bits per pixel
    EXPECT_EQ(DecodeImage(oddBmp, b), ImageStatus::Unsupported);
    std::string badJpeg = MakeJpeg(8, 8, false, false);
    size_t huffman = badJpeg.find("\xFF\xC4");
    ASSERT_NE(huffman, std::string::npos);
    badJpeg[huffman + 2] = '\0';  // a Huffman table with a bogus length
    badJpeg[huffman + 3] = '\1';
    EXPECT_EQ(DecodeImage(badJpeg, b, &detail), ImageStatus::Corrupt);
    EXPECT_FALSE(detail.empty());
}

TEST(TiffWriter, WritesFilesThatLibtiffAndTiffinfoRead) {
    test::TempDir dir;
    for (bool transparent : {false, true}) {
        std::string path = dir.File(transparent ? "alpha.tif" : "plain.tif");
        ASSERT_EQ(ConvertImageToTiff(MakeGif(5, 3, false, transparent), path), ImageStatus::Ok);
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        ASSERT_NE(tif, nullptr);
        uint32_t width = 0, height = 0;
        uint16_t samples = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        EXPECT_EQ(width, 5u);
        EXPECT_EQ(height, 3u);
        EXPECT_EQ(samples, transparent ? 4 : 3);
        std::vector<uint32_t> raster(15);
        ASSERT_EQ(TIFFReadRGBAImageOriented(tif, 5, 3, raster.data(), ORIENTATION_TOPLEFT, 0), 1);
        uint32_t pixel = raster[1 * 5 + 2];  // x 2, y 1
        EXPECT_EQ(TIFFGetR(pixel), 80u);
        EXPECT_EQ(TIFFGetG(pixel), 40u);
        EXPECT_EQ(TIFFGetB(pixel), 200u);
        TIFFClose(tif);
        if (test::ToolForCheck("tiffinfo")) {
            const test::ProgramResult info = test::RunCommand("tiffinfo " + test::ShellQuote(path));
            EXPECT_EQ(info.status, 0) << info.output;
            EXPECT_NE(info.output.find("Image Width: 5 Image Length: 3"), std::string::npos) << info.output;
        }
    }
}

// The picture is the same bytes whatever the file held before: a reused file
// (RecycledFiles) with longer stale bytes ends with the picture only, and a
// shorter one grows to it.
TEST(TiffWriter, AReusedFileHoldsExactlyThePicture) {
    test::TempDir dir;
    Bitmap bitmap;
    ASSERT_EQ(DecodeImage(MakeGif(40, 30, false, true), bitmap), ImageStatus::Ok);
    const std::string fresh = dir.File("fresh.tif");
    ASSERT_EQ(WriteTiff(bitmap, fresh), ImageStatus::Ok);
    const std::string picture = test::ReadFile(fresh);
    ASSERT_GT(picture.size(), 8u);
    EXPECT_EQ(picture.compare(0, 4, std::string("II*\0", 4)), 0);
    for (const std::size_t staleSize : {picture.size() * 3, picture.size() / 2}) {
        const std::string reused = dir.Write("_IMAGE1.tif", std::string(staleSize, '\xff'));
        ASSERT_EQ(WriteTiff(bitmap, reused), ImageStatus::Ok);
        EXPECT_EQ(test::ReadFile(reused), picture) << staleSize;
    }
}

TEST(TiffWriter, FailuresLeaveNoFileAndSayWhy) {
    test::TempDir dir;
    std::string detail;
    EXPECT_EQ(ConvertImageToTiff("GIF89a", dir.File("cut.tif"), &detail), ImageStatus::Truncated);
    EXPECT_FALSE(std::ifstream(dir.File("cut.tif")).good());
    Bitmap b;
    b.Allocate(2, 2);
    EXPECT_EQ(WriteTiff(b, dir.File("no/such/folder/x.tif"), &detail), ImageStatus::WriteFailed);
    EXPECT_FALSE(detail.empty());
}

}  // namespace
}  // namespace qb::render

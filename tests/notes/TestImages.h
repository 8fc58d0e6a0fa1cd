#pragma once
// Small pictures made for the tests with the real encoders (giflib,
// libjpeg) or by hand (BMP), so that the decoders meet files they did not
// write themselves.

#include <string>

namespace qb::test {

// width x height, pixel (x, y) = colour (x*40, y*40, 200) for GIF (from a
// palette) and JPEG; the GIF marks palette index 0 transparent when asked.
std::string MakeGif(int width, int height, bool interlaced, bool transparentIndex0);
std::string MakeJpeg(int width, int height, bool grey, bool progressive);
// A CMYK JPEG as Adobe programs write it (inverted values, Adobe marker),
// same colours as MakeJpeg.
std::string MakeJpegCmykAdobe(int width, int height);
// A GIF whose one frame (2x2, colour index 5) sits at (1, 1) on a 4x3 screen.
std::string MakeGifWithOffsetFrame();
// 24-bit bottom-up BMP with pixel (x, y) = (x*40, y*40, 200).
std::string MakeBmp24(int width, int height);
// 8-bit RLE BMP: row y filled with palette index y (palette i = (i*50, 0, 0)).
std::string MakeBmpRle8(int width, int height);
// 1-bit BMP: a checkerboard of black and white.
std::string MakeBmp1(int width, int height);

}  // namespace qb::test

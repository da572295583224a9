#pragma once

#include "tests/support/tiff_writer.h"

#include <tiffio.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace kx::test {

// A page as a viewer that honours every tag shows it: 8-bit RGBA, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};

// The colour model of a page, and how its pages' extra sample is meant.
enum class Colour {
    Black,
    White,
    Rgb,
    Palette,
    Cmyk,
    YCbCr,
    CieLab,
    IccLab,
    ItuLab,
    LogLuv,
    LogL,
    Mask // a transparency mask: 1-bit, shown as grey where it is a page
};
enum class Alpha { None, Associated, Unassociated, Unspecified };

// One page of a TIFF kind: its layout and coding, and which values its samples take.
struct PageSpec {
    Colour colour = Colour::Rgb;
    int bits = 8;
    int format = SAMPLEFORMAT_UINT;
    Alpha alpha = Alpha::None;
    int compression = COMPRESSION_NONE;
    int predictor = 0;
    bool planar = false;
    int tile = 0;
    int rowsPerStrip = 0;
    int orientation = 0;
    int subfileType = -1;
    int width = 33;
    int height = 17;
    double low = 0, high = 1; // the share of the sample range the values use
    int subH = 0, subV = 0;   // YCbCr subsampling
    int jpegQuality = 0;
    int faxOptions = -1;
    bool smooth = false; // gradients instead of noise, for lossy coding
};

// The pages described by `specs` ready for writeTiff, and the pictures of those a viewer
// shows (transparency masks are not pages). Samples are drawn from a generator seeded by
// `seed`, so the same seed always gives the same pages.
void makePages(const std::vector<PageSpec>& specs, std::string_view seed,
               std::vector<TiffPage>& pages, std::vector<Picture>& pictures);

} // namespace kx::test

// Writes a multi-page TIFF for the demo run and the benchmarks:
//   make_sample_tiff OUT.tif PAGES WIDTH HEIGHT [rgb|grey|grey16|bilevel] [none|lzw|deflate|g4]
// Each page shows a different colourful pattern so that mixed-up pages are easy to spot.
// g4 (CCITT Group 4, bilevel only) writes min-is-white pages, as scanners and fax software do.

#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

uint16_t compressionOf(const char* name) {
    if (std::strcmp(name, "lzw") == 0)
        return COMPRESSION_LZW;
    if (std::strcmp(name, "deflate") == 0)
        return COMPRESSION_ADOBE_DEFLATE;
    if (std::strcmp(name, "g4") == 0)
        return COMPRESSION_CCITTFAX4;
    return COMPRESSION_NONE;
}

void fillRow(std::vector<uint8_t>& row, const char* kind, int page, uint32_t y, uint32_t width) {
    const bool bilevel = std::strcmp(kind, "bilevel") == 0;
    const bool grey = std::strcmp(kind, "grey") == 0;
    const bool grey16 = std::strcmp(kind, "grey16") == 0;
    std::fill(row.begin(), row.end(), 0);
    for (uint32_t x = 0; x < width; ++x) {
        const uint32_t cell = ((x / 16) + (y / 16) + static_cast<uint32_t>(page)) % 2;
        if (bilevel) {
            if (cell)
                row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        } else if (grey16) {
            const auto value = static_cast<uint16_t>(cell ? (x + y) * 97 : 65535 - x * 31 - page);
            std::memcpy(&row[2 * x], &value, 2);
        } else if (grey) {
            row[x] = static_cast<uint8_t>(cell ? (x + y) : 255 - (x + page * 40));
        } else {
            row[3 * x] = static_cast<uint8_t>(x + page * 60);
            row[3 * x + 1] = static_cast<uint8_t>(y * 2);
            row[3 * x + 2] = static_cast<uint8_t>(cell * 200 + page * 20);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr,
                     "usage: %s OUT.tif PAGES WIDTH HEIGHT [rgb|grey|grey16|bilevel] "
                     "[none|lzw|deflate|g4]\n",
                     argv[0]);
        return 2;
    }
    const int pages = std::atoi(argv[2]);
    const auto width = static_cast<uint32_t>(std::atoi(argv[3]));
    const auto height = static_cast<uint32_t>(std::atoi(argv[4]));
    const char* kind = argc > 5 ? argv[5] : "rgb";
    const uint16_t compression = compressionOf(argc > 6 ? argv[6] : "none");
    const bool bilevel = std::strcmp(kind, "bilevel") == 0;
    const bool grey16 = std::strcmp(kind, "grey16") == 0;
    const uint16_t samples = (bilevel || grey16 || std::strcmp(kind, "grey") == 0) ? 1 : 3;
    const bool fax = compression == COMPRESSION_CCITTFAX4;
    if (fax && !bilevel) {
        std::fprintf(stderr, "g4 compression needs bilevel pages\n");
        return 2;
    }
    const uint16_t photometric =
        samples == 3 ? PHOTOMETRIC_RGB : (fax ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK);

    TIFF* tiff =
        TIFFOpen(argv[1], width * height * static_cast<uint64_t>(pages) > (1u << 31) ? "w8" : "w");
    if (!tiff)
        return 1;
    std::vector<uint8_t> row(bilevel ? (width + 7) / 8 : width * samples * (grey16 ? 2 : 1));
    for (int page = 0; page < pages; ++page) {
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bilevel ? 1 : grey16 ? 16 : 8);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 150.0f);
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 150.0f);
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tiff, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(page),
                     static_cast<uint16_t>(pages));
        for (uint32_t y = 0; y < height; ++y) {
            fillRow(row, kind, page, y, width);
            if (TIFFWriteScanline(tiff, row.data(), y, 0) < 0) {
                TIFFClose(tiff);
                return 1;
            }
        }
        TIFFWriteDirectory(tiff);
    }
    TIFFClose(tiff);
    return 0;
}

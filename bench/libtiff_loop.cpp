#include "base/fd_io.h"
#include "bench/loop_program.h"
#include "decoder/tiff/page_budget.h"
#include "imaging/bmp_layout.h"
#include "imaging/sample_scaling.h"

// The floor of any design built on libtiff: each page decoded strip by strip, each strip's
// rows put into the BMP with one write, with no chain, no decoder process and no naming.
//   libtiff_loop IN.tif OUT_FOLDER
// Saves every page of IN.tif as OUT_FOLDER/page-N.bmp (N from 1), the names the FreeImage loop
// gives, at the depth the converter writes by default: 24-bit for 8-bit RGB, 8-bit with a grey
// table for 8-bit grey and for 16-bit grey (mapped by value), 1-bit for bilevel; pages of
// other kinds through libtiff's RGBA reader as 24-bit. Tiled pages are not read. Exit status 0
// when every page was saved, 1 when the file or a page failed, 2 on a usage error.

#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using kx::imaging::BmpHeaders;

enum class Kind { Rgb, Grey, Grey16, Bilevel, Rgba };

struct Page {
    Kind kind = Kind::Rgba;
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t rowsPerStrip = 1;
    size_t rowBytes = 0; // bytes of one decoded row
    BmpHeaders bmp;
};

// The kinds libtiff's strips hold ready to copy; the rest go through its RGBA reader.
Kind kindOf(TIFF* tiff, uint16_t photometric) {
    uint16_t samples = 1, bits = 1, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
    if (planar != PLANARCONFIG_CONTIG || format != SAMPLEFORMAT_UINT)
        return Kind::Rgba;
    if (photometric == PHOTOMETRIC_RGB && samples == 3 && bits == 8)
        return Kind::Rgb;
    const bool grey =
        photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
    if (!grey || samples != 1)
        return Kind::Rgba;
    if (bits == 1)
        return Kind::Bilevel;
    if (bits == 8)
        return Kind::Grey;
    return bits == 16 && photometric == PHOTOMETRIC_MINISBLACK ? Kind::Grey16 : Kind::Rgba;
}

bool readPage(TIFF* tiff, Page& page) {
    if (TIFFIsTiled(tiff) || !TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &page.width) ||
        !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &page.height) || page.width == 0 ||
        page.height == 0)
        return false;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PHOTOMETRIC, &page.photometric);
    page.kind = kindOf(tiff, page.photometric);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &page.rowsPerStrip);
    page.rowsPerStrip = std::clamp<uint32_t>(page.rowsPerStrip, 1, page.height);
    page.rowBytes = page.kind == Kind::Rgba ? size_t{4} * page.width
                                            : static_cast<size_t>(TIFFScanlineSize64(tiff));
    const unsigned bitCount = page.kind == Kind::Bilevel                             ? 1
                              : page.kind == Kind::Grey || page.kind == Kind::Grey16 ? 8
                                                                                     : 24;
    page.bmp.width = page.width;
    page.bmp.height = page.height;
    page.bmp.bitCount = static_cast<uint16_t>(bitCount);
    page.bmp.paletteEntries = bitCount <= 8 ? 1u << bitCount : 0;
    page.bmp.pixelBytes = kx::imaging::bmpRowPitch(page.width, bitCount) * page.height;
    const auto resolution = kx::decoder::readDotsPerMetre(tiff);
    page.bmp.dotsPerMetreX = resolution ? resolution->x : 0;
    page.bmp.dotsPerMetreY = resolution ? resolution->y : 0;
    return page.bmp.fileSize() <= UINT32_MAX;
}

// The file and info headers and the grey or black-and-white colour table.
void putHeaders(const Page& page, uint8_t* out) {
    kx::imaging::writeBmpHeaders(page.bmp, out);
    const bool inverted = page.photometric == PHOTOMETRIC_MINISWHITE;
    const uint32_t colours = page.bmp.paletteEntries;
    for (uint32_t i = 0; i < colours; ++i) {
        const auto level =
            static_cast<uint8_t>((inverted ? colours - 1 - i : i) * 255 / (colours - 1));
        uint8_t* entry = out + kx::imaging::k_bmpHeadersSize + 4 * i;
        entry[0] = entry[1] = entry[2] = level;
    }
}

// RGB samples `Step` bytes apart into BMP's blue, green, red order.
template <size_t Step> void toBgr(const uint8_t* from, uint8_t* to, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x, from += Step, to += 3) {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
    }
}

// One decoded row into one BMP row (whose padding stays as it was).
void convertRow(const Page& page, const uint8_t* from, uint8_t* to) {
    static const std::vector<uint8_t> k_levels = [] {
        std::vector<uint8_t> levels(size_t{1} << 16);
        for (uint32_t sample = 0; sample < levels.size(); ++sample)
            levels[sample] = kx::imaging::levelOfUnsigned(sample, 16);
        return levels;
    }();
    const uint32_t width = page.width;
    switch (page.kind) {
    case Kind::Rgb:
        toBgr<3>(from, to, width);
        break;
    case Kind::Rgba:
        toBgr<4>(from, to, width);
        break;
    case Kind::Grey16:
        for (uint32_t x = 0; x < width; ++x) {
            uint16_t sample = 0;
            std::memcpy(&sample, from + 2 * size_t{x}, 2);
            to[x] = k_levels[sample];
        }
        break;
    case Kind::Grey:
    case Kind::Bilevel:
        std::memcpy(to, from, page.rowBytes);
        break;
    }
}

// Decodes the strips from the last one up (a BMP lists its rows bottom-up) and writes each
// strip's rows with one write, the first one with the headers in front.
bool writePage(TIFF* tiff, const Page& page, int fd) {
    const size_t pitch = kx::imaging::bmpRowPitch(page.width, page.bmp.bitCount);
    const auto headerBytes = static_cast<size_t>(page.bmp.dataOffset());
    std::vector<uint8_t> out(headerBytes + page.rowsPerStrip * pitch);
    std::vector<uint8_t> decoded(page.rowsPerStrip * page.rowBytes);
    putHeaders(page, out.data());
    size_t from = 0;
    const uint32_t strips = (page.height - 1) / page.rowsPerStrip + 1;
    for (uint32_t strip = strips; strip-- > 0;) {
        const uint32_t top = strip * page.rowsPerStrip;
        const uint32_t rows = std::min(page.rowsPerStrip, page.height - top);
        // The RGBA reader lists a strip's rows bottom-up already.
        const bool read =
            page.kind == Kind::Rgba
                ? TIFFReadRGBAStrip(tiff, top, reinterpret_cast<uint32_t*>(decoded.data()))
                : TIFFReadEncodedStrip(tiff, strip, decoded.data(),
                                       static_cast<tmsize_t>(rows * page.rowBytes)) >= 0;
        if (!read)
            return false;
        for (uint32_t r = 0; r < rows; ++r) {
            const uint32_t source = page.kind == Kind::Rgba ? r : rows - 1 - r;
            convertRow(page, decoded.data() + source * page.rowBytes,
                       out.data() + headerBytes + r * pitch);
        }
        if (!kx::base::writeAll(fd, out.data() + from, headerBytes + rows * pitch - from))
            return false;
        from = headerBytes;
    }
    return true;
}

bool savePage(TIFF* tiff, const std::string& path) {
    Page page;
    if (!readPage(tiff, page))
        return false;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    const bool written = writePage(tiff, page, fd);
    if (close(fd) != 0 || !written) {
        unlink(path.c_str());
        return false;
    }
    return true;
}

bool isTransparencyMask(TIFF* tiff) {
    uint32_t type = 0;
    return TIFFGetField(tiff, TIFFTAG_SUBFILETYPE, &type) && (type & FILETYPE_MASK) != 0;
}

} // namespace

int main(int argc, char** argv) {
    if (!kx::bench::loopArguments(argc, argv))
        return 2;
    TIFF* tiff = TIFFOpen(argv[1], "r");
    if (!tiff) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    const std::string folder = argv[2];
    int pages = 0;
    int failed = 0;
    do {
        if (isTransparencyMask(tiff))
            continue;
        ++pages;
        if (!savePage(tiff, kx::bench::pagePath(folder, pages))) {
            std::fprintf(stderr, "page %d failed\n", pages);
            ++failed;
        }
    } while (TIFFReadDirectory(tiff));
    TIFFClose(tiff);
    return pages > 0 && failed == 0 ? 0 : 1;
}

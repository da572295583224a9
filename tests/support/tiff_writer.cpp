#include "tests/support/tiff_writer.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>

namespace kx::test {

namespace {

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

size_t rowBytes(const TiffPage& page) {
    return (static_cast<size_t>(page.width) * page.samplesPerPixel * page.bitsPerSample + 7) / 8;
}

// Whole bytes per pixel only: tiles of packed 1-bit pages are not needed by any test.
bool writeTiles(TIFF* t, const TiffPage& page, size_t stride) {
    const size_t pixelBytes = static_cast<size_t>(page.samplesPerPixel) * page.bitsPerSample / 8;
    const int size = page.tileSize;
    std::vector<uint8_t> tile(static_cast<size_t>(size) * size * pixelBytes);
    for (int top = 0; top < page.height; top += size) {
        for (int left = 0; left < page.width; left += size) {
            std::fill(tile.begin(), tile.end(), 0);
            for (int y = top; y < std::min(top + size, page.height); ++y) {
                const int columns = std::min(size, page.width - left);
                std::copy_n(page.data.begin() + y * stride + left * pixelBytes,
                            columns * pixelBytes,
                            tile.begin() + static_cast<size_t>(y - top) * size * pixelBytes);
            }
            if (TIFFWriteTile(t, tile.data(), left, top, 0, 0) < 0)
                return false;
        }
    }
    return true;
}

} // namespace

bool writeTiff(const std::string& path, const std::vector<TiffPage>& pages, const char* mode) {
    std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(path.c_str(), mode));
    if (!tiff)
        return false;
    for (size_t index = 0; index < pages.size(); ++index) {
        const TiffPage& page = pages[index];
        TIFF* t = tiff.get();
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, page.width);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, page.height);
        if (page.samplesPerPixelTag)
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, page.samplesPerPixel);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, page.bitsPerSample);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, page.photometric);
        TIFFSetField(t, TIFFTAG_COMPRESSION, page.compression);
        if (page.compression == COMPRESSION_JPEG && page.photometric == PHOTOMETRIC_YCBCR)
            TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB); // libtiff converts
        TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, page.sampleFormat);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        if (page.tileSize > 0) {
            TIFFSetField(t, TIFFTAG_TILEWIDTH, page.tileSize);
            TIFFSetField(t, TIFFTAG_TILELENGTH, page.tileSize);
        } else {
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, page.height);
        }
        TIFFSetField(t, TIFFTAG_XRESOLUTION, page.xResolution);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, page.yResolution);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, page.resolutionUnit);
        if ((page.samplesPerPixel == 4 || page.samplesPerPixel == 2) && page.extraSample >= 0) {
            const uint16_t extra[] = {static_cast<uint16_t>(page.extraSample)};
            TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
        }
        if (page.orientation != 0)
            TIFFSetField(t, TIFFTAG_ORIENTATION, page.orientation);
        if (page.exifOffset != 0)
            TIFFSetField(t, TIFFTAG_EXIFIFD, page.exifOffset);
        if (!page.colormap.empty()) {
            const size_t n = size_t{1} << page.bitsPerSample;
            std::vector<uint16_t> map = page.colormap;
            map.resize(3 * n);
            TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
        }
        if (pages.size() > 1) {
            TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
            TIFFSetField(t, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(index),
                         static_cast<uint16_t>(pages.size()));
        }
        const size_t stride = rowBytes(page);
        if (page.tileSize > 0) {
            if (!writeTiles(t, page, stride))
                return false;
        } else {
            std::vector<uint8_t> row(stride);
            for (int y = 0; y < page.height; ++y) {
                std::copy_n(page.data.begin() + y * stride, stride, row.begin());
                if (TIFFWriteScanline(t, row.data(), y, 0) < 0)
                    return false;
            }
        }
        if (!TIFFWriteDirectory(t))
            return false;
    }
    return true;
}

bool patchShortTag(const std::string& path, uint16_t tag, uint16_t value) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    char header[8];
    if (!file.read(header, 8) || header[0] != 'I' || header[1] != 'I')
        return false;
    uint32_t directory = 0;
    std::memcpy(&directory, header + 4, 4);
    uint16_t count = 0;
    file.seekg(directory);
    if (!file.read(reinterpret_cast<char*>(&count), 2))
        return false;
    for (uint16_t i = 0; i < count; ++i) {
        char entry[12];
        if (!file.read(entry, 12))
            return false;
        uint16_t entryTag = 0;
        std::memcpy(&entryTag, entry, 2);
        if (entryTag != tag)
            continue;
        file.seekp(directory + 2 + 12 * i + 8);
        return static_cast<bool>(file.write(reinterpret_cast<const char*>(&value), 2));
    }
    return false;
}

TiffPage rgbPage(int width, int height, const std::function<Rgb(int, int)>& colour) {
    TiffPage page{.width = width, .height = height};
    page.data.reserve(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = colour(x, y);
            page.data.insert(page.data.end(), {c.r, c.g, c.b});
        }
    }
    return page;
}

TiffPage greyPage(int width, int height, const std::function<uint8_t(int, int)>& grey) {
    TiffPage page{.width = width, .height = height, .samplesPerPixel = 1, .photometric = 1};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            page.data.push_back(grey(x, y));
    return page;
}

TiffPage bilevelPage(int width, int height, const std::function<bool(int, int)>& set) {
    TiffPage page{.width = width,
                  .height = height,
                  .samplesPerPixel = 1,
                  .bitsPerSample = 1,
                  .photometric = 1};
    const size_t stride = rowBytes(page);
    page.data.assign(stride * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (set(x, y))
                page.data[y * stride + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    return page;
}

TiffPage grey16Page(int width, int height, const std::function<uint16_t(int, int)>& grey) {
    TiffPage page{.width = width,
                  .height = height,
                  .samplesPerPixel = 1,
                  .bitsPerSample = 16,
                  .photometric = 1};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint16_t v = grey(x, y);
            // Native byte order: libtiff writes the file in the host's order.
            const auto* bytes = reinterpret_cast<const uint8_t*>(&v);
            page.data.insert(page.data.end(), {bytes[0], bytes[1]});
        }
    }
    return page;
}

TiffPage palettePage(int width, int height, const std::vector<Rgb>& colours,
                     const std::function<uint8_t(int, int)>& index) {
    TiffPage page{.width = width, .height = height, .samplesPerPixel = 1, .photometric = 3};
    page.colormap.assign(3 * 256, 0);
    for (size_t i = 0; i < colours.size() && i < 256; ++i) {
        page.colormap[i] = static_cast<uint16_t>(colours[i].r * 257);
        page.colormap[256 + i] = static_cast<uint16_t>(colours[i].g * 257);
        page.colormap[512 + i] = static_cast<uint16_t>(colours[i].b * 257);
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            page.data.push_back(index(x, y));
    return page;
}

Rgb patternColour(int x, int y) {
    return {static_cast<uint8_t>(x * 37 + y * 11), static_cast<uint8_t>(y * 53 + 7),
            static_cast<uint8_t>((x ^ y) * 29)};
}

} // namespace kx::test

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

// The colour samples of a pixel of `photometric`; the rest are extra samples.
int colourSamples(int photometric) {
    switch (photometric) {
    case PHOTOMETRIC_SEPARATED:
        return 4;
    case PHOTOMETRIC_RGB:
    case PHOTOMETRIC_YCBCR:
    case PHOTOMETRIC_CIELAB:
    case PHOTOMETRIC_ICCLAB:
    case PHOTOMETRIC_ITULAB:
        return 3;
    default:
        return 1;
    }
}

// The page's samples as planes of their own: one plane of rows per sample, or the page's rows
// as they are. Separate planes need whole-byte samples.
std::vector<std::vector<uint8_t>> planesOf(const TiffPage& page, size_t stride) {
    if (!page.separatePlanes)
        return {page.data};
    const size_t sampleBytes = static_cast<size_t>(page.bitsPerSample) / 8;
    std::vector<std::vector<uint8_t>> planes(static_cast<size_t>(page.samplesPerPixel));
    for (size_t s = 0; s < planes.size(); ++s)
        for (int y = 0; y < page.height; ++y)
            for (int x = 0; x < page.width; ++x)
                planes[s].insert(
                    planes[s].end(),
                    page.data.begin() + y * stride + (x * planes.size() + s) * sampleBytes,
                    page.data.begin() + y * stride + (x * planes.size() + s + 1) * sampleBytes);
    return planes;
}

// Whole bytes per pixel only: tiles of packed 1-bit pages are not needed by any test.
bool writeTiles(TIFF* t, const TiffPage& page, const std::vector<uint8_t>& plane, uint16_t index,
                size_t pixelBytes) {
    const size_t stride = static_cast<size_t>(page.width) * pixelBytes;
    const int size = page.tileSize;
    std::vector<uint8_t> tile(static_cast<size_t>(size) * size * pixelBytes);
    for (int top = 0; top < page.height; top += size) {
        for (int left = 0; left < page.width; left += size) {
            std::fill(tile.begin(), tile.end(), 0);
            for (int y = top; y < std::min(top + size, page.height); ++y) {
                const int columns = std::min(size, page.width - left);
                std::copy_n(plane.begin() + y * stride + left * pixelBytes, columns * pixelBytes,
                            tile.begin() + static_cast<size_t>(y - top) * size * pixelBytes);
            }
            if (TIFFWriteTile(t, tile.data(), left, top, 0, index) < 0)
                return false;
        }
    }
    return true;
}

bool writePlanes(TIFF* t, const TiffPage& page) {
    const size_t stride = rowBytes(page);
    const std::vector<std::vector<uint8_t>> planes = planesOf(page, stride);
    const size_t planeStride = page.separatePlanes ? stride / planes.size() : stride;
    for (size_t p = 0; p < planes.size(); ++p) {
        const auto index = static_cast<uint16_t>(p);
        if (page.tileSize > 0) {
            if (!writeTiles(t, page, planes[p], index, planeStride / page.width))
                return false;
            continue;
        }
        std::vector<uint8_t> row(planeStride);
        for (int y = 0; y < page.height; ++y) {
            std::copy_n(planes[p].begin() + y * planeStride, planeStride, row.begin());
            if (TIFFWriteScanline(t, row.data(), y, index) < 0)
                return false;
        }
    }
    return true;
}

// Writes `page` as the directory `index` of `count`, its sub-images after it.
bool writeDirectory(TIFF* t, const TiffPage& page, size_t index, size_t count) {
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
    TIFFSetField(t, TIFFTAG_PLANARCONFIG,
                 page.separatePlanes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    if (page.tileSize > 0) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, page.tileSize);
        TIFFSetField(t, TIFFTAG_TILELENGTH, page.tileSize);
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, page.height);
    }
    TIFFSetField(t, TIFFTAG_XRESOLUTION, page.xResolution);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, page.yResolution);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, page.resolutionUnit);
    const int extras = page.samplesPerPixel - colourSamples(page.photometric);
    if (extras > 0 && page.extraSample >= 0) {
        const std::vector<uint16_t> extra(static_cast<size_t>(extras),
                                          static_cast<uint16_t>(page.extraSample));
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, extras, extra.data());
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
    if (page.subfileType >= 0)
        TIFFSetField(t, TIFFTAG_SUBFILETYPE, page.subfileType);
    else if (count > 1)
        TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    if (count > 1) {
        TIFFSetField(t, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(index),
                     static_cast<uint16_t>(count));
    }
    const std::vector<uint64_t> subOffsets(page.subImages.size(), 0);
    if (!page.subImages.empty())
        TIFFSetField(t, TIFFTAG_SUBIFD, static_cast<uint16_t>(subOffsets.size()),
                     subOffsets.data());
    if (!writePlanes(t, page) || !TIFFWriteDirectory(t))
        return false;
    for (const TiffPage& sub : page.subImages)
        if (!writeDirectory(t, sub, 0, 1))
            return false;
    return true;
}

} // namespace

bool writeTiff(const std::string& path, const std::vector<TiffPage>& pages, const char* mode) {
    std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(path.c_str(), mode));
    if (!tiff)
        return false;
    for (size_t index = 0; index < pages.size(); ++index)
        if (!writeDirectory(tiff.get(), pages[index], index, pages.size()))
            return false;
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

TiffPage freeImageFatalPage() {
    TiffPage page{.width = 8, .height = 8, .samplesPerPixel = 4};
    page.data.assign(8 * 8 * 4, 200);
    TiffPage thumbnail{.width = 4,
                       .height = 4,
                       .samplesPerPixel = 4,
                       .bitsPerSample = 32,
                       .photometric = PHOTOMETRIC_SEPARATED,
                       .sampleFormat = SAMPLEFORMAT_IEEEFP,
                       .extraSample = -1,
                       .subfileType = FILETYPE_REDUCEDIMAGE};
    thumbnail.data.assign(4 * 4 * 4 * 4, 0);
    page.subImages.push_back(thumbnail);
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

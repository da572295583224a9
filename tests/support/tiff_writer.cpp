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

bool separatePlanes(const TiffPage& page) {
    return page.planarConfig == PLANARCONFIG_SEPARATE;
}

// Bits of one pixel in one row of `data`: all samples, or one sample with separate planes.
int pixelBits(const TiffPage& page) {
    return page.bitsPerSample * (separatePlanes(page) ? 1 : page.samplesPerPixel);
}

size_t planeRowBytes(const TiffPage& page) {
    return (static_cast<size_t>(page.width) * pixelBits(page) + 7) / 8;
}

// Copies `count` bits, most significant first as TIFF packs them.
void copyBits(const uint8_t* from, size_t fromBit, uint8_t* to, size_t toBit, size_t count) {
    if (fromBit % 8 == 0 && toBit % 8 == 0 && count % 8 == 0) {
        std::copy_n(from + fromBit / 8, count / 8, to + toBit / 8);
        return;
    }
    for (size_t i = 0; i < count; ++i, ++fromBit, ++toBit) {
        const int bit = (from[fromBit / 8] >> (7 - fromBit % 8)) & 1;
        const auto mask = static_cast<uint8_t>(0x80 >> (toBit % 8));
        to[toBit / 8] = static_cast<uint8_t>(bit ? to[toBit / 8] | mask : to[toBit / 8] & ~mask);
    }
}

// Row `y` of plane `plane` (0 for contiguous pages).
const uint8_t* rowOf(const TiffPage& page, int plane, int y) {
    const size_t stride = planeRowBytes(page);
    return page.data.data() + (static_cast<size_t>(plane) * page.height + y) * stride;
}

bool writeTiles(TIFF* t, const TiffPage& page) {
    const int bits = pixelBits(page);
    const int size = page.tileSize;
    const size_t tileStride = (static_cast<size_t>(size) * bits + 7) / 8;
    std::vector<uint8_t> tile(tileStride * size);
    const int planes = separatePlanes(page) ? page.samplesPerPixel : 1;
    for (int plane = 0; plane < planes; ++plane) {
        for (int top = 0; top < page.height; top += size) {
            for (int left = 0; left < page.width; left += size) {
                std::fill(tile.begin(), tile.end(), 0);
                const int columns = std::min(size, page.width - left);
                for (int y = top; y < std::min(top + size, page.height); ++y)
                    copyBits(rowOf(page, plane, y), static_cast<size_t>(left) * bits,
                             tile.data() + (y - top) * tileStride, 0,
                             static_cast<size_t>(columns) * bits);
                const uint32_t index = TIFFComputeTile(t, left, top, 0, plane);
                if (TIFFWriteEncodedTile(t, index, tile.data(), tile.size()) < 0)
                    return false;
            }
        }
    }
    return true;
}

bool writeStrips(TIFF* t, const TiffPage& page) {
    if (page.ycbcrHorizontal > 0 && page.compression != COMPRESSION_JPEG)
        return TIFFWriteEncodedStrip(t, 0, const_cast<uint8_t*>(page.data.data()),
                                     static_cast<tmsize_t>(page.data.size())) >= 0;
    const int rows = page.rowsPerStrip > 0 ? page.rowsPerStrip : page.height;
    const size_t stride = planeRowBytes(page);
    const int planes = separatePlanes(page) ? page.samplesPerPixel : 1;
    const uint32_t perPlane = TIFFNumberOfStrips(t) / planes;
    for (int plane = 0; plane < planes; ++plane) {
        for (int top = 0; top < page.height; top += rows) {
            const int count = std::min(rows, page.height - top);
            // libtiff may swap the bytes of the buffer in place.
            std::vector<uint8_t> strip(rowOf(page, plane, top),
                                       rowOf(page, plane, top) + count * stride);
            const uint32_t index = plane * perPlane + top / rows;
            if (TIFFWriteEncodedStrip(t, index, strip.data(), static_cast<tmsize_t>(strip.size())) <
                0)
                return false;
        }
    }
    return true;
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

void setExtraSamples(TIFF* t, const TiffPage& page) {
    const int extras = page.samplesPerPixel - colourSamples(page.photometric);
    if (!page.extraSamples.empty()) {
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(page.extraSamples.size()),
                     page.extraSamples.data());
    } else if (extras > 0 && page.extraSample >= 0) {
        const std::vector<uint16_t> extra(static_cast<size_t>(extras),
                                          static_cast<uint16_t>(page.extraSample));
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(extras), extra.data());
    }
}

// Tags that must be set after Compression and Photometric, which reset them.
void setCodingFields(TIFF* t, const TiffPage& page) {
    if (page.predictor != 0)
        TIFFSetField(t, TIFFTAG_PREDICTOR, page.predictor);
    if (page.ycbcrHorizontal > 0)
        TIFFSetField(t, TIFFTAG_YCBCRSUBSAMPLING, page.ycbcrHorizontal, page.ycbcrVertical);
    if (page.jpegQuality > 0)
        TIFFSetField(t, TIFFTAG_JPEGQUALITY, page.jpegQuality);
    if (page.compression == COMPRESSION_JPEG && page.photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB); // libtiff converts
    if (page.faxOptions >= 0)
        TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, page.faxOptions);
    if (page.photometric == PHOTOMETRIC_LOGLUV || page.photometric == PHOTOMETRIC_LOGL)
        TIFFSetField(t, TIFFTAG_SGILOGDATAFMT, SGILOGDATAFMT_FLOAT);
}

// Writes `page` as directory `index` of `count`, its sub-images after it.
bool writeDirectory(TIFF* t, const TiffPage& page, size_t index, size_t count) {
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, page.height);
    if (page.samplesPerPixelTag)
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, page.samplesPerPixel);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, page.bitsPerSample);
    TIFFSetField(t, TIFFTAG_COMPRESSION, page.compression);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, page.photometric);
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, page.sampleFormat);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, page.planarConfig);
    setCodingFields(t, page);
    if (page.tileSize > 0) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, page.tileSize);
        TIFFSetField(t, TIFFTAG_TILELENGTH, page.tileSize);
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP,
                     page.rowsPerStrip > 0 ? page.rowsPerStrip : page.height);
    }
    TIFFSetField(t, TIFFTAG_XRESOLUTION, page.xResolution);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, page.yResolution);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, page.resolutionUnit);
    setExtraSamples(t, page);
    if (page.inkSet != 0)
        TIFFSetField(t, TIFFTAG_INKSET, page.inkSet);
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
    if (count > 1) {
        if (page.subfileType < 0)
            TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(t, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(index),
                     static_cast<uint16_t>(count));
    }
    const std::vector<uint64_t> subOffsets(page.subImages.size(), 0);
    if (!subOffsets.empty())
        TIFFSetField(t, TIFFTAG_SUBIFD, static_cast<uint16_t>(subOffsets.size()),
                     subOffsets.data());
    if (!(page.tileSize > 0 ? writeTiles(t, page) : writeStrips(t, page)) || !TIFFWriteDirectory(t))
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

bool patchTag(const std::string& path, uint16_t tag, uint32_t value) {
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
        uint16_t type = 0;
        std::memcpy(&type, entry + 2, 2);
        const std::streamsize size = type == 3 ? 2 : 4; // SHORT or LONG
        if ((type != 3 && type != 4) || (type == 3 && value > 0xFFFF))
            return false;
        file.seekp(directory + 2 + 12 * i + 8);
        const uint16_t shortValue = static_cast<uint16_t>(value);
        return static_cast<bool>(file.write(type == 3 ? reinterpret_cast<const char*>(&shortValue)
                                                      : reinterpret_cast<const char*>(&value),
                                            size));
    }
    return false;
}

bool damageStrip(const std::string& path, uint32_t strip, uint64_t length) {
    uint64_t start = 0;
    uint64_t end = 0;
    {
        const std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFOpen(path.c_str(), "r"), TIFFClose);
        uint64_t* offsets = nullptr;
        uint64_t* counts = nullptr;
        if (!tiff || strip >= TIFFNumberOfStrips(tiff.get()) ||
            !TIFFGetField(tiff.get(), TIFFTAG_STRIPOFFSETS, &offsets) ||
            !TIFFGetField(tiff.get(), TIFFTAG_STRIPBYTECOUNTS, &counts))
            return false;
        start = offsets[strip] + counts[strip] / 2;
        end = std::min(start + length, offsets[strip] + counts[strip]);
    }
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(start));
    const std::string zeros(static_cast<size_t>(end - start), '\0');
    return static_cast<bool>(file.write(zeros.data(), static_cast<std::streamsize>(zeros.size())));
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

TiffPage pageWithFloatCmykThumbnail() {
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

TiffPage crashingPage() {
    return rgbPage(13, 13, patternColour);
}

std::string crashingDecoderPath() {
    return std::string(KX_BINARY_DIR) + "/tests/kx_crashing_decoder";
}

} // namespace kx::test

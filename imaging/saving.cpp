#include "imaging/saving.h"

#include "base/file_replace.h"
#include "imaging/bitmap.h"
#include "imaging/bmp_layout.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

namespace kx::imaging {

namespace {

bool inRange(int value, int low, int high) {
    return value >= low && value <= high;
}

// Flags of one listed setting value; values outside the table contribute no bits.
template <size_t N> int tableFlag(int value, const std::array<int, N>& table) {
    return inRange(value, 0, static_cast<int>(N) - 1) ? table[static_cast<size_t>(value)] : 0;
}

int bmpFlags(const settings::Settings& s) {
    return tableFlag(s.bmpCompression, std::array{BMP_DEFAULT, BMP_SAVE_RLE});
}

int exrFlags(const settings::Settings& s) {
    return tableFlag(s.exrCompression, std::array{EXR_NONE, EXR_ZIP, EXR_PIZ, EXR_PXR24, EXR_B44});
}

int jpgFlags(const settings::Settings& s) {
    const int quality = inRange(s.jpgQuality, 1, 100) ? s.jpgQuality : 0;
    const int chroma =
        tableFlag(s.jpgChroma, std::array{JPEG_SUBSAMPLING_444, JPEG_SUBSAMPLING_422,
                                          JPEG_SUBSAMPLING_420, JPEG_SUBSAMPLING_411});
    const int mode =
        tableFlag(s.jpgSaveAs, std::array{0, JPEG_BASELINE, JPEG_OPTIMIZE, JPEG_PROGRESSIVE});
    return quality | chroma | mode;
}

int pngFlags(const settings::Settings& s) {
    const int level =
        tableFlag(s.pngCompression, std::array{PNG_Z_NO_COMPRESSION, PNG_Z_BEST_SPEED,
                                               PNG_Z_DEFAULT_COMPRESSION, PNG_Z_BEST_COMPRESSION});
    return level | (s.pngInterlaced != 0 ? PNG_INTERLACED : 0);
}

int tgaFlags(const settings::Settings& s) {
    return tableFlag(s.tgaCompression, std::array{0, TARGA_SAVE_RLE});
}

int tiffFlags(const settings::Settings& s) {
    const int compression =
        tableFlag(s.tiffCompression,
                  std::array{TIFF_NONE, TIFF_CCITTFAX3, TIFF_CCITTFAX4, TIFF_PACKBITS, TIFF_DEFLATE,
                             TIFF_ADOBE_DEFLATE, TIFF_LZW, TIFF_JPEG, TIFF_LOGLUV});
    return compression | (s.tiffColorMode == settings::TiffColorMode::Cmyk ? TIFF_CMYK : 0);
}

int webpFlags(const settings::Settings& s) {
    if (!inRange(s.webpQuality, 1, 100))
        return 0;
    return s.webpQuality == 100 ? WEBP_LOSSLESS : s.webpQuality;
}

bool is8BitPalette(FIBITMAP* page) {
    return page && FreeImage_GetImageType(page) == FIT_BITMAP && FreeImage_GetBPP(page) == 8 &&
           FreeImage_GetPalette(page) != nullptr;
}

bool is4BitPalette(FIBITMAP* page) {
    return page && FreeImage_GetImageType(page) == FIT_BITMAP && FreeImage_GetBPP(page) == 4 &&
           FreeImage_GetPalette(page) != nullptr;
}

// Highest palette index any pixel uses, plus one; row padding is not part of the image.
uint32_t usedColours(FIBITMAP* page) {
    const unsigned width = FreeImage_GetWidth(page);
    const unsigned height = FreeImage_GetHeight(page);
    uint8_t highest = 0;
    for (unsigned y = 0; y < height && width > 0 && highest < 255; ++y) {
        const uint8_t* line = FreeImage_GetScanLine(page, static_cast<int>(y));
        highest = std::max(highest, *std::max_element(line, line + width));
    }
    return static_cast<uint32_t>(highest) + 1;
}

// The BMP FreeImage made of an 8-bit page, checked to have the layout the compact writer
// rewrites: the standard headers, a whole colour table and pixel data after it.
struct BmpLayout {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t dataOffset = 0;
    uint32_t paletteEntries = 0;
};

bool readBmpLayout(const uint8_t* data, size_t size, uint32_t compression, BmpLayout& layout) {
    if (size < k_bmpHeadersSize || data[0] != 'B' || data[1] != 'M')
        return false;
    const size_t dataOffset = readLe32(data + k_bmpDataOffsetAt);
    if (readLe32(data + k_bmpInfoSizeAt) != k_bmpInfoHeaderSize ||
        readLe16(data + k_bmpPlanesAt) != 1 || readLe16(data + k_bmpBitCountAt) != 8 ||
        readLe32(data + k_bmpCompressionAt) != compression)
        return false;
    if (dataOffset < k_bmpHeadersSize || dataOffset > size ||
        (dataOffset - k_bmpHeadersSize) % 4 != 0)
        return false;
    layout = {data, size, dataOffset, static_cast<uint32_t>((dataOffset - k_bmpHeadersSize) / 4)};
    return true;
}

// FreeImage writes through these straight into the temporary file, so a large page is never
// held a second time in a growing memory buffer. Writers go row by row; the rows are gathered
// into large writes. Any failed write or seek fails the save.
class FileSink {
public:
    explicit FileSink(int fd) : m_fd(fd) { m_buffer.reserve(k_capacity); }

    bool failed() const { return m_failed; }
    // The system's reason for the first failure, 0 when there was none.
    int error() const { return m_error; }

    void append(const char* data, size_t size) {
        if (m_buffer.size() + size > k_capacity)
            flush();
        if (size >= k_capacity)
            check(base::writeAll(m_fd, std::string_view(data, size)));
        else
            m_buffer.insert(m_buffer.end(), data, data + size);
    }

    bool flush() {
        check(base::writeAll(m_fd, std::string_view(m_buffer.data(), m_buffer.size())));
        m_buffer.clear();
        return !m_failed;
    }

    int seek(long offset, int origin) {
        if (!flush() || !check(lseek(m_fd, offset, origin) >= 0))
            return -1;
        return 0;
    }

    long tell() { return flush() ? static_cast<long>(lseek(m_fd, 0, SEEK_CUR)) : -1; }

private:
    bool check(bool ok) {
        if (!ok && !m_failed) {
            m_failed = true;
            m_error = errno;
        }
        return ok;
    }

    static constexpr size_t k_capacity = size_t{1} << 20;
    int m_fd;
    bool m_failed = false;
    int m_error = 0;
    std::vector<char> m_buffer;
};

unsigned writeToSink(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    auto* sink = static_cast<FileSink*>(handle);
    sink->append(static_cast<const char*>(buffer), size_t{size} * count);
    return sink->failed() ? 0 : count;
}

unsigned readNothing(void*, unsigned, unsigned, fi_handle) {
    return 0;
}

int seekInSink(fi_handle handle, long offset, int origin) {
    return static_cast<FileSink*>(handle)->seek(offset, origin);
}

long tellInSink(fi_handle handle) {
    return static_cast<FileSink*>(handle)->tell();
}

bool saveStreaming(FIBITMAP* page, int fd, int format, int flags) {
    FreeImageIO io{readNothing, writeToSink, seekInSink, tellInSink};
    FileSink sink(fd);
    const bool saved =
        FreeImage_SaveToHandle(static_cast<FREE_IMAGE_FORMAT>(format), page, &io, &sink, flags);
    const bool written = sink.flush();
    // FreeImage's own refusals say nothing through errno.
    errno = sink.failed() ? sink.error() : EINVAL;
    return written && saved;
}

// FreeImage pads an absolute run of odd length in 8-bit run-length data to a whole word
// without setting the padding byte, which keeps whatever its buffer held before: zeroed here
// so that the same page always gives the same bytes.
void clearRunPadding(uint8_t* data, size_t size) {
    for (size_t at = 0; at + 1 < size;) {
        const uint8_t count = data[at];
        const uint8_t code = data[at + 1];
        if (count != 0 || code == k_bmpRleEndOfLine) {
            at += 2;
        } else if (code == k_bmpRleEndOfBitmap) {
            return;
        } else if (code == k_bmpRleDelta) {
            at += 4;
        } else {
            const size_t padding = at + 2 + code;
            if (code % 2 == 1 && padding < size)
                data[padding] = 0;
            at += 2 + code + code % 2;
        }
    }
}

// FreeImage's 8-bit BMP of `page`, rewritten: with `shortTable` the colour table keeps only
// the entries up to the highest index used. Run-length data also gets a true file size and
// image size (FreeImage writes the uncompressed size and 0), and the end-of-line marker
// before the end-of-bitmap marker is dropped: FreeImage's own BMP reader as packaged here
// rejects an end-of-line marker after the last row, and readers that accept one accept the
// end-of-bitmap marker alone as well. The padding of absolute runs is zeroed.
std::string rebuiltBmp(FIBITMAP* page, bool rle, bool shortTable) {
    if (!is8BitPalette(page))
        return {};
    MemoryStream memory(FreeImage_OpenMemory());
    if (!memory ||
        !FreeImage_SaveToMemory(FIF_BMP, page, memory.get(), rle ? BMP_SAVE_RLE : BMP_DEFAULT))
        return {};
    BYTE* data = nullptr;
    DWORD size = 0;
    BmpLayout layout;
    if (!FreeImage_AcquireMemory(memory.get(), &data, &size) || !data ||
        !readBmpLayout(data, size, rle ? k_bmpRle8 : k_bmpUncompressed, layout))
        return {};

    const uint32_t entries = shortTable ? usedColours(page) : layout.paletteEntries;
    if (entries > layout.paletteEntries)
        return {};
    size_t pixelBytes = layout.size - layout.dataOffset;
    const uint8_t* pixels = layout.data + layout.dataOffset;
    const bool lastLineEnded = pixelBytes >= 4 && pixels[pixelBytes - 4] == 0 &&
                               pixels[pixelBytes - 3] == 0 && pixels[pixelBytes - 2] == 0 &&
                               pixels[pixelBytes - 1] == 1;
    if (rle && lastLineEnded)
        pixelBytes -= 2;
    // FreeImage's own headers carry the page's size, bottom-up height and dots per metre; only
    // the fields that describe the table and the pixel data change.
    BmpHeaders headers;
    headers.width = readLe32(layout.data + k_bmpWidthAt);
    headers.height = readLe32(layout.data + k_bmpHeightAt);
    headers.bitCount = 8;
    headers.compression = rle ? k_bmpRle8 : k_bmpUncompressed;
    headers.paletteEntries = entries;
    headers.pixelBytes = pixelBytes;
    headers.imageSize = static_cast<uint32_t>(pixelBytes);
    headers.dotsPerMetreX = readLe32(layout.data + k_bmpDotsPerMetreXAt);
    headers.dotsPerMetreY = readLe32(layout.data + k_bmpDotsPerMetreYAt);
    if (headers.fileSize() > std::numeric_limits<uint32_t>::max())
        return {};

    std::string out(k_bmpHeadersSize, '\0');
    writeBmpHeaders(headers, reinterpret_cast<uint8_t*>(out.data()));
    out.reserve(static_cast<size_t>(headers.fileSize()));
    out.append(reinterpret_cast<const char*>(layout.data + k_bmpHeadersSize), 4 * size_t{entries});
    if (rle && lastLineEnded) {
        out.append(reinterpret_cast<const char*>(pixels), pixelBytes - 2);
        out.append("\0\1", 2);
    } else {
        out.append(reinterpret_cast<const char*>(pixels), pixelBytes);
    }
    if (rle)
        clearRunPadding(reinterpret_cast<uint8_t*>(out.data()) + headers.dataOffset(), pixelBytes);
    return out;
}

// The 4-bit run-length BMP of `page` (FreeImage writes run-length data at 8 bits only): the
// headers and full colour table as FreeImage writes them for the page, and each row's coding
// ended by an end-of-line code, the last one's by the end-of-bitmap code alone, as at 8 bits.
// Empty when the file would exceed the format's 4 GiB size fields.
std::string rle4Bmp(FIBITMAP* page) {
    BmpHeaders headers;
    headers.width = FreeImage_GetWidth(page);
    headers.height = FreeImage_GetHeight(page);
    headers.bitCount = 4;
    headers.compression = k_bmpRle4;
    headers.paletteEntries = FreeImage_GetColorsUsed(page);
    headers.dotsPerMetreX = FreeImage_GetDotsPerMeterX(page);
    headers.dotsPerMetreY = FreeImage_GetDotsPerMeterY(page);
    std::string out(k_bmpHeadersSize, '\0');
    out.append(reinterpret_cast<const char*>(FreeImage_GetPalette(page)),
               4 * size_t{headers.paletteEntries});
    for (uint32_t y = 0; y < headers.height; ++y) {
        appendRle4Row(FreeImage_GetScanLine(page, static_cast<int>(y)), headers.width, out);
        const uint8_t end = y + 1 < headers.height ? k_bmpRleEndOfLine : k_bmpRleEndOfBitmap;
        out += '\0';
        out += static_cast<char>(end);
        if (out.size() > std::numeric_limits<uint32_t>::max())
            return {};
    }
    headers.pixelBytes = out.size() - headers.dataOffset();
    headers.imageSize = static_cast<uint32_t>(headers.pixelBytes);
    writeBmpHeaders(headers, reinterpret_cast<uint8_t*>(out.data()));
    return out;
}

} // namespace

int computeSaveFlags(std::string_view key, const settings::Settings& settings) {
    if (key == "bmp")
        return bmpFlags(settings);
    if (key == "exr")
        return exrFlags(settings);
    if (key == "jpg")
        return jpgFlags(settings);
    if (key == "jxr")
        return JXR_LOSSLESS;
    if (key == "png")
        return pngFlags(settings);
    if (key == "tga")
        return tgaFlags(settings);
    if (key == "tiff")
        return tiffFlags(settings);
    if (key == "webp")
        return webpFlags(settings);
    return 0;
}

std::string compactBmpBytes(FIBITMAP* page, bool rle) {
    return rebuiltBmp(page, rle, true);
}

std::string pageSaveProblem(FIBITMAP* page, const SaveTarget& job) {
    if (!page)
        return "no image was left to save";
    if (job.freeImageFormat == FIF_BMP) {
        // Its size fields are 32 bits: a larger file would be written with wrapped sizes.
        const uint64_t size = bmpFileSize(FreeImage_GetWidth(page), FreeImage_GetHeight(page),
                                          FreeImage_GetBPP(page));
        const unsigned bpp = FreeImage_GetBPP(page);
        const bool rle = (job.saveFlags & BMP_SAVE_RLE) != 0 && (bpp == 8 || bpp == 4);
        if (!rle && size > std::numeric_limits<uint32_t>::max())
            return "the page would make a BMP file of " + std::to_string(size) +
                   " bytes, more than the format can hold (4 GiB)";
    }
    return {};
}

bool encodePage(FIBITMAP* page, int fd, const SaveTarget& job, const settings::Settings& settings,
                std::string& why) {
    // A page the depth step did not bring to 8-bit palette form is saved as it is rather than
    // lost: the shortened table and run-length coding only apply to palette pixels.
    const bool bmp = job.outputFormatKey == "bmp";
    const bool bmp8 = bmp && is8BitPalette(page);
    const bool rle = (job.saveFlags & BMP_SAVE_RLE) != 0;
    const bool rle4 = bmp && rle && is4BitPalette(page);
    const bool compact =
        bmp8 && job.targetDepth == 8 && settings.bmpColorTable == settings::BmpColorTable::Exact;
    if (!compact && !(bmp8 && rle) && !rle4)
        return saveStreaming(page, fd, job.freeImageFormat, job.saveFlags);
    const std::string bytes = rle4 ? rle4Bmp(page) : rebuiltBmp(page, rle, compact);
    if (bytes.empty()) {
        why = "the page could not be encoded as a BMP file of at most 4 GiB";
        errno = EINVAL;
        return false;
    }
    return base::writeAll(fd, bytes);
}

bool savePage(FIBITMAP* page, const std::string& path, const SaveTarget& job,
              const settings::Settings& settings, std::string& why) {
    why = pageSaveProblem(page, job);
    if (!why.empty())
        return false;
    std::string encodingWhy;
    const bool saved = base::replaceFile(
        path, [&](int fd) { return encodePage(page, fd, job, settings, encodingWhy); },
        base::Flush::Lazily, why);
    if (!saved && !encodingWhy.empty())
        why = encodingWhy;
    return saved;
}

} // namespace kx::imaging
#include "decoder/tiff/direct_bmp.h"

#include "base/file_replace.h"
#include "decoder/tiff/tiff_strips.h"
#include "imaging/bmp_layout.h"
#include "imaging/sample_scaling.h"

#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

namespace kx::decoder {

namespace {

// The kinds written here, each as decodeWithLibtiff decodes it and the chain leaves it at default
// settings: RGB as 24-bit BGR, grey with a grey ramp, bilevel as the stored bits with a
// two-entry palette, 16-bit grey mapped to 8-bit grey by value.
enum class Kind { Rgb, Grey, Bilevel, Grey16 };

constexpr size_t k_writeSize = size_t{1} << 20;
// BMP rows a band of strips holds at least (unless one strip holds more): a writer's writes
// stay large, and writers sharing a page claim bands finely enough to finish together.
constexpr uint64_t k_bandBytes = uint64_t{1} << 20;
// A smaller BMP is written faster than a second writer could be set going.
constexpr uint64_t k_splitFileBytes = uint64_t{4} << 20;
// Bands a page needs to be split: two writers with two bands each at least.
constexpr uint32_t k_splitBands = 4;

struct Geometry {
    Kind kind = Kind::Rgb;
    uint32_t width = 0;
    uint32_t height = 0;
    int bmpBits = 0;           // bits per pixel in the BMP
    uint32_t colours = 0;      // palette entries
    uint64_t pitch = 0;        // bytes per BMP row, padded to 4
    uint64_t tiffRowBytes = 0; // bytes per decoded TIFF row
    uint32_t rowsPerStrip = 1; // a row of tiles counting as a strip
    uint32_t dotsPerMetreX = 0;
    uint32_t dotsPerMetreY = 0;
};

bool isLossless(int compression) {
    return compression == COMPRESSION_NONE || compression == COMPRESSION_LZW ||
           compression == COMPRESSION_ADOBE_DEFLATE || compression == COMPRESSION_DEFLATE ||
           compression == COMPRESSION_PACKBITS;
}

std::optional<Kind> kindOf(const PageFacts& facts) {
    if (facts.samplesPerPixel == 3 && facts.bitsPerSample == 8 &&
        facts.photometric == PHOTOMETRIC_RGB)
        return Kind::Rgb;
    if (facts.samplesPerPixel != 1)
        return std::nullopt;
    if (facts.bitsPerSample == 1 && (facts.photometric == PHOTOMETRIC_MINISBLACK ||
                                     facts.photometric == PHOTOMETRIC_MINISWHITE))
        return Kind::Bilevel;
    if (facts.photometric != PHOTOMETRIC_MINISBLACK)
        return std::nullopt;
    if (facts.bitsPerSample == 8)
        return Kind::Grey;
    if (facts.bitsPerSample == 16)
        return Kind::Grey16;
    return std::nullopt;
}

// The headers FreeImage's BMP writer gives the page: uncompressed, with no image size.
imaging::BmpHeaders bmpHeadersOf(const Geometry& g) {
    imaging::BmpHeaders bmp;
    bmp.width = g.width;
    bmp.height = g.height;
    bmp.bitCount = static_cast<uint16_t>(g.bmpBits);
    bmp.paletteEntries = g.colours;
    bmp.pixelBytes = g.pitch * g.height;
    bmp.dotsPerMetreX = g.dotsPerMetreX;
    bmp.dotsPerMetreY = g.dotsPerMetreY;
    return bmp;
}

// The page's geometry, its strips opened in `rows` on the way.
std::optional<Geometry> geometryOf(TIFF* tiff, const PageFacts& facts, StripRows& rows) {
    const std::optional<Kind> kind = kindOf(facts);
    if (!kind || facts.width == 0 || facts.height == 0 || !facts.planarContiguous ||
        facts.sampleFormat != SAMPLEFORMAT_UINT || facts.extraSample >= 0)
        return std::nullopt;
    if (!isLossless(facts.compression) && !(*kind == Kind::Bilevel && isFax(facts.compression)))
        return std::nullopt;
    // A few stored bytes claiming a huge page are refused here as when decoded whole; the
    // memory the page needs then is not needed here (one strip at a time).
    if (!pageBudgetProblem(facts, std::numeric_limits<uint64_t>::max()).empty())
        return std::nullopt;
    if (facts.compression == COMPRESSION_LZW || facts.compression == COMPRESSION_ADOBE_DEFLATE ||
        facts.compression == COMPRESSION_DEFLATE) {
        uint16_t predictor = PREDICTOR_NONE;
        TIFFGetField(tiff, TIFFTAG_PREDICTOR, &predictor);
        const bool differenced = predictor == PREDICTOR_HORIZONTAL && *kind != Kind::Bilevel;
        if (predictor != PREDICTOR_NONE && !differenced)
            return std::nullopt;
    }
    uint16_t orientation = ORIENTATION_TOPLEFT;
    if (TIFFGetField(tiff, TIFFTAG_ORIENTATION, &orientation) && orientation != ORIENTATION_TOPLEFT)
        return std::nullopt;

    Geometry g;
    g.kind = *kind;
    g.width = facts.width;
    g.height = facts.height;
    g.bmpBits = *kind == Kind::Rgb ? 24 : *kind == Kind::Bilevel ? 1 : 8;
    g.colours = *kind == Kind::Rgb ? 0 : *kind == Kind::Bilevel ? 2 : 256;
    g.pitch = imaging::bmpRowPitch(g.width, static_cast<unsigned>(g.bmpBits));
    std::string why;
    if (!rows.open(tiff, facts, why))
        return std::nullopt;
    g.tiffRowBytes = rows.rowBytes();
    g.rowsPerStrip = rows.rowsPerStrip();
    // The size fields are 32 bits; larger pages are left to the path that says why it fails.
    if (bmpHeadersOf(g).fileSize() > std::numeric_limits<uint32_t>::max())
        return std::nullopt;
    const std::optional<DotsPerMetre> resolution = readDotsPerMetre(tiff);
    if (!resolution)
        return std::nullopt;
    g.dotsPerMetreX = resolution->x;
    g.dotsPerMetreY = resolution->y;
    return g;
}

// Gathers the BMP into large writes: sequential ones at the descriptor's offset, or, where
// several writers fill one file at once, writes at the offsets the bytes belong at. The
// buffer is not cleared: every byte handed out is written by the caller.
class FdWriter {
public:
    // `largestPiece`: the most that extend is ever asked for at once.
    FdWriter(int fd, size_t largestPiece, bool positioned)
        : m_fd(fd), m_capacity(std::max(k_writeSize, largestPiece)),
          m_buffer(new (std::nothrow) uint8_t[m_capacity]), m_positioned(positioned) {}

    // Room for `size` more bytes (at most `largestPiece`), flushed first when full; null when
    // a write fails or there is no buffer.
    uint8_t* extend(size_t size) {
        if (!m_buffer || (m_used + size > m_capacity && !flush()))
            return nullptr;
        uint8_t* at = m_buffer.get() + m_used;
        m_used += size;
        return at;
    }

    // Flushes, then goes on at file offset `offset` (a positioned writer's).
    bool moveTo(uint64_t offset) {
        const bool flushed = flush();
        m_at = offset;
        return flushed;
    }

    bool flush() {
        const uint8_t* bytes = m_buffer.get();
        const bool written = m_positioned ? base::writeAllAt(m_fd, bytes, m_used, m_at)
                                          : base::writeAll(m_fd, bytes, m_used);
        m_at += m_used;
        m_used = 0;
        return written;
    }

private:
    int m_fd;
    size_t m_capacity;
    std::unique_ptr<uint8_t[]> m_buffer;
    bool m_positioned;
    uint64_t m_at = 0; // the file offset of the buffer's first byte, when positioned
    size_t m_used = 0;
};

// The page's strips in bands of consecutive strips, numbered from the top; each band's rows
// lie together in the BMP.
struct Bands {
    explicit Bands(const Geometry& g)
        : strips((g.height - 1) / g.rowsPerStrip + 1),
          stripsPerBand(static_cast<uint32_t>(
              std::max<uint64_t>(1, k_bandBytes / (g.rowsPerStrip * g.pitch)))),
          count((strips - 1) / stripsPerBand + 1) {}

    uint32_t firstStrip(uint32_t band) const { return band * stripsPerBand; }
    uint32_t endStrip(uint32_t band) const { return std::min(strips, (band + 1) * stripsPerBand); }

    uint32_t strips;
    uint32_t stripsPerBand;
    uint32_t count;
};

// Where band `band`'s rows start in the BMP: with its bottom row, since the rows are listed
// bottom-up.
uint64_t bandOffset(const Geometry& g, const Bands& bands, uint32_t band) {
    const uint64_t below =
        std::min<uint64_t>(uint64_t{bands.endStrip(band)} * g.rowsPerStrip, g.height);
    return bmpHeadersOf(g).dataOffset() + (g.height - below) * g.pitch;
}

// The file and info headers and the palette, as FreeImage's BMP writer lays them out.
std::vector<uint8_t> headers(const Geometry& g, uint16_t photometric) {
    const imaging::BmpHeaders bmp = bmpHeadersOf(g);
    std::vector<uint8_t> out(static_cast<size_t>(bmp.dataOffset()), 0);
    imaging::writeBmpHeaders(bmp, out.data());
    uint8_t* palette = &out[imaging::k_bmpHeadersSize];
    for (uint32_t i = 0; i < g.colours; ++i) {
        uint8_t level = static_cast<uint8_t>(i);
        if (g.kind == Kind::Bilevel)
            level = (i == 0) == (photometric == PHOTOMETRIC_MINISWHITE) ? 255 : 0;
        palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = level;
    }
    return out;
}

// `levels`: the 8-bit level of every 16-bit sample of a 16-bit grey page.
// The loops keep the width and the table in locals: stores through the byte pointer `row`
// could otherwise change them, and they would be read again for every pixel.
void convertRow(const Geometry& g, const uint8_t* source, uint8_t* row,
                const std::vector<uint8_t>& levels) {
    const uint32_t width = g.width;
    switch (g.kind) {
    case Kind::Rgb:
        for (uint32_t x = 0; x < width; ++x, source += 3, row += 3) {
            row[0] = source[2];
            row[1] = source[1];
            row[2] = source[0];
        }
        break;
    case Kind::Grey:
    case Kind::Bilevel:
        std::memcpy(row, source, static_cast<size_t>(g.tiffRowBytes));
        break;
    case Kind::Grey16: {
        const uint8_t* level = levels.data();
        for (uint32_t x = 0; x < width; ++x) {
            uint16_t sample = 0;
            std::memcpy(&sample, source + 2 * size_t{x}, 2);
            row[x] = level[sample];
        }
        break;
    }
    }
}

// The 8-bit level of every 16-bit sample, by value; made once, for a decoder's first 16-bit page.
const std::vector<uint8_t>& levelsOf16Bits() {
    static const std::vector<uint8_t> levels = [] {
        std::vector<uint8_t> made(size_t{1} << 16);
        for (uint32_t sample = 0; sample < made.size(); ++sample)
            made[sample] = imaging::levelOfUnsigned(sample, 16);
        return made;
    }();
    return levels;
}

DirectWrite unwritable(std::string& why) {
    why = std::string("the BMP could not be written: ") + std::strerror(errno);
    return DirectWrite::Unwritable;
}

// Writes the bands `part` claims, each at its place in the file when `positioned`, else one
// after the other at the descriptor's offset (a writer alone, claiming them in turn).
DirectWrite writePage(StripRows& strips, const Geometry& g, const PageFacts& facts, int fd,
                      const PagePart& part, bool positioned, std::string& why) {
    std::vector<uint8_t> rows(static_cast<size_t>(g.rowsPerStrip * g.tiffRowBytes));
    static const std::vector<uint8_t> k_noLevels;
    const std::vector<uint8_t>& levels = g.kind == Kind::Grey16 ? levelsOf16Bits() : k_noLevels;
    const std::vector<uint8_t> head = headers(g, static_cast<uint16_t>(facts.photometric));
    FdWriter out(fd, std::max(head.size(), static_cast<size_t>(g.pitch)), positioned);
    if (part.first) {
        uint8_t* at = out.extend(head.size());
        if (!at)
            return unwritable(why);
        std::memcpy(at, head.data(), head.size());
    }
    const size_t pitch = static_cast<size_t>(g.pitch);
    // Bytes of a BMP row convertRow fills.
    const size_t filled = g.kind == Kind::Rgb      ? size_t{3} * g.width
                          : g.kind == Kind::Grey16 ? size_t{g.width}
                                                   : static_cast<size_t>(g.tiffRowBytes);
    // A BMP lists its rows bottom-up: the bands are claimed, and the strips in each read, from
    // the last one up.
    const Bands bands(g);
    for (uint32_t claimed = part.claim(); claimed < bands.count; claimed = part.claim()) {
        const uint32_t band = bands.count - 1 - claimed;
        if (positioned && !out.moveTo(bandOffset(g, bands, band)))
            return unwritable(why);
        for (uint32_t strip = bands.endStrip(band); strip-- > bands.firstStrip(band);) {
            if (!strips.read(strip, 0, rows.data(), why))
                return DirectWrite::Unreadable;
            for (uint32_t r = strips.rowsIn(strip); r-- > 0;) {
                uint8_t* row = out.extend(pitch);
                if (!row)
                    return unwritable(why);
                convertRow(g, &rows[r * g.tiffRowBytes], row, levels);
                std::memset(row + filled, 0, pitch - filled); // the row's padding
            }
        }
    }
    if (!out.flush())
        return unwritable(why);
    return DirectWrite::Written;
}

DirectWrite write(TIFF* tiff, const PageFacts& facts, int fd, const PagePart& part, bool positioned,
                  std::string& why) {
    StripRows strips;
    const std::optional<Geometry> g = geometryOf(tiff, facts, strips);
    if (!g || !part.claim) {
        why = "the page is not one that can be written directly";
        return DirectWrite::Unreadable;
    }
    try {
        const int saved = errno;
        const DirectWrite written = writePage(strips, *g, facts, fd, part, positioned, why);
        if (written == DirectWrite::Written)
            errno = saved;
        return written;
    } catch (const std::bad_alloc&) {
        why = "no memory for the page";
        return DirectWrite::Unreadable;
    }
}

} // namespace

std::optional<DirectPage> directBmpPage(TIFF* tiff, const PageFacts& facts) {
    StripRows strips;
    const std::optional<Geometry> g = geometryOf(tiff, facts, strips);
    if (!g)
        return std::nullopt;
    const int loadedBits = g->kind == Kind::Rgb ? 24 : g->kind == Kind::Grey16 ? 16 : g->bmpBits;
    // These grey and bilevel kinds decode with a grey ramp or as 16-bit grey, both of which
    // the chain counts as greyscale.
    const bool splits =
        bmpHeadersOf(*g).fileSize() >= k_splitFileBytes && Bands(*g).count >= k_splitBands;
    return DirectPage{g->width, g->height, loadedBits, g->kind != Kind::Rgb, splits};
}

DirectWrite writeDirectBmp(TIFF* tiff, const PageFacts& facts, int fd, std::string& why) {
    uint32_t next = 0;
    return write(tiff, facts, fd, {true, [&next] { return next++; }}, false, why);
}

DirectWrite writeDirectBmpPart(TIFF* tiff, const PageFacts& facts, int fd, const PagePart& part,
                               std::string& why) {
    return write(tiff, facts, fd, part, true, why);
}

} // namespace kx::decoder

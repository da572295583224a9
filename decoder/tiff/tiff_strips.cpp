#include "decoder/tiff/tiff_strips.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>

namespace kx::decoder {

namespace {

constexpr uint64_t k_mebibyte = uint64_t{1} << 20;

} // namespace

bool StripRows::open(TIFF* tiff, const PageFacts& facts, std::string& why) {
    m_tiff = tiff;
    m_width = facts.width;
    m_height = std::max<uint32_t>(facts.height, 1);
    const bool contiguous = facts.planarContiguous || facts.samplesPerPixel == 1;
    m_pixelBits = uint64_t{facts.bitsPerSample} * (contiguous ? facts.samplesPerPixel : 1);
    m_rowBytes = (m_width * m_pixelBits + 7) / 8;
    // libtiff's idea of a row must agree, or its strips would not be laid out as expected.
    if (static_cast<uint64_t>(TIFFScanlineSize64(tiff)) != m_rowBytes) {
        why = "the page's rows are not laid out as its samples say";
        return false;
    }
    uint32_t rowsPerStrip = m_height;
    if (!facts.tiled) {
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        m_rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, m_height);
        return true;
    }
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &m_tileWidth);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &rowsPerStrip);
    const uint64_t tileRowBytes = static_cast<uint64_t>(TIFFTileRowSize64(tiff));
    const uint64_t tileBytes = static_cast<uint64_t>(TIFFTileSize64(tiff));
    // A row of tiles is pieced together bytewise, so each tile row starts on a byte.
    if (m_tileWidth == 0 || rowsPerStrip == 0 || m_tileWidth * m_pixelBits % 8 != 0 ||
        tileRowBytes != m_tileWidth * m_pixelBits / 8 || tileBytes < tileRowBytes * rowsPerStrip) {
        why = "the page's tiles are not laid out as their size says";
        return false;
    }
    // A tile may be larger than a small page, but not without bound.
    if (tileBytes > std::max(4 * m_rowBytes * m_height, 16 * k_mebibyte)) {
        why = "the page's tiles are far larger than the page";
        return false;
    }
    m_rowsPerStrip = rowsPerStrip;
    m_tileBytes = tileBytes;
    return true;
}

bool StripRows::read(uint32_t strip, uint16_t plane, uint8_t* into, std::string& why) {
    const uint32_t top = strip * m_rowsPerStrip;
    const uint32_t index = TIFFComputeStrip(m_tiff, top, plane);
    const auto bytes = static_cast<tmsize_t>(rowsIn(strip) * m_rowBytes);
    const bool got = m_tileWidth > 0 ? readTiles(top, plane, into)
                                     : index < TIFFNumberOfStrips(m_tiff) &&
                                           TIFFReadEncodedStrip(m_tiff, index, into, bytes) >= 0;
    // libtiff does not always fail a read it complains about (a fax decoder goes on past a
    // bad code word).
    std::string error = m_diagnostics.take();
    if (got && error.empty())
        return true;
    if (error.empty())
        error = (m_tileWidth > 0 ? "the tiles of rows from " + std::to_string(top)
                                 : "strip " + std::to_string(index)) +
                " could not be read";
    why = std::move(error);
    return false;
}

// Pieces the rows from `top` together from the row of tiles that holds them; the last tile's
// part beyond the page is left out.
bool StripRows::readTiles(uint32_t top, uint16_t plane, uint8_t* into) {
    const uint32_t rows = rowsIn(top / m_rowsPerStrip);
    const uint64_t tileRowBytes = m_tileWidth * m_pixelBits / 8;
    m_tile.resize(static_cast<size_t>(m_tileBytes)); // once: opening a page only checks it
    for (uint32_t left = 0; left < m_width; left += m_tileWidth) {
        const uint32_t tile = TIFFComputeTile(m_tiff, left, top, 0, plane);
        if (tile >= TIFFNumberOfTiles(m_tiff) ||
            TIFFReadEncodedTile(m_tiff, tile, m_tile.data(), static_cast<tmsize_t>(m_tile.size())) <
                0)
            return false;
        const uint64_t at = left * m_pixelBits / 8;
        const auto piece = static_cast<size_t>(std::min(tileRowBytes, m_rowBytes - at));
        for (uint32_t r = 0; r < rows; ++r)
            std::memcpy(into + r * m_rowBytes + at, &m_tile[r * tileRowBytes], piece);
    }
    return true;
}

} // namespace kx::decoder

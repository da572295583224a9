#pragma once

#include "decoder/tiff/decode_diagnostics.h"
#include "decoder/tiff/page_budget.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

typedef struct tiff TIFF;

namespace kx::decoder {

// The decoded rows of one plane of a page, a strip at a time: the one place pages are read
// from their strips or tiles, a row of tiles counting as a strip. Rows are whole bytes of
// libtiff's layout (samples of 16 bits and more in this machine's byte order). No strip is
// read past its byte count: libtiff stops at it, and says so when the rows need more.
class StripRows {
public:
    // Reads the layout of the current directory of `tiff`, whose facts are `facts`; false with
    // `why` saying why when its strips or tiles are not laid out as its rows say.
    bool open(TIFF* tiff, const PageFacts& facts, std::string& why);

    uint32_t strips() const { return (m_height - 1) / m_rowsPerStrip + 1; }
    uint32_t rowsPerStrip() const { return m_rowsPerStrip; }
    uint32_t rowsIn(uint32_t strip) const {
        return std::min(m_rowsPerStrip, m_height - strip * m_rowsPerStrip);
    }
    // Bytes of one decoded row of one plane.
    uint64_t rowBytes() const { return m_rowBytes; }

    // The rows of strip `strip` of plane `plane`, top row first, into `into` (room for
    // rowsIn(strip) rows); false with `why` saying why, in libtiff's words where it has any.
    bool read(uint32_t strip, uint16_t plane, uint8_t* into, std::string& why);

private:
    bool readTiles(uint32_t top, uint16_t plane, uint8_t* into);

    TIFF* m_tiff = nullptr;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    uint32_t m_rowsPerStrip = 1;
    uint32_t m_tileWidth = 0; // 0: the page is in strips
    uint64_t m_rowBytes = 0;
    uint64_t m_pixelBits = 0; // of one plane
    uint64_t m_tileBytes = 0;
    std::vector<uint8_t> m_tile;
    DecodeDiagnostics m_diagnostics{Watched::Libtiff};
};

} // namespace kx::decoder

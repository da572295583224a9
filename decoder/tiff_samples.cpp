#include "decoder/tiff_samples.h"

#include "decoder/decode_diagnostics.h"
#include "imaging/sample_scaling.h"

#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace kx::decoder {

namespace {

constexpr uint64_t k_mebibyte = uint64_t{1} << 20;

// A short IEEE-style float of `exponentBits` and `mantissaBits` below its sign bit: the half
// floats of 16 bits (5 and 10) and the 24-bit floats of high-dynamic-range photographs (7, 16).
float shortFloat(uint32_t value, int exponentBits, int mantissaBits) {
    const float sign = value >> (exponentBits + mantissaBits) ? -1.0f : 1.0f;
    const int largest = (1 << exponentBits) - 1;
    const int exponent = static_cast<int>(value >> mantissaBits) & largest;
    const uint32_t mantissa = value & ((uint32_t{1} << mantissaBits) - 1);
    const int bias = largest / 2;
    if (exponent == 0)
        return sign * std::ldexp(static_cast<float>(mantissa), 1 - bias - mantissaBits);
    if (exponent == largest)
        return mantissa ? NAN : sign * INFINITY;
    return sign * std::ldexp(static_cast<float>(mantissa + (uint32_t{1} << mantissaBits)),
                             exponent - bias - mantissaBits);
}

// libtiff hands out 16-, 24-, 32- and 64-bit samples in this machine's byte order; other
// depths as the bit stream the file holds, most significant bit first.
uint64_t wholeSample(const uint8_t* at, unsigned bytes) {
    uint64_t value = 0;
    for (unsigned i = 0; i < bytes; ++i) {
        const unsigned shift = std::endian::native == std::endian::little ? i : bytes - 1 - i;
        value |= uint64_t{at[i]} << (8 * shift);
    }
    return value;
}

uint32_t packedSample(const uint8_t* plane, uint64_t bit, unsigned bits) {
    const uint64_t first = bit / 8;
    const uint64_t last = (bit + bits - 1) / 8;
    uint64_t window = 0;
    for (uint64_t i = first; i <= last; ++i)
        window = window << 8 | plane[i];
    const unsigned trailing = static_cast<unsigned>(8 * (last + 1) - bit - bits);
    return static_cast<uint32_t>((window >> trailing) & ((uint64_t{1} << bits) - 1));
}

std::string formatName(int format) {
    switch (format) {
    case SAMPLEFORMAT_INT:
        return "signed integer";
    case SAMPLEFORMAT_IEEEFP:
        return "floating-point";
    case SAMPLEFORMAT_COMPLEXINT:
        return "complex integer";
    case SAMPLEFORMAT_COMPLEXIEEEFP:
        return "complex floating-point";
    default:
        return "unsigned integer";
    }
}

} // namespace

bool PageSamples::read(TIFF* tiff, const PageFacts& facts, std::string& why) {
    const int format = facts.sampleFormat;
    m_bits = facts.bitsPerSample;
    const bool integer =
        format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_INT || format == SAMPLEFORMAT_VOID;
    const bool real = format == SAMPLEFORMAT_IEEEFP &&
                      (m_bits == 16 || m_bits == 24 || m_bits == 32 || m_bits == 64);
    if (!(integer && ((m_bits >= 1 && m_bits <= 32) || m_bits == 64)) && !real) {
        why = "the page's samples are " + std::to_string(m_bits) + "-bit " + formatName(format) +
              " numbers, which have no conversion to a picture";
        return false;
    }
    m_format = real                         ? SampleKind::Real
               : format == SAMPLEFORMAT_INT ? SampleKind::Signed
                                            : SampleKind::Unsigned;
    m_samples = facts.samplesPerPixel;
    m_contiguous = facts.planarContiguous || m_samples == 1;
    m_width = facts.width;
    m_height = facts.height;
    const uint64_t pixelBits = uint64_t{m_bits} * (m_contiguous ? m_samples : 1);
    m_rowBytes = (uint64_t{m_width} * pixelBits + 7) / 8;
    // libtiff's idea of a row must agree, or its strips would not be laid out as expected.
    if (static_cast<uint64_t>(TIFFScanlineSize64(tiff)) != m_rowBytes) {
        why = "the page's rows are not laid out as its samples say";
        return false;
    }
    m_planes.assign(m_contiguous ? 1 : m_samples, {});
    // A strip or tile that cannot be read is explained best in libtiff's own words.
    DecodeDiagnostics diagnostics(Watched::Libtiff);
    for (size_t plane = 0; plane < m_planes.size(); ++plane) {
        if (!readPlane(tiff, facts, static_cast<uint16_t>(plane), why)) {
            if (std::string said = diagnostics.take(); !said.empty())
                why = std::move(said);
            return false;
        }
    }
    return true;
}

bool PageSamples::readPlane(TIFF* tiff, const PageFacts& facts, uint16_t plane, std::string& why) {
    std::vector<uint8_t>& out = m_planes[plane];
    const uint64_t planeBytes = m_rowBytes * m_height;
    out.assign(static_cast<size_t>(planeBytes), 0);
    if (!facts.tiled) {
        uint32_t rowsPerStrip = m_height;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, std::max<uint32_t>(m_height, 1));
        for (uint32_t top = 0; top < m_height; top += rowsPerStrip) {
            const uint32_t strip = TIFFComputeStrip(tiff, top, plane);
            const uint64_t rows = std::min(rowsPerStrip, m_height - top);
            if (strip >= TIFFNumberOfStrips(tiff) ||
                TIFFReadEncodedStrip(tiff, strip, out.data() + top * m_rowBytes,
                                     static_cast<tmsize_t>(rows * m_rowBytes)) < 0) {
                why = "strip " + std::to_string(strip) + " could not be read";
                return false;
            }
        }
        return true;
    }
    uint32_t tileWidth = 0, tileHeight = 0;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
    const uint64_t pixelBits = uint64_t{m_bits} * (m_contiguous ? m_samples : 1);
    const uint64_t tileRowBytes = static_cast<uint64_t>(TIFFTileRowSize64(tiff));
    const uint64_t tileBytes = static_cast<uint64_t>(TIFFTileSize64(tiff));
    if (tileWidth == 0 || tileHeight == 0 || tileWidth * pixelBits % 8 != 0 ||
        tileRowBytes != (tileWidth * pixelBits + 7) / 8 || tileBytes < tileRowBytes * tileHeight) {
        why = "the page's tiles are not laid out as their size says";
        return false;
    }
    // A tile may be larger than a small page, but not without bound.
    if (tileBytes > std::max(4 * planeBytes, 16 * k_mebibyte)) {
        why = "the page's tiles are far larger than the page";
        return false;
    }
    std::vector<uint8_t> tile(static_cast<size_t>(tileBytes));
    for (uint32_t top = 0; top < m_height; top += tileHeight) {
        for (uint32_t left = 0; left < m_width; left += tileWidth) {
            if (TIFFReadTile(tiff, tile.data(), left, top, 0, plane) < 0) {
                why = "the tile at " + std::to_string(left) + "," + std::to_string(top) +
                      " could not be read";
                return false;
            }
            const uint64_t at = left * pixelBits / 8;
            const size_t bytes = static_cast<size_t>(std::min(tileRowBytes, m_rowBytes - at));
            for (uint32_t row = 0; row < tileHeight && top + row < m_height; ++row)
                std::memcpy(out.data() + (top + row) * m_rowBytes + at,
                            tile.data() + row * tileRowBytes, bytes);
        }
    }
    return true;
}

const uint8_t* PageSamples::locate(uint32_t x, uint32_t y, unsigned sample, uint64_t& bit) const {
    const uint64_t index = m_contiguous ? uint64_t{x} * m_samples + sample : x;
    bit = y * m_rowBytes * 8 + index * m_bits;
    return m_planes[m_contiguous ? 0 : sample].data();
}

uint32_t PageSamples::raw(uint32_t x, uint32_t y, unsigned sample) const {
    uint64_t bit = 0;
    const uint8_t* plane = locate(x, y, sample, bit);
    if (m_bits == 8)
        return plane[bit / 8];
    if (m_bits % 8 == 0)
        return static_cast<uint32_t>(wholeSample(plane + bit / 8, m_bits / 8));
    return packedSample(plane, bit, m_bits);
}

double PageSamples::value(uint32_t x, uint32_t y, unsigned sample) const {
    if (m_format == SampleKind::Real) {
        uint64_t bit = 0;
        const uint8_t* at = locate(x, y, sample, bit) + bit / 8;
        const uint64_t stored = wholeSample(at, m_bits / 8);
        switch (m_bits) {
        case 16:
            return shortFloat(static_cast<uint32_t>(stored), 5, 10);
        case 24:
            return shortFloat(static_cast<uint32_t>(stored), 7, 16);
        case 32:
            return std::bit_cast<float>(static_cast<uint32_t>(stored));
        default:
            return std::bit_cast<double>(stored);
        }
    }
    if (m_bits == 64) {
        uint64_t bit = 0;
        const uint64_t stored = wholeSample(locate(x, y, sample, bit) + bit / 8, 8);
        return m_format == SampleKind::Unsigned
                   ? static_cast<double>(stored)
                   : static_cast<double>(std::bit_cast<int64_t>(stored));
    }
    const uint32_t stored = raw(x, y, sample);
    if (m_format == SampleKind::Unsigned)
        return stored;
    // Sign-extended from the sample's own width.
    const uint32_t sign = uint32_t{1} << (m_bits - 1);
    return static_cast<double>(static_cast<int64_t>(stored ^ sign) - int64_t{sign});
}

uint8_t PageSamples::level(uint32_t x, uint32_t y, unsigned sample) const {
    if (m_bits == 64 && m_format != SampleKind::Real) {
        uint64_t bit = 0;
        const uint64_t stored = wholeSample(locate(x, y, sample, bit) + bit / 8, 8);
        // Signed samples count from the type's minimum: flipping the sign bit does that.
        return imaging::levelOf64Bits(m_format == SampleKind::Signed ? stored ^ (uint64_t{1} << 63)
                                                                     : stored);
    }
    switch (m_format) {
    case SampleKind::Unsigned:
        return imaging::levelOfUnsigned(raw(x, y, sample), m_bits);
    case SampleKind::Signed:
        return imaging::levelOfSigned(static_cast<int32_t>(value(x, y, sample)), m_bits);
    default:
        return imaging::levelOfReal(value(x, y, sample));
    }
}

} // namespace kx::decoder

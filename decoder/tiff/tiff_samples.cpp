#include "decoder/tiff/tiff_samples.h"

#include "decoder/tiff/tiff_strips.h"
#include "imaging/sample_scaling.h"

#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace kx::decoder {

namespace {

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
    StripRows rows;
    if (!rows.open(tiff, facts, why))
        return false;
    m_rowBytes = rows.rowBytes();
    m_planes.assign(m_contiguous ? 1 : m_samples, {});
    for (size_t plane = 0; plane < m_planes.size(); ++plane) {
        std::vector<uint8_t>& out = m_planes[plane];
        out.assign(static_cast<size_t>(m_rowBytes * m_height), 0);
        for (uint32_t strip = 0; strip < rows.strips(); ++strip) {
            uint8_t* into = out.data() + uint64_t{strip} * rows.rowsPerStrip() * m_rowBytes;
            if (!rows.read(strip, static_cast<uint16_t>(plane), into, why))
                return false;
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

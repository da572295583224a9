#pragma once

#include "decoder/tiff/page_budget.h"

#include <cstdint>
#include <string>
#include <vector>

typedef struct tiff TIFF;

namespace kx::decoder {

// The samples of one page, decoded whole by libtiff from strips or tiles, contiguous or in
// separate planes, at any depth libtiff hands out: packed bit streams of 1 to 32 bits,
// 8-, 16-, 24-, 32- and 64-bit whole samples, and 16-, 24-, 32- and 64-bit floats. Held as
// stored (the planes are not interleaved), so the page costs its decoded size once.
class PageSamples {
public:
    // Reads the current directory of `tiff`; false with `why` saying why when the depth or
    // sample format is not one of the above, or a strip or tile cannot be decoded. Throws
    // std::bad_alloc when there is no memory for the page.
    bool read(TIFF* tiff, const PageFacts& facts, std::string& why);

    // Sample `sample` of pixel (x, y), top row first, as stored: the integer value (signed
    // formats negative where they are), or the real value of a float.
    double value(uint32_t x, uint32_t y, unsigned sample) const;

    // The same sample as an 8-bit level, by its value over the full range of its type (floats
    // 0..1).
    uint8_t level(uint32_t x, uint32_t y, unsigned sample) const;

    // The unsigned integer value of an integer sample (the bits as stored).
    uint32_t raw(uint32_t x, uint32_t y, unsigned sample) const;

    bool isReal() const { return m_format == SampleKind::Real; }
    unsigned bits() const { return m_bits; }

private:
    enum class SampleKind { Unsigned, Signed, Real };

    // Where a sample's bits start: its plane and bit offset in that plane.
    const uint8_t* locate(uint32_t x, uint32_t y, unsigned sample, uint64_t& bit) const;

    SampleKind m_format = SampleKind::Unsigned;
    unsigned m_bits = 8;
    unsigned m_samples = 1;
    bool m_contiguous = true;
    uint64_t m_rowBytes = 0; // of one plane
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    std::vector<std::vector<uint8_t>> m_planes;
};

} // namespace kx::decoder

#pragma once

#include "decoder/tiff/tiff_samples.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

typedef struct tiff TIFF;

namespace kx::decoder {

// The L*, a* and b* of a Lab page's pixels, whatever the form they are stored in: CIELab
// (a* and b* signed), ICCLab (a* and b* offset by 128), 8 or 16 bits, or floats holding the
// values themselves.
class LabSamples {
public:
    LabSamples(const PageSamples& samples, bool icc);
    // Why the samples cannot be read as Lab, or empty.
    const std::string& problem() const { return m_problem; }
    // L* (0..100) of pixel (x, y).
    float lightness(uint32_t x, uint32_t y) const;
    float a(uint32_t x, uint32_t y) const { return opponent(x, y, 1); }
    float b(uint32_t x, uint32_t y) const { return opponent(x, y, 2); }

private:
    float opponent(uint32_t x, uint32_t y, unsigned sample) const;

    const PageSamples& m_samples;
    bool m_icc;
    std::string m_problem;
};

// libtiff's CIELab to RGB conversion, on the sRGB display its RGBA reader uses, for the
// reference white of the page's WhitePoint tag (as its RGBA reader reads it).
class LabToRgb {
public:
    // Null with `why` set when the page's white point is unusable.
    static std::unique_ptr<LabToRgb> forPage(TIFF* tiff, std::string& why);
    ~LabToRgb();
    std::array<uint8_t, 3> rgb(float lightness, float a, float b);

private:
    struct State; // libtiff's conversion tables
    LabToRgb();
    std::unique_ptr<State> m_state;
};

} // namespace kx::decoder

#include "decoder/tiff/lab_colour.h"

#include <tiffio.h>

namespace kx::decoder {

namespace {

// The display libtiff's RGBA reader converts Lab for: sRGB primaries, gamma 2.4.
const TIFFDisplay k_sRgbDisplay = {
    {{3.2410F, -1.5374F, -0.4986F}, {-0.9692F, 1.8760F, 0.0416F}, {0.0556F, -0.2040F, 1.0570F}},
    100.0F,
    100.0F,
    100.0F,
    255,
    255,
    255,
    1.0F,
    1.0F,
    1.0F,
    2.4F,
    2.4F,
    2.4F,
};

// XYZ of a real-valued L*a*b*, with the formula of libtiff's TIFFCIELabToXYZ (which takes
// only whole 8-bit values).
void labToXyz(const TIFFCIELabToRGB& cielab, float lightness, float a, float b, float& x, float& y,
              float& z) {
    float cby = 0.0F;
    if (lightness < 8.856F) {
        y = (lightness * cielab.Y0) / 903.292F;
        cby = 7.787F * (y / cielab.Y0) + 16.0F / 116.0F;
    } else {
        cby = (lightness + 16.0F) / 116.0F;
        y = cielab.Y0 * cby * cby * cby;
    }
    const auto component = [](float white, float t) {
        return t < 0.2069F ? white * (t - 0.13793F) / 7.787F : white * t * t * t;
    };
    x = component(cielab.X0, a / 500.0F + cby);
    z = component(cielab.Z0, cby - b / 200.0F);
}

} // namespace

LabSamples::LabSamples(const PageSamples& samples, bool icc) : m_samples(samples), m_icc(icc) {
    if (!samples.isReal() && samples.bits() != 8 && samples.bits() != 16)
        m_problem = "Lab pages of " + std::to_string(samples.bits()) +
                    "-bit samples have no conversion to a picture";
}

float LabSamples::lightness(uint32_t x, uint32_t y) const {
    if (m_samples.isReal())
        return static_cast<float>(m_samples.value(x, y, 0));
    const float largest = m_samples.bits() == 8 ? 255.0F : 65535.0F;
    return static_cast<float>(m_samples.raw(x, y, 0)) * 100.0F / largest;
}

float LabSamples::opponent(uint32_t x, uint32_t y, unsigned sample) const {
    if (m_samples.isReal())
        return static_cast<float>(m_samples.value(x, y, sample));
    const uint32_t raw = m_samples.raw(x, y, sample);
    const float unit = m_samples.bits() == 8 ? 1.0F : 256.0F;
    if (m_icc)
        return static_cast<float>(raw) / unit - 128.0F;
    // CIELab stores a* and b* as signed numbers whatever the SampleFormat tag says.
    const uint32_t sign = uint32_t{1} << (m_samples.bits() - 1);
    return static_cast<float>(static_cast<int32_t>(raw ^ sign) - static_cast<int32_t>(sign)) / unit;
}

struct LabToRgb::State {
    TIFFCIELabToRGB cielab;
};

LabToRgb::LabToRgb() : m_state(std::make_unique<State>()) {}

LabToRgb::~LabToRgb() = default;

std::unique_ptr<LabToRgb> LabToRgb::forPage(TIFF* tiff, std::string& why) {
    float* whitePoint = nullptr;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_WHITEPOINT, &whitePoint);
    if (!whitePoint || !(whitePoint[1] > 0.0F)) {
        why = "the page's WhitePoint is invalid";
        return nullptr;
    }
    float white[3] = {whitePoint[0] / whitePoint[1] * 100.0F, 100.0F,
                      (1.0F - whitePoint[0] - whitePoint[1]) / whitePoint[1] * 100.0F};
    std::unique_ptr<LabToRgb> convert(new LabToRgb());
    if (TIFFCIELabToRGBInit(&convert->m_state->cielab, &k_sRgbDisplay, white) < 0) {
        why = "libtiff cannot convert Lab for the page's WhitePoint";
        return nullptr;
    }
    return convert;
}

std::array<uint8_t, 3> LabToRgb::rgb(float lightness, float a, float b) {
    float x = 0, y = 0, z = 0;
    labToXyz(m_state->cielab, lightness, a, b, x, y, z);
    uint32_t red = 0, green = 0, blue = 0;
    TIFFXYZToRGB(&m_state->cielab, x, y, z, &red, &green, &blue);
    return {static_cast<uint8_t>(red), static_cast<uint8_t>(green), static_cast<uint8_t>(blue)};
}

} // namespace kx::decoder

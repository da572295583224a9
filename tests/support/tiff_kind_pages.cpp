#include "tests/support/tiff_kind_pages.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

// While a page's samples are drawn, its picture is worked out from the values written, by the
// rules a viewer follows: integer samples map to 8 bits by value over the full range of their
// type (signed ones from their minimum), floats from 0..1, clamped; min-is-white inverts;
// associated alpha is undone; the Orientation tag is applied.

namespace kx::test {

namespace {

using u128 = unsigned __int128;

// splitmix64: small, fast and the same on every machine.
class Draw {
public:
    explicit Draw(uint64_t seed) : m_state(seed) {}
    uint64_t next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [from, to].
    uint64_t between(uint64_t from, uint64_t to) {
        const u128 span = static_cast<u128>(to - from) + 1;
        return from + static_cast<uint64_t>(static_cast<u128>(next()) % span);
    }

private:
    uint64_t m_state;
};

uint64_t seedOf(std::string_view text) {
    uint64_t hash = 1469598103934665603ull;
    for (const char c : text)
        hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211ull;
    return hash;
}

uint64_t maxOf(int bits) {
    return bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
}

// v of 0..max as 8 bits, rounded. Never exactly half way: max and 255 are odd.
uint8_t toEight(uint64_t v, uint64_t max) {
    return static_cast<uint8_t>((static_cast<u128>(v) * 255 + max / 2) / max);
}

uint8_t floatToEight(double v) {
    return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
}

// IEEE half, and the 24-bit float (sign, 7-bit exponent biased by 63, 16-bit mantissa).
uint64_t encodeSmallFloat(double v, int exponentBits, int mantissaBits) {
    const uint64_t sign = v < 0 ? 1 : 0;
    v = std::fabs(v);
    const int bias = (1 << (exponentBits - 1)) - 1;
    uint64_t exponent = 0, mantissa = 0;
    if (v != 0) {
        int e = 0;
        const double m = std::frexp(v, &e); // v = m * 2^e, m in [0.5, 1)
        exponent = static_cast<uint64_t>(e - 1 + bias);
        mantissa = static_cast<uint64_t>(std::lround((m * 2 - 1) * (1 << mantissaBits)));
        if (mantissa >> mantissaBits) {
            mantissa = 0;
            ++exponent;
        }
    }
    return (sign << (exponentBits + mantissaBits)) | (exponent << mantissaBits) | mantissa;
}

double decodeSmallFloat(uint64_t raw, int exponentBits, int mantissaBits) {
    const int bias = (1 << (exponentBits - 1)) - 1;
    const auto exponent = static_cast<int>((raw >> mantissaBits) & maxOf(exponentBits));
    const double mantissa = static_cast<double>(raw & maxOf(mantissaBits)) / (1 << mantissaBits);
    const double value = exponent == 0 ? 0 : std::ldexp(1 + mantissa, exponent - bias);
    return (raw >> (exponentBits + mantissaBits)) & 1 ? -value : value;
}

// A float sample as it is stored, and the value a reader gets back from it.
uint64_t encodeFloat(double v, int bits, double& stored) {
    if (bits == 16 || bits == 24) {
        const int exponentBits = bits == 16 ? 5 : 7;
        const uint64_t raw = encodeSmallFloat(v, exponentBits, bits - 1 - exponentBits);
        stored = decodeSmallFloat(raw, exponentBits, bits - 1 - exponentBits);
        return raw;
    }
    uint64_t raw = 0;
    if (bits == 32) {
        const auto f = static_cast<float>(v);
        stored = f;
        std::memcpy(&raw, &f, 4);
    } else {
        stored = v;
        std::memcpy(&raw, &v, 8);
    }
    return raw;
}

// One sample: what is written, and the 8-bit value a viewer shows for it.
struct Sample {
    uint64_t raw;
    uint8_t eight;
};

// A sample at `share` (0..1) of its type's range.
Sample sampleAt(const PageSpec& page, double share) {
    const uint64_t max = maxOf(page.bits);
    if (page.format == SAMPLEFORMAT_IEEEFP) {
        double stored = 0;
        const uint64_t raw = encodeFloat(share, page.bits, stored);
        return {raw, floatToEight(stored)};
    }
    const auto v = static_cast<uint64_t>(static_cast<long double>(share) * max);
    // A signed sample counts from its minimum: raw = v - 2^(bits-1) in two's complement.
    const uint64_t raw =
        page.format == SAMPLEFORMAT_INT ? (v ^ (uint64_t{1} << (page.bits - 1))) : v;
    return {raw, toEight(v, max)};
}

// A random sample in the page's share of the range; floats step by 1/255 and now and then
// leave 0..1 to show clamping.
Sample drawSample(const PageSpec& page, Draw& draw) {
    if (page.format == SAMPLEFORMAT_IEEEFP) {
        const uint64_t pick = draw.between(0, 300);
        if (pick > 290 && !page.smooth)
            return sampleAt(page, pick % 2 ? -0.25 : 1.5);
        const auto k = draw.between(static_cast<uint64_t>(page.low * 255),
                                    static_cast<uint64_t>(page.high * 255));
        return sampleAt(page, static_cast<double>(k) / 255);
    }
    const uint64_t max = maxOf(page.bits);
    const auto low = static_cast<uint64_t>(static_cast<long double>(page.low) * max);
    const auto high = static_cast<uint64_t>(static_cast<long double>(page.high) * max);
    const uint64_t v = draw.between(low, high);
    const uint64_t raw =
        page.format == SAMPLEFORMAT_INT ? (v ^ (uint64_t{1} << (page.bits - 1))) : v;
    return {raw, toEight(v, max)};
}

// Associated alpha: alpha k/5 and colour 5j/255 premultiply without rounding at 8, 16, 32 and
// 64 bits and in floats, so undoing it gives the colour back exactly.
Sample associatedAlpha(const PageSpec& page, int k) {
    double stored = 0;
    if (page.format == SAMPLEFORMAT_IEEEFP)
        return {encodeFloat(k / 5.0, page.bits, stored), static_cast<uint8_t>(51 * k)};
    return {static_cast<uint64_t>(51 * k) * (maxOf(page.bits) / 255), static_cast<uint8_t>(51 * k)};
}

Sample premultiplied(const PageSpec& page, int j, int k) {
    double stored = 0;
    if (page.format == SAMPLEFORMAT_IEEEFP)
        return {encodeFloat(j * 5 / 255.0 * (k / 5.0), page.bits, stored),
                static_cast<uint8_t>(5 * j)};
    return {static_cast<uint64_t>(j * k) * (maxOf(page.bits) / 255), static_cast<uint8_t>(5 * j)};
}

int colourChannels(Colour colour) {
    switch (colour) {
    case Colour::Black:
    case Colour::White:
    case Colour::Palette:
    case Colour::LogL:
    case Colour::Mask:
        return 1;
    case Colour::Cmyk:
        return 4;
    default:
        return 3;
    }
}

int photometricOf(Colour colour) {
    switch (colour) {
    case Colour::Black:
        return PHOTOMETRIC_MINISBLACK;
    case Colour::White:
        return PHOTOMETRIC_MINISWHITE;
    case Colour::Rgb:
        return PHOTOMETRIC_RGB;
    case Colour::Palette:
        return PHOTOMETRIC_PALETTE;
    case Colour::Cmyk:
        return PHOTOMETRIC_SEPARATED;
    case Colour::YCbCr:
        return PHOTOMETRIC_YCBCR;
    case Colour::CieLab:
        return PHOTOMETRIC_CIELAB;
    case Colour::IccLab:
        return PHOTOMETRIC_ICCLAB;
    case Colour::ItuLab:
        return PHOTOMETRIC_ITULAB;
    case Colour::LogLuv:
        return PHOTOMETRIC_LOGLUV;
    case Colour::LogL:
        return PHOTOMETRIC_LOGL;
    case Colour::Mask:
        return PHOTOMETRIC_MASK;
    }
    return PHOTOMETRIC_RGB;
}

// Lab (L 0..100) to RGB as libtiff's RGBA reader converts it: D50 white, its sRGB display.
void labToRgb(double l, double a, double b, uint8_t* rgb) {
    static const TIFFDisplay display = {
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
        2.4F};
    static const std::unique_ptr<TIFFCIELabToRGB> converter = [] {
        auto c = std::make_unique<TIFFCIELabToRGB>();
        const float x = 0.3457F, y = 0.3585F; // D50
        float white[3] = {x / y * 100.0F, 100.0F, (1.0F - x - y) / y * 100.0F};
        TIFFCIELabToRGBInit(c.get(), &display, white);
        return c;
    }();
    // In floats, step by step as libtiff does: near black one step of its table is 12 levels.
    const auto cube = [](float t) { return t < 0.2069F ? (t - 0.13793F) / 7.787F : t * t * t; };
    const auto lf = static_cast<float>(l);
    float fy = 0, y = 0;
    if (lf < 8.856F) {
        y = (lf * converter->Y0) / 903.292F;
        fy = (y / converter->Y0) * 7.787F + 16.0F / 116.0F;
    } else {
        fy = (lf + 16.0F) / 116.0F;
        y = converter->Y0 * fy * fy * fy;
    }
    const float x = converter->X0 * cube(static_cast<float>(a) / 500.0F + fy);
    const float z = converter->Z0 * cube(fy - static_cast<float>(b) / 200.0F);
    uint32_t r = 0, g = 0, bl = 0;
    TIFFXYZToRGB(converter.get(), x, y, z, &r, &g, &bl);
    rgb[0] = static_cast<uint8_t>(r);
    rgb[1] = static_cast<uint8_t>(g);
    rgb[2] = static_cast<uint8_t>(bl);
}

// The Lab samples of one pixel for the page's Lab form, and its RGB.
void drawLab(const PageSpec& page, Draw& draw, std::vector<uint64_t>& raw, uint8_t* rgb) {
    const uint64_t max = maxOf(page.bits);
    // Light, moderate colours only: near a channel's black, libtiff's table steps by 12 levels
    // and the last bit of a reader's arithmetic decides which step it takes.
    const uint64_t l = draw.between(max / 5 * 2, max);
    const double unit = page.bits == 16 ? 256.0 : 1.0;
    const auto a8 = static_cast<int>(draw.between(0, 50)) - 25;
    const auto b8 = static_cast<int>(draw.between(0, 50)) - 25;
    const double lightness = static_cast<double>(l) * 100 / static_cast<double>(max);
    raw.push_back(l);
    if (page.colour == Colour::CieLab) {
        raw.push_back(static_cast<uint64_t>(static_cast<int64_t>(a8 * unit)) & max);
        raw.push_back(static_cast<uint64_t>(static_cast<int64_t>(b8 * unit)) & max);
        labToRgb(lightness, a8, b8, rgb);
    } else if (page.colour == Colour::IccLab) {
        raw.push_back(static_cast<uint64_t>((a8 + 128) * unit));
        raw.push_back(static_cast<uint64_t>((b8 + 128) * unit));
        labToRgb(lightness, a8, b8, rgb);
    } else { // ITU: a* over -85.33..84.67 and b* over -75.29..124.71 by default
        const uint64_t av = draw.between(max / 3, max / 3 * 2), bv = draw.between(max / 4, max / 2);
        raw.push_back(av);
        raw.push_back(bv);
        const double share = 1.0 / static_cast<double>(max);
        labToRgb(lightness, -21760.0 / 255 + static_cast<double>(av) * share * 170,
                 -19200.0 / 255 + static_cast<double>(bv) * share * 200, rgb);
    }
}

// The 8-bit colour of CMYK inks, as the common naive conversion gives it.
void cmykToRgb(const uint8_t* ink, uint8_t* rgb) {
    for (int i = 0; i < 3; ++i)
        rgb[i] = static_cast<uint8_t>(((255 - ink[i]) * (255 - ink[3]) + 127) / 255);
}

std::vector<uint16_t> colourMap(int bits, Draw& draw, std::vector<uint8_t>& eight) {
    const size_t n = size_t{1} << bits;
    std::vector<uint16_t> map(3 * n);
    eight.resize(3 * n);
    for (size_t i = 0; i < 3 * n; ++i) {
        eight[i] = static_cast<uint8_t>(draw.between(0, 255));
        map[i] = static_cast<uint16_t>(eight[i] * 257);
    }
    return map;
}

// The samples of one page, pixel by pixel, and its picture as stored (before orientation).
struct DrawnPage {
    std::vector<uint64_t> samples;
    Picture picture;
    std::vector<uint16_t> colormap;
};

void drawPixel(const PageSpec& spec, Draw& draw, const std::vector<uint8_t>& map, int x, int y,
               std::vector<uint64_t>& samples, uint8_t* rgba) {
    const int channels = colourChannels(spec.colour);
    rgba[3] = 255;
    if (spec.colour == Colour::CieLab || spec.colour == Colour::IccLab ||
        spec.colour == Colour::ItuLab) {
        drawLab(spec, draw, samples, rgba);
        return;
    }
    if (spec.colour == Colour::Palette) {
        const uint64_t index = draw.between(0, maxOf(spec.bits));
        samples.push_back(index);
        const size_t n = size_t{1} << spec.bits;
        for (int c = 0; c < 3; ++c)
            rgba[c] = map[c * n + index];
        return;
    }
    uint8_t eight[4] = {};
    const int k = spec.alpha == Alpha::Associated ? static_cast<int>(draw.between(1, 5)) : 0;
    Sample alpha = k ? associatedAlpha(spec, k) : Sample{};
    for (int c = 0; c < channels; ++c) {
        Sample s{};
        if (k)
            s = premultiplied(spec, static_cast<int>(draw.between(0, 51)), k);
        else if (spec.smooth)
            s = sampleAt(spec, std::fmod((x * 7.0 + y * 3.0 + c * 40.0) / 255, 1.0));
        else
            s = drawSample(spec, draw);
        samples.push_back(s.raw);
        eight[c] = s.eight;
    }
    if (spec.alpha == Alpha::Unassociated || spec.alpha == Alpha::Unspecified)
        alpha = drawSample(spec, draw);
    if (spec.alpha != Alpha::None) {
        samples.push_back(alpha.raw);
        rgba[3] = spec.alpha == Alpha::Unspecified ? 255 : alpha.eight;
    }
    if (spec.colour == Colour::Cmyk)
        cmykToRgb(eight, rgba);
    else if (channels == 3)
        std::copy_n(eight, 3, rgba);
    else
        std::fill_n(rgba, 3, spec.colour == Colour::White ? 255 - eight[0] : eight[0]);
}

DrawnPage drawPage(const PageSpec& spec, Draw& draw) {
    DrawnPage page;
    page.picture = {spec.width, spec.height,
                    std::vector<uint8_t>(static_cast<size_t>(spec.width) * spec.height * 4)};
    std::vector<uint8_t> map;
    if (spec.colour == Colour::Palette)
        page.colormap = colourMap(spec.bits, draw, map);
    for (int y = 0; y < spec.height; ++y)
        for (int x = 0; x < spec.width; ++x)
            drawPixel(spec, draw, map, x, y, page.samples,
                      &page.picture.rgba[(static_cast<size_t>(y) * spec.width + x) * 4]);
    return page;
}

// Appends `value` as a sample of `bits`: whole 16, 24, 32 and 64-bit samples in this machine's
// (little-endian) byte order, others packed from the most significant bit.
void putSample(std::vector<uint8_t>& bytes, size_t& bit, uint64_t value, int bits) {
    if (bits % 8 == 0 && bits > 8 && bit % 8 == 0) {
        for (int i = 0; i < bits / 8; ++i)
            bytes[bit / 8 + i] = static_cast<uint8_t>(value >> (8 * i));
        bit += bits;
        return;
    }
    for (int i = bits - 1; i >= 0; --i, ++bit)
        if ((value >> i) & 1)
            bytes[bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
}

std::vector<uint8_t> packSamples(const PageSpec& spec, int spp,
                                 const std::vector<uint64_t>& samples) {
    const int planes = spec.planar ? spp : 1;
    const int perRow = spec.planar ? 1 : spp;
    const size_t stride = (static_cast<size_t>(spec.width) * perRow * spec.bits + 7) / 8;
    std::vector<uint8_t> bytes(stride * spec.height * planes);
    for (int plane = 0; plane < planes; ++plane) {
        for (int y = 0; y < spec.height; ++y) {
            size_t bit = (static_cast<size_t>(plane) * spec.height + y) * stride * 8;
            for (int x = 0; x < spec.width; ++x) {
                const size_t first = (static_cast<size_t>(y) * spec.width + x) * spp;
                for (int s = 0; s < perRow; ++s)
                    putSample(bytes, bit, samples[first + (spec.planar ? plane : s)], spec.bits);
            }
        }
    }
    return bytes;
}

// 8-bit YCbCr in subsampled units: the unit's luma samples row by row, then Cb and Cr.
std::vector<uint8_t> packYCbCr(const PageSpec& spec, const std::vector<uint64_t>& samples) {
    std::vector<uint8_t> bytes;
    const auto at = [&](int x, int y, int c) {
        x = std::min(x, spec.width - 1);
        y = std::min(y, spec.height - 1);
        return static_cast<uint8_t>(samples[(static_cast<size_t>(y) * spec.width + x) * 3 + c]);
    };
    for (int y = 0; y < spec.height; y += spec.subV) {
        for (int x = 0; x < spec.width; x += spec.subH) {
            for (int j = 0; j < spec.subV; ++j)
                for (int i = 0; i < spec.subH; ++i)
                    bytes.push_back(at(x + i, y + j, 0));
            bytes.push_back(at(x, y, 1));
            bytes.push_back(at(x, y, 2));
        }
    }
    return bytes;
}

std::vector<uint16_t> extraSamplesOf(const PageSpec& spec) {
    switch (spec.alpha) {
    case Alpha::Associated:
        return {EXTRASAMPLE_ASSOCALPHA};
    case Alpha::Unassociated:
        return {EXTRASAMPLE_UNASSALPHA};
    case Alpha::Unspecified:
        return {EXTRASAMPLE_UNSPECIFIED};
    default:
        return {};
    }
}

TiffPage tiffPageOf(const PageSpec& spec, const DrawnPage& drawn) {
    const int spp = colourChannels(spec.colour) + (spec.alpha == Alpha::None ? 0 : 1);
    TiffPage page{.width = spec.width,
                  .height = spec.height,
                  .samplesPerPixel = spp,
                  .bitsPerSample = spec.bits,
                  .photometric = photometricOf(spec.colour),
                  .compression = spec.compression,
                  .sampleFormat = spec.format,
                  .colormap = drawn.colormap,
                  .extraSample = -1,
                  .tileSize = spec.tile,
                  .orientation = spec.orientation};
    page.planarConfig = spec.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG;
    page.predictor = spec.predictor;
    page.rowsPerStrip = spec.rowsPerStrip;
    page.extraSamples = extraSamplesOf(spec);
    page.subfileType = spec.subfileType;
    page.inkSet = spec.colour == Colour::Cmyk ? INKSET_CMYK : 0;
    page.jpegQuality = spec.jpegQuality;
    page.faxOptions = spec.faxOptions;
    if (spec.colour == Colour::YCbCr && spec.compression != COMPRESSION_JPEG) {
        page.ycbcrHorizontal = spec.subH;
        page.ycbcrVertical = spec.subV;
        page.data = packYCbCr(spec, drawn.samples);
    } else {
        page.data = packSamples(spec, spp, drawn.samples);
    }
    return page;
}

// The stored picture as shown under Orientation `tag`; 5 to 8 swap width and height.
Picture oriented(const Picture& stored, int tag) {
    if (tag <= 1)
        return stored;
    const int w = stored.width, h = stored.height;
    const bool swap = tag >= 5;
    Picture shown{swap ? h : w, swap ? w : h, std::vector<uint8_t>(stored.rgba.size())};
    for (int y = 0; y < shown.height; ++y) {
        for (int x = 0; x < shown.width; ++x) {
            int col = x, row = y;
            switch (tag) {
            case 2:
                col = w - 1 - x;
                break;
            case 3:
                col = w - 1 - x;
                row = h - 1 - y;
                break;
            case 4:
                row = h - 1 - y;
                break;
            case 5:
                col = y;
                row = x;
                break;
            case 6:
                col = y;
                row = h - 1 - x;
                break;
            case 7:
                col = w - 1 - y;
                row = h - 1 - x;
                break;
            case 8:
                col = w - 1 - y;
                row = x;
                break;
            }
            std::copy_n(&stored.rgba[(static_cast<size_t>(row) * w + col) * 4], 4,
                        &shown.rgba[(static_cast<size_t>(y) * shown.width + x) * 4]);
        }
    }
    return shown;
}

} // namespace

void makePages(const std::vector<PageSpec>& specs, std::string_view seed,
               std::vector<TiffPage>& pages, std::vector<Picture>& pictures) {
    Draw draw(seedOf(seed));
    pages.clear();
    pictures.clear();
    for (const PageSpec& spec : specs) {
        const DrawnPage drawn = drawPage(spec, draw);
        pages.push_back(tiffPageOf(spec, drawn));
        if (!(spec.subfileType >= 0 && (spec.subfileType & FILETYPE_MASK)))
            pictures.push_back(oriented(drawn.picture, spec.orientation));
    }
}

} // namespace kx::test

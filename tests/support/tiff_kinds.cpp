#include "tests/support/tiff_kinds.h"

#include "tests/support/tiff_writer.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

// Each kind is a list of page descriptions. A page's samples are drawn from a generator seeded
// by the kind's name, so a kind always makes the same file; while drawing, the page's picture
// is worked out from the values written, by the rules a viewer follows: integer samples map to
// 8 bits by value over the full range of their type (signed ones from their minimum), floats
// from 0..1, clamped; min-is-white inverts; associated alpha is undone; the Orientation tag is
// applied. Colour spaces whose conversion has several conventions (YCbCr, JPEG, LogLuv) take
// libtiff's RGBA reader as the reference.

namespace kx::test {

namespace {

using u128 = unsigned __int128;

enum class Colour { Black, White, Rgb, Palette, Cmyk, YCbCr, CieLab, IccLab, ItuLab, LogLuv, LogL };
enum class Alpha { None, Associated, Unassociated, Unspecified };

struct PageSpec {
    Colour colour = Colour::Rgb;
    int bits = 8;
    int format = SAMPLEFORMAT_UINT;
    Alpha alpha = Alpha::None;
    int compression = COMPRESSION_NONE;
    int predictor = 0;
    bool planar = false;
    int tile = 0;
    int rowsPerStrip = 0;
    int orientation = 0;
    int subfileType = -1;
    int width = 33;
    int height = 17;
    double low = 0, high = 1; // the share of the sample range the values use
    int subH = 0, subV = 0;   // YCbCr subsampling
    int jpegQuality = 0;
    int faxOptions = -1;
    bool smooth = false; // gradients instead of noise, for lossy coding
};

struct KindSpec {
    std::string name;
    std::string family;
    int tolerance = 0;
    const char* mode = "wl";
    std::vector<PageSpec> pages;
    bool libtiffReference = false;
};

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
    // Lightness from a fifth up: near black a reader's rounding moves whole table steps.
    const uint64_t l = draw.between(max / 5, max);
    const double unit = page.bits == 16 ? 256.0 : 1.0;
    const auto a8 = static_cast<int>(draw.between(0, 100)) - 50;
    const auto b8 = static_cast<int>(draw.between(0, 100)) - 50;
    const double lightness = static_cast<double>(l) * 100 / static_cast<double>(max);
    raw.push_back(l);
    if (page.colour == Colour::CieLab) {
        raw.push_back(static_cast<uint64_t>(a8 * unit) & max);
        raw.push_back(static_cast<uint64_t>(b8 * unit) & max);
        labToRgb(lightness, a8, b8, rgb);
    } else if (page.colour == Colour::IccLab) {
        raw.push_back(static_cast<uint64_t>((a8 + 128) * unit));
        raw.push_back(static_cast<uint64_t>((b8 + 128) * unit));
        labToRgb(lightness, a8, b8, rgb);
    } else { // ITU: a* over -85.33..84.67 and b* over -75.29..124.71 by default
        const uint64_t av = draw.between(0, max), bv = draw.between(0, max);
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

bool makeKind(const KindSpec& kind, const std::string& path, std::vector<Picture>& pictures,
              std::string& why) {
    Draw draw(seedOf(kind.name));
    std::vector<TiffPage> pages;
    pictures.clear();
    for (const PageSpec& spec : kind.pages) {
        const DrawnPage drawn = drawPage(spec, draw);
        pages.push_back(tiffPageOf(spec, drawn));
        if (!(spec.subfileType >= 0 && (spec.subfileType & FILETYPE_MASK)))
            pictures.push_back(oriented(drawn.picture, spec.orientation));
    }
    if (!writeTiff(path, pages, kind.mode)) {
        why = "libtiff cannot write " + kind.name;
        return false;
    }
    return !kind.libtiffReference || libtiffPictures(path, pictures, why);
}

// The kinds, grouped in families. Pages are 33x17 unless a kind says otherwise: odd widths
// show row padding mistakes.
class KindList {
public:
    void add(std::string name, std::string family, std::vector<PageSpec> pages, int tolerance = 0,
             const char* mode = "wl", bool libtiffReference = false) {
        m_specs.push_back({std::move(name), std::move(family), tolerance, mode, std::move(pages),
                           libtiffReference});
    }
    void add(std::string name, std::string family, PageSpec page, int tolerance = 0) {
        add(std::move(name), std::move(family), std::vector<PageSpec>{page}, tolerance);
    }
    void reference(std::string name, std::string family, PageSpec page, int tolerance) {
        add(std::move(name), std::move(family), std::vector<PageSpec>{page}, tolerance, "wl", true);
    }
    std::vector<TiffKind> kinds() const {
        std::vector<TiffKind> kinds;
        for (const KindSpec& spec : m_specs)
            kinds.push_back(
                {spec.name, spec.family, spec.tolerance,
                 [spec](const std::string& path, std::vector<Picture>& pages, std::string& why) {
                     return makeKind(spec, path, pages, why);
                 }});
        return kinds;
    }

private:
    std::vector<KindSpec> m_specs;
};

struct Codec {
    const char* name;
    int compression;
    int predictor;
};

const Codec k_codecs[] = {{"lzw", COMPRESSION_LZW, 0},
                          {"deflate", COMPRESSION_ADOBE_DEFLATE, 0},
                          {"packbits", COMPRESSION_PACKBITS, 0}};

std::string typeName(int format, int bits) {
    const char* letter = format == SAMPLEFORMAT_INT      ? "i"
                         : format == SAMPLEFORMAT_IEEEFP ? "f"
                                                         : "u";
    return letter + std::to_string(bits);
}

PageSpec page(Colour colour, int bits, int format = SAMPLEFORMAT_UINT) {
    PageSpec spec;
    spec.colour = colour;
    spec.bits = bits;
    spec.format = format;
    return spec;
}

PageSpec with(PageSpec spec, const std::function<void(PageSpec&)>& change) {
    change(spec);
    return spec;
}

void addGrey(KindList& list) {
    const int depths[] = {1, 2, 3, 4, 5, 8, 10, 12, 14, 16, 24, 32, 64};
    for (const int bits : depths) {
        list.add("grey-" + typeName(1, bits), "grey", page(Colour::Black, bits));
        list.add("miniswhite-" + typeName(1, bits), "grey", page(Colour::White, bits));
        for (const Codec& codec : k_codecs)
            list.add("grey-" + typeName(1, bits) + "-" + codec.name, "grey compressed",
                     with(page(Colour::Black, bits),
                          [&](PageSpec& p) { p.compression = codec.compression; }));
    }
    for (const int bits : {8, 16, 32})
        for (const int compression : {COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE})
            list.add("grey-u" + std::to_string(bits) +
                         (compression == COMPRESSION_LZW ? "-lzw" : "-deflate") + "-pred2",
                     "grey compressed", with(page(Colour::Black, bits), [&](PageSpec& p) {
                         p.compression = compression;
                         p.predictor = PREDICTOR_HORIZONTAL;
                     }));
    for (const int bits : {8, 16, 32, 64})
        list.add("grey-" + typeName(SAMPLEFORMAT_INT, bits), "grey signed",
                 page(Colour::Black, bits, SAMPLEFORMAT_INT));
    list.add("miniswhite-i16", "grey signed", page(Colour::White, 16, SAMPLEFORMAT_INT));
    for (const int bits : {16, 24, 32, 64}) {
        const PageSpec grey = page(Colour::Black, bits, SAMPLEFORMAT_IEEEFP);
        list.add("grey-" + typeName(3, bits), "grey float", grey);
        list.add("grey-" + typeName(3, bits) + "-deflate-pred3", "grey float",
                 with(grey, [](PageSpec& p) {
                     p.compression = COMPRESSION_ADOBE_DEFLATE;
                     p.predictor = PREDICTOR_FLOATINGPOINT;
                 }));
        list.add("grey-" + typeName(3, bits) + "-lzw-pred3", "grey float",
                 with(grey, [](PageSpec& p) {
                     p.compression = COMPRESSION_LZW;
                     p.predictor = PREDICTOR_FLOATINGPOINT;
                 }));
    }
    list.add("miniswhite-f32", "grey float", page(Colour::White, 32, SAMPLEFORMAT_IEEEFP));
}

void addAlpha(KindList& list) {
    const std::pair<const char*, Alpha> alphas[] = {{"assoc", Alpha::Associated},
                                                    {"unassoc", Alpha::Unassociated},
                                                    {"extra", Alpha::Unspecified}};
    for (const auto& [alphaName, alpha] : alphas) {
        for (const int bits : {8, 16, 32}) {
            for (const Colour colour : {Colour::Black, Colour::Rgb}) {
                const std::string base = colour == Colour::Black ? "greya-" : "rgba-";
                list.add(base + typeName(1, bits) + "-" + alphaName, "alpha",
                         with(page(colour, bits), [&](PageSpec& p) { p.alpha = alpha; }));
            }
        }
        for (const Colour colour : {Colour::Black, Colour::Rgb}) {
            const std::string base = colour == Colour::Black ? "greya-" : "rgba-";
            list.add(
                base + "f32-" + alphaName, "alpha",
                with(page(colour, 32, SAMPLEFORMAT_IEEEFP), [&](PageSpec& p) { p.alpha = alpha; }));
        }
        list.add(std::string("rgba-u8-") + alphaName + "-planar", "alpha",
                 with(page(Colour::Rgb, 8), [&](PageSpec& p) {
                     p.alpha = alpha;
                     p.planar = true;
                 }));
        list.add(std::string("rgba-u8-") + alphaName + "-tiled", "alpha",
                 with(page(Colour::Rgb, 8), [&](PageSpec& p) {
                     p.alpha = alpha;
                     p.tile = 16;
                 }));
    }
    list.add("rgba-u4-unassoc", "alpha",
             with(page(Colour::Rgb, 4), [](PageSpec& p) { p.alpha = Alpha::Unassociated; }));
    list.add("rgba-f16-unassoc", "alpha",
             with(page(Colour::Rgb, 16, SAMPLEFORMAT_IEEEFP),
                  [](PageSpec& p) { p.alpha = Alpha::Unassociated; }));
}

void addRgb(KindList& list) {
    for (const int bits : {2, 4, 5, 8, 10, 12, 14, 16, 24, 32, 64})
        list.add("rgb-" + typeName(1, bits), "rgb", page(Colour::Rgb, bits));
    for (const int bits : {8, 16, 32})
        list.add("rgb-" + typeName(SAMPLEFORMAT_INT, bits), "rgb signed",
                 page(Colour::Rgb, bits, SAMPLEFORMAT_INT));
    for (const int bits : {16, 24, 32, 64}) {
        list.add("rgb-" + typeName(3, bits), "rgb float",
                 page(Colour::Rgb, bits, SAMPLEFORMAT_IEEEFP));
        list.add("rgb-" + typeName(3, bits) + "-deflate-pred3", "rgb float",
                 with(page(Colour::Rgb, bits, SAMPLEFORMAT_IEEEFP), [](PageSpec& p) {
                     p.compression = COMPRESSION_ADOBE_DEFLATE;
                     p.predictor = PREDICTOR_FLOATINGPOINT;
                 }));
    }
    for (const int bits : {8, 16}) {
        for (const Codec& codec : k_codecs)
            list.add("rgb-u" + std::to_string(bits) + "-" + codec.name, "rgb compressed",
                     with(page(Colour::Rgb, bits),
                          [&](PageSpec& p) { p.compression = codec.compression; }));
        for (const int compression : {COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE})
            list.add("rgb-u" + std::to_string(bits) +
                         (compression == COMPRESSION_LZW ? "-lzw" : "-deflate") + "-pred2",
                     "rgb compressed", with(page(Colour::Rgb, bits), [&](PageSpec& p) {
                         p.compression = compression;
                         p.predictor = PREDICTOR_HORIZONTAL;
                     }));
    }
    for (const auto& [name, compression] :
         {std::pair{"zstd", COMPRESSION_ZSTD}, std::pair{"lzma", COMPRESSION_LZMA}})
        if (TIFFIsCODECConfigured(static_cast<uint16_t>(compression)))
            list.add(std::string("rgb-u8-") + name, "rgb compressed",
                     with(page(Colour::Rgb, 8), [&](PageSpec& p) { p.compression = compression; }));
}

void addPalette(KindList& list) {
    for (const int bits : {1, 2, 4, 8, 16})
        list.add("palette-" + typeName(1, bits), "palette", page(Colour::Palette, bits));
    list.add("palette-u8-lzw", "palette",
             with(page(Colour::Palette, 8), [](PageSpec& p) { p.compression = COMPRESSION_LZW; }));
    list.add("palette-u4-packbits", "palette", with(page(Colour::Palette, 4), [](PageSpec& p) {
                 p.compression = COMPRESSION_PACKBITS;
             }));
    list.add("palette-u8-tiled", "palette",
             with(page(Colour::Palette, 8), [](PageSpec& p) { p.tile = 16; }));
    list.add("palette-u4-tiled", "palette",
             with(page(Colour::Palette, 4), [](PageSpec& p) { p.tile = 16; }));
}

void addCmyk(KindList& list) {
    // Rounding of the naive ink conversion differs between readers by one.
    for (const int bits : {8, 16}) {
        const PageSpec cmyk = page(Colour::Cmyk, bits);
        list.add("cmyk-" + typeName(1, bits), "cmyk", cmyk, 1);
        list.add("cmyka-" + typeName(1, bits), "cmyk",
                 with(cmyk, [](PageSpec& p) { p.alpha = Alpha::Unassociated; }), 1);
        list.add("cmyk-" + typeName(1, bits) + "-planar", "cmyk",
                 with(cmyk, [](PageSpec& p) { p.planar = true; }), 1);
        list.add("cmyk-" + typeName(1, bits) + "-tiled", "cmyk",
                 with(cmyk, [](PageSpec& p) { p.tile = 16; }), 1);
        list.add("cmyk-" + typeName(1, bits) + "-lzw", "cmyk",
                 with(cmyk, [](PageSpec& p) { p.compression = COMPRESSION_LZW; }), 1);
    }
    list.add("cmyk-f32", "cmyk", page(Colour::Cmyk, 32, SAMPLEFORMAT_IEEEFP), 1);
    list.add("cmyk-u4", "cmyk", page(Colour::Cmyk, 4), 1);
}

void addColourSpaces(KindList& list) {
    for (const auto& [h, v] : {std::pair{1, 1}, std::pair{2, 1}, std::pair{2, 2}, std::pair{4, 2}})
        list.reference("ycbcr-u8-" + std::to_string(h) + "x" + std::to_string(v), "ycbcr",
                       with(page(Colour::YCbCr, 8),
                            [&](PageSpec& p) {
                                p.subH = h;
                                p.subV = v;
                                p.width = 32;
                                p.height = 16;
                            }),
                       2);
    const PageSpec jpeg = with(page(Colour::Rgb, 8), [](PageSpec& p) {
        p.compression = COMPRESSION_JPEG;
        p.jpegQuality = 90;
        p.smooth = true;
        p.width = 35;
        p.height = 19;
    });
    list.reference("jpeg-rgb-u8", "jpeg", jpeg, 8);
    list.reference("jpeg-ycbcr-u8", "jpeg",
                   with(jpeg, [](PageSpec& p) { p.colour = Colour::YCbCr; }), 8);
    list.reference("jpeg-grey-u8", "jpeg",
                   with(jpeg, [](PageSpec& p) { p.colour = Colour::Black; }), 8);
    list.reference("jpeg-ycbcr-u8-tiled", "jpeg",
                   with(jpeg,
                        [](PageSpec& p) {
                            p.colour = Colour::YCbCr;
                            p.tile = 16;
                        }),
                   8);
    list.reference("jpeg-rgb-u8-strips", "jpeg",
                   with(jpeg, [](PageSpec& p) { p.rowsPerStrip = 8; }), 8);
    // Lab: libtiff's conversion (D50 white, its sRGB display); readers' white points differ.
    for (const int bits : {8, 16}) {
        list.add("cielab-" + typeName(1, bits), "lab", page(Colour::CieLab, bits), 2);
        list.add("icclab-" + typeName(1, bits), "lab", page(Colour::IccLab, bits), 2);
    }
    list.add("itulab-u8", "lab", page(Colour::ItuLab, 8), 2);
    list.add("cielab-u8-lzw", "lab",
             with(page(Colour::CieLab, 8), [](PageSpec& p) { p.compression = COMPRESSION_LZW; }),
             2);
    const PageSpec luv = with(page(Colour::LogLuv, 32, SAMPLEFORMAT_IEEEFP), [](PageSpec& p) {
        p.compression = COMPRESSION_SGILOG;
        p.smooth = true;
    });
    list.reference("logluv", "logluv", luv, 2);
    list.reference("logl", "logluv", with(luv, [](PageSpec& p) { p.colour = Colour::LogL; }), 2);
}

void addBilevel(KindList& list) {
    const std::pair<const char*, int> codecs[] = {
        {"none", COMPRESSION_NONE},       {"packbits", COMPRESSION_PACKBITS},
        {"lzw", COMPRESSION_LZW},         {"g3-1d", COMPRESSION_CCITTFAX3},
        {"g3-2d", COMPRESSION_CCITTFAX3}, {"g4", COMPRESSION_CCITTFAX4},
        {"rle", COMPRESSION_CCITTRLE}};
    for (const Colour colour : {Colour::White, Colour::Black})
        for (const auto& [name, compression] : codecs)
            list.add(std::string("bilevel-") +
                         (colour == Colour::White ? "miniswhite-" : "minisblack-") + name,
                     "bilevel", with(page(colour, 1), [&](PageSpec& p) {
                         p.compression = compression;
                         if (compression == COMPRESSION_CCITTFAX3)
                             p.faxOptions = std::string(name) == "g3-2d" ? GROUP3OPT_2DENCODING : 0;
                     }));
    list.add("bilevel-minisblack-tiled", "bilevel",
             with(page(Colour::Black, 1), [](PageSpec& p) { p.tile = 16; }));
    list.add("bilevel-g4-tiled", "bilevel", with(page(Colour::White, 1), [](PageSpec& p) {
                 p.tile = 16;
                 p.compression = COMPRESSION_CCITTFAX4;
             }));
}

void addLayouts(KindList& list) {
    const std::pair<const char*, PageSpec> bases[] = {
        {"rgb-u8", page(Colour::Rgb, 8)},
        {"rgb-u16", page(Colour::Rgb, 16)},
        {"grey-u16", page(Colour::Black, 16)},
        {"grey-u4", page(Colour::Black, 4)},
        {"rgb-f32", page(Colour::Rgb, 32, SAMPLEFORMAT_IEEEFP)},
        {"grey-f32", page(Colour::Black, 32, SAMPLEFORMAT_IEEEFP)},
        {"rgb-u12", page(Colour::Rgb, 12)},
    };
    for (const auto& [name, base] : bases) {
        list.add(std::string(name) + "-planar", "planar",
                 with(base, [](PageSpec& p) { p.planar = true; }));
        list.add(std::string(name) + "-tiled", "tiled",
                 with(base, [](PageSpec& p) { p.tile = 16; }));
        list.add(std::string(name) + "-tiled-planar-lzw", "tiled", with(base, [](PageSpec& p) {
                     p.tile = 16;
                     p.planar = true;
                     p.compression = COMPRESSION_LZW;
                 }));
        list.add(std::string(name) + "-strips-5", "strips",
                 with(base, [](PageSpec& p) { p.rowsPerStrip = 5; }));
        list.add(std::string(name) + "-mm", "big-endian", {base}, 0, "wb");
    }
    list.add("rgb-u8-planar-deflate", "planar", with(page(Colour::Rgb, 8), [](PageSpec& p) {
                 p.planar = true;
                 p.compression = COMPRESSION_ADOBE_DEFLATE;
             }));
    list.add("rgb-u16-tiled-deflate-pred2", "tiled", with(page(Colour::Rgb, 16), [](PageSpec& p) {
                 p.tile = 16;
                 p.compression = COMPRESSION_ADOBE_DEFLATE;
                 p.predictor = PREDICTOR_HORIZONTAL;
             }));
    list.add("rgb-u8-strips-1-lzw", "strips", with(page(Colour::Rgb, 8), [](PageSpec& p) {
                 p.rowsPerStrip = 1;
                 p.compression = COMPRESSION_LZW;
             }));
    for (const auto& [name, spec] :
         {std::pair{"grey-i16", page(Colour::Black, 16, SAMPLEFORMAT_INT)},
          std::pair{"grey-u10", page(Colour::Black, 10)},
          std::pair{"grey-f64", page(Colour::Black, 64, SAMPLEFORMAT_IEEEFP)},
          std::pair{"grey-f16", page(Colour::Black, 16, SAMPLEFORMAT_IEEEFP)},
          std::pair{"palette-u16", page(Colour::Palette, 16)},
          std::pair{"cmyk-u16", page(Colour::Cmyk, 16)},
          std::pair{"grey-u24", page(Colour::Black, 24)}})
        list.add(std::string(name) + "-mm", "big-endian", {spec},
                 std::string(name) == "cmyk-u16" ? 1 : 0, "wb");
    list.add("rgb-u16-lzw-pred2-mm", "big-endian",
             {with(page(Colour::Rgb, 16),
                   [](PageSpec& p) {
                       p.compression = COMPRESSION_LZW;
                       p.predictor = PREDICTOR_HORIZONTAL;
                   })},
             0, "wb");
    list.add("rgb-f32-deflate-pred3-mm", "big-endian",
             {with(page(Colour::Rgb, 32, SAMPLEFORMAT_IEEEFP),
                   [](PageSpec& p) {
                       p.compression = COMPRESSION_ADOBE_DEFLATE;
                       p.predictor = PREDICTOR_FLOATINGPOINT;
                   })},
             0, "wb");
    for (const auto& [name, spec] :
         {std::pair{"grey-u8", page(Colour::Black, 8)}, std::pair{"rgb-u16", page(Colour::Rgb, 16)},
          std::pair{"rgb-u8-tiled-lzw", with(page(Colour::Rgb, 8),
                                             [](PageSpec& p) {
                                                 p.tile = 16;
                                                 p.compression = COMPRESSION_LZW;
                                             })},
          std::pair{"palette-u8", page(Colour::Palette, 8)}}) {
        list.add(std::string("bigtiff-") + name, "bigtiff", {spec}, 0, "wl8");
        list.add(std::string("bigtiff-") + name + "-mm", "bigtiff", {spec}, 0, "wb8");
    }
    list.add("bigtiff-grey-u16-3-pages", "bigtiff",
             {page(Colour::Black, 16), page(Colour::Black, 16), page(Colour::Black, 16)}, 0, "wl8");
}

void addOrientation(KindList& list) {
    const std::pair<const char*, PageSpec> bases[] = {
        {"rgb-u8", page(Colour::Rgb, 8)},
        {"grey-u16", page(Colour::Black, 16)},
        {"bilevel-g4",
         with(page(Colour::White, 1), [](PageSpec& p) { p.compression = COMPRESSION_CCITTFAX4; })},
        {"rgba-u8-tiled", with(page(Colour::Rgb, 8),
                               [](PageSpec& p) {
                                   p.alpha = Alpha::Unassociated;
                                   p.tile = 16;
                               })},
        {"palette-u4", page(Colour::Palette, 4)},
    };
    for (const auto& [name, base] : bases)
        for (int tag = 1; tag <= 8; ++tag)
            list.add("orientation-" + std::to_string(tag) + "-" + name, "orientation",
                     with(base, [&](PageSpec& p) { p.orientation = tag; }));
}

void addPagesAndSubfiles(KindList& list) {
    const auto ranged = [](PageSpec spec, double low, double high) {
        spec.low = low;
        spec.high = high;
        return spec;
    };
    const PageSpec grey16 = page(Colour::Black, 16);
    list.add("pages-grey-u16-ranges", "multi-page",
             {ranged(grey16, 0, 0.1), ranged(grey16, 0.45, 0.55), ranged(grey16, 0.9, 1)});
    const PageSpec float32 = page(Colour::Black, 32, SAMPLEFORMAT_IEEEFP);
    list.add("pages-grey-f32-ranges", "multi-page",
             {ranged(float32, 0, 0.2), ranged(float32, 0.7, 1)});
    list.add("pages-rgb-u16-ranges", "multi-page",
             {ranged(page(Colour::Rgb, 16), 0, 0.05), ranged(page(Colour::Rgb, 16), 0.95, 1)});
    list.add("pages-grey-i16-ranges", "multi-page",
             {ranged(page(Colour::Black, 16, SAMPLEFORMAT_INT), 0, 0.3),
              ranged(page(Colour::Black, 16, SAMPLEFORMAT_INT), 0.6, 1)});
    list.add("pages-mixed-kinds", "multi-page",
             {page(Colour::Rgb, 8),
              with(page(Colour::Black, 16), [](PageSpec& p) { p.width = 17; }),
              with(page(Colour::Palette, 4), [](PageSpec& p) {
                  p.width = 9;
                  p.height = 31;
              })});
    list.add(
        "pages-bilevel-g4", "multi-page",
        {with(page(Colour::White, 1), [](PageSpec& p) { p.compression = COMPRESSION_CCITTFAX4; }),
         with(page(Colour::White, 1), [](PageSpec& p) { p.compression = COMPRESSION_CCITTFAX4; })});
    list.add("pages-rgba-and-rgb", "multi-page",
             {with(page(Colour::Rgb, 8), [](PageSpec& p) { p.alpha = Alpha::Unassociated; }),
              page(Colour::Rgb, 8)});
    const PageSpec mask =
        with(page(Colour::Black, 1), [](PageSpec& p) { p.subfileType = FILETYPE_MASK; });
    const PageSpec reduced = with(page(Colour::Rgb, 8), [](PageSpec& p) {
        p.subfileType = FILETYPE_REDUCEDIMAGE;
        p.width = 16;
        p.height = 8;
    });
    list.add("subfile-mask-after-page", "subfiles", {page(Colour::Rgb, 8), mask});
    list.add("subfile-page-mask-page", "subfiles",
             {page(Colour::Rgb, 8), mask, page(Colour::Black, 8)});
    list.add("subfile-reduced-after-page", "subfiles", {page(Colour::Rgb, 8), reduced});
    list.add("subfile-mask-reduced", "subfiles", {page(Colour::Rgb, 8), reduced, mask});
}

void addOddSizes(KindList& list) {
    const std::pair<int, int> sizes[] = {{1, 1}, {1, 23}, {29, 1}, {7, 5}};
    for (const auto& [w, h] : sizes) {
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        list.add("size-" + size + "-rgb-u8", "sizes", with(page(Colour::Rgb, 8), [&](PageSpec& p) {
                     p.width = w;
                     p.height = h;
                 }));
        list.add("size-" + size + "-bilevel", "sizes",
                 with(page(Colour::Black, 1), [&](PageSpec& p) {
                     p.width = w;
                     p.height = h;
                 }));
    }
}

std::vector<TiffKind> allKinds() {
    KindList list;
    addGrey(list);
    addAlpha(list);
    addRgb(list);
    addPalette(list);
    addCmyk(list);
    addColourSpaces(list);
    addBilevel(list);
    addLayouts(list);
    addOrientation(list);
    addPagesAndSubfiles(list);
    addOddSizes(list);
    return list.kinds();
}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// A committed file, with the pictures of the kind it was made from or libtiff's reading.
bool copyPeerFile(const std::string& file, const std::string& expected, const std::string& path,
                  std::vector<Picture>& pages, std::string& why) {
    const std::string source = std::string(KX_TEST_DATA_DIR) + "/kinds/" + file;
    if (expected != "libtiff") {
        const TiffKind* kind = findTiffKind(expected);
        if (!kind) {
            why = "no kind " + expected;
            return false;
        }
        if (!kind->make(path, pages, why))
            return false;
    }
    std::error_code error;
    std::filesystem::copy_file(source, path, std::filesystem::copy_options::overwrite_existing,
                               error);
    if (error) {
        why = "cannot copy " + source + ": " + error.message();
        return false;
    }
    return expected != "libtiff" || libtiffPictures(path, pages, why);
}

// MANIFEST.tsv: file, expected pictures (a kind's name or "libtiff"), tolerance, family, and
// how the file was made; a first line of column names.
std::vector<TiffKind> readPeerKinds() {
    std::ifstream manifest(std::string(KX_TEST_DATA_DIR) + "/kinds/MANIFEST.tsv");
    std::vector<TiffKind> kinds;
    std::string line;
    std::getline(manifest, line);
    while (std::getline(manifest, line)) {
        std::istringstream fields(line);
        std::string file, expected, tolerance, family;
        if (!std::getline(fields, file, '\t') || !std::getline(fields, expected, '\t') ||
            !std::getline(fields, tolerance, '\t') || !std::getline(fields, family, '\t'))
            continue;
        const std::string name = file.substr(0, file.rfind('.'));
        kinds.push_back({name, family, std::atoi(tolerance.c_str()),
                         [file, expected](const std::string& path, std::vector<Picture>& pages,
                                          std::string& why) {
                             return copyPeerFile(file, expected, path, pages, why);
                         }});
    }
    return kinds;
}

} // namespace

const std::vector<TiffKind>& tiffKinds() {
    static const std::vector<TiffKind> kinds = allKinds();
    return kinds;
}

const std::vector<TiffKind>& peerKinds() {
    static const std::vector<TiffKind> kinds = readPeerKinds();
    return kinds;
}

const TiffKind* findTiffKind(std::string_view name) {
    for (const auto* list : {&tiffKinds(), &peerKinds()})
        for (const TiffKind& kind : *list)
            if (kind.name == name)
                return &kind;
    return nullptr;
}

bool libtiffPictures(const std::string& path, std::vector<Picture>& pages, std::string& why) {
    std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(path.c_str(), "r"));
    if (!tiff) {
        why = "libtiff cannot open " + path;
        return false;
    }
    pages.clear();
    TIFF* t = tiff.get();
    do {
        uint32_t subfile = 0;
        if (TIFFGetField(t, TIFFTAG_SUBFILETYPE, &subfile) && (subfile & FILETYPE_MASK))
            continue;
        uint32_t width = 0, height = 0;
        TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
        std::vector<uint32_t> raster(static_cast<size_t>(width) * height);
        if (!TIFFReadRGBAImageOriented(t, width, height, raster.data(), ORIENTATION_TOPLEFT, 0)) {
            why = "libtiff's RGBA reader cannot read page " + std::to_string(pages.size() + 1) +
                  " of " + path;
            return false;
        }
        Picture picture{static_cast<int>(width), static_cast<int>(height), {}};
        for (const uint32_t pixel : raster)
            picture.rgba.insert(picture.rgba.end(), {static_cast<uint8_t>(TIFFGetR(pixel)),
                                                     static_cast<uint8_t>(TIFFGetG(pixel)),
                                                     static_cast<uint8_t>(TIFFGetB(pixel)),
                                                     static_cast<uint8_t>(TIFFGetA(pixel))});
        pages.push_back(std::move(picture));
    } while (TIFFReadDirectory(t));
    return true;
}

TestBitmap bitmapOf(const Picture& picture) {
    TestBitmap bitmap(FreeImage_Allocate(picture.width, picture.height, 32));
    for (int y = 0; y < picture.height; ++y) {
        BYTE* line = FreeImage_GetScanLine(bitmap.get(), picture.height - 1 - y);
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* p = &picture.rgba[(static_cast<size_t>(y) * picture.width + x) * 4];
            line[4 * x + FI_RGBA_RED] = p[0];
            line[4 * x + FI_RGBA_GREEN] = p[1];
            line[4 * x + FI_RGBA_BLUE] = p[2];
            line[4 * x + FI_RGBA_ALPHA] = p[3];
        }
    }
    return bitmap;
}

} // namespace kx::test

#include "decoder/tiff/libtiff_pages.h"

#include "decoder/tiff/decode_diagnostics.h"
#include "decoder/tiff/lab_colour.h"
#include "decoder/tiff/tiff_samples.h"
#include "decoder/tiff/tiff_strips.h"
#include "imaging/sample_scaling.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

namespace kx::decoder {

namespace {

constexpr unsigned k_cmykInks = 4;

// Which sample of a pixel holds its alpha, if one does.
struct Alpha {
    int sample = -1;
    bool associated = false;
};

struct Rgb8 {
    BYTE r, g, b;
};

int photometricOf(const PageFacts& facts) {
    if (facts.photometric >= 0)
        return facts.photometric;
    // As libtiff's RGBA reader guesses a missing tag.
    return facts.samplesPerPixel >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
}

uint16_t extraSampleCount(TIFF* tiff) {
    uint16_t count = 0;
    uint16_t* kinds = nullptr;
    TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &kinds);
    return kinds ? count : 0;
}

// The colour samples of a pixel; the extra samples follow them.
unsigned colourSamples(TIFF* tiff, const PageFacts& facts, int photometric) {
    switch (photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_PALETTE:
        return 1;
    case PHOTOMETRIC_RGB:
        return 3;
    default: {
        const unsigned extra = extraSampleCount(tiff);
        return facts.samplesPerPixel > extra ? facts.samplesPerPixel - extra : 1;
    }
    }
}

Alpha alphaOf(TIFF* tiff, const PageFacts& facts, unsigned colours) {
    const bool alpha =
        facts.extraSample == EXTRASAMPLE_ASSOCALPHA || facts.extraSample == EXTRASAMPLE_UNASSALPHA;
    if (!alpha || facts.samplesPerPixel <= colours || extraSampleCount(tiff) == 0)
        return {};
    return {static_cast<int>(colours), facts.extraSample == EXTRASAMPLE_ASSOCALPHA};
}

// `colour` * largest / `alpha`, rounded and capped; 0 where the pixel is transparent.
template <typename Sample = BYTE>
Sample unpremultiplied(uint32_t colour, uint32_t alpha, uint32_t largest = 255) {
    if (alpha == 0)
        return 0;
    const uint64_t value = (uint64_t{colour} * largest + alpha / 2) / alpha;
    return static_cast<Sample>(std::min<uint64_t>(largest, value));
}

// Whether every entry of a colour map fits in 8 bits: such a map was written as 8-bit, as
// libtiff's RGBA reader assumes too.
bool isEightBitMap(const uint16_t* red, const uint16_t* green, const uint16_t* blue,
                   size_t entries) {
    const auto fits = [entries](const uint16_t* map) {
        return std::all_of(map, map + entries, [](uint16_t v) { return v < 256; });
    };
    return fits(red) && fits(green) && fits(blue);
}

// A new page with the resolution FreeImage would have read from the directory.
imaging::Bitmap newPage(TIFF* tiff, const PageFacts& facts, FREE_IMAGE_TYPE type, int bpp,
                        std::string& why) {
    const int width = static_cast<int>(facts.width);
    const int height = static_cast<int>(facts.height);
    imaging::Bitmap page(type == FIT_BITMAP ? FreeImage_Allocate(width, height, bpp)
                                            : FreeImage_AllocateT(type, width, height));
    if (!page) {
        why = "no memory for the page";
        return nullptr;
    }
    if (const std::optional<DotsPerMetre> resolution = readDotsPerMetre(tiff)) {
        FreeImage_SetDotsPerMeterX(page.get(), resolution->x);
        FreeImage_SetDotsPerMeterY(page.get(), resolution->y);
    }
    return page;
}

// Row `y` counted from the top, as the file stores it; FreeImage keeps its rows bottom-up.
BYTE* rowOf(FIBITMAP* page, const PageFacts& facts, uint32_t y) {
    return FreeImage_GetScanLine(page, static_cast<int>(facts.height - 1 - y));
}

// An 8-bit grey page whose pixel (x, y) is `grey(x, y)`.
template <typename Grey>
imaging::Bitmap greyPage(TIFF* tiff, const PageFacts& facts, Grey grey, std::string& why) {
    imaging::Bitmap page = newPage(tiff, facts, FIT_BITMAP, 8, why);
    for (uint32_t y = 0; page && y < facts.height; ++y) {
        BYTE* row = rowOf(page.get(), facts, y);
        for (uint32_t x = 0; x < facts.width; ++x)
            row[x] = grey(x, y);
    }
    return page;
}

// A 24-bit page whose pixel (x, y) is `colour(x, y)`, or 32 bits with the alpha sample.
template <typename Colour>
imaging::Bitmap colourPage(TIFF* tiff, const PageFacts& facts, const PageSamples& samples,
                           Alpha alpha, Colour colour, std::string& why) {
    const bool hasAlpha = alpha.sample >= 0;
    const unsigned step = hasAlpha ? 4 : 3;
    imaging::Bitmap page = newPage(tiff, facts, FIT_BITMAP, hasAlpha ? 32 : 24, why);
    for (uint32_t y = 0; page && y < facts.height; ++y) {
        BYTE* pixel = rowOf(page.get(), facts, y);
        for (uint32_t x = 0; x < facts.width; ++x, pixel += step) {
            Rgb8 c = colour(x, y);
            if (hasAlpha) {
                const BYTE a = samples.level(x, y, static_cast<unsigned>(alpha.sample));
                if (alpha.associated)
                    c = {unpremultiplied(c.r, a), unpremultiplied(c.g, a), unpremultiplied(c.b, a)};
                pixel[FI_RGBA_ALPHA] = a;
            }
            pixel[FI_RGBA_RED] = c.r;
            pixel[FI_RGBA_GREEN] = c.g;
            pixel[FI_RGBA_BLUE] = c.b;
        }
    }
    return page;
}

// Grey levels `grey(x, y)` as an 8-bit grey page, or as RGBA with the alpha sample.
template <typename Grey>
imaging::Bitmap greyOrGreyAlphaPage(TIFF* tiff, const PageFacts& facts, const PageSamples& samples,
                                    Alpha alpha, Grey grey, std::string& why) {
    if (alpha.sample < 0)
        return greyPage(tiff, facts, grey, why);
    return colourPage(
        tiff, facts, samples, alpha,
        [&](uint32_t x, uint32_t y) {
            const BYTE level = grey(x, y);
            return Rgb8{level, level, level};
        },
        why);
}

imaging::Bitmap decodeGrey(TIFF* tiff, const PageFacts& facts, const PageSamples& samples,
                           Alpha alpha, std::string& why) {
    const bool inverted = facts.photometric == PHOTOMETRIC_MINISWHITE;
    const auto grey = [&](uint32_t x, uint32_t y) {
        const BYTE level = samples.level(x, y, 0);
        return inverted ? static_cast<BYTE>(255 - level) : level;
    };
    return greyOrGreyAlphaPage(tiff, facts, samples, alpha, grey, why);
}

// Palettes of up to 8 bits stay palettes; deeper ones (up to 16 bits) and palettes with
// alpha become RGB(A). Colour map entries are 16-bit unless all fit in 8 bits.
imaging::Bitmap decodePalette(TIFF* tiff, const PageFacts& facts, const PageSamples& samples,
                              Alpha alpha, std::string& why) {
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (samples.isReal() || facts.sampleFormat == SAMPLEFORMAT_INT || samples.bits() > 16) {
        why = "palette pages of " + std::to_string(samples.bits()) +
              "-bit signed or float samples have no conversion to a picture";
        return nullptr;
    }
    if (!TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue) {
        why = "the palette page has no colour map";
        return nullptr;
    }
    const size_t entries = size_t{1} << samples.bits();
    const bool eightBit = isEightBitMap(red, green, blue, entries);
    const auto entry = [&](size_t i) {
        const auto level = [&](uint16_t v) { return static_cast<BYTE>(eightBit ? v : v >> 8); };
        return Rgb8{level(red[i]), level(green[i]), level(blue[i])};
    };
    if (samples.bits() > 8 || alpha.sample >= 0)
        return colourPage(
            tiff, facts, samples, alpha,
            [&](uint32_t x, uint32_t y) { return entry(samples.raw(x, y, 0)); }, why);
    imaging::Bitmap page = greyPage(
        tiff, facts,
        [&](uint32_t x, uint32_t y) { return static_cast<BYTE>(samples.raw(x, y, 0)); }, why);
    if (!page)
        return nullptr;
    RGBQUAD* palette = FreeImage_GetPalette(page.get());
    for (size_t i = 0; i < 256; ++i) {
        const Rgb8 c = i < entries ? entry(i) : Rgb8{0, 0, 0};
        palette[i] = RGBQUAD{c.b, c.g, c.r, 0};
    }
    return page;
}

// Float RGB(A) stays float: the chain tone-maps it as the settings choose.
imaging::Bitmap decodeFloatRgb(TIFF* tiff, const PageFacts& facts, const PageSamples& samples,
                               Alpha alpha, std::string& why) {
    const unsigned kept = alpha.sample >= 0 ? 4 : 3;
    imaging::Bitmap page = newPage(tiff, facts, kept == 4 ? FIT_RGBAF : FIT_RGBF, 0, why);
    for (uint32_t y = 0; page && y < facts.height; ++y) {
        auto* pixel = reinterpret_cast<float*>(rowOf(page.get(), facts, y));
        for (uint32_t x = 0; x < facts.width; ++x, pixel += kept) {
            const float a =
                kept == 4
                    ? static_cast<float>(samples.value(x, y, static_cast<unsigned>(alpha.sample)))
                    : 1.0f;
            for (unsigned s = 0; s < 3; ++s) {
                const auto v = static_cast<float>(samples.value(x, y, s));
                pixel[s] = alpha.associated ? (a > 0.0f ? v / a : 0.0f) : v;
            }
            if (kept == 4)
                pixel[3] = a;
        }
    }
    return page;
}

imaging::Bitmap decodeRgb(TIFF* tiff, const PageFacts& facts, const PageSamples& samples,
                          Alpha alpha, std::string& why) {
    if (samples.isReal())
        return decodeFloatRgb(tiff, facts, samples, alpha, why);
    return colourPage(
        tiff, facts, samples, alpha,
        [&](uint32_t x, uint32_t y) {
            return Rgb8{samples.level(x, y, 0), samples.level(x, y, 1), samples.level(x, y, 2)};
        },
        why);
}

// CMYK to RGB as libtiff's RGBA reader does it, on samples mapped to 8 bits by value.
imaging::Bitmap decodeCmyk(TIFF* tiff, const PageFacts& facts, const PageSamples& samples,
                           Alpha alpha, std::string& why) {
    return colourPage(
        tiff, facts, samples, alpha,
        [&](uint32_t x, uint32_t y) {
            const int k = 255 - samples.level(x, y, 3);
            const auto ink = [&](unsigned s) {
                return static_cast<BYTE>(k * (255 - samples.level(x, y, s)) / 255);
            };
            return Rgb8{ink(0), ink(1), ink(2)};
        },
        why);
}

imaging::Bitmap decodeLab(TIFF* tiff, const PageFacts& facts, const PageSamples& samples,
                          unsigned colours, Alpha alpha, std::string& why) {
    const LabSamples lab(samples, facts.photometric == PHOTOMETRIC_ICCLAB);
    if (!lab.problem().empty()) {
        why = lab.problem();
        return nullptr;
    }
    // Lightness alone is grey.
    if (colours == 1) {
        const auto grey = [&](uint32_t x, uint32_t y) {
            return imaging::levelOfReal(lab.lightness(x, y) / 100.0);
        };
        return greyOrGreyAlphaPage(tiff, facts, samples, alpha, grey, why);
    }
    const std::unique_ptr<LabToRgb> convert = LabToRgb::forPage(tiff, why);
    if (!convert)
        return nullptr;
    return colourPage(
        tiff, facts, samples, alpha,
        [&](uint32_t x, uint32_t y) {
            const std::array<uint8_t, 3> rgb =
                convert->rgb(lab.lightness(x, y), lab.a(x, y), lab.b(x, y));
            return Rgb8{rgb[0], rgb[1], rgb[2]};
        },
        why);
}

struct RasterFree {
    void operator()(uint32_t* raster) const { _TIFFfree(raster); }
};

// Photometrics with a conversion of libtiff's own (YCbCr, LogLuv, LogL), through its RGBA
// reader; the reader says why it cannot read any other. Its pixels carry premultiplied colour
// whatever the file holds.
imaging::Bitmap decodeWithRgbaReader(TIFF* tiff, const PageFacts& facts, Alpha alpha,
                                     std::string& why) {
    char message[1024] = "";
    if (!TIFFRGBAImageOK(tiff, message)) {
        why = message;
        return nullptr;
    }
    std::unique_ptr<uint32_t, RasterFree> raster(static_cast<uint32_t*>(
        _TIFFmalloc(static_cast<tmsize_t>(uint64_t{facts.width} * facts.height * 4))));
    if (!raster) {
        why = "no memory for the page";
        return nullptr;
    }
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
    // The reader finds out late what it cannot convert, and says so only to the error handler.
    DecodeDiagnostics diagnostics(Watched::Libtiff);
    // Asking for the page's own orientation leaves the rows as stored, top row first.
    if (!TIFFReadRGBAImageOriented(tiff, facts.width, facts.height, raster.get(), orientation, 0)) {
        why = diagnostics.take();
        if (why.empty())
            why = "the page's data could not be read";
        return nullptr;
    }
    const bool hasAlpha = alpha.sample >= 0;
    const unsigned step = hasAlpha ? 4 : 3;
    imaging::Bitmap page = newPage(tiff, facts, FIT_BITMAP, hasAlpha ? 32 : 24, why);
    for (uint32_t y = 0; page && y < facts.height; ++y) {
        const uint32_t* source = raster.get() + size_t{y} * facts.width;
        BYTE* pixel = rowOf(page.get(), facts, y);
        for (uint32_t x = 0; x < facts.width; ++x, pixel += step) {
            const BYTE a = hasAlpha ? static_cast<BYTE>(TIFFGetA(source[x])) : 255;
            pixel[FI_RGBA_RED] = unpremultiplied(static_cast<BYTE>(TIFFGetR(source[x])), a);
            pixel[FI_RGBA_GREEN] = unpremultiplied(static_cast<BYTE>(TIFFGetG(source[x])), a);
            pixel[FI_RGBA_BLUE] = unpremultiplied(static_cast<BYTE>(TIFFGetB(source[x])), a);
            if (hasAlpha)
                pixel[FI_RGBA_ALPHA] = a;
        }
    }
    return page;
}

// Kinds whose decoded rows become a bitmap's rows with little more than a copy: grey and
// palette pages of 1, 4 and 8 bits keep their depth behind a palette, 16-bit grey stays 16-bit
// (FIT_UINT16), and RGB of 8 or 16 bits, with or without alpha, becomes 24- or 32-bit BGR(A),
// FIT_RGB16 or FIT_RGBA16. Every other kind is taken apart sample by sample.
enum class RowKind { Indexed, Grey16, Rgb8, Rgb16 };

std::optional<RowKind> rowKindOf(const PageFacts& facts) {
    const int bits = facts.bitsPerSample;
    const int spp = facts.samplesPerPixel;
    if (facts.sampleFormat != SAMPLEFORMAT_UINT)
        return std::nullopt;
    const bool single = spp == 1 && facts.planarContiguous;
    switch (facts.photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
        if (single && bits == 16)
            return RowKind::Grey16;
        [[fallthrough]];
    case PHOTOMETRIC_PALETTE:
        if (single && (bits == 1 || bits == 4 || bits == 8))
            return RowKind::Indexed;
        return std::nullopt;
    case PHOTOMETRIC_RGB: {
        // A fourth sample counts as alpha unless the page calls it unspecified.
        const bool layout = (spp == 3 && facts.extraSample < 0) ||
                            (spp == 4 && facts.extraSample != EXTRASAMPLE_UNSPECIFIED);
        if (!layout || (bits != 8 && bits != 16))
            return std::nullopt;
        return bits == 8 ? RowKind::Rgb8 : RowKind::Rgb16;
    }
    default:
        return std::nullopt;
    }
}

// The palette of an indexed page: a grey ramp (white first for min-is-white pages), or the
// colour map, whose 16-bit entries are scaled to 8 bits unless all of them fit in 8 bits.
bool fillPalette(TIFF* tiff, const PageFacts& facts, RGBQUAD* palette, std::string& why) {
    const size_t entries = size_t{1} << facts.bitsPerSample;
    if (facts.photometric != PHOTOMETRIC_PALETTE) {
        const bool inverted = facts.photometric == PHOTOMETRIC_MINISWHITE;
        for (size_t i = 0; i < entries; ++i) {
            const auto level = static_cast<BYTE>(i * (255 / (entries - 1)));
            const BYTE shown = inverted ? static_cast<BYTE>(255 - level) : level;
            palette[i] = RGBQUAD{shown, shown, shown, 0};
        }
        return true;
    }
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue) {
        why = "the palette page has no colour map";
        return false;
    }
    const bool eightBit = isEightBitMap(red, green, blue, entries);
    const auto level = [eightBit](uint16_t v) {
        return static_cast<BYTE>(eightBit ? v : v * 255 / 65535);
    };
    for (size_t i = 0; i < entries; ++i)
        palette[i] = RGBQUAD{level(blue[i]), level(green[i]), level(red[i]), 0};
    return true;
}

template <typename Sample> Sample loadSample(const uint8_t* at) {
    Sample sample;
    std::memcpy(&sample, at, sizeof sample);
    return sample;
}

void invertRow16(const uint8_t* in, uint32_t width, BYTE* out) {
    auto* level = reinterpret_cast<uint16_t*>(out);
    for (uint32_t x = 0; x < width; ++x)
        level[x] = static_cast<uint16_t>(65535 - loadSample<uint16_t>(in + 2 * size_t{x}));
}

// Where the samples of one decoded row lie: interleaved in one row, or one plane each.
struct RowSamples {
    const uint8_t* plane[4] = {};
    size_t step = 0; // bytes from one pixel's sample to the next pixel's
};

// An RGB row of 8- or 16-bit samples (`Sample`) into a bitmap row: BGR(A) for 8 bits, the
// FIRGB16/FIRGBA16 order for 16. Without ExtraSamples a fourth sample is no alpha: opaque.
template <typename Sample>
void convertRgbRow(const RowSamples& in, const PageFacts& facts, uint32_t width, BYTE* out) {
    constexpr uint32_t largest = (uint64_t{1} << (8 * sizeof(Sample))) - 1;
    const bool hasAlpha = facts.samplesPerPixel == 4;
    const bool opaque = facts.extraSample < 0;
    const bool associated = facts.extraSample == EXTRASAMPLE_ASSOCALPHA;
    constexpr bool eight = sizeof(Sample) == 1;
    const int order[4] = {eight ? FI_RGBA_RED : 0, eight ? FI_RGBA_GREEN : 1,
                          eight ? FI_RGBA_BLUE : 2, eight ? FI_RGBA_ALPHA : 3};
    auto* pixel = reinterpret_cast<Sample*>(out);
    const size_t channels = hasAlpha ? 4 : 3;
    for (uint32_t x = 0; x < width; ++x, pixel += channels) {
        const size_t at = x * in.step;
        const uint32_t alpha = !hasAlpha || opaque ? largest : loadSample<Sample>(in.plane[3] + at);
        for (int s = 0; s < 3; ++s) {
            const Sample v = loadSample<Sample>(in.plane[s] + at);
            pixel[order[s]] = associated ? unpremultiplied<Sample>(v, alpha, largest) : v;
        }
        if (hasAlpha)
            pixel[order[3]] = static_cast<Sample>(alpha);
    }
}

imaging::Bitmap newRowKindPage(TIFF* tiff, const PageFacts& facts, RowKind kind, std::string& why) {
    const bool alpha = facts.samplesPerPixel == 4;
    switch (kind) {
    case RowKind::Indexed:
        return newPage(tiff, facts, FIT_BITMAP, facts.bitsPerSample, why);
    case RowKind::Grey16:
        return newPage(tiff, facts, FIT_UINT16, 0, why);
    case RowKind::Rgb8:
        return newPage(tiff, facts, FIT_BITMAP, alpha ? 32 : 24, why);
    default:
        return newPage(tiff, facts, alpha ? FIT_RGBA16 : FIT_RGB16, 0, why);
    }
}

// Decodes a page of a row kind strip by strip straight into its bitmap.
imaging::Bitmap decodeRows(TIFF* tiff, const PageFacts& facts, RowKind kind, std::string& why) {
    StripRows rows;
    if (!rows.open(tiff, facts, why))
        return nullptr;
    imaging::Bitmap page = newRowKindPage(tiff, facts, kind, why);
    if (!page || (kind == RowKind::Indexed &&
                  !fillPalette(tiff, facts, FreeImage_GetPalette(page.get()), why)))
        return nullptr;
    const unsigned planes = facts.planarContiguous ? 1 : facts.samplesPerPixel;
    const size_t sampleBytes = facts.bitsPerSample / 8;
    const auto stripBytes = static_cast<size_t>(rows.rowsPerStrip() * rows.rowBytes());
    std::vector<uint8_t> strip(stripBytes * planes);
    const auto rowBytes = static_cast<size_t>(rows.rowBytes());
    // Min-is-white 16-bit grey has no palette to say so: its levels are turned over.
    const bool inverted16 = kind == RowKind::Grey16 && facts.photometric == PHOTOMETRIC_MINISWHITE;
    for (uint32_t s = 0; s < rows.strips(); ++s) {
        for (unsigned p = 0; p < planes; ++p)
            if (!rows.read(s, static_cast<uint16_t>(p), &strip[p * stripBytes], why))
                return nullptr;
        for (uint32_t r = 0; r < rows.rowsIn(s); ++r) {
            BYTE* out = rowOf(page.get(), facts, s * rows.rowsPerStrip() + r);
            const uint8_t* in = &strip[r * rowBytes];
            RowSamples samples;
            samples.step = planes == 1 ? sampleBytes * facts.samplesPerPixel : sampleBytes;
            for (unsigned c = 0; c < facts.samplesPerPixel && c < 4; ++c)
                samples.plane[c] = planes == 1 ? in + c * sampleBytes : in + c * stripBytes;
            if (kind == RowKind::Rgb8)
                convertRgbRow<uint8_t>(samples, facts, facts.width, out);
            else if (kind == RowKind::Rgb16)
                convertRgbRow<uint16_t>(samples, facts, facts.width, out);
            else if (inverted16)
                invertRow16(in, facts.width, out);
            else
                std::memcpy(out, in, rowBytes);
        }
    }
    return page;
}

bool isCmyk(TIFF* tiff, unsigned colours) {
    uint16_t inkSet = INKSET_CMYK;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inkSet);
    return inkSet == INKSET_CMYK && colours == k_cmykInks;
}

imaging::Bitmap decode(TIFF* tiff, const PageFacts& facts, std::string& why) {
    if (const std::optional<RowKind> kind = rowKindOf(facts))
        return decodeRows(tiff, facts, *kind, why);
    const int photometric = photometricOf(facts);
    const unsigned colours = colourSamples(tiff, facts, photometric);
    const Alpha alpha = alphaOf(tiff, facts, colours);
    const bool ownConversion =
        photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE ||
        photometric == PHOTOMETRIC_PALETTE || photometric == PHOTOMETRIC_RGB ||
        (photometric == PHOTOMETRIC_SEPARATED && isCmyk(tiff, colours)) ||
        ((photometric == PHOTOMETRIC_CIELAB || photometric == PHOTOMETRIC_ICCLAB) &&
         (colours == 1 || colours == 3));
    if (!ownConversion)
        return decodeWithRgbaReader(tiff, facts, alpha, why);
    if (facts.samplesPerPixel < colours) {
        why = "the page has " + std::to_string(facts.samplesPerPixel) +
              " samples per pixel, fewer than its colours need";
        return nullptr;
    }
    PageSamples samples;
    if (!samples.read(tiff, facts, why))
        return nullptr;
    switch (photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
        return decodeGrey(tiff, facts, samples, alpha, why);
    case PHOTOMETRIC_PALETTE:
        return decodePalette(tiff, facts, samples, alpha, why);
    case PHOTOMETRIC_RGB:
        return decodeRgb(tiff, facts, samples, alpha, why);
    case PHOTOMETRIC_SEPARATED:
        return decodeCmyk(tiff, facts, samples, alpha, why);
    default:
        return decodeLab(tiff, facts, samples, colours, alpha, why);
    }
}

} // namespace

imaging::Bitmap decodeWithLibtiff(TIFF* tiff, const PageFacts& facts, std::string& why) {
    try {
        imaging::Bitmap page = decode(tiff, facts, why);
        if (!page && why.empty())
            why = "the page could not be decoded";
        return page;
    } catch (const std::bad_alloc&) {
        why = "no memory for the page";
        return nullptr;
    }
}

} // namespace kx::decoder

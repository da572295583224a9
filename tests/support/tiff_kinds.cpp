#include "tests/support/tiff_kinds.h"

#include <tiffio.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

// Each kind is a list of page descriptions (tiff_kind_pages.h), whose pictures follow from the
// values written. Colour spaces whose conversion has several conventions (YCbCr, JPEG,
// LogLuv) take libtiff's RGBA reader as the reference instead.

namespace kx::test {

namespace {

struct KindSpec {
    std::string name;
    std::string family;
    int tolerance = 0;
    const char* mode = "wl";
    std::vector<PageSpec> pages;
    bool libtiffReference = false;
};

bool makeKind(const KindSpec& kind, const std::string& path, std::vector<Picture>& pictures,
              std::string& why) {
    std::vector<TiffPage> pages;
    makePages(kind.pages, kind.name, pages, pictures);
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
};

const Codec k_codecs[] = {{"lzw", COMPRESSION_LZW},
                          {"deflate", COMPRESSION_ADOBE_DEFLATE},
                          {"packbits", COMPRESSION_PACKBITS}};

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
        with(page(Colour::Mask, 1), [](PageSpec& p) { p.subfileType = FILETYPE_MASK; });
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

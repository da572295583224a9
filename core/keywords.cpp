#include "core/keywords.h"

#include "base/text.h"

#include <array>
#include <span>

namespace kx::core {

namespace {

struct Keyword {
    std::string_view word;
    int32_t value;
};

constexpr Keyword k_ddsLoadAs[] = {{"AUTO", 0}, {"BGRA", 1}, {"RGBA", 2}};
constexpr Keyword k_rawLoadAs[] = {{"AUTO", 0}, {"8", 1},    {"16", 2},
                                   {"24", 3},   {"48HS", 4}, {"48", 5}};
constexpr Keyword k_frameLoading[] = {
    {"ALL", 0}, {"FIRST", 1}, {"MIDDLE", 2}, {"LAST", 3}, {"RANDOM", 4}};
constexpr Keyword k_rawToneMapping[] = {
    {"NONE", 0}, {"LINEAR", 1}, {"AL", 2}, {"DRR", 3}, {"GD", 4}};
constexpr Keyword k_compression[] = {
    {"NONE", 0},      {"RLE", 1},      {"ZIP", 1},     {"PIZ", 2},          {"PXR24", 3},
    {"B44", 4},       {"ZLIB1", 1},    {"ZLIB6", 2},   {"ZLIB9", 3},        {"CCITTFAX3", 1},
    {"CCITTFAX4", 2}, {"PACKBITS", 3}, {"DEFLATE", 4}, {"ADOBEDEFLATE", 5}, {"LZW", 6},
    {"JPEG", 7},      {"LOGLUV", 8}};
constexpr Keyword k_bmpColorTable[] = {{"AUTO", 0}, {"EXACT", 1}};
constexpr Keyword k_colorMode[] = {{"RGB", 0}, {"CMYK", 1}, {"LAB", 2}};
constexpr Keyword k_jpgChroma[] = {{"NONE", 0}, {"LOW", 1}, {"MEDIUM", 2}, {"HIGH", 3}};
constexpr Keyword k_jpgSaveAs[] = {
    {"STANDARD", 0}, {"SIMPLE", 1}, {"OPTIMIZED", 2}, {"PROGRESSIVE", 3}};
constexpr Keyword k_rotationType[] = {{"SIMPLE", 0}, {"ADVANCED", 1}};
constexpr Keyword k_sizeUnit[] = {{"PIXELS", 0}, {"PERCENT", 1}};
constexpr Keyword k_resizeType[] = {{"ALLIMAGES", 0}, {"LARGEIMAGES", 1}};
constexpr Keyword k_resizeAlgorithm[] = {{"BOX", 0},     {"BILINEAR", 1},   {"BSPLINE", 2},
                                         {"BICUBIC", 3}, {"CATMULLROM", 4}, {"LANCZOS", 5}};
constexpr Keyword k_ditherAlgorithm[] = {{"FS", 0},       {"BAYER4", 1},   {"BAYER8", 2},
                                         {"BAYER16", 3},  {"CLUSTER6", 4}, {"CLUSTER8", 5},
                                         {"CLUSTER16", 6}};
constexpr Keyword k_frameType[] = {{"NONE", 0}, {"SOLID", 1}};
constexpr Keyword k_watermarkType[] = {{"NONE", 0}, {"TEXT", 1}, {"IMAGE", 2}};
constexpr Keyword k_fontStyle[] = {{"REGULAR", 0}, {"BOLD", 1}, {"ITALIC", 2}, {"BOLDITALIC", 3}};
// The misspelling is the keyword users and scripts already write.
constexpr Keyword k_fontEffect[] = {{"NONE", 0}, {"UNDERLINE", 1}, {"STRIKETHROUGHT", 2}};
constexpr Keyword k_textAlignment[] = {{"LEFT", 0}, {"CENTER", 1}, {"RIGHT", 2}};
constexpr Keyword k_boundary[] = {{"IMAGE", 0}, {"FRAME", 1}};
constexpr Keyword k_position[] = {{"TOPLEFT", 0},    {"TOPCENTER", 1},    {"TOPRIGHT", 2},
                                  {"MIDDLELEFT", 3}, {"MIDDLECENTER", 4}, {"MIDDLERIGHT", 5},
                                  {"BOTTOMLEFT", 6}, {"BOTTOMCENTER", 7}, {"BOTTOMRIGHT", 8}};
constexpr Keyword k_watermarkSize[] = {{"FIXED", 0}};
constexpr Keyword k_fileTimestamp[] = {{"CURRENT", 0}, {"ORIGINAL", 1}, {"CUSTOM", 2}};

// Indexed by the keyword kind.
constexpr std::array<std::span<const Keyword>, 23> k_lists = {
    k_ddsLoadAs,     k_rawLoadAs,     k_frameLoading,    k_rawToneMapping,  k_compression,
    k_bmpColorTable, k_colorMode,     k_jpgChroma,       k_jpgSaveAs,       k_rotationType,
    k_sizeUnit,      k_resizeType,    k_resizeAlgorithm, k_ditherAlgorithm, k_frameType,
    k_watermarkType, k_fontStyle,     k_fontEffect,      k_textAlignment,   k_boundary,
    k_position,      k_watermarkSize, k_fileTimestamp};

// The compression keywords of one output format other than the shared "NONE", as a slice of
// the combined list; empty for a format without compression choices.
std::span<const Keyword> compressionList(std::string_view outputFormat) {
    const std::span<const Keyword> all = k_compression;
    std::span<const Keyword> own;
    if (outputFormat == "bmp" || outputFormat == "tga")
        own = all.subspan(1, 1);
    else if (outputFormat == "exr")
        own = all.subspan(2, 4);
    else if (outputFormat == "png")
        own = all.subspan(6, 3);
    else if (outputFormat == "tiff")
        own = all.subspan(9, 8);
    return own;
}

std::span<const Keyword> listOf(KeywordKind kind) {
    const auto index = static_cast<int>(kind);
    if (index < 0 || index >= static_cast<int>(k_lists.size()))
        return {};
    return k_lists[static_cast<size_t>(index)];
}

std::string firstMatch(std::span<const Keyword> list, int32_t value) {
    for (const Keyword& keyword : list) {
        if (keyword.value == value)
            return std::string(keyword.word);
    }
    return {};
}

} // namespace

int32_t keywordValue(KeywordKind kind, std::string_view keyword) {
    if (kind == KeywordKind::FrameType || kind == KeywordKind::WatermarkType)
        return 0;
    for (const Keyword& entry : listOf(kind)) {
        if (base::equalsIgnoringCase(keyword, entry.word))
            return entry.value;
    }
    return 0;
}

std::string keywordOf(KeywordKind kind, int32_t value, std::string_view outputFormat) {
    if (kind != KeywordKind::Compression)
        return firstMatch(listOf(kind), value);
    if (value == 0)
        return compressionList(outputFormat).empty() ? std::string()
                                                     : std::string(k_compression[0].word);
    return firstMatch(compressionList(outputFormat), value);
}

} // namespace kx::core

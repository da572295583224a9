#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kx::core {

// The keyword lists of option values, numbered as the options refer to them.
enum class KeywordKind : int {
    DdsLoadAs = 0,
    RawLoadAs = 1,
    FrameLoading = 2,
    RawToneMapping = 3,
    Compression = 4,
    BmpColorTable = 5,
    ColorMode = 6,
    JpgChroma = 7,
    JpgSaveAs = 8,
    RotationType = 9,
    SizeUnit = 10,
    ResizeType = 11,
    ResizeAlgorithm = 12,
    DitherAlgorithm = 13,
    FrameType = 14,
    WatermarkType = 15,
    FontStyle = 16,
    FontEffect = 17,
    TextAlignment = 18,
    Boundary = 19,
    Position = 20,
    WatermarkSize = 21,
    FileTimestamp = 22,
};

// The stored value of `keyword` (compared after upper-casing, no trimming, no prefixes);
// 0 when the list has no such keyword or cannot be searched this way (kinds 14, 15).
int32_t keywordValue(KeywordKind kind, std::string_view keyword);

// The keyword of `value`, or empty. For `Compression`, `outputFormat` ("bmp", "tga", "exr",
// "png" or "tiff") selects the sub-list.
std::string keywordOf(KeywordKind kind, int32_t value, std::string_view outputFormat = {});

} // namespace kx::core

#include "core/option_table.h"

#include <array>

namespace kx::core {

namespace {

using settings::Settings;
using K = KeywordKind;
using Small = int8_t Settings::*;

constexpr Option number(std::string_view name, int32_t Settings::*field, Small switchOn = nullptr) {
    return {.name = name, .type = ValueType::Number, .integer = field, .switchOn = switchOn};
}

constexpr Option real(std::string_view name, float Settings::*field, Small switchOn) {
    return {.name = name, .type = ValueType::Real, .real = field, .switchOn = switchOn};
}

constexpr Option keyword(std::string_view name, KeywordKind kind, int32_t Settings::*field) {
    return {.name = name, .type = ValueType::Keyword, .kind = kind, .integer = field};
}

constexpr Option keyword(std::string_view name, KeywordKind kind, Small field,
                         Small switchOn = nullptr) {
    return {.name = name,
            .type = ValueType::Keyword,
            .kind = kind,
            .small = field,
            .switchOn = switchOn};
}

constexpr Option text(std::string_view name, std::string Settings::*field, Small switchOn = nullptr,
                      int8_t switchValue = 1) {
    return {.name = name,
            .type = ValueType::Text,
            .text = field,
            .switchOn = switchOn,
            .switchValue = switchValue};
}

constexpr Option flag(std::string_view name, Small field, int8_t value = 1,
                      Small switchOn = nullptr) {
    return {.name = name,
            .type = ValueType::Flag,
            .small = field,
            .flagValue = value,
            .switchOn = switchOn};
}

// Options of the command line alone: the run's input, output and format, profiles and the
// informational switches.
constexpr Option runOption(std::string_view name, std::string_view shortName, ValueType type,
                           OptionAction action) {
    return {.name = name,
            .shortName = shortName,
            .type = type,
            .action = action,
            .scope = OptionScope::CommandLine};
}

constexpr Option only(Option option, OptionScope scope) {
    option.scope = scope;
    return option;
}

constexpr auto k_options = std::to_array<Option>({
    runOption("--INPUT", "-I", ValueType::Text, OptionAction::Input),
    runOption("--INPUT-LIST", "", ValueType::Text, OptionAction::InputList),
    runOption("--OUTPUT", "-O", ValueType::Text, OptionAction::Output),
    runOption("--CONVERSION", "-C", ValueType::Text, OptionAction::Conversion),
    keyword("--DDS-LOAD-AS", K::DdsLoadAs, &Settings::ddsLoadAs),
    keyword("--GIF-FRAME-LOADING", K::FrameLoading, &Settings::gifFrameLoading),
    keyword("--ICO-FRAME-LOADING", K::FrameLoading, &Settings::icoFrameLoading),
    keyword("--PSD-COLOR-MODE", K::ColorMode, &Settings::psdColorMode),
    keyword("--RAW-LOAD-AS", K::RawLoadAs, &Settings::rawLoadAs),
    number("--RAW-HEADER-SIZE", &Settings::rawHeaderSize),
    number("--RAW-WIDTH", &Settings::rawImageWidth),
    number("--RAW-HEIGHT", &Settings::rawImageHeight),
    // Not a profile key: a profile that carries it keeps it ignored.
    only(keyword("--RAW-TONE-MAPPING", K::RawToneMapping, &Settings::rawToneMapping),
         OptionScope::CommandLine),
    keyword("--TIFF-FRAME-LOADING", K::FrameLoading, &Settings::tiffFrameLoading),
    number("--BMP-BPP", &Settings::bmpBpp),
    keyword("--BMP-COMPRESSION", K::Compression, &Settings::bmpCompression),
    keyword("--BMP-COLOR-TABLE", K::BmpColorTable, &Settings::bmpColorTable),
    number("--DDS-BPP", &Settings::ddsBpp),
    number("--EXR-BPP", &Settings::exrBpp),
    keyword("--EXR-COMPRESSION", K::Compression, &Settings::exrCompression),
    number("--GIF-BPP", &Settings::gifBpp),
    number("--HDR-BPP", &Settings::hdrBpp),
    number("--ICO-BPP", &Settings::icoBpp),
    number("--J2K-BPP", &Settings::j2kBpp),
    number("--JNG-BPP", &Settings::jngBpp),
    number("--JP2-BPP", &Settings::jp2Bpp),
    number("--JPG-BPP", &Settings::jpgBpp),
    number("--JPG-QUALITY", &Settings::jpgQuality),
    keyword("--JPG-CHROMA", K::JpgChroma, &Settings::jpgChroma),
    keyword("--JPG-SAVE-AS", K::JpgSaveAs, &Settings::jpgSaveAs),
    number("--JXR-BPP", &Settings::jxrBpp),
    number("--PBM-BPP", &Settings::pbmBpp),
    number("--PCX-BPP", &Settings::pcxBpp),
    number("--PFM-BPP", &Settings::pfmBpp),
    number("--PGM-BPP", &Settings::pgmBpp),
    number("--PNG-BPP", &Settings::pngBpp),
    keyword("--PNG-COMPRESSION", K::Compression, &Settings::pngCompression),
    flag("--PNG-INTERLACED", &Settings::pngInterlaced),
    number("--PPM-BPP", &Settings::ppmBpp),
    number("--PSD-BPP", &Settings::psdBpp),
    number("--TGA-BPP", &Settings::tgaBpp),
    keyword("--TGA-COMPRESSION", K::Compression, &Settings::tgaCompression),
    number("--TIFF-BPP", &Settings::tiffBpp),
    keyword("--TIFF-COMPRESSION", K::Compression, &Settings::tiffCompression),
    keyword("--TIFF-COLOR-MODE", K::ColorMode, &Settings::tiffColorMode),
    number("--WBMP-BPP", &Settings::wbmpBpp),
    number("--WEBP-BPP", &Settings::webpBpp),
    number("--WEBP-QUALITY", &Settings::webpQuality),
    number("--XPM-BPP", &Settings::xpmBpp),
    keyword("--ROTATION-TYPE", K::RotationType, &Settings::imageRotationType),
    number("--ROTATION", &Settings::imageRotation, &Settings::doImageRotation),
    text("--ROTATION-BACK-COLOR", &Settings::imageRotationBackColor),
    number("--WIDTH", &Settings::imageWidth, &Settings::doImageResize),
    keyword("--WIDTH-UNIT", K::SizeUnit, &Settings::imageWidthUnit),
    number("--HEIGHT", &Settings::imageHeight, &Settings::doImageResize),
    keyword("--HEIGHT-UNIT", K::SizeUnit, &Settings::imageHeightUnit),
    flag("--KEEP-ASPECT-RATIO", &Settings::keepAspectRatio),
    keyword("--RESIZE-TYPE", K::ResizeType, &Settings::imageResizeType),
    keyword("--RESIZE-ALGORITHM", K::ResizeAlgorithm, &Settings::imageResizeAlgorithm),
    flag("--FLIP-HORIZONTAL", &Settings::doImageFlipHorizontal),
    flag("--FLIP-VERTICAL", &Settings::doImageFlipVertical),
    number("--BRIGHTNESS", &Settings::imageBrightness, &Settings::doImageColorCorrection),
    number("--CONTRAST", &Settings::imageContrast, &Settings::doImageColorCorrection),
    real("--GAMMA", &Settings::imageGamma, &Settings::doImageColorCorrection),
    flag("--INVERT", &Settings::imageInvert, 1, &Settings::doImageColorCorrection),
    flag("--GREYSCALE", &Settings::doImageGreyscale),
    number("--THRESHOLD", &Settings::imageThreshold, &Settings::doImageThreshold),
    keyword("--DITHER", K::DitherAlgorithm, &Settings::imageDitherAlgorithm,
            &Settings::doImageDither),
    number("--FR-SOLID-LEFT", &Settings::solidLeft, &Settings::doFrame),
    number("--FR-SOLID-RIGHT", &Settings::solidRight, &Settings::doFrame),
    number("--FR-SOLID-TOP", &Settings::solidTop, &Settings::doFrame),
    number("--FR-SOLID-BOTTOM", &Settings::solidBottom, &Settings::doFrame),
    text("--FR-SOLID-LEFT-COLOR", &Settings::solidLeftColor),
    text("--FR-SOLID-RIGHT-COLOR", &Settings::solidRightColor),
    text("--FR-SOLID-TOP-COLOR", &Settings::solidTopColor),
    text("--FR-SOLID-BOTTOM-COLOR", &Settings::solidBottomColor),
    // The frame opacity has a different name inside profiles, which existing profiles use.
    only(number("--FR-SOLID-OPACITY", &Settings::solidOpacity), OptionScope::CommandLine),
    only(number("--WM-SOLID-OPACITY", &Settings::solidOpacity), OptionScope::Profile),
    text("--WM-TEXT", &Settings::text, &Settings::doWatermark, 1),
    text("--WM-FONT", &Settings::font),
    number("--WM-FONT-SIZE", &Settings::fontSize),
    number("--WM-FONT-LEADING", &Settings::fontLeading),
    text("--WM-FONT-COLOR", &Settings::fontColor),
    keyword("--WM-FONT-STYLE", K::FontStyle, &Settings::fontStyle),
    keyword("--WM-FONT-EFFECT", K::FontEffect, &Settings::fontEffect),
    flag("--WM-TEXT-ANTIALIASING", &Settings::textAntialiasing),
    keyword("--WM-TEXT-ALIGNMENT", K::TextAlignment, &Settings::textAlignment),
    number("--WM-TEXT-PADDING", &Settings::textPadding),
    number("--WM-TEXT-OPACITY", &Settings::textOpacity),
    text("--WM-BACK-COLOR", &Settings::backColor),
    number("--WM-BACK-OPACITY", &Settings::backOpacity),
    keyword("--WM-TEXT-BOUNDARY", K::Boundary, &Settings::textBoundary),
    keyword("--WM-TEXT-POSITION", K::Position, &Settings::textPosition),
    number("--WM-TEXT-X-OFFSET", &Settings::textXOffset),
    number("--WM-TEXT-Y-OFFSET", &Settings::textYOffset),
    number("--WM-TEXT-ROTATION", &Settings::textRotation),
    keyword("--WM-TEXT-SIZE", K::WatermarkSize, &Settings::textSize),
    text("--WM-IMAGE", &Settings::image, &Settings::doWatermark, 2),
    flag("--WM-IMAGE-GREYSCALE", &Settings::imageGreyscale),
    number("--WM-IMAGE-OPACITY", &Settings::imageOpacity),
    keyword("--WM-IMAGE-BOUNDARY", K::Boundary, &Settings::imageBoundary),
    keyword("--WM-IMAGE-POSITION", K::Position, &Settings::imagePosition),
    number("--WM-IMAGE-X-OFFSET", &Settings::imageXOffset),
    number("--WM-IMAGE-Y-OFFSET", &Settings::imageYOffset),
    number("--WM-IMAGE-ROTATION", &Settings::watermarkImageRotation),
    keyword("--WM-IMAGE-SIZE", K::WatermarkSize, &Settings::imageSize),
    text("--FILENAME-MASK", &Settings::filenameMask),
    keyword("--FILE-TIMESTAMP", K::FileTimestamp, &Settings::fileTimestamp),
    number("--FILE-TIMESTAMP-CUSTOM", &Settings::customTimestamp),
    flag("--NO-SUBFOLDERS", &Settings::keepSubfolders, 0),
    runOption("--PROFILE", "", ValueType::Text, OptionAction::Profile),
    runOption("--DEBUG", "-D", ValueType::Flag, OptionAction::Debug),
    runOption("--QUIET", "-Q", ValueType::Flag, OptionAction::Quiet),
    runOption("--PAUSE", "-P", ValueType::Flag, OptionAction::Pause),
});

bool acceptedIn(const Option& option, bool profile) {
    return option.scope == OptionScope::Everywhere ||
           option.scope == (profile ? OptionScope::Profile : OptionScope::CommandLine);
}

} // namespace

std::span<const Option> optionTable() {
    return k_options;
}

const Option* findOption(std::string_view upperName, bool profile) {
    if (upperName.empty())
        return nullptr;
    for (const Option& option : k_options) {
        if (!acceptedIn(option, profile))
            continue;
        if (option.name == upperName || (!profile && option.shortName == upperName))
            return &option;
    }
    return nullptr;
}

} // namespace kx::core

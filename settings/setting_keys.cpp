#include "settings/setting_keys.h"

namespace kx::settings {

namespace {

constexpr SettingKey integer(const char* group, const char* key, int32_t Settings::*field,
                             const char* formatKey = "") {
    return {group, key, Kind::Integer, field, nullptr, nullptr, nullptr, formatKey};
}

constexpr SettingKey date(const char* group, const char* key, int32_t Settings::*field) {
    return {group, key, Kind::Date, field, nullptr, nullptr, nullptr, ""};
}

constexpr SettingKey small(const char* group, const char* key, int8_t Settings::*field,
                           const char* formatKey = "") {
    return {group, key, Kind::Small, nullptr, field, nullptr, nullptr, formatKey};
}

constexpr SettingKey real(const char* group, const char* key, float Settings::*field) {
    return {group, key, Kind::Real, nullptr, nullptr, field, nullptr, ""};
}

constexpr SettingKey text(const char* group, const char* key, std::string Settings::*field) {
    return {group, key, Kind::Text, nullptr, nullptr, nullptr, field, ""};
}

// clang-format off
const SettingKey k_keys[] = {
    integer("General", "CFG", &Settings::cfg),
    text("General", "Language", &Settings::language),
    integer("General", "Update Range", &Settings::updateRange),
    date("General", "Update Date", &Settings::updateDate),
    small("General", "Save Window Position", &Settings::saveWindowPosition),
    small("Window", "IsMaximized", &Settings::isMaximized),
    integer("Window", "Width", &Settings::width),
    integer("Window", "Height", &Settings::height),
    integer("Window", "X", &Settings::x),
    integer("Window", "Y", &Settings::y),
    text("Interface", "UI Theme", &Settings::uiTheme),
    integer("Interface", "UI Size", &Settings::uiSize),
    text("Input", "Format", &Settings::inputFormat),
    integer("Input", "DDS Load As", &Settings::ddsLoadAs, "dds"),
    integer("Input", "GIF Frame Loading", &Settings::gifFrameLoading, "gif"),
    integer("Input", "ICO Frame Loading", &Settings::icoFrameLoading, "ico"),
    integer("Input", "PSD Color Mode", &Settings::psdColorMode, "psd"),
    integer("Input", "RAW Load As", &Settings::rawLoadAs, "raw"),
    integer("Input", "RAW Header Size", &Settings::rawHeaderSize, "raw"),
    integer("Input", "RAW Image Width", &Settings::rawImageWidth, "raw"),
    integer("Input", "RAW Image Height", &Settings::rawImageHeight, "raw"),
    integer("Input", "RAW Tone Mapping", &Settings::rawToneMapping, "raw"),
    integer("Input", "TIFF Frame Loading", &Settings::tiffFrameLoading, "tiff"),
    text("Output", "Format", &Settings::outputFormat),
    integer("Output", "BMP BPP", &Settings::bmpBpp, "bmp"),
    integer("Output", "BMP Compression", &Settings::bmpCompression, "bmp"),
    integer("Output", "BMP Color Table", &Settings::bmpColorTable, "bmp"),
    integer("Output", "DDS BPP", &Settings::ddsBpp, "dds"),
    integer("Output", "EXR BPP", &Settings::exrBpp, "exr"),
    integer("Output", "EXR Compression", &Settings::exrCompression, "exr"),
    integer("Output", "GIF BPP", &Settings::gifBpp, "gif"),
    integer("Output", "HDR BPP", &Settings::hdrBpp, "hdr"),
    integer("Output", "ICO BPP", &Settings::icoBpp, "ico"),
    integer("Output", "J2K BPP", &Settings::j2kBpp, "j2k"),
    integer("Output", "JNG BPP", &Settings::jngBpp, "jng"),
    integer("Output", "JP2 BPP", &Settings::jp2Bpp, "jp2"),
    integer("Output", "JPG BPP", &Settings::jpgBpp, "jpg"),
    integer("Output", "JPG Quality", &Settings::jpgQuality, "jpg"),
    integer("Output", "JPG Chroma", &Settings::jpgChroma, "jpg"),
    integer("Output", "JPG Save As", &Settings::jpgSaveAs, "jpg"),
    integer("Output", "JXR BPP", &Settings::jxrBpp, "jxr"),
    integer("Output", "PBM BPP", &Settings::pbmBpp, "pbm"),
    integer("Output", "PCX BPP", &Settings::pcxBpp, "pcx"),
    integer("Output", "PFM BPP", &Settings::pfmBpp, "pfm"),
    integer("Output", "PGM BPP", &Settings::pgmBpp, "pgm"),
    integer("Output", "PNG BPP", &Settings::pngBpp, "png"),
    integer("Output", "PNG Compression", &Settings::pngCompression, "png"),
    small("Output", "PNG Interlaced", &Settings::pngInterlaced, "png"),
    integer("Output", "PPM BPP", &Settings::ppmBpp, "ppm"),
    integer("Output", "PSD BPP", &Settings::psdBpp, "psd"),
    integer("Output", "TGA BPP", &Settings::tgaBpp, "tga"),
    integer("Output", "TGA Compression", &Settings::tgaCompression, "tga"),
    integer("Output", "TIFF BPP", &Settings::tiffBpp, "tiff"),
    integer("Output", "TIFF Compression", &Settings::tiffCompression, "tiff"),
    integer("Output", "TIFF Color Mode", &Settings::tiffColorMode, "tiff"),
    integer("Output", "WBMP BPP", &Settings::wbmpBpp, "wbmp"),
    integer("Output", "WEBP BPP", &Settings::webpBpp, "webp"),
    integer("Output", "WEBP Quality", &Settings::webpQuality, "webp"),
    integer("Output", "XPM BPP", &Settings::xpmBpp, "xpm"),
    small("Transform", "Do Image Rotation", &Settings::doImageRotation),
    small("Transform", "Image Rotation Type", &Settings::imageRotationType),
    integer("Transform", "Image Rotation", &Settings::imageRotation),
    text("Transform", "Image Rotation Back Color", &Settings::imageRotationBackColor),
    small("Transform", "Do Image Resize", &Settings::doImageResize),
    integer("Transform", "Image Width", &Settings::imageWidth),
    small("Transform", "Image Width Unit", &Settings::imageWidthUnit),
    integer("Transform", "Image Height", &Settings::imageHeight),
    small("Transform", "Image Height Unit", &Settings::imageHeightUnit),
    small("Transform", "Keep Aspect Ratio", &Settings::keepAspectRatio),
    small("Transform", "Image Resize Type", &Settings::imageResizeType),
    small("Transform", "Image Resize Algorithm", &Settings::imageResizeAlgorithm),
    small("Transform", "Do Image Flip Horizontal", &Settings::doImageFlipHorizontal),
    small("Transform", "Do Image Flip Vertical", &Settings::doImageFlipVertical),
    small("Adjustment", "Do Image Color Correction", &Settings::doImageColorCorrection),
    integer("Adjustment", "Image Brightness", &Settings::imageBrightness),
    integer("Adjustment", "Image Contrast", &Settings::imageContrast),
    real("Adjustment", "Image Gamma", &Settings::imageGamma),
    small("Adjustment", "Image Invert", &Settings::imageInvert),
    small("Adjustment", "Do Image Greyscale", &Settings::doImageGreyscale),
    small("Adjustment", "Do Image Threshold", &Settings::doImageThreshold),
    integer("Adjustment", "Image Threshold", &Settings::imageThreshold),
    small("Adjustment", "Do Image Dither", &Settings::doImageDither),
    small("Adjustment", "Image Dither Algorithm", &Settings::imageDitherAlgorithm),
    small("Frame", "Do Frame", &Settings::doFrame),
    integer("Frame", "Solid Left", &Settings::solidLeft),
    integer("Frame", "Solid Right", &Settings::solidRight),
    integer("Frame", "Solid Top", &Settings::solidTop),
    integer("Frame", "Solid Bottom", &Settings::solidBottom),
    text("Frame", "Solid Left Color", &Settings::solidLeftColor),
    text("Frame", "Solid Right Color", &Settings::solidRightColor),
    text("Frame", "Solid Top Color", &Settings::solidTopColor),
    text("Frame", "Solid Bottom Color", &Settings::solidBottomColor),
    integer("Frame", "Solid Opacity", &Settings::solidOpacity),
    small("Watermark", "Do Watermark", &Settings::doWatermark),
    text("Watermark", "Text", &Settings::text),
    text("Watermark", "Fonts", &Settings::fonts),
    text("Watermark", "Font", &Settings::font),
    integer("Watermark", "Font Size", &Settings::fontSize),
    integer("Watermark", "Font Leading", &Settings::fontLeading),
    text("Watermark", "Font Colors", &Settings::fontColors),
    text("Watermark", "Font Color", &Settings::fontColor),
    small("Watermark", "Font Style", &Settings::fontStyle),
    small("Watermark", "Font Effect", &Settings::fontEffect),
    small("Watermark", "Text Antialiasing", &Settings::textAntialiasing),
    small("Watermark", "Text Alignment", &Settings::textAlignment),
    integer("Watermark", "Text Padding", &Settings::textPadding),
    integer("Watermark", "Text Opacity", &Settings::textOpacity),
    text("Watermark", "Back Colors", &Settings::backColors),
    text("Watermark", "Back Color", &Settings::backColor),
    integer("Watermark", "Back Opacity", &Settings::backOpacity),
    small("Watermark", "Text Boundary", &Settings::textBoundary),
    small("Watermark", "Text Position", &Settings::textPosition),
    integer("Watermark", "Text X Offset", &Settings::textXOffset),
    integer("Watermark", "Text Y Offset", &Settings::textYOffset),
    integer("Watermark", "Text Rotation", &Settings::textRotation),
    small("Watermark", "Text Size", &Settings::textSize),
    integer("Watermark", "Text Scale", &Settings::textScale),
    text("Watermark", "Image", &Settings::image),
    small("Watermark", "Image Greyscale", &Settings::imageGreyscale),
    integer("Watermark", "Image Opacity", &Settings::imageOpacity),
    small("Watermark", "Image Boundary", &Settings::imageBoundary),
    small("Watermark", "Image Position", &Settings::imagePosition),
    integer("Watermark", "Image X Offset", &Settings::imageXOffset),
    integer("Watermark", "Image Y Offset", &Settings::imageYOffset),
    integer("Watermark", "Image Rotation", &Settings::watermarkImageRotation),
    small("Watermark", "Image Size", &Settings::imageSize),
    integer("Watermark", "Image Scale", &Settings::imageScale),
    text("Advanced", "Filename Mask", &Settings::filenameMask),
    small("Advanced", "File Timestamp", &Settings::fileTimestamp),
    date("Advanced", "Custom Timestamp", &Settings::customTimestamp),
    small("Advanced", "Out Folders History", &Settings::outFoldersHistory),
    small("Advanced", "Out Folders Number", &Settings::outFoldersNumber),
    small("Advanced", "Keep Subfolders", &Settings::keepSubfolders),
    text("File", "Recent Out Folders", &Settings::recentOutFolders),
    text("File", "Recent Files", &Settings::recentFiles),
    small("Privacy", "Clean Recent Files", &Settings::cleanRecentFiles),
};
// clang-format on

constexpr const char* k_groups[] = {"General",   "Window",    "Interface",  "Input",
                                    "Output",    "Transform", "Adjustment", "Frame",
                                    "Watermark", "Advanced",  "File",       "Privacy"};

} // namespace

std::span<const SettingKey> settingKeys() {
    return k_keys;
}

std::span<const char* const> settingGroups() {
    return k_groups;
}

} // namespace kx::settings

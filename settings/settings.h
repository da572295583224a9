#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kx::settings {

// Seconds since 1970-01-01 00:00:00 on the local wall clock, without time-zone conversion.
using Date = int32_t;

// The input and output format keys this build offers, fixed at start-up.
const std::vector<std::string>& inputFormatList();
const std::vector<std::string>& outputFormatList();

// Names of the values of the enumerated settings, as the command line's keywords name them.
// The fields stay plain integers, which the configuration file and profiles store; code
// compares them with these names, never with bare numbers.
struct FrameLoading {
    enum : int8_t { All, First, Middle, Last, Random };
};
struct BmpColorTable {
    enum : int8_t { Auto, Exact };
};
struct TiffColorMode {
    enum : int8_t { Rgb, Cmyk, Lab };
};
struct RotationType {
    enum : int8_t { Simple, Advanced };
};
struct SizeUnit {
    enum : int8_t { Pixels, Percent };
};
struct ResizeType {
    enum : int8_t { AllImages, LargeImages };
};
struct ResizeAlgorithm {
    enum : int8_t { Box, Bilinear, BSpline, Bicubic, CatmullRom, Lanczos };
};
struct DitherAlgorithm {
    enum : int8_t { FloydSteinberg, Bayer4, Bayer8, Bayer16, Cluster6, Cluster8, Cluster16 };
};
struct FrameType {
    enum : int8_t { None, Solid };
};
struct WatermarkType {
    enum : int8_t { None, Text, Image };
};
struct FontStyle {
    enum : int8_t { Regular, Bold, Italic, BoldItalic };
};
struct FontEffect {
    enum : int8_t { None, Underline, Strikethrough };
};
struct TextAlignment {
    enum : int8_t { Left, Center, Right };
};
struct Boundary {
    enum : int8_t { Image, Frame };
};
struct FileTimestamp {
    enum : int8_t { Current, Original, Custom };
};

// Every user option of the program. Fields are named after their configuration keys; the
// groups follow the configuration file. Small fields are signed 8-bit and wrap like the file
// reader does (200 reads as -56).
struct Settings {
    // General
    int32_t cfg = 0;
    std::string language;
    int32_t updateRange = 0;
    Date updateDate = 0;
    int8_t saveWindowPosition = 0;

    // Window
    int8_t isMaximized = 0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;

    // Interface
    std::string uiTheme;
    int32_t uiSize = 0;

    // Input
    std::string inputFormat;
    int32_t ddsLoadAs = 0;
    int32_t gifFrameLoading = 0;
    int32_t icoFrameLoading = 0;
    int32_t tiffFrameLoading = 0;
    int32_t psdColorMode = 0;
    int32_t rawLoadAs = 0;
    int32_t rawHeaderSize = 0;
    int32_t rawImageWidth = 0;
    int32_t rawImageHeight = 0;
    int32_t rawToneMapping = 0;

    // Output
    std::string outputFormat;
    int32_t bmpBpp = 0;
    int32_t bmpCompression = 0;
    int32_t bmpColorTable = 0;
    int32_t ddsBpp = 0;
    int32_t exrBpp = 0;
    int32_t exrCompression = 0;
    int32_t gifBpp = 0;
    int32_t hdrBpp = 0;
    int32_t icoBpp = 0;
    int32_t j2kBpp = 0;
    int32_t jngBpp = 0;
    int32_t jp2Bpp = 0;
    int32_t jpgBpp = 0;
    int32_t jpgQuality = 0;
    int32_t jpgChroma = 0;
    int32_t jpgSaveAs = 0;
    int32_t jxrBpp = 0;
    int32_t pbmBpp = 0;
    int32_t pcxBpp = 0;
    int32_t pfmBpp = 0;
    int32_t pgmBpp = 0;
    int32_t pngBpp = 0;
    int32_t pngCompression = 0;
    int8_t pngInterlaced = 0;
    int32_t ppmBpp = 0;
    int32_t psdBpp = 0;
    int32_t tgaBpp = 0;
    int32_t tgaCompression = 0;
    int32_t tiffBpp = 0;
    int32_t tiffCompression = 0;
    int32_t tiffColorMode = 0;
    int32_t wbmpBpp = 0;
    int32_t webpBpp = 0;
    int32_t webpQuality = 0;
    int32_t xpmBpp = 0;

    // Transform
    int8_t doImageRotation = 0;
    int8_t imageRotationType = 0;
    int32_t imageRotation = 0;
    std::string imageRotationBackColor;
    int8_t doImageResize = 0;
    int32_t imageWidth = 0;
    int8_t imageWidthUnit = 0;
    int32_t imageHeight = 0;
    int8_t imageHeightUnit = 0;
    int8_t keepAspectRatio = 0;
    int8_t imageResizeType = 0;
    int8_t imageResizeAlgorithm = 0;
    int8_t doImageFlipHorizontal = 0;
    int8_t doImageFlipVertical = 0;

    // Adjustment
    int8_t doImageColorCorrection = 0;
    int32_t imageBrightness = 0;
    int32_t imageContrast = 0;
    float imageGamma = 0;
    int8_t imageInvert = 0;
    int8_t doImageGreyscale = 0;
    int8_t doImageThreshold = 0;
    int32_t imageThreshold = 0;
    int8_t doImageDither = 0;
    int8_t imageDitherAlgorithm = 0;

    // Frame
    int8_t doFrame = 0;
    int32_t solidLeft = 0;
    int32_t solidRight = 0;
    int32_t solidTop = 0;
    int32_t solidBottom = 0;
    std::string solidLeftColor;
    std::string solidRightColor;
    std::string solidTopColor;
    std::string solidBottomColor;
    int32_t solidOpacity = 0;

    // Watermark
    int8_t doWatermark = 0;
    std::string text;
    std::string fonts;
    std::string font;
    int32_t fontSize = 0;
    int32_t fontLeading = 0;
    std::string fontColors;
    std::string fontColor;
    int8_t fontStyle = 0;
    int8_t fontEffect = 0;
    int8_t textAntialiasing = 0;
    int8_t textAlignment = 0;
    int32_t textPadding = 0;
    int32_t textOpacity = 0;
    std::string backColors;
    std::string backColor;
    int32_t backOpacity = 0;
    int8_t textBoundary = 0;
    int8_t textPosition = 0;
    int32_t textXOffset = 0;
    int32_t textYOffset = 0;
    int32_t textRotation = 0;
    int8_t textSize = 0;
    int32_t textScale = 0;
    std::string image;
    int8_t imageGreyscale = 0;
    int32_t imageOpacity = 0;
    int8_t imageBoundary = 0;
    int8_t imagePosition = 0;
    int32_t imageXOffset = 0;
    int32_t imageYOffset = 0;
    int32_t watermarkImageRotation = 0; // key "Image Rotation" of group Watermark
    int8_t imageSize = 0;
    int32_t imageScale = 0;

    // Advanced
    std::string filenameMask;
    int8_t fileTimestamp = 0;
    Date customTimestamp = 0;
    int8_t outFoldersHistory = 0;
    int8_t outFoldersNumber = 0;
    int8_t keepSubfolders = 0;

    // File
    std::string recentOutFolders;
    std::string recentFiles;

    // Privacy
    int8_t cleanRecentFiles = 0;

    // Field by field; a NaN `Image Gamma` never compares equal.
    friend bool operator==(const Settings&, const Settings&) = default;
};

// Size of the primary desktop; zero when no screen is known.
struct DesktopSize {
    int width = 0;
    int height = 0;
};

// Sets every field to its default. `commandLineMode` only decides `Keep Aspect Ratio`
// (off on the command line, on in the window). The window is centred on `desktop`, or
// placed at 100, 100 when the desktop is unknown or too small.
void applyDefaults(Settings& settings, bool commandLineMode, DesktopSize desktop = {});

// The current date as stored in the settings: local wall-clock seconds counted as if UTC.
Date currentDate();

// The one-line notice of the About window and the default watermark text.
const std::string& noticeLine();

// The process-wide record shared by the run modes.
Settings& globalSettings();

} // namespace kx::settings

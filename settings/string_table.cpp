#include "settings/string_table.h"

#include "base/text.h"
#include "settings/settings_file.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace kx::settings {

namespace {

struct TextPair {
    std::string_view key;
    std::string_view text;
};

constexpr std::string_view k_groupMarker = "_GROUP_";
constexpr std::string_view k_endMarker = "_END_";
// Sorts below every character a key can hold, so sorting "key SEP text" orders by key first
// and the text travels with its key.
constexpr char k_keyTextSeparator = '\x01';

// The built-in English texts: a "_GROUP_" pair opens a group, "_END_" closes the data.
constexpr TextPair k_builtInTexts[] = {
    {"_GROUP_", "Menu"},
    {"File", "File"},
    {"New", "New"},
    {"Open", "Open..."},
    {"Save As", "Save As..."},
    {"Select Input File", "Add Input File..."},
    {"Select Input Files", "Add Input Files..."},
    {"Select Input Folder", "Add Input Folder..."},
    {"Delete Input Files", "Delete Files From the List"},
    {"Select Output Folder", "Select Output Folder..."},
    {"Output Format Options", "Options..."},
    {"Import Input Files", "Import Files..."},
    {"Export Input Files", "Export Files..."},
    {"Exit", "Exit"},
    {"Edit", "Edit"},
    {"Copy", "Copy"},
    {"Delete", "Delete"},
    {"Select All", "Select All"},
    {"Converter", "Converter"},
    {"Convert", "Convert"},
    {"Custom Converter", "Find a File Converter..."},
    {"Preferences", "Preferences..."},
    {"Help", "Help"},
    {"Manual", "User Manual..."},
    {"Send Feedback", "Send Feedback"},
    {"Visit Homepage", "Visit the Program's Homepage"},
    {"Check For New Version", "Check For a New Version"},
    {"About", "About..."},
    {"_GROUP_", "General"},
    {"Input File", "Input File:"},
    {"Input Files", "Input Files:"},
    {"Files queued", "%s1% files queued"},
    {"Filename", "Filename"},
    {"Output Folder", "Output Folder:"},
    {"Output Format", "Output Format:"},
    {"Convert", "Convert"},
    {"Ready", "Ready"},
    {"Preparing", "Preparing..."},
    {"Importing", "Importing..."},
    {"Converting", "Converting..."},
    {"_GROUP_", "Msg"},
    {"Error", "Error"},
    {"Warning", "Warning"},
    {"Insufficient memory", "Insufficient Memory"},
    {"Unable to open file", "Unable to open the file: %s1%!"},
    {"No desktop opener", "Unable to open %s1%!\r\n\r\nNo program of this desktop opens it: "
                          "xdg-open (package xdg-utils) is not installed."},
    {"Unable to save file", "Unable to save the file: %s1%!"},
    {"Empty input files", "No input file(s) found. Please, add valid file(s) and try again!"},
    {"Empty input folder",
     "The input folder's field is empty. Please, check the existed input folder and try again!"},
    {"Invalid input folder", "The following input folder is invalid or doesn't "
                             "exist:\r\n%s1%\r\n\r\nPlease, correct the input path and try again!"},
    {"Empty output folder",
     "The output folder's field is empty. Please, select existed output folder and try again!"},
    {"Invalid output folder",
     "The following output folder is invalid or doesn't exist:\r\n%s1%\r\n\r\nPlease, correct the "
     "output path and try again!"},
    {"Invalid width", "Invalid resize width value!"},
    {"Invalid height", "Invalid resize height value!"},
    {"Invalid bpp", "Invalid %s1% bits per pixel value!"},
    {"Invalid brightness", "Invalid brightness value!"},
    {"Invalid contrast", "Invalid contrast value!"},
    {"Invalid gamma", "Invalid gamma value!"},
    {"Invalid conversion type", "Invalid conversion type!"},
    {"Invalid watermark font", "Unable to load selected font for a watermark: %s1%"},
    {"Empty watermark image", "Selected watermark image is invalid/empty!"},
    {"Invalid watermark image", "Unable to load selected file as a watermark image: %s1%"},
    {"Import complete", "Import complete, new files added: %s1%"},
    {"Import is not complete", "Import stopped"},
    {"Export complete", "Export complete, entries saved: %s1%"},
    {"Export is not complete", "Export stopped"},
    {"Conversion complete", "Conversion complete"},
    {"Conversion is not complete", "Conversion stopped"},
    {"Progress", "(%s1%/%s2%)"},
    {"Files converted", "Files converted: %s1% of %s2%"},
    {"Files not converted", "%s1% of %s2% files not converted"},
    {"New Update", "New Update"},
    {"New Update Text", "A new version of Kestrelix TIFF to BMP is available! Are you ready to "
                        "download it right now?"},
    {"No Update", "No Update"},
    {"No Update Text",
     "There is no update of Kestrelix TIFF to BMP yet. You're using the most recent version."},
    {"Check for Updates", "Check for Updates"},
    {"Ask check for updates", "Do you want to check for updates?"},
    {"Reset to Defaults", "Reset to Defaults"},
    {"Ask reset to defaults",
     "Are you sure you want to reset all your settings to the default values?"},
    {"Internet connection problems", "Internet connection problems!"},
    {"Ask overwrite file", "The file already exist. Do you want to overwrite it?"},
    {"Clean recent files", "Clean Recent Files"},
    {"Ask clean recent files", "Do you want to clean the recent files list?"},
    {"Ask continue to find",
     "No matches of %s1% found!\r\n\r\nDo you want to search from the start of the list?"},
    {"Ask break import", "Do you want to break the import?"},
    {"Ask break export", "Do you want to break the export?"},
    {"Ask break conversion", "Do you want to break the conversion?"},
    {"Empty extensions", "Please, fill all required fields and try again!"},
    {"_GROUP_", "Dialog"},
    {"Select Input Files", "Select Input Files"},
    {"Select Input Folder", "Select Input Folder"},
    {"Select Output Folder", "Select Output Folder"},
    {"Import Input Files", "Import Input Files From A List"},
    {"Export Input Files", "Export Input Files"},
    {"Select Watermark Image", "Select Watermark Image"},
    {"All Supported Files", "All Supported Files"},
    {"Text Files", "Text Files"},
    {"All Files", "All Files"},
    {"Import Progress", "Importing"},
    {"Export Progress", "Exporting"},
    {"Convert Progress", "Converting"},
    {"Time Remaining", "Time Remaining: %s1%"},
    {"Time Unknown", "Unknown"},
    {"OK", "OK"},
    {"Cancel", "Cancel"},
    {"Help", "Help"},
    {"Defaults", "Defaults"},
    {"_GROUP_", "Preferences"},
    {"None", "None"},
    {"Auto", "Auto"},
    {"General", "General"},
    {"Every day", "Every day"},
    {"Every week", "Every week"},
    {"Every month", "Every month"},
    {"Every 3 months", "Every 3 months"},
    {"Every 6 months", "Every 6 months"},
    {"Never", "Never"},
    {"Interface", "Interface"},
    {"Small", "Small"},
    {"Medium", "Medium"},
    {"Large", "Large"},
    {"Extra Large", "Extra Large"},
    {"Huge", "Huge"},
    {"Input", "Input"},
    {"Linear", "Linear"},
    {"Adaptive Logarithmic", "Adaptive Logarithmic"},
    {"DR Reduction", "DR Reduction"},
    {"Gradient Domain", "Gradient Domain"},
    {"Output", "Output"},
    {"RLE", "RLE"},
    {"ZIP", "ZIP"},
    {"PXR24", "PXR24"},
    {"B44", "B44"},
    {"LZW", "LZW"},
    {"JPEG", "JPEG"},
    {"Exact", "Exact"},
    {"RGB", "RGB"},
    {"CMYK", "CMYK"},
    {"LAB", "LAB"},
    {"Low", "Low"},
    {"Medium", "Medium"},
    {"High", "High"},
    {"Baseline Standard", "Baseline Standard"},
    {"Baseline Simple", "Baseline Simple"},
    {"Baseline Optimized", "Baseline Optimized"},
    {"Progressive", "Progressive"},
    {"Transform", "Transform"},
    {"All Images", "All Images"},
    {"Large Images", "Large Images"},
    {"Box", "Box"},
    {"Bilinear", "Bilinear"},
    {"Bicubic", "Bicubic"},
    {"Lanczos", "Lanczos"},
    {"Adjustment", "Adjustment"},
    {"Frame", "Frame"},
    {"Watermark", "Watermark"},
    {"Color", "Color"},
    {"Black", "Black"},
    {"Silver", "Silver"},
    {"Gray", "Gray"},
    {"White", "White"},
    {"Maroon", "Maroon"},
    {"Red", "Red"},
    {"Purple", "Purple"},
    {"Fuchsia", "Fuchsia"},
    {"Green", "Green"},
    {"Lime", "Lime"},
    {"Olive", "Olive"},
    {"Yellow", "Yellow"},
    {"Navy", "Navy"},
    {"Blue", "Blue"},
    {"Teal", "Teal"},
    {"Aqua", "Aqua"},
    {"Orange", "Orange"},
    {"Brown", "Brown"},
    {"Violet", "Violet"},
    {"Regular", "Regular"},
    {"Bold", "Bold"},
    {"Italic", "Italic"},
    {"Bold Italic", "Bold Italic"},
    {"Underline", "Underline"},
    {"Top-Left", "Top-Left"},
    {"Top-Center", "Top-Center"},
    {"Top-Right", "Top-Right"},
    {"Middle-Left", "Middle-Left"},
    {"Middle-Center", "Middle-Center"},
    {"Middle-Right", "Middle-Right"},
    {"Bottom-Left", "Bottom-Left"},
    {"Bottom-Center", "Bottom-Center"},
    {"Bottom-Right", "Bottom-Right"},
    {"Fixed", "Fixed"},
    {"Proportional", "Proportional"},
    {"Fit", "Fit"},
    {"Fill", "Fill"},
    {"Advanced", "Advanced"},
    {"Current", "Current"},
    {"Original", "Original"},
    {"Custom", "Custom"},
    {"Export", "Export"},
    {"Privacy", "Privacy"},
    {"Language", "Language:"},
    {"Check for Updates", "Check for Updates:"},
    {"Input Format", "Input Format:"},
    {"Header Size", "Header Size:"},
    {"Load As", "Load As:"},
    {"Frame Loading", "Frame Loading:"},
    {"Output Format", "Output Format:"},
    {"Bits Per Pixel", "Bits Per Pixel:"},
    {"Compression", "Compression:"},
    {"Color Table", "Color Table:"},
    {"Color Mode", "Color Mode:"},
    {"Image Quality", "Image Quality:"},
    {"Chroma Subsampling", "Chroma Subsampling:"},
    {"Save As", "Save As:"},
    {"Interlaced", "Interlaced:"},
    {"Image Rotation", "Image Rotation:"},
    {"Rotation Type", "Rotation Type:"},
    {"Rotation Angle", "Rotation Angle:"},
    {"Background Color", "Background Color:"},
    {"Image Resize", "Image Resize:"},
    {"Image Width", "Image Width:"},
    {"Image Height", "Image Height:"},
    {"Resize Type", "Resize Type:"},
    {"Resize Algorithm", "Resize Algorithm:"},
    {"Image Brightness", "Image Brightness:"},
    {"Image Contrast", "Image Contrast:"},
    {"Image Threshold", "Image Threshold:"},
    {"Threshold Level", "Threshold Level:"},
    {"Image Dither", "Image Dither:"},
    {"Left", "Left:"},
    {"Right", "Right:"},
    {"Top", "Top:"},
    {"Bottom", "Bottom:"},
    {"Left Color", "Left Color:"},
    {"Right Color", "Right Color:"},
    {"Top Color", "Top Color:"},
    {"Bottom Color", "Bottom Color:"},
    {"Text", "Text:"},
    {"Image", "Image:"},
    {"Font", "Font:"},
    {"Font Size", "Font Size:"},
    {"Font Leading", "Font Leading:"},
    {"Font Color", "Font Color:"},
    {"Font Style", "Font Style:"},
    {"Font Effect", "Font Effect:"},
    {"Antialiasing", "Antialiasing:"},
    {"Text Alignment", "Text Alignment:"},
    {"Text Padding", "Text Padding:"},
    {"Text Opacity", "Text Opacity:"},
    {"Background Opacity", "Background Opacity:"},
    {"Opacity", "Opacity:"},
    {"Boundary", "Boundary:"},
    {"Position", "Position:"},
    {"X-Offset", "X-Offset:"},
    {"Y-Offset", "Y-Offset:"},
    {"Size", "Size:"},
    {"Scale", "Scale:"},
    {"Filename Mask", "Filename Mask:"},
    {"File Timestamp", "File Timestamp:"},
    {"Custom Timestamp", "Custom Timestamp:"},
    {"Keep Subfolders", "Keep Subfolders:"},
    {"Title", "Preferences..."},
    {"Save window position", "Save Window's Coords:"},
    {"UI Theme", "Theme:"},
    {"UI Size", "Icon Size:"},
    {"Bytes", "bytes"},
    {"RGB8", "RGB 8-bit"},
    {"RGB16", "RGB 16-bit"},
    {"RGB24", "RGB 24-bit"},
    {"RGB48HS", "RGB 48-bit (HS)"},
    {"RGB48", "RGB 48-bit"},
    {"BGRA", "BGR 32-bit"},
    {"RGBA", "RGB 32-bit"},
    {"All Frames", "All"},
    {"First Frame", "First"},
    {"Middle Frame", "Middle"},
    {"Last Frame", "Last"},
    {"Random Frame", "Random"},
    {"Tone Mapping", "HDR Tone Mapping:"},
    {"PIZ", "PIZ Wavelet"},
    {"ZLIB1", "ZLib Level 1"},
    {"ZLIB6", "ZLib Level 6"},
    {"ZLIB9", "ZLib Level 9"},
    {"CCITTFAX3", "CCITT Group 3 Fax"},
    {"CCITTFAX4", "CCITT Group 4 Fax"},
    {"PACKBITS", "PackBits"},
    {"DEFLATE", "Deflate (ZLib)"},
    {"ADOBEDEFLATE", "Adobe Deflate"},
    {"LOGLUV", "LogLuv"},
    {"Simple Rotation", "Simple"},
    {"Advanced Rotation", "Advanced"},
    {"Pixels", "pixels"},
    {"Percent", "percent"},
    {"Keep Aspect Ratio", "Keep Proportions:"},
    {"Bspline", "B-Spline"},
    {"Catmullrom", "Catmull-Rom Spline"},
    {"Image Flip Horizontal", "Flip Horizontal:"},
    {"Image Flip Vertical", "Flip Vertical:"},
    {"Image Gamma", "Gamma Correction:"},
    {"Image Invert", "Invert Image:"},
    {"Image Greyscale", "Greyscale Image:"},
    {"Dither Algorithm", "Dithering Algorithm:"},
    {"FS", "Floyd and Steinberg error diffusion"},
    {"Bayer4", "Bayer ordered dot dithering 4x4"},
    {"Bayer8", "Bayer ordered dot dithering 8x8"},
    {"Bayer16", "Bayer ordered dot dithering 16x16"},
    {"Cluster6", "Clustered dot dithering 6x6"},
    {"Cluster8", "Clustered dot dithering 8x8"},
    {"Cluster16", "Clustered dot dithering 16x16"},
    {"Frame Type", "Frame:"},
    {"Frame Solid", "Solid Color"},
    {"Watermark Type", "Watermark:"},
    {"Watermark Text", "Text"},
    {"Watermark Image", "Image"},
    {"Points", "points"},
    {"Strikeout", "Strikethrough"},
    {"Align Left", "Left"},
    {"Align Center", "Center"},
    {"Align Right", "Right"},
    {"Bound Image", "Image"},
    {"Bound Frame", "Frame"},
    {"Out Folders History", "Output Folders History:"},
    {"Clean On Exit", "Clean on Exit"},
    {"Keep Folders", "Keep Recent"},
    {"Out Folders Number", "Output Folders Number:"},
    {"Txt", "TXT"},
    {"Txt Export", "Export to TXT"},
    {"Csv Export", "Export to CSV"},
    {"Csv", "CSV"},
    {"Csv Delimiter", "CSV Delimiter:"},
    {"Clean Recent Files", "Clean Recent Files List on Exit"},
    {"_GROUP_", "About"},
    {"Title", "About..."},
    {"Version", "Version:"},
    {"Website", "Web:"},
    {"Email", "E-mail:"},
    {"_GROUP_", "Custom-Converter"},
    {"Title", "Find a File Converter"},
    {"From", "From:"},
    {"To", "To:"},
    {"Search", "Search"},
    {"_GROUP_", "Uninstall"},
    {"Title", "Uninstall"},
    {"Uninstall Text", "Full Uninstall - Visit Uninstall Center"},
    {"Next", "Next"},
    {"_END_", ""},
};

struct GroupRecord {
    std::string name; // upper-cased
    int32_t first = 0;
    int32_t last = -1;
    // Position of the first sorted entry whose key starts with each byte; 0 for none.
    std::array<int32_t, 256> firstCharIndex{};
};

// Keys and texts are parallel and counted from 1; slot 0 of every array holds nothing.
struct Table {
    std::vector<GroupRecord> groups{1};
    std::vector<std::string> keys{1};
    std::vector<std::string> texts{1};
    size_t cachedGroup = 0;
};

Table& table() {
    static Table instance;
    return instance;
}

int32_t lastPosition(const std::vector<std::string>& keys) {
    return static_cast<int32_t>(keys.size()) - 1;
}

// Fills keys with "KEY SEP text" combinations, still unsorted, and the groups' ranges.
void fillFromBuiltIns(Table& result) {
    for (const TextPair& pair : k_builtInTexts) {
        const std::string key = base::upperCase(pair.key);
        if (key == k_endMarker) {
            break;
        }
        if (key == k_groupMarker) {
            result.groups.back().last = lastPosition(result.keys);
            GroupRecord group;
            group.name = base::upperCase(pair.text);
            group.first = lastPosition(result.keys) + 1;
            result.groups.push_back(std::move(group));
            continue;
        }
        result.keys.push_back(key + k_keyTextSeparator + std::string(pair.text));
    }
    result.groups.back().last = lastPosition(result.keys);
    result.texts.resize(result.keys.size());
}

void sortAndIndexGroup(Table& result, GroupRecord& group) {
    const auto begin = result.keys.begin() + group.first;
    const auto end = result.keys.begin() + group.last + 1;
    std::sort(begin, end); // std::string compares bytes as unsigned: ordinal order
    unsigned char previous = 0;
    for (int32_t j = group.first; j <= group.last; ++j) {
        std::string& combined = result.keys[j];
        const size_t separator = combined.find(k_keyTextSeparator);
        result.texts[j] = combined.substr(separator + 1);
        combined.resize(separator);
        const unsigned char code = combined.empty() ? 0 : static_cast<unsigned char>(combined[0]);
        if (code != previous) {
            group.firstCharIndex[code] = j;
            previous = code;
        }
    }
}

void applyTranslation(Table& result, const std::string& translationPath) {
    const std::optional<settings::SettingsFile> file =
        settings::SettingsFile::open(translationPath);
    if (!file) {
        return;
    }
    for (size_t g = 1; g < result.groups.size(); ++g) {
        const GroupRecord& group = result.groups[g];
        for (int32_t j = group.first; j <= group.last; ++j) {
            result.texts[j] = file->readText(group.name, result.keys[j], result.texts[j]);
        }
    }
}

size_t findGroup(const Table& current, const std::string& name) {
    for (size_t g = 1; g < current.groups.size(); ++g) {
        if (current.groups[g].name == name) {
            return g;
        }
    }
    return 0;
}

} // namespace

void loadStringTable(const std::string& translationPath) {
    Table built;
    fillFromBuiltIns(built);
    for (size_t g = 1; g < built.groups.size(); ++g) {
        sortAndIndexGroup(built, built.groups[g]);
    }
    if (!translationPath.empty()) {
        applyTranslation(built, translationPath);
    }
    table() = std::move(built);
}

std::string lookupText(std::string_view group, std::string_view key) {
    Table& current = table();
    const std::string wantedGroup = base::upperCase(group);
    const std::string wantedKey = base::upperCase(key);
    if (current.groups[current.cachedGroup].name != wantedGroup) {
        current.cachedGroup = findGroup(current, wantedGroup);
    }
    if (current.cachedGroup == 0 || wantedKey.empty()) {
        return std::string(k_noStringError);
    }
    const GroupRecord& record = current.groups[current.cachedGroup];
    const unsigned char code = static_cast<unsigned char>(wantedKey[0]);
    for (int32_t j = record.firstCharIndex[code]; j != 0 && j <= record.last; ++j) {
        if (wantedKey == current.keys[j]) {
            return current.texts[j];
        }
        if (wantedKey < current.keys[j]) {
            break;
        }
    }
    return std::string(k_noStringError);
}

std::vector<std::string> stringTableGroups() {
    const Table& current = table();
    std::vector<std::string> names;
    for (size_t g = 1; g < current.groups.size(); ++g) {
        names.push_back(current.groups[g].name);
    }
    return names;
}

std::vector<std::string> stringTableKeys(std::string_view group) {
    const Table& current = table();
    const size_t g = findGroup(current, base::upperCase(group));
    if (g == 0) {
        return {};
    }
    const GroupRecord& record = current.groups[g];
    return {current.keys.begin() + record.first, current.keys.begin() + record.last + 1};
}

} // namespace kx::settings
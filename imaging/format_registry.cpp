#include "imaging/format_registry.h"

#include <FreeImage.h>

#include <algorithm>
#include <array>
#include <charconv>

namespace kx::imaging {

namespace {

struct OutputRow {
    const char* key;
    FREE_IMAGE_FORMAT format;
    const char* description;
    const char* depths;
};

constexpr std::array k_outputRows{
    OutputRow{"bmp", FIF_BMP, "Windows or OS/2 Bitmap", "1,4,8,16,24,32"},
    OutputRow{"exr", FIF_EXR, "ILM OpenEXR", "96"},
    OutputRow{"gif", FIF_GIF, "Graphics Interchange Format", "8"},
    OutputRow{"hdr", FIF_HDR, "High Dynamic Range Image", "96"},
    OutputRow{"ico", FIF_ICO, "Windows Icon", "1,4,8,16,24,32"},
    OutputRow{"j2k", FIF_J2K, "JPEG-2000 Codestream", "8,24,32,48"},
    OutputRow{"jng", FIF_JNG, "JPEG Network Graphics", "24,32"},
    OutputRow{"jp2", FIF_JP2, "JPEG-2000 File Format", "8,24,32,48"},
    OutputRow{"jpg", FIF_JPEG, "JPEG File Format", "8,24"},
    OutputRow{"jxr", FIF_JXR, "JPEG XR Image Format", "1,8,16,24,32,48,96"},
    OutputRow{"pbm", FIF_PBM, "Portable Bitmap", "1"},
    OutputRow{"pfm", FIF_PFM, "Portable Floatmap", "96"},
    OutputRow{"pgm", FIF_PGM, "Portable Greymap", "8"},
    OutputRow{"png", FIF_PNG, "Portable Network Graphics", "1,4,8,24,32,48"},
    OutputRow{"ppm", FIF_PPM, "Portable Pixelmap", "24,48"},
    OutputRow{"tga", FIF_TARGA, "Truevision Targa", "8,16,24,32"},
    OutputRow{"tiff", FIF_TIFF, "Tagged Image File Format", "1,4,8,24,32,48,96"},
    OutputRow{"wbmp", FIF_WBMP, "Wireless Bitmap", "1"},
    OutputRow{"webp", FIF_WEBP, "Google WebP Image Format", "24,32"},
    OutputRow{"xpm", FIF_XPM, "X11 Pixmap Format", "24"},
};

struct InputRow {
    const char* family;
    const char* description;
    const char* extensions; // comma-separated
};

constexpr std::array k_inputRows{
    InputRow{"bmp", "Windows or OS/2 Bitmap", "bmp,rle,dib"},
    InputRow{"dds", "DirectDraw Surface File", "dds"},
    InputRow{"emf", "Enhanced Metafile Format", "emf,emz"},
    InputRow{"gif", "GIF File", "gif"},
    InputRow{"hdr", "High Dynamic Range File", "hdr,hdri"},
    InputRow{"ico", "Windows Icon", "ico"},
    InputRow{"jpg", "JPEG File", "jpg,jpeg,jpe,jif"},
    InputRow{"pcd", "Kodak PhotoCD File", "pcd,pcd1,pcds,ppcd"},
    InputRow{"pcx", "ZSoft Paintbrush File", "pcx"},
    InputRow{"pic", "Macintosh PICT", "pic,pict,pct"},
    InputRow{"png", "Portable Network Graphics", "png"},
    InputRow{"psd", "Adobe Photoshop File", "psd"},
    InputRow{"tga", "Truevision Targa", "tga,targa"},
    InputRow{"tiff", "Tagged Image File Format", "tiff,tif"},
    InputRow{"wmf", "Windows Metafile Format", "wmf,wmz"},
    InputRow{"wmf", "Aldus Placeable Metafile", "apm"},
    InputRow{"raw", "Camera RAW Image", "raw,raw1,raw2"},
    InputRow{"raw", "Hasselblad Camera RAW Image", "3fr"},
    InputRow{"raw", "Sony Camera RAW Image", "arw,sr2,srf"},
    InputRow{"raw", "Casio Camera RAW Image", "bay"},
    InputRow{"raw", "NuCore RAW Image", "bmq"},
    InputRow{"raw", "Phase One Camera RAW Image", "cap,iiq,eip"},
    InputRow{"raw", "Phantom RAW Image", "cine"},
    InputRow{"raw", "Canon Camera RAW Image", "cr2,crw"},
    InputRow{"raw", "Capture Shop RAW Image", "cs1"},
    InputRow{"raw", "Kodak Camera RAW Image", "dc2,dcr,drf,dsc,k25,kc2,kdc,dcs"},
    InputRow{"raw", "Adobe Digital Negative Image", "dng"},
    InputRow{"raw", "Epson Camera RAW Image", "erf"},
    InputRow{"raw", "Imacon Camera RAW Image", "fff"},
    InputRow{"raw", "Sinar RAW Image", "ia,sti"},
    InputRow{"raw", "Minolta Camera RAW Image", "mdc,mrw"},
    InputRow{"raw", "Mamiya Camera RAW Image", "mef,mos"},
    InputRow{"raw", "Nikon Camera RAW Image", "nef,nrw"},
    InputRow{"raw", "Olympus Camera RAW Image", "orf"},
    InputRow{"raw", "Pentax Camera RAW Image", "pef,ptx"},
    InputRow{"raw", "Logitech Camera RAW Image", "pxn"},
    InputRow{"raw", "Apple Quicktake Camera RAW Image", "qtk"},
    InputRow{"raw", "Fuji Camera RAW Image", "raf"},
    InputRow{"raw", "Digital Foto Maker RAW Image", "rdc"},
    InputRow{"raw", "Panasonic Camera RAW Image", "rw2"},
    InputRow{"raw", "Rawzor Camera RAW Image", "rwz"},
    InputRow{"raw", "Sigma Camera RAW Image", "x3f"},
    InputRow{"raw", "ARRI RAW Image", "ari"},
    InputRow{"raw", "RED RAW Image", "r3d"},
    InputRow{"raw", "Leica Camera RAW Image", "rwl"},
};

std::vector<std::string_view> splitAtComma(std::string_view text) {
    std::vector<std::string_view> parts;
    while (!text.empty()) {
        const auto comma = text.find(',');
        parts.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return parts;
}

const OutputRow* findOutputRow(std::string_view key) {
    const auto it = std::find_if(k_outputRows.begin(), k_outputRows.end(),
                                 [&](const OutputRow& row) { return row.key == key; });
    return it == k_outputRows.end() ? nullptr : &*it;
}

} // namespace

std::optional<OutputFormat> findOutputFormat(std::string_view key) {
    const OutputRow* row = findOutputRow(key);
    if (!row)
        return std::nullopt;
    return OutputFormat{row->format, row->key, row->description, row->depths};
}

const std::vector<std::string>& outputFormatKeys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> all;
        for (const OutputRow& row : k_outputRows)
            all.emplace_back(row.key);
        return all;
    }();
    return keys;
}

std::optional<InputExtension> findInputExtension(std::string_view extension) {
    for (const InputRow& row : k_inputRows) {
        for (std::string_view candidate : splitAtComma(row.extensions)) {
            if (candidate == extension)
                return InputExtension{row.family, row.description};
        }
    }
    return std::nullopt;
}

std::string acceptedInputExtensions(const std::vector<std::string>& inputFormats) {
    std::string joined;
    for (const std::string& family : inputFormats) {
        for (const InputRow& row : k_inputRows) {
            if (row.family != family)
                continue;
            for (std::string_view extension : splitAtComma(row.extensions)) {
                joined += extension;
                joined += ',';
            }
        }
    }
    if (!joined.empty())
        joined.pop_back();
    return joined;
}

std::vector<int> allowedDepths(std::string_view key) {
    std::vector<int> depths;
    if (const OutputRow* row = findOutputRow(key)) {
        for (std::string_view part : splitAtComma(row->depths)) {
            int value = 0;
            std::from_chars(part.data(), part.data() + part.size(), value);
            depths.push_back(value);
        }
    }
    return depths;
}

int nearestAllowedDepth(std::string_view key, int requested) {
    const std::vector<int> depths = allowedDepths(key);
    for (int depth : depths) {
        if (depth >= requested)
            return depth;
    }
    return depths.empty() ? 0 : depths.back();
}

} // namespace kx::imaging
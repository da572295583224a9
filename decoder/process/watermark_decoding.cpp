#include "decoder/process/watermark_decoding.h"

#include "base/byte_order.h"
#include "decoder/process/decode_bounds.h"
#include "decoder/tiff/decode_diagnostics.h"
#include "decoder/tiff/loading.h"
#include "imaging/bitmap.h"
#include "imaging/canvas_limits.h"
#include "imaging/standard_type.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fstream>
#include <memory>
#include <optional>

namespace kx::decoder {

namespace {

int loadFlags(FREE_IMAGE_FORMAT format) {
    switch (format) {
    case FIF_ICO:
        return ICO_MAKEALPHA;
    case FIF_JPEG:
        return JPEG_ACCURATE;
    default:
        return 0;
    }
}

// What a file's header says about the image, where FreeImage cannot say it without decoding.
struct DeclaredImage {
    uint64_t width = 0;
    uint64_t height = 0;
    uint64_t leastData = 0; // bytes the image's data takes at the least, however it is stored
};

using base::readUnsigned;

// The image a DDS or PSD header declares; nullopt for other formats, and for a header too
// short to hold it. The least data is that of the tightest storage the format has: blocks of
// 4 x 4 pixels in 8 bytes for DDS, a 2-byte count for each row of each channel for PSD.
std::optional<DeclaredImage> declaredImage(FREE_IMAGE_FORMAT format, const unsigned char* header,
                                           size_t size) {
    if (format == FIF_DDS && size >= 20) {
        const DeclaredImage dds{readUnsigned(header + 16, 4, false),
                                readUnsigned(header + 12, 4, false)};
        return DeclaredImage{dds.width, dds.height,
                             128 + (dds.width + 3) / 4 * ((dds.height + 3) / 4) * 8};
    }
    if (format == FIF_PSD && size >= 26) {
        const uint64_t channels = readUnsigned(header + 12, 2, true);
        const uint64_t height = readUnsigned(header + 14, 4, true);
        return DeclaredImage{readUnsigned(header + 18, 4, true), height,
                             26 + channels * height * 2};
    }
    return std::nullopt;
}

// Why the image must not be decoded, judged by its header alone: larger than a watermark may
// be, or promising more data than the file holds (a damaged file FreeImage would go on to
// allocate for, then draw from memory that holds no picture). Empty otherwise.
std::string headerProblem(FREE_IMAGE_FORMAT format, const std::string& path) {
    unsigned char header[32] = {};
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const auto fileSize = static_cast<uint64_t>(std::max<std::streamoff>(in.tellg(), 0));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(header), sizeof header);
    const std::optional<DeclaredImage> declared =
        declaredImage(format, header, static_cast<size_t>(in.gcount()));
    if (!declared)
        return {};
    if (!imaging::canvasSizeAllowed(
            static_cast<int64_t>(std::min<uint64_t>(declared->width, INT32_MAX)),
            static_cast<int64_t>(std::min<uint64_t>(declared->height, INT32_MAX))))
        return "the image is too large for a watermark";
    if (fileSize < declared->leastData)
        return "the file holds less than its header promises";
    return {};
}

// A TIFF image decodes as a page of a converted TIFF does, with libtiff.
imaging::Bitmap decodeFirstTiffPage(const std::string& path, std::string& why) {
    const std::unique_ptr<imaging::PageSource> pages = openPagesInProcess(path);
    if (!pages) {
        why = "no page of the TIFF can be read";
        return nullptr;
    }
    imaging::PageInfo info;
    imaging::Bitmap page = pages->loadPage(0, info);
    why = info.problem;
    if (!why.empty())
        return nullptr;
    if (!page)
        why = "the image could not be decoded";
    return page;
}

imaging::Bitmap decodeOther(FREE_IMAGE_FORMAT format, const std::string& path,
                            DecodeDiagnostics& diagnostics, std::string& why) {
    errno = 0; // a failed allocation from here on is the image's
    imaging::Bitmap image(FreeImage_Load(format, path.c_str(), loadFlags(format)));
    if (image && FreeImage_HasPixels(image.get()))
        return image;
    why = memoryBoundProblem("image");
    if (why.empty())
        why = diagnostics.takeRefusal();
    if (why.empty())
        why = "the image could not be decoded";
    return nullptr;
}

} // namespace

imaging::Bitmap decodeWatermarkImage(const std::string& path, std::string& why) {
    installDecodeDiagnostics();
    DecodeDiagnostics diagnostics;
    FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
    if (format == FIF_UNKNOWN)
        format = FreeImage_GetFIFFromFilename(path.c_str());
    if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format)) {
        why = "not an image FreeImage can read";
        return nullptr;
    }
    if (why = headerProblem(format, path); !why.empty())
        return nullptr;
    if (FreeImage_FIFSupportsNoPixels(format)) {
        const imaging::Bitmap header(FreeImage_Load(format, path.c_str(), FIF_LOAD_NOPIXELS));
        if (header && !imaging::canvasSizeAllowed(FreeImage_GetWidth(header.get()),
                                                  FreeImage_GetHeight(header.get()))) {
            why = "the image is too large for a watermark";
            return nullptr;
        }
    }
    imaging::Bitmap image = format == FIF_TIFF ? decodeFirstTiffPage(path, why)
                                               : decodeOther(format, path, diagnostics, why);
    if (!image)
        return nullptr;
    if (!imaging::canvasSizeAllowed(FreeImage_GetWidth(image.get()),
                                    FreeImage_GetHeight(image.get()))) {
        why = "the image is too large for a watermark";
        return nullptr;
    }
    // A standard bitmap, which the drawing side converts to 32 bits itself.
    image = imaging::standardizePage(std::move(image));
    if (!image)
        why = "the image has a pixel type that cannot be drawn";
    return image;
}

} // namespace kx::decoder
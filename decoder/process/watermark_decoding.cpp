#include "decoder/process/watermark_decoding.h"

#include "decoder/process/decode_bounds.h"
#include "decoder/tiff/decode_diagnostics.h"
#include "decoder/tiff/loading.h"
#include "imaging/bitmap.h"
#include "imaging/canvas_limits.h"
#include "imaging/standard_type.h"

#include <cerrno>
#include <memory>

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
#include "imaging/bitmap.h"

// Writes a small picture in every format FreeImage can write, for fuzz/bounded-decodes to
// mutate: a 24-bit colour image, a float one for the high-dynamic-range formats, and grey or
// bilevel where a format takes nothing else. Usage: make_watermark_images FOLDER

#include <cstdio>
#include <string>

namespace {

using kx::imaging::Bitmap;

Bitmap colourImage() {
    Bitmap image(FreeImage_Allocate(23, 17, 24));
    for (unsigned y = 0; y < 17; ++y) {
        BYTE* row = FreeImage_GetScanLine(image.get(), static_cast<int>(y));
        for (unsigned x = 0; x < 23; ++x) {
            row[3 * x] = static_cast<BYTE>(x * 11);
            row[3 * x + 1] = static_cast<BYTE>(y * 15);
            row[3 * x + 2] = static_cast<BYTE>((x ^ y) * 9);
        }
    }
    return image;
}

// The image in a form `format` writes, or null when it writes none of those tried.
Bitmap writable(FREE_IMAGE_FORMAT format, FIBITMAP* colour) {
    if (FreeImage_FIFSupportsExportType(format, FIT_RGBF) &&
        !FreeImage_FIFSupportsExportBPP(format, 24))
        return Bitmap(FreeImage_ConvertToRGBF(colour));
    for (const int bpp : {24, 8, 1}) {
        if (!FreeImage_FIFSupportsExportBPP(format, bpp))
            continue;
        if (bpp == 24)
            return Bitmap(FreeImage_Clone(colour));
        return Bitmap(bpp == 8 ? FreeImage_ConvertToGreyscale(colour)
                               : FreeImage_Threshold(colour, 128));
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_watermark_images FOLDER\n");
        return 2;
    }
    const Bitmap colour = colourImage();
    for (int index = 0; index < FreeImage_GetFIFCount(); ++index) {
        const auto format = static_cast<FREE_IMAGE_FORMAT>(index);
        if (!FreeImage_FIFSupportsWriting(format) || !FreeImage_FIFSupportsReading(format))
            continue;
        const Bitmap image = writable(format, colour.get());
        const std::string path =
            std::string(argv[1]) + "/seed." + FreeImage_GetFormatFromFIF(format) + "." +
            std::string(FreeImage_GetFIFExtensionList(format))
                .substr(0, std::string(FreeImage_GetFIFExtensionList(format)).find(','));
        if (!image || !FreeImage_Save(format, image.get(), path.c_str(), 0))
            std::fprintf(stderr, "not written: %s\n", FreeImage_GetFormatFromFIF(format));
    }
    return 0;
}

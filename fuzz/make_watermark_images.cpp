#include "imaging/bitmap.h"

// Writes a small picture in every format FreeImage can write, for fuzz/bounded-decodes to
// mutate: a 24-bit colour image, a float one for the high-dynamic-range formats, and grey or
// bilevel where a format takes nothing else. Usage: make_watermark_images FOLDER

#include <cstdio>
#include <string>
#include <vector>

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

// The image in the forms a format may write, most colourful first.
std::vector<Bitmap> forms(FIBITMAP* colour) {
    std::vector<Bitmap> made;
    made.emplace_back(FreeImage_ConvertTo32Bits(colour));
    made.emplace_back(FreeImage_Clone(colour));
    made.emplace_back(FreeImage_ConvertToGreyscale(colour));
    made.emplace_back(FreeImage_Threshold(colour, 128));
    made.emplace_back(FreeImage_ConvertToRGBF(colour));
    return made;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_watermark_images FOLDER\n");
        return 2;
    }
    const Bitmap colour = colourImage();
    const std::vector<Bitmap> images = forms(colour.get());
    for (int index = 0; index < FreeImage_GetFIFCount(); ++index) {
        const auto format = static_cast<FREE_IMAGE_FORMAT>(index);
        if (!FreeImage_FIFSupportsWriting(format) || !FreeImage_FIFSupportsReading(format))
            continue;
        const std::string extensions = FreeImage_GetFIFExtensionList(format);
        const std::string path = std::string(argv[1]) + "/seed." +
                                 FreeImage_GetFormatFromFIF(format) + "." +
                                 extensions.substr(0, extensions.find(','));
        bool written = false;
        for (const Bitmap& image : images)
            written = written || FreeImage_Save(format, image.get(), path.c_str(), 0);
        if (!written) {
            std::remove(path.c_str());
            std::fprintf(stderr, "not written: %s\n", FreeImage_GetFormatFromFIF(format));
        }
    }
    return 0;
}

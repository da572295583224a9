#include "decoder/client/contained_decoder.h"
#include "drawing/canvas.h"
#include "fuzz/scratch_file.h"
#include "imaging/bitmap.h"

// Feeds arbitrary files to the watermark loader: the image is decoded in a decoder process and
// handed over, then turned into the picture that is drawn on every page. A decoder that
// crashes on a damaged file only refuses the image; anything that goes wrong on the program's
// side (the hand-over, the conversion for drawing) is a finding.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = scratchFile("watermark-fuzz");
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    std::string problem;
    const kx::imaging::Bitmap image = kx::decoder::decodeImageContained(path, problem);
    if (!image && problem.empty())
        std::abort(); // a refusal always says why
    const QImage picture = kx::drawing::toQImage(image.get());
    if (image && !picture.isNull() &&
        (picture.width() != static_cast<int>(FreeImage_GetWidth(image.get())) ||
         picture.height() != static_cast<int>(FreeImage_GetHeight(image.get()))))
        std::abort();
    return 0;
}

#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kx::test {

// One page of a TIFF file made by a test: rows of packed samples, top row first. Samples of 16,
// 24, 32 and 64 bits are in this machine's byte order (libtiff swaps them for a big-endian file);
// narrower ones are packed from the most significant bit, as TIFF stores them.
struct TiffPage {
    int width = 0;
    int height = 0;
    int samplesPerPixel = 3;
    int bitsPerSample = 8;
    int photometric = 2;            // PHOTOMETRIC_RGB
    int compression = 1;            // COMPRESSION_NONE
    int sampleFormat = 1;           // SAMPLEFORMAT_UINT
    std::vector<uint8_t> data;      // height rows of ceil(width * spp * bps / 8) bytes
    std::vector<uint16_t> colormap; // 3 * 2^bps entries for palette pages
    float xResolution = 72;
    float yResolution = 72;
    int resolutionUnit = 2; // inches
    // ExtraSamples of the samples beyond the photometric's colours (EXTRASAMPLE_UNASSALPHA);
    // -1: none
    int extraSample = 2;
    bool samplesPerPixelTag = true; // false leaves SamplesPerPixel out, as some writers do
    int tileSize = 0;               // tiles of this many pixels square; 0 writes one strip
    uint64_t exifOffset = 0;        // an EXIF directory pointer, which need not point anywhere
    int orientation = 0;            // the Orientation tag; 0 leaves it out
    // Separate planes (2): `data` holds samplesPerPixel planes one after another, each height
    // rows of ceil(width * bps / 8) bytes.
    int planarConfig = 1;
    int predictor = 0;    // the Predictor tag; 0 leaves it out
    int rowsPerStrip = 0; // 0: the whole page in one strip
    std::vector<uint16_t>
        extraSamples;     // when not empty, the ExtraSamples tag instead of extraSample
    int subfileType = -1; // NewSubfileType; -1: a page of a multi-page file
    int inkSet = 0;       // the InkSet tag of separated pages; 0 leaves it out
    // YCbCr subsampling; with it `data` is one strip already packed in subsampled units.
    int ycbcrHorizontal = 0;
    int ycbcrVertical = 0;
    // JPEG quality. A JPEG YCbCr page takes RGB samples in `data`, which libtiff converts.
    int jpegQuality = 0;
    int faxOptions = -1;             // Group3Options of a CCITT G3 page; -1 leaves it out
    std::vector<TiffPage> subImages; // written as SubIFDs after the page (thumbnails)
};

// Writes a (multi-page) TIFF through libtiff. `mode` is libtiff's open mode: "w" writes this
// machine's byte order, "wb" big-endian, "wl" little-endian, with "8" added a BigTIFF. Returns
// false when libtiff refuses.
bool writeTiff(const std::string& path, const std::vector<TiffPage>& pages, const char* mode = "w");

// Overwrites the single SHORT or LONG value of tag `tag` in the first directory of the
// little-endian TIFF at `path`, bypassing libtiff's checks so that values it refuses to write
// can be tested. False when the file or the tag is missing, or the value does not fit.
bool patchTag(const std::string& path, uint16_t tag, uint32_t value);

// Overwrites up to `length` bytes from the middle of strip `strip` of the first page of the
// TIFF at `path` with zeros. False when the file or the strip is missing.
bool damageStrip(const std::string& path, uint32_t strip, uint64_t length);

struct Rgb {
    uint8_t r, g, b;
};

// An 8-bit RGB page whose pixel (x, y) is `colour(x, y)`.
TiffPage rgbPage(int width, int height, const std::function<Rgb(int, int)>& colour);

// An 8-bit min-is-black grey page whose pixel (x, y) is `grey(x, y)`.
TiffPage greyPage(int width, int height, const std::function<uint8_t(int, int)>& grey);

// A 1-bit min-is-black page; `set(x, y)` true means white.
TiffPage bilevelPage(int width, int height, const std::function<bool(int, int)>& set);

// A 16-bit min-is-black grey page.
TiffPage grey16Page(int width, int height, const std::function<uint16_t(int, int)>& grey);

// An 8-bit palette page with `colours` entries (the rest black); pixel values from `index`.
TiffPage palettePage(int width, int height, const std::vector<Rgb>& colours,
                     const std::function<uint8_t(int, int)>& index);

// An 8-bit RGBA page with a float CMYK thumbnail in a SubIFD: a reader that loads the thumbnail
// along with the page may trip over it.
TiffPage pageWithFloatCmykThumbnail();

// A page the test decoder (crashingDecoderPath) aborts on, as if it crashed decoding it.
TiffPage crashingPage();

// The decoder program built for tests that aborts as it starts a crashingPage().
std::string crashingDecoderPath();

// A colourful test pattern that makes position mistakes visible.
Rgb patternColour(int x, int y);

} // namespace kx::test

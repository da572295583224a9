#pragma once

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kx::test {

struct FreeImageDeleter {
    void operator()(FIBITMAP* bitmap) const {
        if (bitmap)
            FreeImage_Unload(bitmap);
    }
};
using TestBitmap = std::unique_ptr<FIBITMAP, FreeImageDeleter>;

// Loads any image FreeImage knows (first page of a TIFF); null when it cannot.
TestBitmap loadImage(const std::string& path);

// RGBA of pixel (x, y), counting rows from the top, whatever the bitmap's depth.
struct Rgba {
    int r, g, b, a;
};
Rgba pixelAt(FIBITMAP* bitmap, int x, int y);

// Compares two images pixel by pixel after bringing both to 32 bits. Passes when the sizes
// agree and no channel, alpha included, differs by more than `maxDelta`; otherwise names the first
// differing pixel (top-left origin).
::testing::AssertionResult imagesMatch(FIBITMAP* actual, FIBITMAP* expected, int maxDelta = 0);

// The largest difference of any channel, alpha included, between two images of the same size
// brought to 32 bits; -1 when the sizes differ or an image cannot be converted.
int largestDifference(FIBITMAP* actual, FIBITMAP* expected);

} // namespace kx::test

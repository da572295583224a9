#include "tests/support/image_compare.h"

#include <algorithm>
#include <cstdlib>

namespace kx::test {

TestBitmap loadImage(const std::string& path) {
    const FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
    if (format == FIF_UNKNOWN)
        return nullptr;
    return TestBitmap(FreeImage_Load(format, path.c_str(), 0));
}

Rgba pixelAt(FIBITMAP* bitmap, int x, int y) {
    TestBitmap rgba(FreeImage_ConvertTo32Bits(bitmap));
    if (!rgba)
        return {-1, -1, -1, -1};
    const int row = static_cast<int>(FreeImage_GetHeight(rgba.get())) - 1 - y;
    const BYTE* bits = FreeImage_GetScanLine(rgba.get(), row) + 4 * x;
    return {bits[FI_RGBA_RED], bits[FI_RGBA_GREEN], bits[FI_RGBA_BLUE], bits[FI_RGBA_ALPHA]};
}

::testing::AssertionResult imagesMatch(FIBITMAP* actual, FIBITMAP* expected, int maxDelta) {
    if (!actual || !expected)
        return ::testing::AssertionFailure()
               << (actual ? "expected" : "actual") << " image is null";
    const unsigned width = FreeImage_GetWidth(actual);
    const unsigned height = FreeImage_GetHeight(actual);
    if (width != FreeImage_GetWidth(expected) || height != FreeImage_GetHeight(expected))
        return ::testing::AssertionFailure()
               << "size " << width << "x" << height << " differs from expected "
               << FreeImage_GetWidth(expected) << "x" << FreeImage_GetHeight(expected);
    TestBitmap a(FreeImage_ConvertTo32Bits(actual));
    TestBitmap e(FreeImage_ConvertTo32Bits(expected));
    if (!a || !e)
        return ::testing::AssertionFailure() << "cannot convert to 32 bits";
    for (unsigned row = 0; row < height; ++row) {
        const BYTE* pa = FreeImage_GetScanLine(a.get(), row);
        const BYTE* pe = FreeImage_GetScanLine(e.get(), row);
        for (unsigned x = 0; x < width; ++x) {
            for (int c = 0; c < 4; ++c) {
                if (std::abs(pa[4 * x + c] - pe[4 * x + c]) > maxDelta) {
                    const unsigned y = height - 1 - row;
                    const Rgba got = pixelAt(actual, x, y);
                    const Rgba want = pixelAt(expected, x, y);
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << ", " << y << ") is " << got.r << "," << got.g << ","
                           << got.b << "," << got.a << " but expected " << want.r << "," << want.g
                           << "," << want.b << "," << want.a << " (tolerance " << maxDelta << ")";
                }
            }
        }
    }
    return ::testing::AssertionSuccess();
}

namespace {

// FreeImage brings 16-bit grey to 32 bits only by way of 8-bit grey.
TestBitmap to32Bits(FIBITMAP* bitmap) {
    if (FreeImage_GetImageType(bitmap) != FIT_UINT16)
        return TestBitmap(FreeImage_ConvertTo32Bits(bitmap));
    const TestBitmap grey(FreeImage_ConvertTo8Bits(bitmap));
    return TestBitmap(grey ? FreeImage_ConvertTo32Bits(grey.get()) : nullptr);
}

} // namespace

int largestDifference(FIBITMAP* actual, FIBITMAP* expected) {
    const unsigned width = FreeImage_GetWidth(actual);
    const unsigned height = FreeImage_GetHeight(actual);
    if (width != FreeImage_GetWidth(expected) || height != FreeImage_GetHeight(expected))
        return -1;
    const TestBitmap a = to32Bits(actual);
    const TestBitmap e = to32Bits(expected);
    if (!a || !e)
        return -1;
    int largest = 0;
    for (unsigned row = 0; row < height; ++row) {
        const BYTE* pa = FreeImage_GetScanLine(a.get(), row);
        const BYTE* pe = FreeImage_GetScanLine(e.get(), row);
        for (unsigned i = 0; i < 4 * width; ++i)
            largest = std::max(largest, std::abs(pa[i] - pe[i]));
    }
    return largest;
}

} // namespace kx::test

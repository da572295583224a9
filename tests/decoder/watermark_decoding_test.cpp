#include "decoder/process/watermark_decoding.h"
#include "imaging/bitmap.h"
#include "tests/support/image_compare.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiff_writer.h"

#include <gtest/gtest.h>

namespace kx::decoder {
namespace {

// FreeImage's own TIFF reader aborts on a bilevel page in separate planes; a TIFF watermark is
// read as a converted page is, so it decodes as its one-plane twin does.
TEST(WatermarkDecodingTest, TiffImageDecodesAsAPageDoes) {
    test::TempDir dir;
    test::TiffPage page = test::bilevelPage(9, 5, [](int x, int y) { return (x + y) % 3 == 0; });
    ASSERT_TRUE(test::writeTiff(dir.file("contiguous.tif"), {page}));
    page.planarConfig = 2;
    ASSERT_TRUE(test::writeTiff(dir.file("planes.tif"), {page}));
    std::string why;
    const imaging::Bitmap contiguous = decodeWatermarkImage(dir.file("contiguous.tif"), why);
    ASSERT_TRUE(contiguous) << why;
    const imaging::Bitmap planes = decodeWatermarkImage(dir.file("planes.tif"), why);
    ASSERT_TRUE(planes) << why;
    EXPECT_TRUE(test::imagesMatch(contiguous.get(), planes.get(), 0));
}

} // namespace
} // namespace kx::decoder

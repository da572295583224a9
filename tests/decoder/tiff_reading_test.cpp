#include "decoder/tiff/tiff_reading.h"

#include "tests/support/temp_dir.h"
#include "tests/support/tiff_writer.h"

#include <gtest/gtest.h>

#include <tiffio.h>

#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace kx::decoder {
namespace {

using test::TempDir;

// Reads through the buffer return the file's bytes whatever the order: pages' strips are read
// from the last, chains hop forward a few bytes at a time, and pieces straddle the buffer's
// edges and the end of the file.
TEST(TiffReadingTest, ReadsInAnyOrderGiveTheFilesBytes) {
    TempDir dir;
    const std::string path = dir.file("page.tif");
    ASSERT_TRUE(test::writeTiff(path, {test::rgbPage(300, 200, test::patternColour)}));
    const std::string bytes = test::readFile(path);
    TIFF* tiff = openBufferedTiff(path);
    ASSERT_NE(tiff, nullptr);
    const uint64_t size = bytes.size();
    ASSERT_EQ(bufferedTiffSize(tiff), size);

    struct Read {
        uint64_t offset;
        size_t size;
    };
    std::vector<Read> reads;
    for (uint64_t at = size - 900; at > 900; at -= 900) // backwards, strip by strip
        reads.push_back({at, 900});
    for (uint64_t at = size - 8; at > 5; at -= 5) // backwards, a link at a time
        reads.push_back({at, 8});
    for (uint64_t at = 3; at + 8 < size; at += 12'500) // forwards, a link at a time
        reads.push_back({at, 2}), reads.push_back({at + 6, 8});
    std::minstd_rand random(7); // and at random, in every size from a link to past a strip
    for (int i = 0; i < 3000; ++i) {
        const size_t sizes[] = {2, 4, 8, 12, 900, 4095, 5000};
        reads.push_back({random() % (size + 10), sizes[random() % std::size(sizes)]});
    }
    for (const Read edge : {Read{4090, 20}, Read{16'380, 10}, Read{0, 4095}, Read{size - 5, 20},
                            Read{size, 4}, Read{size + 100, 4}, Read{8'000, 5000}})
        reads.push_back(edge);

    for (const Read& read : reads) {
        SCOPED_TRACE(std::to_string(read.offset) + "+" + std::to_string(read.size));
        std::string got(read.size, '\0');
        got.resize(readBufferedTiff(tiff, read.offset, got.data(), read.size));
        EXPECT_EQ(got, read.offset < size ? bytes.substr(read.offset, read.size) : "");
    }
    TIFFClose(tiff);
}

} // namespace
} // namespace kx::decoder

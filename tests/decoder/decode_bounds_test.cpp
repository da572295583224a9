#include "decoder/client/contained_decoder.h"
#include "decoder/process/decode_bounds.h"
#include "imaging/bitmap.h"
#include "imaging/page_source.h"
#include "tests/support/run_processes.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

// Damaged files made here that once kept a decoder busy for minutes or growing for gigabytes.

namespace kx::decoder {
namespace {

using test::TempDir;

void put32(std::string& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes += static_cast<char>(value >> shift);
}

// A PICT that FreeImage's reader walks forever: nothing but zeros.
std::string loopingPict() {
    return std::string(328, '\0');
}

// An uncompressed 32-bit DDS whose header claims 1024 x 4194304 pixels (16 GB), over 999 bytes.
std::string ddsOfHugeHeight() {
    std::string bytes = "DDS ";
    for (const uint32_t value : {124u, 0x1007u, 4194304u, 1024u, 4096u, 0u, 0u})
        put32(bytes, value);
    bytes += std::string(44, '\0');
    for (const uint32_t value :
         {32u, 0x41u, 0u, 32u, 0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u, 0x1000u, 0u, 0u, 0u, 0u})
        put32(bytes, value);
    return bytes + std::string(999 - bytes.size(), '\0');
}

void put16be(std::string& bytes, uint32_t value) {
    bytes += static_cast<char>(value >> 8);
    bytes += static_cast<char>(value);
}

void put32be(std::string& bytes, uint32_t value) {
    put16be(bytes, value >> 16);
    put16be(bytes, value & 0xFFFF);
}

// A DDS of `width` x `height` 32-bit pixels of which the file holds 999 bytes.
std::string shortDds(uint32_t width, uint32_t height) {
    std::string bytes = ddsOfHugeHeight();
    bytes.replace(12, 8, std::string(8, '\0'));
    std::string size;
    put32(size, height);
    put32(size, width);
    return bytes.replace(12, 8, size);
}

// A PSD header of 8000 x 8000 8-bit RGB pixels in `channels` channels, run-length coded, then
// `dataBytes` of zeros.
std::string manyChannelPsd(uint32_t channels, size_t dataBytes) {
    std::string bytes = "8BPS";
    put16be(bytes, 1);
    bytes += std::string(6, '\0');
    put16be(bytes, channels);
    put32be(bytes, 8000);
    put32be(bytes, 8000);
    put16be(bytes, 8);
    put16be(bytes, 3);
    for (int section = 0; section < 3; ++section)
        put32be(bytes, 0); // no colour data, image resources, layers
    put16be(bytes, 1);     // RLE
    return bytes + std::string(dataBytes, '\0');
}

// A little-endian TIFF of one 8-bit grey page claiming `side` x `side` pixels, its 63 bytes of
// data far short of that; with `cut`, the last byte of the next-directory offset is missing, so
// that libtiff counts no page in it.
std::string claimingTiff(uint32_t side, bool cut) {
    const std::string data(63, '\0');
    std::string bytes("II*\0", 4);
    put32(bytes, static_cast<uint32_t>(8 + data.size()));
    bytes += data;
    const uint32_t entries[][3] = {{256, 4, side}, {257, 4, side}, {258, 3, 8},
                                   {259, 3, 1},    {262, 3, 1},    {273, 4, 8},
                                   {277, 3, 1},    {278, 4, side}, {279, 4, 63}};
    bytes += static_cast<char>(std::size(entries));
    bytes += '\0';
    for (const auto& [tag, type, value] : entries) {
        bytes += {static_cast<char>(tag & 0xFF), static_cast<char>(tag >> 8),
                  static_cast<char>(type), '\0'};
        put32(bytes, 1);
        put32(bytes, value);
    }
    put32(bytes, 0);
    return cut ? bytes.substr(0, bytes.size() - 1) : bytes;
}

struct DamagedWatermark {
    const char* name;
    std::string bytes;
    const char* reason;
};

TEST(DecodeBoundsTest, DamagedWatermarksFailQuicklySayingWhy) {
    TempDir dir;
    const DamagedWatermark cases[] = {
        {"loop.pct", loopingPict(), "the decoder went past its bound of processor time"},
        {"huge.dds", ddsOfHugeHeight(), "the image is too large for a watermark"},
        {"short.dds", shortDds(8000, 8000), "the file holds less than its header promises"},
        {"short.psd", manyChannelPsd(56, 514), "the file holds less than its header promises"},
    };
    for (const DamagedWatermark& c : cases) {
        test::writeFile(dir.file(c.name), c.bytes);
        std::string why;
        EXPECT_FALSE(decodeImageContained(dir.file(c.name), why)) << c.name;
        EXPECT_EQ(why, c.reason) << c.name;
    }
}

TEST(DecodeBoundsTest, PageClaimingMoreThanMemoryIsRefusedWhetherItsChainIsCutOrNot) {
    TempDir dir;
    for (const bool cut : {false, true}) {
        const std::string path = dir.file(cut ? "cut.tif" : "whole.tif");
        test::writeFile(path, claimingTiff(60000, cut));
        const std::unique_ptr<imaging::PageSource> pages = openPagesContained(path);
        ASSERT_NE(pages, nullptr) << path;
        imaging::PageInfo info;
        EXPECT_EQ(pages->loadPage(0, info), nullptr) << path;
        EXPECT_EQ(info.problem.rfind("the page ", 0), 0u) << path << ": " << info.problem;
    }
}

TEST(DecodeBoundsTest, StartedDecoderEndsWithItsProgram) {
    TempDir dir;
    test::writeFile(dir.file("loop.pct"), loopingPict());
    test::adoptOrphans();
    // A program of its own, starting its decoder from the decoder program, as the window does.
    const pid_t program = fork();
    ASSERT_GE(program, 0);
    if (program == 0) {
        std::string why;
        decodeImageContained(dir.file("loop.pct"), why);
        _exit(0);
    }
    std::vector<pid_t> decoders;
    while (decoders.empty() && waitpid(program, nullptr, WNOHANG) == 0) {
        usleep(20'000);
        decoders = test::childrenOf(program);
    }
    kill(program, SIGKILL);
    waitpid(program, nullptr, 0);
    ASSERT_FALSE(decoders.empty()) << "the decoder was started";
    EXPECT_TRUE(test::survivors(decoders, 60).empty());
}

} // namespace
} // namespace kx::decoder

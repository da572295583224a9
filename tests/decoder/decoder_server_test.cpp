#include "decoder/contained_decoder.h"
#include "decoder/decoder_server.h"
#include "decoder/page_wire.h"
#include "imaging/bitmap.h"
#include "imaging/page_source.h"
#include "tests/support/image_compare.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiff_writer.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kx::decoder {
namespace {

// Decoders made by copying the program behave as those started from the decoder program:
// they are this process's children, decode the same pages and die alone. Each test runs in a
// process of its own, so the server started here serves only this test.
TEST(DecoderServerTest, ServedDecodersAreChildrenThatDecodeAndDieAlone) {
    ASSERT_TRUE(startDecoderServer());

    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    const pid_t pid = forkDecoder({test::corpusFile("multipage.tiff")}, ends[1]);
    close(ends[1]);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(readPageCount(ends[0], 5000), 3);
    close(ends[0]); // its input ends, so it leaves
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid) << "the decoder is this process's child";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    auto pages = openPagesContained(test::corpusFile("g4-multi.tiff"));
    auto local = openPagesInProcess(test::corpusFile("g4-multi.tiff"));
    ASSERT_NE(pages, nullptr);
    ASSERT_EQ(pages->pageCount(), local->pageCount());
    for (int p = 0; p < local->pageCount(); ++p) {
        imaging::PageInfo served, here;
        const imaging::Bitmap a = pages->loadPage(p, served);
        const imaging::Bitmap b = local->loadPage(p, here);
        ASSERT_TRUE(a && b);
        EXPECT_EQ(served.problem, here.problem);
        EXPECT_TRUE(test::imagesMatch(a.get(), b.get(), 0)) << "page " << p + 1;
    }

    // FreeImage aborts the decoder on this page; this process goes on.
    test::TempDir dir;
    const std::string fatalPath = dir.file("fatal.tif");
    ASSERT_TRUE(test::writeTiff(fatalPath, {test::freeImageFatalPage()}));
    auto fatal = openPagesContained(fatalPath);
    ASSERT_NE(fatal, nullptr);
    imaging::PageInfo info;
    EXPECT_EQ(fatal->loadPage(0, info), nullptr);
    EXPECT_EQ(info.problem, "the decoder was ended by signal 6");
}

} // namespace
} // namespace kx::decoder
#include "decoder/band_counter.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace kx::decoder {
namespace {

TEST(BandCounterTest, ProcessesSharingTheCounterClaimEachNumberOnce) {
    constexpr uint32_t k_each = 20'000;
    BandCounter counter;
    ASSERT_TRUE(counter.valid());
    int results[2];
    ASSERT_EQ(pipe(results), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        BandCounter shared(dup(counter.fd()));
        std::vector<uint32_t> claimed(k_each);
        for (uint32_t& number : claimed)
            number = shared.claim();
        const auto bytes = static_cast<ssize_t>(claimed.size() * sizeof claimed[0]);
        _exit(shared.valid() && write(results[1], claimed.data(), bytes) == bytes ? 0 : 1);
    }
    close(results[1]);
    std::vector<uint32_t> claimed(2 * k_each);
    for (uint32_t i = 0; i < k_each; ++i)
        claimed[i] = counter.claim();
    const size_t bytes = k_each * sizeof claimed[0];
    size_t got = 0;
    for (ssize_t n = 1; got < bytes && n > 0; got += n > 0 ? static_cast<size_t>(n) : 0)
        n = read(results[0], reinterpret_cast<char*>(&claimed[k_each]) + got, bytes - got);
    close(results[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(got, bytes);
    std::sort(claimed.begin(), claimed.end());
    std::vector<uint32_t> expected(2 * k_each);
    std::iota(expected.begin(), expected.end(), 0u);
    EXPECT_TRUE(claimed == expected);
}

TEST(BandCounterTest, FileTooSmallForACounterIsRefused) {
    EXPECT_FALSE(BandCounter(-1).valid());
    EXPECT_FALSE(BandCounter(memfd_create("empty", MFD_CLOEXEC)).valid());
}

} // namespace
} // namespace kx::decoder

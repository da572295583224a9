#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace kx::test {
namespace {

namespace fs = std::filesystem;

const std::string k_probe = std::string(KX_BINARY_DIR) + "/tests/kx_freeimage_probe";
const std::string k_stop = "kx_freeimage_probe: the image library cannot be loaded: ";

TEST(FreeImageOnDemandTest, LibraryIsOpenedOnFirstCall) {
    const ProgramResult result = runProgram(k_probe, {});
    EXPECT_EQ(result.out, "7\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitStatus, 0);
}

// A damaged installation: what the loader finds under the library's name is no library, or a
// library without FreeImage's functions. One line on standard error and status 70, no crash.
TEST(FreeImageOnDemandTest, LibraryThatCannotServeStopsWithOneClearLine) {
    TempDir dir;
    const fs::path damaged = dir.path() / "damaged";
    fs::create_directories(damaged);
    writeFile((damaged / "libfreeimage.so.3").string(), "not a library\n");
    const fs::path foreign = dir.path() / "foreign";
    fs::create_directories(foreign);
    fs::create_symlink(KX_PLAIN_SHARED_LIBRARY, foreign / "libfreeimage.so.3");

    struct Case {
        fs::path folder;
        std::string reasonStart;
    };
    const Case cases[] = {
        {damaged, (damaged / "libfreeimage.so.3").string() + ": "},
        {foreign, "libfreeimage.so.3 has no function FreeImage_Allocate."},
    };
    for (const Case& c : cases) {
        const ProgramResult result =
            runProgram(k_probe, {}, {{"LD_LIBRARY_PATH", c.folder.string()}});
        EXPECT_EQ(result.signal, 0) << c.folder;
        EXPECT_EQ(result.exitStatus, 70) << c.folder;
        EXPECT_EQ(result.out, "") << c.folder;
        EXPECT_EQ(result.err.rfind(k_stop + c.reasonStart, 0), 0u) << result.err;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    }
}

} // namespace
} // namespace kx::test

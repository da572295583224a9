#include "core/command_line.h"
#include "core/manual_page.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

namespace kx::core {
namespace {

TEST(ManualPage, RendersEveryOptionOfTheUsageText) {
    if (!std::filesystem::exists("/usr/bin/man"))
        GTEST_SKIP() << "man is not installed (scripts/setup installs it)";
    test::TempDir dir;
    test::writeFile(dir.file("kestrelix.1"), manualPage("kestrelix"));
    const test::ProgramResult man =
        test::runProgram("/usr/bin/man", {"-l", dir.file("kestrelix.1")},
                         {{"MANWIDTH", "100"}, {"MAN_KEEP_FORMATTING", ""}, {"PAGER", "cat"}});
    ASSERT_EQ(man.exitStatus, 0) << man.err;
    EXPECT_TRUE(man.err.empty()) << man.err; // groff's warnings about the page
    // Rendered text has no bold or hyphen escapes left when piped.
    const std::string page = std::regex_replace(man.out, std::regex(".\b"), "");
    const std::regex option("(--?[a-z?][a-z-]*)");
    int seen = 0;
    for (const std::string& line : usageLines("kestrelix")) {
        if (line.rfind("  -", 0) != 0)
            continue;
        const std::string names = line.substr(0, 28);
        for (std::sregex_iterator it(names.begin(), names.end(), option), end; it != end; ++it) {
            ++seen;
            EXPECT_NE(page.find((*it)[1].str()), std::string::npos) << (*it)[1].str();
        }
    }
    EXPECT_GE(seen, 20);
    for (const char* other :
         {"--bmp-bpp=NUM", "--tiff-frame-loading=KEYWORD", "-i FILE", "--output=PATH", "NONE, RLE"})
        EXPECT_NE(page.find(other), std::string::npos) << other;
}

} // namespace
} // namespace kx::core

#include "core/command_line.h"
#include "core/manual_page.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <vector>

namespace kx::core {
namespace {

// `text` without the character-and-backspace pairs that man uses for bold and underline.
std::string withoutOverstrikes(const std::string& text) {
    std::string plain;
    for (const char c : text) {
        if (c == '\b' && !plain.empty())
            plain.pop_back();
        else
            plain += c;
    }
    return plain;
}

// The option names in a usage line's option column: "-i", "--input", "-?".
std::vector<std::string> optionNames(const std::string& column) {
    std::vector<std::string> names;
    for (size_t at = column.find('-'); at != std::string::npos; at = column.find('-', at)) {
        size_t end = at + (column.compare(at, 2, "--") == 0 ? 2 : 1);
        if (end >= column.size() ||
            !(std::islower(static_cast<unsigned char>(column[end])) || column[end] == '?')) {
            at = end;
            continue;
        }
        ++end;
        while (end < column.size() &&
               (std::islower(static_cast<unsigned char>(column[end])) || column[end] == '-'))
            ++end;
        names.push_back(column.substr(at, end - at));
        at = end;
    }
    return names;
}

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
    const std::string page = withoutOverstrikes(man.out);
    int seen = 0;
    for (const std::string& line : usageLines("kestrelix")) {
        if (line.rfind("  -", 0) != 0)
            continue;
        for (const std::string& name : optionNames(line.substr(0, 28))) {
            ++seen;
            EXPECT_NE(page.find(name), std::string::npos) << name;
        }
    }
    EXPECT_GE(seen, 20);
    for (const char* other :
         {"--bmp-bpp=NUM", "--tiff-frame-loading=KEYWORD", "-i FILE", "--output=PATH", "NONE, RLE"})
        EXPECT_NE(page.find(other), std::string::npos) << other;
}

} // namespace
} // namespace kx::core

#include "tests/support/case_names.h"
#include "tests/support/image_compare.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiff_kinds.h"

// Converts one file of every TIFF kind with the real program and compares each page's BMP,
// decoded, with the picture the kind must give: exact for lossless kinds, within the kind's
// stated tolerance otherwise, and the right number of pages.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

namespace kx::test {
namespace {

namespace fs = std::filesystem;

// Kinds the program does not read right yet, with what goes wrong. Such a row is skipped while
// it still fails and fails once it passes, so that it is taken off this list.
const std::map<std::string, std::string> k_kindsNotYetRight = {};

std::vector<const TiffKind*> allKinds() {
    std::vector<const TiffKind*> kinds;
    for (const auto* list : {&tiffKinds(), &peerKinds()})
        for (const TiffKind& kind : *list)
            kinds.push_back(&kind);
    return kinds;
}

// The number in "name[12].bmp"; 0 for a single page's "name.bmp".
int pageOf(const fs::path& file) {
    const std::string name = file.stem().string();
    const size_t open = name.rfind('[');
    return open == std::string::npos ? 0 : std::atoi(name.c_str() + open + 1);
}

std::vector<fs::path> pagesWritten(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return pageOf(a) < pageOf(b); });
    return files;
}

// What is wrong with the pages written, or "" when they are right.
std::string pagesProblem(const std::vector<fs::path>& files, const std::vector<Picture>& expected,
                         int tolerance) {
    std::ostringstream problem;
    if (files.size() != expected.size()) {
        problem << files.size() << " pages written, " << expected.size() << " expected";
        return problem.str();
    }
    for (size_t page = 0; page < files.size(); ++page) {
        const TestBitmap got = loadImage(files[page].string());
        if (!got)
            return files[page].filename().string() + " is not an image";
        const TestBitmap want = bitmapOf(expected[page]);
        const ::testing::AssertionResult match = imagesMatch(got.get(), want.get(), tolerance);
        if (!match)
            problem << "page " << page + 1 << ": " << match.message() << "; ";
    }
    return problem.str();
}

class TiffKindsTest : public ::testing::TestWithParam<const TiffKind*> {};

TEST_P(TiffKindsTest, ConvertsEveryPageToItsPicture) {
    const TiffKind& kind = *GetParam();
    const TempDir dir;
    const std::string input = dir.file(kind.name + ".tif");
    std::vector<Picture> expected;
    std::string why;
    ASSERT_TRUE(kind.make(input, expected, why)) << why;
    fs::create_directories(dir.path() / "out");
    const ProgramResult run = runProgram(
        programPath(), {"-d", "-i", input, "-o", dir.file("out") + "/"},
        {{"XDG_RUNTIME_DIR", dir.path().string()}, {"XDG_CONFIG_HOME", dir.file("config")}});
    std::string problem = pagesProblem(pagesWritten(dir.path() / "out"), expected, kind.tolerance);
    if (!problem.empty())
        for (const std::string& line : run.lines())
            if (line.starts_with("[ERROR]") || line.starts_with("Error"))
                problem += "\n" + line;

    const auto notYetRight = k_kindsNotYetRight.find(kind.name);
    if (notYetRight == k_kindsNotYetRight.end())
        EXPECT_EQ(problem, "");
    else if (problem.empty())
        ADD_FAILURE() << kind.name << " is right now: take it off k_kindsNotYetRight";
    else
        GTEST_SKIP() << notYetRight->second << "\n" << problem;
}

struct KindName {
    std::string operator()(const ::testing::TestParamInfo<const TiffKind*>& info) const {
        return caseName(info.param->name);
    }
};

INSTANTIATE_TEST_SUITE_P(Kinds, TiffKindsTest, ::testing::ValuesIn(allKinds()), KindName());

} // namespace
} // namespace kx::test

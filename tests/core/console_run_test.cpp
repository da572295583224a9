#include "base/text_format.h"
#include "core/instance_lock.h"
#include "tests/support/case_names.h"
#include "tests/support/image_compare.h"
#include "tests/support/page_gate.h"
#include "tests/support/run_processes.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiff_writer.h"

// Runs the built program the way a script does and checks what it prints and writes.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace kx::test {
namespace {

namespace fs = std::filesystem;

class ConsoleRunTest : public ::testing::Test {
protected:
    // Every run gets its own lock folder and configuration folder, so tests running side by
    // side never see each other as a second copy, and no user file is touched.
    ProgramResult run(const std::vector<std::string>& arguments,
                      std::vector<std::pair<std::string, std::string>> environment = {},
                      const std::string& folder = {}) {
        return runProgram(programPath(), arguments, isolated(std::move(environment)), folder);
    }

    std::vector<std::pair<std::string, std::string>>
    isolated(std::vector<std::pair<std::string, std::string>> environment = {}) const {
        environment.emplace_back("XDG_RUNTIME_DIR", m_dir.path().string());
        environment.emplace_back("XDG_CONFIG_HOME", (m_dir.path() / "config").string());
        environment.emplace_back("DISPLAY", "");
        environment.emplace_back("WAYLAND_DISPLAY", "");
        environment.emplace_back("QT_QPA_PLATFORM", "");
        return environment;
    }

    std::string makeThreePageTiff() {
        std::vector<TiffPage> pages;
        for (int p = 0; p < 3; ++p)
            pages.push_back(rgbPage(23, 17, [p](int x, int y) {
                Rgb c = patternColour(x, y);
                c.r = static_cast<uint8_t>(c.r + 80 * p);
                return c;
            }));
        const std::string path = m_dir.file("scan.tif");
        EXPECT_TRUE(writeTiff(path, pages));
        return path;
    }

    std::string outFolder() {
        fs::create_directories(m_dir.path() / "out");
        return (m_dir.path() / "out").string() + "/";
    }

    std::vector<std::string> outputFiles() const {
        std::vector<std::string> names;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(m_dir.path() / "out", ignored))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir m_dir;
};

std::vector<std::string> successLines() {
    return {base::titleText(),
            "",
            "",
            " ",
            "Preparing...",
            "Importing...",
            "Import complete, new files added: 1",
            "Converting...",
            "Conversion complete",
            "Files converted: 1 of 1"};
}

TEST_F(ConsoleRunTest, ThreePageFileBecomesThreeBitmapsWithThePagesPixels) {
    const std::string input = makeThreePageTiff();
    const ProgramResult result = run({"-i", input, "-o", outFolder()});

    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    std::vector<std::string> lines = result.lines();
    ASSERT_EQ(lines.size(), 10u) << result.out;
    // The notice and the home page are the maker's own; only their presence is fixed.
    EXPECT_NE(lines[1].find("(c)"), std::string::npos);
    EXPECT_EQ(lines[1].find("\xC2\xA9"), std::string::npos);
    EXPECT_FALSE(lines[2].empty());
    lines[1] = lines[2] = "";
    EXPECT_EQ(lines, successLines());

    ASSERT_EQ(outputFiles(),
              (std::vector<std::string>{"scan[1].bmp", "scan[2].bmp", "scan[3].bmp"}));
    FIMULTIBITMAP* multi = FreeImage_OpenMultiBitmap(FIF_TIFF, input.c_str(), FALSE, TRUE, TRUE, 0);
    ASSERT_NE(multi, nullptr);
    for (int page = 0; page < 3; ++page) {
        FIBITMAP* expected = FreeImage_LockPage(multi, page);
        TestBitmap actual = loadImage(m_dir.file("out/scan[" + std::to_string(page + 1) + "].bmp"));
        EXPECT_TRUE(imagesMatch(actual.get(), expected, 0)) << "page " << page + 1;
        EXPECT_EQ(FreeImage_GetBPP(actual.get()), 24u);
        FreeImage_UnlockPage(multi, expected, FALSE);
    }
    FreeImage_CloseMultiBitmap(multi, 0);
}

TEST_F(ConsoleRunTest, QuietSuccessPrintsNothingAndNeverStartsTheGuiToolkit) {
    const std::string input = makeThreePageTiff();
    // A platform that does not exist would abort any start of the GUI toolkit.
    const ProgramResult result =
        run({"-q", "-i", input, "-o", outFolder()}, {{"QT_QPA_PLATFORM", "no-such-platform"}});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(outputFiles().size(), 3u);
}

TEST_F(ConsoleRunTest, DrawingPrintsNothingOfQtsOwn) {
    const std::string input = makeThreePageTiff();
    // Qt complains about a runtime folder others may read; the console must not show it.
    fs::create_directories(m_dir.path() / "open-runtime");
    fs::permissions(m_dir.path() / "open-runtime",
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    const ProgramResult result =
        run({"-q", "-i", input, "-o", outFolder(), "--fr-solid-left=3", "--wm-text=Hello"},
            {{"XDG_RUNTIME_DIR", (m_dir.path() / "open-runtime").string()}});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(outputFiles().size(), 3u);
}

TEST_F(ConsoleRunTest, QuietAndPausePrintOnlyThePrompt) {
    const std::string input = makeThreePageTiff();
    const ProgramResult result = run({"-q", "-p", "-i", input, "-o", outFolder()});
    EXPECT_EQ(result.out, "Press any key to exit.\n");
}

TEST_F(ConsoleRunTest, VersionAndUsage) {
    for (const char* option : {"-v", "-V", "--VERSION", "--version=anything"}) {
        const ProgramResult result = run({option});
        EXPECT_EQ(result.out, base::versionText(base::k_version) + "\n") << option;
        EXPECT_EQ(result.err, "") << option;
        EXPECT_EQ(result.exitStatus, 0);
    }
    const ProgramResult usage = run({"-h"});
    const std::vector<std::string> lines = usage.lines();
    ASSERT_EQ(lines.size(), 36u);
    EXPECT_EQ(lines[0], " ");
    EXPECT_EQ(lines[1], "Usage: kestrelix -i <filename> [options]");
    EXPECT_EQ(lines[4], "  kestrelix -i c:\\tmp\\example.tiff");
    EXPECT_EQ(lines[35], "  -v, --version             Display version information and exit");
    EXPECT_EQ(run({"-?"}).out, usage.out);
    EXPECT_EQ(run({"--help"}).out, usage.out);
}

TEST_F(ConsoleRunTest, OptionErrorsPrintOneLine) {
    EXPECT_EQ(run({"-i"}).out, "Error: Incorrect number of parameters\n");
    EXPECT_EQ(run({"-i", "-o", "x"}).out, "Error: Incorrect number of parameters\n");
    EXPECT_EQ(run({"--width"}).out, "Error: Incorrect number of parameters\n");
    EXPECT_EQ(run({"--profile=" + m_dir.file("missing.ini")}).out, "Error: Invalid profile file\n");
}

struct ValidationCase {
    const char* name;
    std::vector<std::string> options; // added after -i INPUT -o OUT
    const char* lastLine;
};

class ConsoleValidationTest : public ConsoleRunTest,
                              public ::testing::WithParamInterface<ValidationCase> {};

TEST_P(ConsoleValidationTest, RefusesWithItsLineAndWritesNothing) {
    const std::string input = makeThreePageTiff();
    std::vector<std::string> arguments{"-q", "-i", input, "-o", outFolder()};
    arguments.insert(arguments.end(), GetParam().options.begin(), GetParam().options.end());
    const ProgramResult result = run(arguments);
    EXPECT_EQ(result.out, std::string(GetParam().lastLine) + "\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_TRUE(outputFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Options, ConsoleValidationTest,
    ::testing::Values(
        ValidationCase{"UpperCaseFormat", {"-c", "BMP"}, "Error: Invalid conversion type"},
        ValidationCase{"OtherFormat", {"-c", "png"}, "Error: Invalid conversion type"},
        ValidationCase{"BitDepth", {"--bmp-bpp=2"}, "Error: Invalid bmp-bpp value"},
        ValidationCase{"WidthAlone", {"--width=10"}, "Error: Invalid height value"},
        ValidationCase{"ZeroWidth", {"--width=0", "--height=5"}, "Error: Invalid width value"},
        ValidationCase{"Brightness", {"--brightness=101"}, "Error: Invalid brightness value"},
        ValidationCase{"Contrast", {"--contrast=-101"}, "Error: Invalid contrast value"},
        ValidationCase{"Gamma", {"--gamma=10"}, "Error: Invalid gamma value"},
        ValidationCase{"GammaNotANumber", {"--gamma=NaN"}, "Error: Invalid gamma value"},
        ValidationCase{"UnknownFont",
                       {"--wm-text=x", "--wm-font=NoSuchFont123"},
                       "Error: Invalid watermark font"},
        ValidationCase{"MissingImage",
                       {"--wm-image=/nonexistent/logo.png"},
                       "Error: Invalid watermark image"}),
    test::byName);

TEST_F(ConsoleRunTest, BoundaryValuesPass) {
    const std::string input = makeThreePageTiff();
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--brightness=-100", "--contrast=100"},
          {"--gamma=0.01"},
          {"--gamma=9.99"},
          {"--bmp-bpp=24", "-c", "bmp"}}) {
        std::vector<std::string> arguments{"-q", "-i", input, "-o", outFolder()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        EXPECT_EQ(run(arguments).out, "") << options.front();
    }
}

TEST_F(ConsoleRunTest, BadInputFilesAreRefused) {
    writeFile(m_dir.file("empty.tif"), "");
    writeFile(m_dir.file("noextension"), "II*\0");
    for (const std::string& input :
         {m_dir.file("missing.tif"), m_dir.file("empty.tif"), m_dir.file("noextension")}) {
        EXPECT_EQ(run({"-q", "-i", input, "-o", outFolder()}).out, "Error: Invalid input file\n")
            << input;
    }
}

TEST_F(ConsoleRunTest, OutputFolderRules) {
    const std::string input = makeThreePageTiff();
    EXPECT_EQ(run({"-q", "-i", input, "-o", "../elsewhere"}).out,
              "Error: Incorrect output folder\n");
    EXPECT_EQ(run({"-q", "-i", input, "-o", m_dir.file("absent")}).out,
              "Error: Invalid output folder\n");
    // Without -o the files land beside the input.
    EXPECT_EQ(run({"-q", "-i", input}).out, "");
    EXPECT_TRUE(fs::exists(m_dir.path() / "scan[2].bmp"));
}

TEST_F(ConsoleRunTest, BareFileNameGoesToTheProgramsFolder) {
    makeThreePageTiff();
    const ProgramResult result = run({"-d", "-q", "-i", "scan.tif"}, {}, m_dir.path().string());
    const std::string programFolder = fs::path(programPath()).parent_path().string() + "/";
    const std::vector<std::string> lines = result.lines();
    ASSERT_GE(lines.size(), 2u) << result.out;
    EXPECT_EQ(lines[1], "Output: ") << "a bare name has an empty folder part";
    EXPECT_EQ(lines.back(), "[OK] Saving As: " + programFolder + "scan[3].bmp");
    for (int page = 1; page <= 3; ++page) {
        const fs::path written = programFolder + "scan[" + std::to_string(page) + "].bmp";
        EXPECT_TRUE(fs::exists(written));
        fs::remove(written);
    }
}

TEST_F(ConsoleRunTest, ListFilesAndOtherExtensionsQueueNothing) {
    writeFile(m_dir.file("list.txt"), "scan.tif\n");
    writeFile(m_dir.file("photo.png"), "not really");
    for (const char* name : {"list.txt", "photo.png"}) {
        EXPECT_EQ(run({"-q", "-i", m_dir.file(name), "-o", outFolder()}).out,
                  "Conversion stopped\n"
                  "No input file(s) found. Please, add valid file(s) and try again!\n");
    }
}

TEST_F(ConsoleRunTest, UnreadableFilesStopTheConversionAndLeaveNothing) {
    writeFile(m_dir.file("text.tif"), "this is not an image at all");
    writeFile(m_dir.file("short.tif"), std::string("II*\0\x08\0\0\0", 8));
    const std::string whole = readFile(makeThreePageTiff());
    writeFile(m_dir.file("cut.tif"), whole.substr(0, whole.size() / 3));
    // One strip whose byte count says it ends long before the page's rows do.
    ASSERT_TRUE(writeTiff(m_dir.file("short-strip.tif"), {rgbPage(128, 278, patternColour)}));
    ASSERT_TRUE(patchTag(m_dir.file("short-strip.tif"), 279, 8192));
    for (const char* name : {"text.tif", "short.tif", "cut.tif", "short-strip.tif"}) {
        const ProgramResult result = run({"-q", "-i", m_dir.file(name), "-o", outFolder()});
        EXPECT_EQ(result.out, "Conversion stopped\n") << name;
        EXPECT_EQ(result.err, "") << name;
        EXPECT_EQ(result.signal, 0) << name;
    }
    // No partial file and no temporary file is left behind.
    for (const std::string& name : outputFiles())
        EXPECT_EQ(name.find(".bmp"), std::string::npos) << name;
}

// A page of about 4.5 MB as a BMP, in strips of 8 rows or in tiles: as the only page of its
// file, large enough for both decoders to write it side by side where it is written from its
// strips.
TiffPage largePage(int compression, int tileSize) {
    TiffPage page = rgbPage(1500, 1000, patternColour);
    page.compression = compression;
    page.rowsPerStrip = tileSize ? 0 : 8;
    page.tileSize = tileSize;
    return page;
}

TEST_F(ConsoleRunTest, LargePageAloneIsWrittenAsOneDecoderWritesIt) {
    const struct {
        std::string name;
        TiffPage page;
    } cases[] = {
        {"lzw", largePage(COMPRESSION_LZW, 0)},
        {"uncompressed", largePage(COMPRESSION_NONE, 0)},
        {"tiled", largePage(COMPRESSION_LZW, 64)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Of two pages, each decoder writes one whole.
        const std::string alone = m_dir.file(c.name + ".tif");
        const std::string pair = m_dir.file(c.name + "-pair.tif");
        ASSERT_TRUE(writeTiff(alone, {c.page}));
        ASSERT_TRUE(writeTiff(pair, {c.page, c.page}));
        EXPECT_EQ(run({"-q", "-i", alone, "-o", outFolder()}).out, "");
        EXPECT_EQ(run({"-q", "-i", pair, "-o", outFolder()}).out, "");
        const std::string written = m_dir.file("out/" + c.name + ".bmp");
        EXPECT_TRUE(readFile(written) == readFile(m_dir.file("out/" + c.name + "-pair[1].bmp")));
        EXPECT_TRUE(imagesMatch(loadImage(written).get(), loadImage(alone).get(), 0));
    }
}

TEST_F(ConsoleRunTest, DamagedStripOfASharedPageFailsItAsOneDecoderWould) {
    // Strip 40 of 125 lies in the middle of the page, in a band either decoder may claim.
    const TiffPage page = largePage(COMPRESSION_LZW, 0);
    const std::string alone = m_dir.file("alone.tif");
    const std::string pair = m_dir.file("pair.tif");
    ASSERT_TRUE(writeTiff(alone, {page}));
    ASSERT_TRUE(writeTiff(pair, {page, rgbPage(5, 5, patternColour)}));
    ASSERT_TRUE(damageStrip(alone, 40, 1u << 20));
    ASSERT_TRUE(damageStrip(pair, 40, 1u << 20));
    const auto reason = [&](const std::string& input) {
        for (const std::string& line : run({"-d", "-q", "-i", input, "-o", outFolder()}).lines())
            if (line.rfind("[ERROR] Page 1: ", 0) == 0)
                return line;
        return std::string("no reason");
    };
    const std::string said = reason(alone);
    EXPECT_EQ(said, reason(pair));
    EXPECT_NE(said, "no reason");
    EXPECT_EQ(outputFiles(), std::vector<std::string>{"pair[2].bmp"});
}

TEST_F(ConsoleRunTest, FolderThatRefusesWritesStopsTheConversion) {
    const std::string input = makeThreePageTiff();
    // Nothing can be created in /proc, not even by root.
    const ProgramResult result = run({"-q", "-i", input, "-o", "/proc/"});
    EXPECT_EQ(result.out, "Conversion stopped\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(ConsoleRunTest, DebugLinesDescribeTheRun) {
    const std::string input = makeThreePageTiff();
    const std::string out = outFolder();
    const ProgramResult result = run({"-d", "-q", "-i", input, "-o", out});
    const std::vector<std::string> expected{
        "Input: " + input,
        "Output: " + out,
        "Conversion: bmp",
        "TIFF Frame Loading: ALL",
        "BMP BPP: 0",
        "BMP Compression: NONE",
        "BMP Color Table: AUTO",
        "Flip Horizontal: 0",
        "Flip Vertical: 0",
        "Greyscale: 0",
        "Frame: NONE",
        "Watermark: NONE",
        "Filename Mask: %filename%.%ext%",
        "File Timestamp: CURRENT",
        "Keep Subfolders: 1",
        "Processing: " + input,
        "File Format: TIFF (LE)",
        // Each file by the name it is written under.
        "[OK] Saving As: " + out + "scan[1].bmp",
        "[OK] Saving As: " + out + "scan[2].bmp",
        "[OK] Saving As: " + out + "scan[3].bmp",
    };
    EXPECT_EQ(result.lines(), expected);
    EXPECT_EQ(result.err, "");
}

// Beside another copy, a start of the window ends silently (its file goes to that copy), while
// a command-line run does its work as if alone.
TEST_F(ConsoleRunTest, CommandLineRunBesideAnotherCopyConverts) {
    setenv("XDG_RUNTIME_DIR", m_dir.path().c_str(), 1);
    core::InstanceLock lock;
    std::string why;
    ASSERT_EQ(lock.acquire(base::titleText(), why), core::InstanceLock::Outcome::Held);
    const std::string input = makeThreePageTiff();
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, {"--width=5", "photo.tif"}}) {
        const ProgramResult result = run(arguments);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.exitStatus, 0);
    }
    EXPECT_EQ(run({"-v"}).out, base::versionText(base::k_version) + "\n");
    const ProgramResult result = run({"-q", "-i", input, "-o", outFolder()});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(outputFiles().size(), 3u);
}

// A runtime folder another user owns, or may write in, holds no lock of ours: that user could
// hold it, or listen for our paths.
TEST_F(ConsoleRunTest, RuntimeFolderOthersCanWriteInIsPassedOver) {
    if (getuid() != 0)
        GTEST_SKIP() << "needs root, to give a folder to another user";
    const std::string input = makeThreePageTiff();
    for (const bool othersOwnIt : {true, false}) {
        const std::string folder = m_dir.file(othersOwnIt ? "theirs" : "open");
        fs::create_directory(folder);
        ASSERT_EQ(othersOwnIt ? chown(folder.c_str(), 65534, 65534) : chmod(folder.c_str(), 0777),
                  0);
        std::vector<std::pair<std::string, std::string>> environment = isolated();
        for (auto& [name, value] : environment)
            value = name == "XDG_RUNTIME_DIR" ? folder : value;
        const ProgramResult result =
            runProgram(programPath(), {"-d", "-i", input, "-o", outFolder()}, environment);
        EXPECT_NE(result.out.find("The runtime folder " + folder +
                                  " is not this user's alone; the lock is kept in "),
                  std::string::npos)
            << result.out;
        EXPECT_TRUE(fs::is_empty(folder)) << folder;
        EXPECT_EQ(outputFiles().size(), 3u);
        for (const std::string& name : outputFiles())
            fs::remove(outFolder() + name);
    }
}

TEST_F(ConsoleRunTest, WithoutInputOptionTheWindowRunStarts) {
    // No display here: the window run says so and nothing is converted.
    const ProgramResult result = run({"--width=5", "photo.tif"});
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("no display"), std::string::npos);
    EXPECT_EQ(result.exitStatus, 0);
}

TEST_F(ConsoleRunTest, ClosedOutputPipeDoesNotStopTheConversion) {
    const std::string input = makeThreePageTiff();
    RunningProgram running =
        startProgram(programPath(), {"-i", input, "-o", outFolder()}, isolated(), true);
    const ProgramResult result = finishProgram(running);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(outputFiles(),
              (std::vector<std::string>{"scan[1].bmp", "scan[2].bmp", "scan[3].bmp"}));
}

// The first descriptor of process `pid` that names something inside `folder`.
bool writesInto(int pid, const std::string& folder) {
    std::error_code error;
    for (const auto& entry :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        const fs::path target = fs::read_symlink(entry.path(), error);
        if (!error && target.string().rfind(folder, 0) == 0)
            return true;
    }
    return false;
}

// True when `path` is a whole BMP file: as long as its header says, and readable.
bool isCompleteBmp(const std::string& path) {
    const std::string bytes = readFile(path);
    if (bytes.size() < 54 || bytes.compare(0, 2, "BM") != 0)
        return false;
    uint32_t declared = 0;
    std::memcpy(&declared, bytes.data() + 2, 4);
    return declared == bytes.size() && loadImage(path) != nullptr;
}

TEST_F(ConsoleRunTest, StopSignalDuringASaveLeavesOnlyCompleteFiles) {
    // Pages of 60 MB take a while to write; they compress to almost nothing in the TIFF.
    std::vector<TiffPage> pages;
    for (int p = 0; p < 3; ++p) {
        TiffPage page = rgbPage(5000, 4000, [p](int x, int) {
            return Rgb{static_cast<uint8_t>(p * 60), static_cast<uint8_t>(x >> 5), 9};
        });
        page.compression = 8; // deflate
        pages.push_back(std::move(page));
    }
    const std::string input = m_dir.file("large.tif");
    ASSERT_TRUE(writeTiff(input, pages));
    const std::string out = outFolder();

    // The file alone, and as the one file of a folder, as runs of many files are made.
    for (const auto& [signal, named] :
         {std::pair{SIGTERM, input}, std::pair{SIGINT, m_dir.path().string()}}) {
        // The run is let through a page at a time, so that it cannot end while it is watched.
        PageGate gate(m_dir.path().string());
        RunningProgram running = startProgram(programPath(), {"-q", "-i", named, "-o", out},
                                              isolated({gate.variable()}));
        ASSERT_GT(running.pid, 0);
        bool caught = false;
        for (int page = 1; page <= 3 && !caught; ++page) {
            gate.release();
            const std::string done = out + "large[" + std::to_string(page) + "].bmp";
            while (!caught && kill(running.pid, 0) == 0 && !fs::exists(done))
                caught = writesInto(running.pid, out);
        }
        if (caught)
            kill(running.pid, signal);
        const ProgramResult result = finishProgram(running);
        ASSERT_TRUE(caught) << "the run ended before a page was being written";
        EXPECT_EQ(result.out, "Conversion stopped\n");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.signal, 0);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_LT(outputFiles().size(), 3u);
        for (const std::string& name : outputFiles()) {
            EXPECT_NE(name.front(), '.') << name;
            EXPECT_TRUE(isCompleteBmp(out + name)) << name;
        }
        for (const std::string& name : outputFiles())
            fs::remove(out + name);
    }
}

TEST_F(ConsoleRunTest, MaskThatNamesTheInputLeavesItAlone) {
    const std::string input = makeThreePageTiff();
    const std::string before = readFile(input);
    const ProgramResult result = run(
        {"-q", "-d", "-i", input, "--tiff-frame-loading=FIRST", "--filename-mask=%filename%.tif"});
    const std::vector<std::string> lines = result.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3],
              "[ERROR] Page 1: the output path " + input + " is the input file itself");
    EXPECT_EQ(lines.back(), "Conversion stopped");
    EXPECT_EQ(readFile(input), before);
}

TEST_F(ConsoleRunTest, MaskThatLeavesTheOutputFolderWritesNothing) {
    const std::string input = makeThreePageTiff();
    writeFile(m_dir.file("profile.ini"), "[CLI]\n--FILENAME-MASK = \"../notes.txt\"\n");
    writeFile(m_dir.file("notes.txt"), "my notes");
    for (const std::vector<std::string>& mask :
         {std::vector<std::string>{"--filename-mask=../notes.txt"},
          {"--profile=" + m_dir.file("profile.ini")}}) {
        std::vector<std::string> arguments{"-q", "-i", input, "-o", outFolder()};
        arguments.insert(arguments.end(), mask.begin(), mask.end());
        EXPECT_EQ(run(arguments).out, "Conversion stopped\n") << mask.front();
        EXPECT_EQ(readFile(m_dir.file("notes.txt")), "my notes");
        EXPECT_TRUE(outputFiles().empty());
    }
}

TEST_F(ConsoleRunTest, ProfilesThatAreNoRegularFileOrTooLargeAreRefused) {
    const std::string input = makeThreePageTiff();
    ASSERT_EQ(mkfifo(m_dir.file("fifo.ini").c_str(), 0600), 0);
    std::string large = "[CLI]\n";
    while (large.size() < (20u << 20))
        large += "a\n";
    writeFile(m_dir.file("large.ini"), large);
    for (const std::string& profile : {m_dir.file("fifo.ini"), m_dir.file("large.ini"),
                                       m_dir.folder(), std::string("/dev/zero")}) {
        EXPECT_EQ(run({"-q", "-i", input, "--profile=" + profile}).out,
                  "Error: Invalid profile file\n")
            << profile;
    }
}

TEST_F(ConsoleRunTest, WatermarkImageThatIsNoImageOrCrashesTheDecoderIsRefused) {
    const std::string input = makeThreePageTiff();
    writeFile(m_dir.file("text.png"), "just some text, not a picture");
    // A PSD header promising a large image, followed by nothing usable.
    std::string psd("8BPS\0\1\0\0\0\0\0\0\0\3\0\0\x10\0\0\0\x10\0\0\x08\0\3", 26);
    psd += std::string(12, '\0') + std::string("\0\1", 2) + std::string(300, '\xFF');
    writeFile(m_dir.file("damaged.psd"), psd);
    for (const char* name : {"text.png", "damaged.psd"}) {
        const ProgramResult result =
            run({"-q", "-i", input, "-o", outFolder(), "--wm-image=" + m_dir.file(name)});
        EXPECT_EQ(result.out, "Error: Invalid watermark image\n") << name;
        EXPECT_EQ(result.err, "") << name;
        EXPECT_EQ(result.signal, 0) << name;
        EXPECT_TRUE(outputFiles().empty());
    }
}

TEST_F(ConsoleRunTest, RefusedWatermarkImageSaysWhyInDebugMode) {
    writeFile(m_dir.file("text.png"), "just some text, not a picture");
    const ProgramResult result = run({"-d", "-i", makeThreePageTiff(), "-o", outFolder(),
                                      "--wm-image=" + m_dir.file("text.png")});
    const std::vector<std::string> lines = result.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].rfind("[ERROR] ", 0), 0u) << result.out;
    EXPECT_GT(lines[lines.size() - 2].size(), 8u) << result.out;
    EXPECT_EQ(lines.back(), "Error: Invalid watermark image");
}

TEST_F(ConsoleRunTest, KilledRunLeavesNoDecoderBehind) {
    // FreeImage's PICT reader walks this file for as long as it is let.
    writeFile(m_dir.file("loop.pct"), std::string(328, '\0'));
    adoptOrphans();
    RunningProgram running = startProgram(programPath(),
                                          {"-q", "-i", makeThreePageTiff(), "-o", outFolder(),
                                           "--wm-image=" + m_dir.file("loop.pct")},
                                          isolated());
    ASSERT_GT(running.pid, 0);
    // The server and the decoders are the program's children; one of them is soon busy.
    std::vector<pid_t> made;
    const auto busy = [&] {
        made = childrenOf(running.pid);
        return std::any_of(made.begin(), made.end(),
                           [](pid_t pid) { return processorTicks(pid) > 20; });
    };
    for (int tries = 0; tries < 3000 && !busy(); ++tries)
        usleep(20'000);
    kill(running.pid, SIGKILL);
    const ProgramResult result = finishProgram(running);
    ASSERT_EQ(result.signal, SIGKILL) << "the program was killed while its decoder worked";
    ASSERT_FALSE(made.empty());
    EXPECT_TRUE(survivors(made, 60).empty());
}

TEST_F(ConsoleRunTest, TiffWatermarkPrintsNoLibraryMessages) {
    const std::string input = makeThreePageTiff();
    ASSERT_TRUE(writeTiff(m_dir.file("logo.tif"), {rgbPage(8, 8, patternColour)}));
    // A next-directory offset past the end makes libtiff complain on every load.
    std::string logo = readFile(m_dir.file("logo.tif"));
    uint32_t directory = 0;
    uint16_t entries = 0;
    std::memcpy(&directory, logo.data() + 4, 4);
    std::memcpy(&entries, logo.data() + directory, 2);
    const uint32_t pastTheEnd = 0x7FFFFFF0;
    std::memcpy(logo.data() + directory + 2 + 12 * entries, &pastTheEnd, 4);
    writeFile(m_dir.file("logo.tif"), logo);
    const ProgramResult result =
        run({"-q", "-i", input, "-o", outFolder(), "--wm-image=" + m_dir.file("logo.tif"),
             "--wm-image-position=TOPLEFT", "--wm-image-x-offset=0", "--wm-image-y-offset=0"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    ASSERT_EQ(outputFiles().size(), 3u);
    const TestBitmap marked = loadImage(m_dir.file("out/scan[2].bmp"));
    ASSERT_TRUE(marked);
    RGBQUAD corner{};
    FreeImage_GetPixelColor(marked.get(), 0, 16, &corner); // top-left pixel (rows bottom-up)
    const Rgb expected = patternColour(0, 0);
    EXPECT_EQ(corner.rgbRed, expected.r);
    EXPECT_EQ(corner.rgbGreen, expected.g);
    EXPECT_EQ(corner.rgbBlue, expected.b);
}

TEST_F(ConsoleRunTest, CopyWithoutItsDecoderSaysSoAndConvertsNothing) {
    const std::string copy = m_dir.file("kestrelix");
    fs::copy_file(programPath(), copy);
    fs::permissions(copy, fs::perms::owner_all);
    const std::string input = makeThreePageTiff();
    const ProgramResult result =
        runProgram(copy, {"-d", "-q", "-i", input, "-o", outFolder()}, isolated());
    const std::vector<std::string> lines = result.lines();
    const std::string problem =
        "the page decoder " + m_dir.file("kestrelix-decoder") + " is missing";
    ASSERT_GE(lines.size(), 4u) << result.out;
    EXPECT_EQ(lines.front(), "[ERROR] " + problem);
    EXPECT_EQ(lines[lines.size() - 2], "[ERROR] Unable to convert the file!");
    EXPECT_EQ(lines[lines.size() - 3], "[ERROR] Page 1: " + problem);
    EXPECT_EQ(lines.back(), "Conversion stopped");
    EXPECT_TRUE(outputFiles().empty());
}

// The dynamic loader's own log of every process a run started, written into `logs`.
std::string loaderLog(const ProgramResult& result, const fs::path& logs) {
    EXPECT_EQ(result.signal, 0);
    std::string log;
    for (const auto& entry : fs::directory_iterator(logs))
        log += readFile(entry.path().string());
    EXPECT_NE(log.find("libc.so"), std::string::npos) << "the loader wrote no log";
    return log;
}

std::vector<std::pair<std::string, std::string>> loaderLogging(const fs::path& logs) {
    fs::create_directories(logs);
    return {{"LD_DEBUG", "libs"}, {"LD_DEBUG_OUTPUT", (logs / "ld").string()}};
}

// The Qt libraries a run of the program loaded ("Core", "Gui", "Widgets").
std::vector<std::string> qtLibrariesLoadedBy(const ProgramResult& result, const fs::path& logs) {
    const std::string log = loaderLog(result, logs);
    std::vector<std::string> loaded;
    for (const char* name : {"Core", "Gui", "Widgets"}) {
        if (log.find(std::string("libQt6") + name + ".so") != std::string::npos)
            loaded.push_back(name);
    }
    return loaded;
}

TEST_F(ConsoleRunTest, QtIsLoadedOnlyForWhatARunDraws) {
    const std::string input = makeThreePageTiff();
    struct Case {
        std::vector<std::string> options;
        std::vector<std::string> qt;
    };
    const std::vector<Case> cases = {
        {{"-i", input, "-o", outFolder()}, {}},
        {{"-i", input, "-o", outFolder(), "--fr-solid-left=3"}, {"Core", "Gui"}},
        {{"-i", input, "-o", outFolder(), "--wm-text=Hello"}, {"Core", "Gui"}},
        {{"-U"}, {"Core", "Gui", "Widgets"}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const fs::path logs = m_dir.path() / ("loader-" + std::to_string(i));
        const ProgramResult result = run(cases[i].options, loaderLogging(logs));
        EXPECT_EQ(qtLibrariesLoadedBy(result, logs), cases[i].qt) << "case " << i;
    }
}

// FreeImage is loaded, in the program or a decoder, only for pages that need it: not for the
// version or usage text, and not for common pages the chain leaves alone, which the decoders
// write straight from libtiff.
TEST_F(ConsoleRunTest, FreeImageIsLoadedOnlyForPagesThatNeedIt) {
    const std::string input = makeThreePageTiff();
    const std::vector<std::pair<std::vector<std::string>, bool>> cases = {
        {{"-v"}, false},
        {{"-h"}, false},
        {{"-i", input, "-o", outFolder()}, false},
        {{"-i", input, "-o", outFolder(), "--flip-horizontal"}, true},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const fs::path logs = m_dir.path() / ("loader-freeimage-" + std::to_string(i));
        const ProgramResult result = run(cases[i].first, loaderLogging(logs));
        EXPECT_NE(result.out, "") << "case " << i;
        EXPECT_EQ(loaderLog(result, logs).find("libfreeimage.so") != std::string::npos,
                  cases[i].second)
            << "case " << i;
    }
    EXPECT_EQ(outputFiles().size(), 3u);
}

// A damaged installation whose image library cannot be loaded: a page that needs FreeImage
// fails saying so, never passing for converted.
TEST_F(ConsoleRunTest, PageNeedingAnImageLibraryThatCannotLoadFailsSayingSo) {
    const std::string input = m_dir.file("palette.tif");
    ASSERT_TRUE(writeTiff(
        input, {palettePage(8, 4, {{255, 0, 0}, {0, 0, 255}}, [](int x, int) { return x % 2; })}));
    const fs::path damaged = m_dir.path() / "damaged";
    fs::create_directories(damaged);
    writeFile((damaged / "libfreeimage.so.3").string(), "not a library\n");
    const ProgramResult result =
        run({"-d", "-i", input, "-o", outFolder()}, {{"LD_LIBRARY_PATH", damaged.string()}});
    const std::vector<std::string> lines = result.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "[ERROR] Page 1: the decoder cannot load the image library"),
              lines.end())
        << result.out;
    EXPECT_EQ(lines.back(), "Conversion stopped");
    EXPECT_TRUE(outputFiles().empty());
}

// A copy of the program in the test's folder with its decoder beside it and, of the
// modules, only `modules`.
std::string programCopy(const TempDir& dir, const std::vector<std::string>& modules) {
    const fs::path folder = fs::path(programPath()).parent_path();
    const std::string copy = dir.file("kestrelix");
    fs::copy_file(programPath(), copy);
    fs::permissions(copy, fs::perms::owner_all);
    for (const std::string& name : modules)
        fs::create_symlink(fs::canonical(folder / name), dir.file(name));
    fs::create_symlink(fs::canonical(folder / "kestrelix-decoder"), dir.file("kestrelix-decoder"));
    return copy;
}

TEST_F(ConsoleRunTest, CopyWithoutTheDrawingModuleConvertsButRefusesToDraw) {
    const std::string copy = programCopy(m_dir, {"libkestrelix-window.so"});
    const std::string input = makeThreePageTiff();
    const ProgramResult plain =
        runProgram(copy, {"-q", "-i", input, "-o", outFolder()}, isolated());
    EXPECT_EQ(plain.out, "");
    EXPECT_EQ(outputFiles().size(), 3u);
    fs::remove_all(outFolder());

    const std::string problem = "Error: Frames and watermarks cannot be drawn: the module " +
                                m_dir.file("libkestrelix-drawing.so") + " is missing";
    for (const char* drawing : {"--fr-solid-left=3", "--wm-text=Hello"}) {
        const ProgramResult result =
            runProgram(copy, {"-i", input, "-o", outFolder(), drawing}, isolated());
        EXPECT_EQ(result.signal, 0);
        EXPECT_EQ(result.lines().back(), problem) << drawing;
        EXPECT_TRUE(outputFiles().empty()) << drawing;
    }
}

TEST_F(ConsoleRunTest, CopyWithoutTheWindowModuleSaysSoOnStandardError) {
    const std::string copy = programCopy(m_dir, {"libkestrelix-drawing.so"});
    for (const std::vector<std::string>& options :
         std::vector<std::vector<std::string>>{{}, {"-U"}, {"-T"}}) {
        const ProgramResult result = runProgram(copy, options, isolated());
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("the window cannot be opened: the module " +
                                  m_dir.file("libkestrelix-window.so") + " is missing"),
                  std::string::npos)
            << result.err;
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.signal, 0);
    }
}

// Many inputs in one run. Each input is a one-colour page whose grey level tells which input
// an output file was made from.
class ManyInputsTest : public ConsoleRunTest {
protected:
    std::string input(const std::string& relative, uint8_t level) {
        const fs::path path = m_dir.path() / "in" / relative;
        fs::create_directories(path.parent_path());
        EXPECT_TRUE(
            writeTiff(path.string(), {greyPage(8, 4, [level](int, int) { return level; })}));
        return path.string();
    }

    // The grey level of the output file, or -1 when there is none.
    int levelOf(const std::string& relative) const {
        const TestBitmap bitmap = loadImage((m_dir.path() / "out" / relative).string());
        return bitmap ? pixelAt(bitmap.get(), 0, 0).r : -1;
    }

    // The last lines of the output from "Files converted" on.
    static std::vector<std::string> closingLines(const ProgramResult& result) {
        std::vector<std::string> lines = result.lines();
        const auto at = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.starts_with("Files converted");
        });
        return {at, lines.end()};
    }
};

TEST_F(ManyInputsTest, EveryCommandFormConvertsEveryNamedFile) {
    const std::string a = input("a.tif", 10);
    const std::string b = input("b.TIF", 20);
    const std::string list = m_dir.file("list.txt");
    writeFile(list, a + "\r\n\n" + b + "\n");
    const std::string out = outFolder();
    const std::string pipe = "printf '%s\\n' '" + a + "' '" + b + "' | '" + programPath() +
                             "' --input-list=- -o '" + out + "'";
    const std::string nulPipe = "printf '%s\\0' '" + a + "' '" + b + "' | '" + programPath() +
                                "' --input-list=- -o '" + out + "'";
    const struct {
        const char* name;
        std::string program;
        std::vector<std::string> arguments;
    } forms[] = {
        {"words after -i, as a shell expands *.tif", programPath(), {"-i", a, b, "-o", out}},
        {"repeated -i", programPath(), {"-i", a, "-o", out, "-i", b}},
        {"a list file", programPath(), {"--input-list=" + list, "-o", out}},
        {"a list from a pipe", "/bin/sh", {"-c", pipe}},
        {"a NUL-separated list, as find -print0 writes it", "/bin/sh", {"-c", nulPipe}},
    };
    for (const auto& form : forms) {
        fs::remove_all(out);
        fs::create_directories(out);
        const ProgramResult result = runProgram(form.program, form.arguments, isolated());
        EXPECT_EQ(closingLines(result), std::vector<std::string>{"Files converted: 2 of 2"})
            << form.name << "\n"
            << result.out;
        EXPECT_EQ(levelOf("a.bmp"), 10) << form.name;
        EXPECT_EQ(levelOf("b.bmp"), 20) << form.name;
    }
}

// A list no path could come from ends the run before anything is converted, or fails as a
// list that cannot be read: it is never read without end.
TEST_F(ManyInputsTest, ListsWithoutPathsAreRefusedSayingWhy) {
    const std::string good = input("a.tif", 10);
    const std::string longLine = m_dir.file("long.txt");
    writeFile(longLine, good + "\n" + std::string(5000, 'x'));
    const std::string longest = std::to_string(PATH_MAX - 1);
    ProgramResult result = run({"-q", "--input-list=" + longLine, "-o", outFolder()});
    EXPECT_EQ(result.out, "Error: Entry 2 of the input list " + longLine +
                              " is longer than a path can be (" + longest + " bytes)\n");
    EXPECT_TRUE(outputFiles().empty());

    result = run({"-q", "--input-list=/dev/zero", "--input-list=" + m_dir.file("missing.txt"), "-o",
                  outFolder()});
    EXPECT_EQ(result.out, "Error: Cannot read the input list " + m_dir.file("missing.txt") +
                              ": No such file or directory\n");
    result = run({"-q", "--input-list=/dev/zero", "-o", outFolder()});
    EXPECT_EQ(result.lines(), (std::vector<std::string>{
                                  "Conversion stopped",
                                  "Not converted: /dev/zero: the input list is neither a file "
                                  "nor a pipe"}));
}

// One file of a list that fails is named, as any of many would be.
TEST_F(ManyInputsTest, OnlyFileOfAListThatFailsIsNamed) {
    const std::string bad = m_dir.file("in/bad.tif");
    writeFile(bad, "not a TIFF");
    const std::string list = m_dir.file("list.txt");
    writeFile(list, bad + "\n");
    const ProgramResult result = run({"-q", "--input-list=" + list, "-o", outFolder()});
    ASSERT_EQ(result.lines().size(), 2u) << result.out;
    EXPECT_EQ(result.lines()[0], "Conversion stopped");
    EXPECT_TRUE(result.lines()[1].starts_with("Not converted: " + bad + ": ")) << result.out;
}

// A list that is slow to come, or never comes, does not hold a stop signal back.
TEST_F(ManyInputsTest, StopSignalEndsTheRunWhileTheListIsStillComing) {
    const std::string fifo = m_dir.file("list.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string first = input("a.tif", 10);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        RunningProgram running = startProgram(
            programPath(), {"-q", "--input-list=" + fifo, "-o", outFolder()}, isolated());
        ASSERT_GT(running.pid, 0);
        // Opened once the program reads the list; one path comes, then nothing.
        const int writer = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(writer, 0);
        const std::string line = first + "\n";
        ASSERT_EQ(write(writer, line.data(), line.size()), static_cast<ssize_t>(line.size()));
        kill(running.pid, signal);
        const ProgramResult result = finishProgram(running);
        close(writer);
        EXPECT_EQ(result.out, "Conversion stopped\n") << signal;
        EXPECT_EQ(result.signal, 0) << signal;
        EXPECT_EQ(result.exitStatus, 0) << signal;
        EXPECT_TRUE(outputFiles().empty()) << signal;
    }
}

TEST_F(ManyInputsTest, FolderKeepsItsSubfoldersAndLeavesTheOutputFolderAlone) {
    input("a.tif", 10);
    input("sub/b.tif", 20);
    input("sub/deeper/c.tiff", 30);
    writeFile(m_dir.file("in/sub/notes.txt"), "not an image");
    fs::create_directory_symlink(m_dir.path() / "in", m_dir.path() / "in/sub/loop");
    // The output folder lies inside the input folder and holds a TIFF of its own.
    fs::create_directories(m_dir.path() / "in/out");
    fs::create_directory_symlink(m_dir.path() / "in/out", m_dir.path() / "out");
    input("out/old.tif", 40);

    const ProgramResult result = run({"-i", m_dir.file("in"), "-o", m_dir.file("in/out")});
    EXPECT_EQ(closingLines(result), std::vector<std::string>{"Files converted: 3 of 3"})
        << result.out;
    EXPECT_EQ(levelOf("a.bmp"), 10);
    EXPECT_EQ(levelOf("sub/b.bmp"), 20);
    EXPECT_EQ(levelOf("sub/deeper/c.bmp"), 30);
    EXPECT_FALSE(fs::exists(m_dir.path() / "in/out/out"));
}

TEST_F(ManyInputsTest, SecondInputOfTheSameOutputNameFailsAndOverwritesNothing) {
    const std::string first = input("a.tif", 10);
    const std::string second = input("other/a.tif", 20);
    const std::string out = outFolder();
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        std::string failed;
    } cases[] = {
        {"the same file twice", {"-i", first, first, "-o", out}, first},
        {"one name in two folders without subfolders",
         {"-i", m_dir.file("in"), "-o", out, "--no-subfolders"},
         second},
    };
    for (const auto& c : cases) {
        fs::remove(out + "a.bmp");
        const ProgramResult result = run(c.arguments);
        EXPECT_EQ(closingLines(result),
                  (std::vector<std::string>{"Files converted: 1 of 2",
                                            "Not converted: " + c.failed + ": the output file " +
                                                out + "a.bmp was written by this run already"}))
            << c.name << "\n"
            << result.out;
        EXPECT_EQ(levelOf("a.bmp"), 10) << c.name;
    }
}

// A folder too deep to be named is unreadable even to root, as a folder without permissions
// is to anybody else.
std::string makeUnnameableFolder(const fs::path& parent) {
    const std::string name(200, 'd');
    fs::create_directories(parent);
    int folder = open(parent.c_str(), O_RDONLY | O_DIRECTORY);
    for (int depth = 0; depth < 25 && folder >= 0; ++depth) {
        mkdirat(folder, name.c_str(), 0700);
        const int inner = openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY);
        close(folder);
        folder = inner;
    }
    if (folder >= 0)
        close(folder);
    return name;
}

TEST_F(ManyInputsTest, EntriesThatCannotBeConvertedAreNamedAndTheRunGoesOn) {
    const std::string good = input("good.tif", 10);
    writeFile(m_dir.file("in/empty.tif"), "");
    writeFile(m_dir.file("in/notes.txt"), "text");
    makeUnnameableFolder(m_dir.path() / "in" / "deep");
    // Pipes would be read without end: named or met in a folder, they are no input.
    fs::create_directories(m_dir.path() / "in" / "more");
    ASSERT_EQ(mkfifo(m_dir.file("in/pipe.tif").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(m_dir.file("in/more/stream.tif").c_str(), 0600), 0);
    const std::string missing = m_dir.file("missing.tif");
    const ProgramResult result =
        run({"-q", "-i", good, missing, m_dir.file("in/notes.txt"), m_dir.file("in/deep"),
             m_dir.file("in/pipe.tif"), m_dir.file("in/more"), "-o", outFolder()});
    const std::vector<std::string> lines = result.lines();
    ASSERT_EQ(lines.size(), 5u) << result.out;
    EXPECT_EQ(lines[3], "Not converted: " + m_dir.file("in/pipe.tif") + ": not a regular file");
    EXPECT_EQ(lines[4],
              "Not converted: " + m_dir.file("in/more/stream.tif") + ": not a regular file");
    EXPECT_EQ(lines[0], "Not converted: " + missing + ": No such file or directory");
    EXPECT_EQ(lines[1], "Not converted: " + m_dir.file("in/notes.txt") +
                            ": its name does not end in a TIFF extension");
    EXPECT_TRUE(lines[2].ends_with(": cannot read it: File name too long")) << lines[2];
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(levelOf("good.bmp"), 10);
    // Without any file converted the run says so, and still names every file.
    const ProgramResult none = run({"-q", "-i", missing, m_dir.file("in/empty.tif")});
    EXPECT_EQ(none.lines(),
              (std::vector<std::string>{
                  "Conversion stopped", "Not converted: " + missing + ": No such file or directory",
                  "Not converted: " + m_dir.file("in/empty.tif") + ": the file is empty"}));
    EXPECT_EQ(none.err, "") << "no progress line where standard error is no terminal";
}

} // namespace
} // namespace kx::test

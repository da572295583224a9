#include "core/command_line.h"
#include "core/option_table.h"
#include "tests/support/case_names.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <sstream>

namespace kx::core {
namespace {

using settings::Settings;

constexpr const char* k_incorrect = "Incorrect number of parameters";
constexpr const char* k_invalidProfile = "Invalid profile file";

class CommandLineTest : public testing::Test {
protected:
    CommandLineTest() { settings::applyDefaults(m_settings, true); }

    ParseResult parse(const std::vector<std::string>& parameters) {
        return parseCommandLine(parameters, m_settings, m_job);
    }

    // Writes a profile with a `CLI` group holding `lines` and returns its path.
    std::string profile(const std::string& lines, const std::string& name = "profile.txt") {
        const std::string path = m_folder.file(name);
        test::writeFile(path, "[CLI]\n" + lines);
        return path;
    }

    Settings m_settings;
    engine::JobState m_job;
    test::TempDir m_folder;
};

TEST(OptionTextTest, NameAndValueOfAParameter) {
    const std::vector<std::array<std::string, 3>> cases = {
        {"--Width=120", "--WIDTH", "120"},
        {"  -i  ", "-I", "-i"},
        {"file.tif", "", "file.tif"},
        {"--a=b=c", "--A", "b=c"},
        {"-x=1", "-X=1", "-x=1"},
        {"--invert", "--INVERT", "--invert"},
        {"--width=", "--WIDTH", ""},
        {"\t-i", "", "\t-i"},
        {"", "", ""},
    };
    for (const auto& [parameter, name, value] : cases) {
        EXPECT_EQ(optionName(parameter), name) << parameter;
        EXPECT_EQ(optionValue(parameter), value) << parameter;
    }
}

TEST(OptionTextTest, NumbersReadAsFarAsTheyGoAndNeverOverflow) {
    const std::vector<std::pair<std::string, int32_t>> cases = {
        {"120", 120},
        {" \t-12x", -12},
        {"+7", 7},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {"$1F", 31},
        {"$1f", 31},
        {"$1G", 1},
        {"-$10", -16},
        {"%101", 5},
        {"%102", 2},
        {"$", 0},
        {"1 2", 1},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<int32_t>::min()},
        // Wider values wrap modulo 2^32.
        {"2147483648", std::numeric_limits<int32_t>::min()},
        {"$FFFFFFFF", -1},
        {"99999999999999999999", 1661992959},
        {"-99999999999999999999", -1661992959},
        {"%" + std::string(200, '1'), -1},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(optionNumber(text), expected) << text;
}

TEST(OptionTextTest, RealsReadAsFarAsTheyGo) {
    const float infinity = std::numeric_limits<float>::infinity();
    const std::vector<std::pair<std::string, float>> cases = {
        {"1.5", 1.5f},
        {"1,5", 1.0f},
        {" -2.25e1", -22.5f},
        {".5", 0.5f},
        {"7.", 7.0f},
        {"1e", 1.0f},
        {"2e+", 2.0f},
        {"abc", 0.0f},
        {"", 0.0f},
        {"+.", 0.0f},
        {"Infinity", 0.0f},
        {"+infinity", infinity},
        {"-INFINITY", -infinity},
        {"1e999", infinity},
        {"-1e999", -infinity},
        {"1e-999", 0.0f},
        {"1e99999999999999999999", infinity},
        {"0.0001e-99999999999", 0.0f},
        {"1" + std::string(400, '0'), infinity},
        {"0." + std::string(400, '0') + "1", 0.0f},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(optionReal(text), expected) << text;
    EXPECT_TRUE(std::isnan(optionReal("nan")));
    EXPECT_TRUE(std::isnan(optionReal("NaN")));
}

TEST_F(CommandLineTest, ShortRunOptionsTakeTheNextParameter) {
    const ParseResult result = parse({"-i", "a.tif", "-O", "out", "-c", "\"bmp\""});
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(m_job.commandLineInputPath, "a.tif");
    EXPECT_TRUE(m_job.consoleMode);
    EXPECT_EQ(m_job.outputFolder, "out");
    EXPECT_EQ(m_job.outputFormatKey, "bmp");
}

TEST_F(CommandLineTest, LongRunOptionsTakeTheirOwnValue) {
    const ParseResult result = parse({"--Input=a b.tif", "--OUTPUT=/tmp/x", "--conversion=bmp"});
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(m_job.commandLineInputPath, "a b.tif");
    EXPECT_TRUE(m_job.consoleMode);
    EXPECT_EQ(m_job.outputFolder, "/tmp/x");
    EXPECT_EQ(m_job.outputFormatKey, "bmp");
}

struct RefusedCase {
    const char* name;
    std::vector<std::string> parameters;
};

class RefusedValueTest : public CommandLineTest, public testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedValueTest, EndsTheParseWithIncorrectNumberOfParameters) {
    std::vector<std::string> parameters = GetParam().parameters;
    parameters.push_back("--threshold=9");
    const ParseResult result = parse(parameters);
    EXPECT_EQ(result.error, k_incorrect);
    // Nothing after the refused value is applied.
    EXPECT_EQ(m_settings.doImageThreshold, 0);
    EXPECT_EQ(m_settings.imageThreshold, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RefusedValueTest,
    testing::Values(RefusedCase{"short_option_followed_by_an_option", {"-i", "-o", "out"}},
                    RefusedCase{"short_option_with_an_empty_value", {"-i", ""}},
                    RefusedCase{"short_option_with_a_value_like_an_option", {"-c", "-bmp"}},
                    RefusedCase{"long_option_with_an_empty_value", {"--input="}},
                    RefusedCase{"long_option_with_a_value_like_an_option", {"--output=-x"}},
                    RefusedCase{"run_option_without_equals_sign", {"--conversion"}},
                    RefusedCase{"number_option_without_equals_sign", {"--width"}},
                    RefusedCase{"number_option_with_an_empty_value", {"--width="}},
                    RefusedCase{"text_option_with_a_value_like_an_option", {"--WM-TEXT=--x"}},
                    RefusedCase{"real_option_without_equals_sign", {"--gamma"}},
                    RefusedCase{"keyword_option_without_equals_sign", {"--dither"}},
                    RefusedCase{"profile_with_an_empty_value", {"--profile="}}),
    test::byName);

TEST_F(CommandLineTest, RunOptionAsLastParameterIsRefused) {
    for (const char* option : {"-i", "-o", "-c", "-I"}) {
        engine::JobState job;
        Settings settings;
        EXPECT_EQ(parseCommandLine({"--width=5", option}, settings, job).error, k_incorrect)
            << option;
        EXPECT_EQ(settings.imageWidth, 5) << "options before the error stay applied";
    }
}

TEST_F(CommandLineTest, NumbersAreNeverRefusedAndTurnTheirStepOn) {
    EXPECT_EQ(parse({"--width=abc"}).error, "");
    EXPECT_EQ(m_settings.imageWidth, 0);
    EXPECT_EQ(m_settings.doImageResize, 1);
    parse({"--height=$1F", "--threshold=%101"});
    EXPECT_EQ(m_settings.imageHeight, 31);
    EXPECT_EQ(m_settings.imageThreshold, 5);
    EXPECT_EQ(m_settings.doImageThreshold, 1);
    EXPECT_EQ(parse({"--width=99999999999999999999"}).error, "");
    EXPECT_EQ(m_settings.imageWidth, 1661992959);
}

TEST_F(CommandLineTest, GammaStopsAtADecimalComma) {
    parse({"--gamma=1,5"});
    EXPECT_EQ(m_settings.imageGamma, 1.0f);
    EXPECT_EQ(m_settings.doImageColorCorrection, 1);
}

TEST_F(CommandLineTest, FlagsIgnoreAnyValue) {
    const ParseResult result =
        parse({"--invert=0", "--no-subfolders=1", "--PNG-interlaced", "-d", "-Q", "--pause=no"});
    EXPECT_EQ(m_settings.imageInvert, 1);
    EXPECT_EQ(m_settings.doImageColorCorrection, 1);
    EXPECT_EQ(m_settings.keepSubfolders, 0);
    EXPECT_EQ(m_settings.pngInterlaced, 1);
    EXPECT_EQ(m_job.debugKeyword, "DEBUG");
    EXPECT_TRUE(result.quiet);
    EXPECT_TRUE(result.pause);
    EXPECT_FALSE(m_job.consoleMode);
}

TEST_F(CommandLineTest, LongInformationalFlags) {
    const ParseResult result = parse({"--DEBUG", "--quiet"});
    EXPECT_EQ(m_job.debugKeyword, "DEBUG");
    EXPECT_TRUE(result.quiet);
    EXPECT_FALSE(result.pause);
}

TEST_F(CommandLineTest, OptionsSetTheirFieldsAndSwitches) {
    struct Case {
        const char* parameter;
        std::function<int64_t(const Settings&)> field;
        int64_t expected;
    };
    const std::vector<Case> cases = {
        {"--rotation=90", [](auto& s) { return s.imageRotation; }, 90},
        {"--rotation=90", [](auto& s) { return s.doImageRotation; }, 1},
        {"--rotation=90", [](auto& s) { return s.watermarkImageRotation; }, 0},
        {"--wm-image-rotation=45", [](auto& s) { return s.watermarkImageRotation; }, 45},
        {"--wm-image-rotation=45", [](auto& s) { return s.imageRotation; }, 0},
        {"--brightness=-20", [](auto& s) { return s.imageBrightness; }, -20},
        {"--contrast=30", [](auto& s) { return s.doImageColorCorrection; }, 1},
        {"--greyscale", [](auto& s) { return s.doImageGreyscale; }, 1},
        {"--dither=bayer8", [](auto& s) { return s.imageDitherAlgorithm; }, 2},
        {"--dither=bayer8", [](auto& s) { return s.doImageDither; }, 1},
        {"--fr-solid-bottom=4", [](auto& s) { return s.solidBottom; }, 4},
        {"--fr-solid-bottom=4", [](auto& s) { return s.doFrame; }, 1},
        {"--fr-solid-opacity=128", [](auto& s) { return s.solidOpacity; }, 128},
        {"--fr-solid-opacity=128", [](auto& s) { return s.doFrame; }, 0},
        {"--wm-solid-opacity=128", [](auto& s) { return s.solidOpacity; }, 255},
        {"--resize-algorithm= lanczos", [](auto& s) { return s.imageResizeAlgorithm; }, 5},
        {"--resize-algorithm=lanczos2", [](auto& s) { return s.imageResizeAlgorithm; }, 0},
        {"--bmp-compression=LZW", [](auto& s) { return s.bmpCompression; }, 6},
        {"--tiff-frame-loading=last", [](auto& s) { return s.tiffFrameLoading; }, 3},
        {"--raw-tone-mapping=gd", [](auto& s) { return s.rawToneMapping; }, 4},
        {"--width-unit=percent", [](auto& s) { return s.imageWidthUnit; }, 1},
        {"--width-unit=percent", [](auto& s) { return s.doImageResize; }, 0},
        {"--keep-aspect-ratio", [](auto& s) { return s.keepAspectRatio; }, 1},
        {"--flip-vertical", [](auto& s) { return s.doImageFlipVertical; }, 1},
        {"--wm-text-position=topleft", [](auto& s) { return s.textPosition; }, 0},
        {"--wm-image-position=middlecenter", [](auto& s) { return s.imagePosition; }, 4},
        {"--wm-font-style=bolditalic", [](auto& s) { return s.fontStyle; }, 3},
        {"--wm-text-antialiasing", [](auto& s) { return s.textAntialiasing; }, 1},
        {"--file-timestamp=original", [](auto& s) { return s.fileTimestamp; }, 1},
        {"--file-timestamp-custom=1700000000", [](auto& s) { return s.customTimestamp; },
         1700000000},
        {"--jpg-quality=80", [](auto& s) { return s.jpgQuality; }, 80},
        {"--raw-width=640", [](auto& s) { return s.rawImageWidth; }, 640},
    };
    for (const Case& c : cases) {
        Settings settings;
        settings::applyDefaults(settings, true);
        engine::JobState job;
        EXPECT_EQ(parseCommandLine({c.parameter}, settings, job).error, "") << c.parameter;
        EXPECT_EQ(c.field(settings), c.expected) << c.parameter;
    }
}

TEST_F(CommandLineTest, TextOptionsKeepTheirValue) {
    parse({"--wm-font=DejaVu Sans", "--wm-font-color=FF0000", "--rotation-back-color=00FF00",
           "--fr-solid-left-color=0000FF", "--filename-mask=%filename%_x.%ext%"});
    EXPECT_EQ(m_settings.font, "DejaVu Sans");
    EXPECT_EQ(m_settings.fontColor, "FF0000");
    EXPECT_EQ(m_settings.imageRotationBackColor, "00FF00");
    EXPECT_EQ(m_settings.solidLeftColor, "0000FF");
    EXPECT_EQ(m_settings.filenameMask, "%filename%_x.%ext%");
}

TEST_F(CommandLineTest, WatermarkTypeFollowsTheLastWatermarkOption) {
    parse({"--wm-text=hi", "--wm-image=a.png"});
    EXPECT_EQ(m_settings.doWatermark, 2);
    EXPECT_EQ(m_settings.text, "hi");
    EXPECT_EQ(m_settings.image, "a.png");
    parse({"--wm-image=b.png", "--wm-text=ho"});
    EXPECT_EQ(m_settings.doWatermark, 1);
}

TEST_F(CommandLineTest, LaterOptionsOverrideEarlierInAnyCase) {
    parse({"--WIDTH=10", "--Width=20", "--width=30"});
    EXPECT_EQ(m_settings.imageWidth, 30);
}

TEST_F(CommandLineTest, PlainWordsAndModeSwitchesAreIgnored) {
    const ParseResult result = parse(
        {"file.tif", "-v", "-H", "-U", "-T", "--version", "--help", "-?", "-i=x.tif", "--bogus=1"});
    EXPECT_EQ(result.error, "");
    EXPECT_FALSE(m_job.consoleMode);
    EXPECT_EQ(m_job.commandLineInputPath, "");
    EXPECT_EQ(m_job.debugKeyword, "");
}

TEST_F(CommandLineTest, QuotedValueBrokenAtSpacesIsJoined) {
    parse({"-i", "\"my", "big", "file.tif\"", "-o", "\"out\""});
    EXPECT_EQ(m_job.commandLineInputPath, "my big file.tif");
    EXPECT_EQ(m_job.outputFolder, "out");
    parse({"--wm-text=\"hello", "--wm-font=world\"", "--width=5"});
    EXPECT_EQ(m_settings.text, "hello world");
    EXPECT_EQ(m_settings.font, "Arial") << "a piece taken into a value is not an option";
    EXPECT_EQ(m_settings.imageWidth, 5);
}

TEST_F(CommandLineTest, ConversionOnlyLosesItsEndQuotes) {
    parse({"-c", "\"b", "mp\"", "--width=7"});
    EXPECT_EQ(m_job.outputFormatKey, "b");
    EXPECT_EQ(m_settings.imageWidth, 7);
}

TEST_F(CommandLineTest, OddQuotingNeverHangsOrCrashes) {
    parse({"--wm-text=\""});
    EXPECT_EQ(m_settings.text, "");
    EXPECT_EQ(m_settings.doWatermark, 1);
    parse({"--wm-text=\"\"\""});
    EXPECT_EQ(m_settings.text, "");
    parse({"--wm-text=\"", "x"});
    EXPECT_EQ(m_settings.text, " x");
    parse({"--wm-font=\"open", "end"});
    EXPECT_EQ(m_settings.font, "open end");
    EXPECT_EQ(parse({"-i", "\""}).error, "");
    EXPECT_EQ(m_job.commandLineInputPath, "");
    EXPECT_EQ(parse({"\"", "\"\"", "-i", "\"a", "\""}).error, "");
    EXPECT_EQ(m_job.commandLineInputPath, "a ");
}

TEST_F(CommandLineTest, ProfileAppliesInPlace) {
    const std::string path = profile("--WIDTH = 20\n--height=25\n");
    const ParseResult result =
        parse({"--width=10", "--height=10", "--profile=" + path, "--height=30"});
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(m_settings.imageWidth, 20);
    EXPECT_EQ(m_settings.imageHeight, 30);
    EXPECT_EQ(m_settings.doImageResize, 1);
}

TEST_F(CommandLineTest, QuotedProfilePathWithSpaces) {
    const std::string path = profile("--width=20\n", "my profile");
    const std::string folder = m_folder.folder();
    EXPECT_EQ(path, folder + "my profile");
    EXPECT_EQ(parse({"--profile=\"" + folder + "my", "profile\""}).error, "");
    EXPECT_EQ(m_settings.imageWidth, 20);
}

TEST_F(CommandLineTest, ProfileValueRules) {
    const std::string path = profile("--wIdTh =\n"
                                     "--INVERT\n"
                                     "--WM-IMAGE =\n"
                                     "--WM-TEXT = \"quoted\"  \n"
                                     "--WM-FONT = Arial\t\n"
                                     "--WM-FONT-COLOR = FF0000   \n"
                                     "--WM-BACK-COLOR = --x\n"
                                     "--FILENAME-MASK = \"  %filename% .%ext% \"  \n"
                                     "--RESIZE-ALGORITHM = Lanczos \n"
                                     "--GAMMA = 2.5\n");
    EXPECT_TRUE(loadProfile(path, m_settings, m_job));
    EXPECT_EQ(m_settings.imageWidth, 0);
    EXPECT_EQ(m_settings.doImageResize, 1) << "an empty value is accepted";
    EXPECT_EQ(m_settings.imageInvert, 1);
    EXPECT_EQ(m_settings.image, "");
    EXPECT_EQ(m_settings.doWatermark, 1) << "the text watermark came later";
    EXPECT_EQ(m_settings.text, "\"quoted\"") << "no quote stripping in profiles";
    EXPECT_EQ(m_settings.font, "Arial\t") << "only spaces are trimmed";
    EXPECT_EQ(m_settings.fontColor, "FF0000");
    EXPECT_EQ(m_settings.backColor, "--x");
    EXPECT_EQ(m_settings.filenameMask, "  %filename% .%ext% ");
    EXPECT_EQ(m_settings.imageResizeAlgorithm, 5);
    EXPECT_EQ(m_settings.imageGamma, 2.5f);
}

TEST_F(CommandLineTest, ProfileIgnoresKeysThatAreNoProfileOption) {
    const std::string other = profile("--width=99\n", "other.txt");
    const std::string path = profile("--INPUT = x.tif\n-i = y.tif\n--OUTPUT = out\n"
                                     "--CONVERSION = png\n--PROFILE = " +
                                     other +
                                     "\n--DEBUG\n--QUIET\n-P\n--BOGUS = 1\n"
                                     "--FR-SOLID-OPACITY = 7\n--RAW-TONE-MAPPING = GD\n"
                                     "WIDTH = 3\n");
    const ParseResult result = parse({"--profile=" + path});
    EXPECT_EQ(result.error, "");
    EXPECT_FALSE(result.quiet);
    EXPECT_FALSE(result.pause);
    EXPECT_FALSE(m_job.consoleMode);
    EXPECT_EQ(m_job.commandLineInputPath, "");
    EXPECT_EQ(m_job.outputFolder, "");
    EXPECT_EQ(m_job.outputFormatKey, "");
    EXPECT_EQ(m_job.debugKeyword, "");
    EXPECT_EQ(m_settings.imageWidth, 0);
    EXPECT_EQ(m_settings.solidOpacity, 255);
    EXPECT_EQ(m_settings.rawToneMapping, 2);
}

TEST_F(CommandLineTest, ProfileFrameOpacityKey) {
    EXPECT_TRUE(loadProfile(profile("--wm-solid-opacity = 100\n"), m_settings, m_job));
    EXPECT_EQ(m_settings.solidOpacity, 100);
}

TEST_F(CommandLineTest, ProfileTakesOnlyTheGroupCli) {
    const std::string path = m_folder.file("groups.ini");
    test::writeFile(path, "--width=1\n[Other]\n--width=2\n[cli]\n--height=3\n[CLI]\n--width=4\n");
    EXPECT_TRUE(loadProfile(path, m_settings, m_job));
    EXPECT_EQ(m_settings.imageWidth, 0);
    EXPECT_EQ(m_settings.imageHeight, 3);
}

TEST_F(CommandLineTest, UnreadableProfileEndsTheParse) {
    const ParseResult result =
        parse({"--width=5", "--profile=" + m_folder.file("missing.txt"), "--height=6"});
    EXPECT_EQ(result.error, k_invalidProfile);
    EXPECT_EQ(m_settings.imageWidth, 5);
    EXPECT_EQ(m_settings.imageHeight, 0);
    EXPECT_EQ(parse({"--profile=" + m_folder.folder()}).error, k_invalidProfile);
    EXPECT_FALSE(loadProfile("", m_settings, m_job));
}

TEST_F(CommandLineTest, ProfileWithoutEntriesIsAccepted) {
    const std::string empty = m_folder.file("empty.txt");
    test::writeFile(empty, "");
    const std::string otherGroup = m_folder.file("other.txt");
    test::writeFile(otherGroup, "[General]\n--width=3\n");
    EXPECT_TRUE(loadProfile(empty, m_settings, m_job));
    EXPECT_TRUE(loadProfile(otherGroup, m_settings, m_job));
    EXPECT_TRUE(loadProfile(profile(""), m_settings, m_job));
    EXPECT_EQ(m_settings.imageWidth, 0);
}

TEST(OptionTableTest, ProfileKeysAreTheLongOptionsWithTheirOwnOpacityKey) {
    std::istringstream keys(
        "--DDS-LOAD-AS --GIF-FRAME-LOADING --ICO-FRAME-LOADING --PSD-COLOR-MODE --RAW-LOAD-AS "
        "--RAW-HEADER-SIZE --RAW-WIDTH --RAW-HEIGHT --TIFF-FRAME-LOADING --BMP-BPP "
        "--BMP-COMPRESSION --BMP-COLOR-TABLE --DDS-BPP --EXR-BPP --EXR-COMPRESSION --GIF-BPP "
        "--HDR-BPP --ICO-BPP --J2K-BPP --JNG-BPP --JP2-BPP --JPG-BPP --JPG-QUALITY --JPG-CHROMA "
        "--JPG-SAVE-AS --JXR-BPP --PBM-BPP --PCX-BPP --PFM-BPP --PGM-BPP --PNG-BPP "
        "--PNG-COMPRESSION --PNG-INTERLACED --PPM-BPP --PSD-BPP --TGA-BPP --TGA-COMPRESSION "
        "--TIFF-BPP --TIFF-COMPRESSION --TIFF-COLOR-MODE --WBMP-BPP --WEBP-BPP --WEBP-QUALITY "
        "--XPM-BPP --ROTATION-TYPE --ROTATION --ROTATION-BACK-COLOR --WIDTH --WIDTH-UNIT --HEIGHT "
        "--HEIGHT-UNIT --KEEP-ASPECT-RATIO --RESIZE-TYPE --RESIZE-ALGORITHM --FLIP-HORIZONTAL "
        "--FLIP-VERTICAL --BRIGHTNESS --CONTRAST --GAMMA --INVERT --GREYSCALE --THRESHOLD --DITHER "
        "--FR-SOLID-LEFT --FR-SOLID-RIGHT --FR-SOLID-TOP --FR-SOLID-BOTTOM --FR-SOLID-LEFT-COLOR "
        "--FR-SOLID-RIGHT-COLOR --FR-SOLID-TOP-COLOR --FR-SOLID-BOTTOM-COLOR --WM-SOLID-OPACITY "
        "--WM-TEXT --WM-FONT --WM-FONT-SIZE --WM-FONT-LEADING --WM-FONT-COLOR --WM-FONT-STYLE "
        "--WM-FONT-EFFECT --WM-TEXT-ANTIALIASING --WM-TEXT-ALIGNMENT --WM-TEXT-PADDING "
        "--WM-TEXT-OPACITY --WM-BACK-COLOR --WM-BACK-OPACITY --WM-TEXT-BOUNDARY "
        "--WM-TEXT-POSITION --WM-TEXT-X-OFFSET --WM-TEXT-Y-OFFSET --WM-TEXT-ROTATION "
        "--WM-TEXT-SIZE --WM-IMAGE --WM-IMAGE-GREYSCALE --WM-IMAGE-OPACITY --WM-IMAGE-BOUNDARY "
        "--WM-IMAGE-POSITION --WM-IMAGE-X-OFFSET --WM-IMAGE-Y-OFFSET --WM-IMAGE-ROTATION "
        "--WM-IMAGE-SIZE --FILENAME-MASK --FILE-TIMESTAMP --FILE-TIMESTAMP-CUSTOM --NO-SUBFOLDERS");
    size_t count = 0;
    for (std::string key; keys >> key; ++count)
        EXPECT_NE(findOption(key, true), nullptr) << key;
    EXPECT_EQ(count, 104u);
    size_t accepted = 0;
    for (const Option& option : optionTable())
        accepted += findOption(option.name, true) == &option ? 1 : 0;
    EXPECT_EQ(accepted, count);
}

TEST(UsageTest, ThirtySixLinesWithProgramNameAndInputFormat) {
    const std::string expected = R"( 
Usage: kestrelix -i <filename> [options]
 
  kestrelix -i example.tiff
  kestrelix -i c:\tmp\example.tiff
  kestrelix -i c:\tmp\example.tiff -o d:\converted
  kestrelix -i c:\tmp\example.tiff -o d:\converted --jpg-quality=95
 
Options:
 
  -h, -?, --help            Display this help and exit
  -i FILE, --input=FILE     Set input file
  -o PATH, --output=PATH    Set output folder
  -c STR, --conversion=STR  Set output extension, STR = (jpg | bmp | ...)
 
Advanced options:
 
  --width=NUM               Set output image width
  --height=NUM              Set output image height
  --filename-mask=STR       Define output filename format
  --flip-horizontal         Flip output image horizontally
  --flip-vertical           Flip output image vertically
  --brightness=NUM          Set output image brightness, NUM = -100..100
  --contrast=NUM            Set output image contrast, NUM = -100..100
  --gamma=NUM               Set output image gamma, NUM = 0.01..9.99
  --invert                  Invert output image
  --greyscale               Greyscale output image
  --profile=FILE            Set configuration file with required settings
    ...                     Refer documentation for all available options
 
Other options:
 
  -q, --quiet               Don't print status messages to stdout
  -d, --debug               Print debug information to stdout
  -p, --pause               Pause at exit
  -v, --version             Display version information and exit
)";
    std::string actual;
    for (const std::string& line : usageLines("kestrelix"))
        actual += line + "\n";
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(usageLines("x").size(), 36u);
}

} // namespace
} // namespace kx::core

#include "settings/settings_file.h"
#include "tests/support/case_names.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>

namespace kx::settings {
namespace {

using kx::test::readFile;
using kx::test::TempDir;
using kx::test::writeFile;

TEST(SettingsFileParse, DecodesLatin1UnlessTheFileStartsWithAByteOrderMark) {
    EXPECT_EQ(SettingsFile::parse("[G]\nk=caf\xE9").readText("G", "k", ""), "caf\xC3\xA9");
    EXPECT_EQ(SettingsFile::parse("\xEF\xBB\xBF[G]\nk=caf\xC3\xA9").readText("G", "k", ""),
              "caf\xC3\xA9");
    // A two-byte file is too short for the mark: both bytes are Latin-1 text.
    const SettingsFile shortFile = SettingsFile::parse("\xEF\xBB");
    ASSERT_EQ(shortFile.lines().size(), 1u);
    EXPECT_EQ(shortFile.lines()[0].key, "\xC3\xAF\xC2\xBB");
}

TEST(SettingsFileParse, SplitsLinesAtCrLfAndCrLf) {
    for (const char* bytes : {"[G]\ra=1\rb=2\r", "[G]\na=1\nb=2", "[G]\r\na=1\r\nb=2\r\n",
                              "[G]\r\n\r\n\ra=1\n\r\nb=2"}) {
        const SettingsFile file = SettingsFile::parse(bytes);
        EXPECT_EQ(file.readInteger("G", "a", -1), 1) << bytes;
        EXPECT_EQ(file.readInteger("G", "b", -1), 2) << bytes;
        EXPECT_EQ(file.lines().size(), 3u) << bytes;
    }
}

TEST(SettingsFileParse, ReadsHeadersCommentsAndEntriesByTheLineRules) {
    const SettingsFile file = SettingsFile::parse("k0 = before any group\n"
                                                  " \t[Watermark\n"
                                                  "\tfont size=20\n"
                                                  ";  two spaces\n"
                                                  "; \n"
                                                  "lonely key  \n"
                                                  "Text = \t  hello =world \t \n"
                                                  "[Second] trailing words\n"
                                                  "[]\n");
    EXPECT_EQ(file.readInteger("WATERMARK", "Font Size", 14), 20);
    EXPECT_EQ(file.readText("watermark", "TEXT", ""), "hello =world");
    EXPECT_EQ(file.readText("Watermark", "lonely key", "fallback"), "");
    EXPECT_TRUE(file.hasGroup("second"));
    EXPECT_TRUE(file.hasGroup(""));
    EXPECT_EQ(file.readText("", "k0", "unreachable"), "unreachable");

    const auto& lines = file.lines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0].key, "k0");
    EXPECT_EQ(lines[1].type, SettingsFile::Line::Type::Group);
    EXPECT_EQ(lines[1].key, "Watermark");
    EXPECT_EQ(lines[3].type, SettingsFile::Line::Type::Comment);
    EXPECT_EQ(lines[3].key, " two spaces");
    EXPECT_EQ(lines[4].key, "");
    EXPECT_EQ(lines[5].key, "lonely key");
    EXPECT_EQ(lines[6].value, "hello =world \t ");
    EXPECT_EQ(lines[7].key, "Second");

    const auto entries = file.entries("WaterMark");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], (std::pair<std::string, std::string>{"font size", "20"}));
    EXPECT_EQ(entries[2].first, "Text");
}

TEST(SettingsFileParse, FirstGroupAndFirstKeyWin) {
    const SettingsFile file = SettingsFile::parse("[A]\nx=1\nX=2\n[b]\ny=3\n[a]\nx=4\nz=5\n");
    EXPECT_EQ(file.readInteger("a", "x", 0), 1);
    EXPECT_EQ(file.readInteger("A", "z", -1), -1);
    EXPECT_EQ(file.readInteger("B", "Y", 0), 3);
    EXPECT_EQ(file.readInteger("A", "y", -1), -1);
    EXPECT_EQ(file.entries("a").size(), 2u);
}

struct IntegerCase {
    const char* name;
    const char* text;
    int32_t value;
};

class ParseInteger : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(ParseInteger, ReadsLikeAtoiWithoutOverflow) {
    EXPECT_EQ(parseInteger(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseInteger,
    ::testing::Values(
        IntegerCase{"digits", "20", 20}, IntegerCase{"letters_after_digits", "20px", 20},
        IntegerCase{"letters", "abc", 0}, IntegerCase{"empty", "", 0},
        IntegerCase{"negative", "-56", -56}, IntegerCase{"plus_sign", "+7", 7},
        IntegerCase{"white_space_before", " \t\n12", 12},
        IntegerCase{"blank_after_the_sign", "- 5", 0}, IntegerCase{"fraction", "1.9", 1},
        IntegerCase{"largest", "2147483647", 2147483647},
        IntegerCase{"smallest", "-2147483648", INT32_MIN},
        IntegerCase{"one_past_the_largest_wraps", "2147483648", INT32_MIN},
        IntegerCase{"two_to_the_32_wraps_to_zero", "4294967296", 0},
        IntegerCase{"two_to_the_32_plus_one_wraps_to_one", "4294967297", 1},
        IntegerCase{"many_digits_wrap", "99999999999999999999999999999999999999", -1}),
    test::byName);

TEST(ParseReal, ReadsNamedValuesInAnyCaseAndNumbersLikeAtof) {
    EXPECT_EQ(parseReal("+Infinity"), INFINITY);
    EXPECT_EQ(parseReal("+INFINITY"), INFINITY);
    EXPECT_EQ(parseReal("-infinity"), -INFINITY);
    EXPECT_TRUE(std::isnan(parseReal("nan")));
    EXPECT_TRUE(std::isnan(parseReal("NaN  ")));
    EXPECT_FLOAT_EQ(parseReal("1.000000"), 1.0f);
    EXPECT_FLOAT_EQ(parseReal("2.5xyz"), 2.5f);
    EXPECT_FLOAT_EQ(parseReal("-0.75"), -0.75f);
    EXPECT_FLOAT_EQ(parseReal("2,5"), 2.0f);
    EXPECT_EQ(parseReal("abc"), 0.0f);
    EXPECT_EQ(parseReal(""), 0.0f);
    EXPECT_EQ(parseReal("1e999"), INFINITY);
    EXPECT_EQ(parseReal("-1e999"), -INFINITY);
    EXPECT_EQ(parseReal("1e-999"), 0.0f);
}

TEST(FormatReal, WritesSixDecimalsAndNamedValues) {
    EXPECT_EQ(formatReal(1.0f), "1.000000");
    EXPECT_EQ(formatReal(-0.5f), "-0.500000");
    EXPECT_EQ(formatReal(2.345678f), "2.345678");
    EXPECT_EQ(formatReal(INFINITY), "+Infinity");
    EXPECT_EQ(formatReal(-INFINITY), "-Infinity");
    EXPECT_EQ(formatReal(NAN), "NaN");
    EXPECT_EQ(formatReal(3.4028235e38f), "340282346638528859811704183484516925440.000000");
}

TEST(FormatReal, IgnoresTheProcessLocale) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    bool changed = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"})
        changed = changed || std::setlocale(LC_NUMERIC, name) != nullptr;
    if (!changed)
        GTEST_SKIP() << "no locale with a decimal comma installed";
    const std::string written = formatReal(1.5f);
    const float read = parseReal("2.25");
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(written, "1.500000");
    EXPECT_FLOAT_EQ(read, 2.25f);
}

TEST(SettingsFileWrite, ProducesTheWrittenSyntaxByteForByte) {
    SettingsFile file;
    file.writeText("General", "Language", "en");
    file.writeInteger("General", "Small", -56);
    file.writeComment("General", "");
    file.writeReal("Adjustment", "Image Gamma", 1.0f);
    file.writeComment("Adjustment", "note");
    EXPECT_EQ(file.serialize(), "\xEF\xBB\xBF\r\n"
                                "[General]\r\n"
                                "Language = en\r\n"
                                "Small = -56\r\n"
                                "; \r\n"
                                "[Adjustment]\r\n"
                                "Image Gamma = 1.000000\r\n"
                                "; note\r\n");
}

TEST(SettingsFileWrite, ReplacesInPlaceAppendsToTheGroupAndPlacesCommentsAfterTheLastWrite) {
    SettingsFile file = SettingsFile::parse("[A]\r\nx = 1\r\n; end of A\r\n[B]\r\ny = 2\r\n");
    file.writeInteger("a", "X", 10);
    file.writeComment("A", "after x");
    file.writeText("A", "new", "v");
    file.writeComment("B", "end of B");
    file.writeText("C", "z", "3");
    EXPECT_EQ(file.serialize(), "\xEF\xBB\xBF\r\n"
                                "[A]\r\n"
                                "x = 10\r\n"
                                "; after x\r\n"
                                "; end of A\r\n"
                                "new = v\r\n"
                                "[B]\r\n"
                                "y = 2\r\n"
                                "; end of B\r\n"
                                "[C]\r\n"
                                "z = 3\r\n");
}

TEST(SettingsFileWrite, LineBreaksInTextCannotForgeLines) {
    SettingsFile file;
    file.writeText("File", "Recent Out Folders", "/tmp/a\r\n[Window]\nX = 9");
    const SettingsFile reread = SettingsFile::parse(file.serialize());
    EXPECT_FALSE(reread.hasGroup("Window"));
    EXPECT_EQ(reread.readText("File", "Recent Out Folders", ""), "/tmp/a  [Window] X = 9");
}

TEST(SettingsFileWrite, SerialisingAParsedFileIsStable) {
    const std::string once =
        SettingsFile::parse("junk\n[G\n;x\n=v\n  k  =  v  \n[H]]\n\xFF=\xE9\n").serialize();
    EXPECT_EQ(SettingsFile::parse(once).serialize(), once);
    EXPECT_EQ(once, "\xEF\xBB\xBF\r\njunk = \r\n[G]\r\n; x\r\n = v\r\nk = v  \r\n[H]\r\n"
                    "\xC3\xBF = \xC3\xA9\r\n");
}

TEST(SettingsFileParse, SurvivesHostileInput) {
    EXPECT_TRUE(SettingsFile::parse("").lines().empty());
    EXPECT_TRUE(SettingsFile::parse("\xEF\xBB\xBF").lines().empty());

    std::mt19937 random(1234);
    std::string noise(1 << 20, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    const SettingsFile noisy = SettingsFile::parse(noise);
    EXPECT_EQ(SettingsFile::parse(noisy.serialize()).serialize(), noisy.serialize());

    const std::string longLine = "[G]\nk = " + std::string(1 << 20, '7') + "\n";
    const SettingsFile longFile = SettingsFile::parse(longLine);
    EXPECT_EQ(longFile.readText("G", "k", "").size(), 1u << 20);
    longFile.readInteger("G", "k", 0);
    longFile.readReal("G", "k", 0);

    std::string huge = "[G]\n";
    while (huge.size() < (4u << 20))
        huge += "key" + std::to_string(huge.size()) + " = value\n";
    huge += "last = 5\n";
    EXPECT_EQ(SettingsFile::parse(huge).readInteger("g", "LAST", 0), 5);
}

TEST(SettingsFileOpen, ReadsFilesAndRefusesWhatIsNotOne) {
    TempDir dir;
    writeFile(dir.file("a.ini"), "[G]\r\nk = 3\r\n");
    const auto file = SettingsFile::open(dir.file("a.ini"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->readInteger("G", "k", 0), 3);
    EXPECT_FALSE(SettingsFile::open(dir.file("missing.ini")));
    EXPECT_FALSE(SettingsFile::open(dir.folder()));
    writeFile(dir.file("empty.ini"), "");
    ASSERT_TRUE(SettingsFile::open(dir.file("empty.ini")));
}

TEST(SettingsFileOpen, RefusesFifosWithoutWaitingOnThem) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("fifo.ini").c_str(), 0600), 0);
    // Opening a FIFO for reading waits for a writer; nobody will ever write this one.
    EXPECT_FALSE(SettingsFile::open(dir.file("fifo.ini")));
    EXPECT_FALSE(SettingsFile::open("/dev/zero"));
}

TEST(SettingsFileOpen, RefusesFilesBeyondTheSizeLimit) {
    TempDir dir;
    // Short lines cost the most memory once parsed.
    std::string atLimit = "[G]\n";
    while (atLimit.size() + 2 <= SettingsFile::k_maxFileSize)
        atLimit += "a\n";
    writeFile(dir.file("limit.ini"), atLimit);
    EXPECT_TRUE(SettingsFile::open(dir.file("limit.ini")));
    writeFile(dir.file("over.ini"), atLimit + "a\n");
    EXPECT_FALSE(SettingsFile::open(dir.file("over.ini")));
}

TEST(SettingsFileSave, ReplacesTheFileOnlyWhenTheWholeWriteSucceeded) {
    TempDir dir;
    SettingsFile file;
    file.writeInteger("G", "k", 1);
    const std::string path = dir.file("config.ini");
    writeFile(path, "previous content that is longer than the new one\r\n");
    ASSERT_TRUE(file.save(path));
    EXPECT_EQ(readFile(path), file.serialize());

    EXPECT_FALSE(file.save(dir.file("missing-folder/config.ini")));
    std::filesystem::create_directory(dir.file("folder"));
    EXPECT_FALSE(file.save(dir.file("folder")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder")));

    // A file-size limit makes the write itself fail halfway.
    SettingsFile big;
    big.writeText("G", "k", std::string(100000, 'x'));
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = big.save(path);
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(readFile(path), file.serialize());
    int leftOver = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++leftOver;
    EXPECT_EQ(leftOver, 2); // config.ini and the folder
}

TEST(SettingsFileSave, KeepsThePermissionsOfTheReplacedFile) {
    TempDir dir;
    const std::string path = dir.file("config.ini");
    writeFile(path, "old");
    namespace fs = std::filesystem;
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(SettingsFile{}.save(path));
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

} // namespace
} // namespace kx::settings

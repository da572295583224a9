#include "core/keywords.h"
#include "tests/support/case_names.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace kx::core {
namespace {

using K = KeywordKind;

struct Lookup {
    const char* name;
    KeywordKind kind;
    const char* text;
    int32_t expected;
};

class KeywordValueTest : public testing::TestWithParam<Lookup> {};

TEST_P(KeywordValueTest, GivesStoredValue) {
    const Lookup& lookup = GetParam();
    EXPECT_EQ(keywordValue(lookup.kind, lookup.text), lookup.expected) << lookup.text;
}

INSTANTIATE_TEST_SUITE_P(
    AnyCaseExactWordsOnly, KeywordValueTest,
    testing::Values(Lookup{"upper_case", K::ResizeAlgorithm, "LANCZOS", 5},
                    Lookup{"lower_case", K::ResizeAlgorithm, "lanczos", 5},
                    Lookup{"mixed_case", K::ResizeAlgorithm, "LaNcZoS", 5},
                    // Trimming is the caller's job; no prefix or partial matching.
                    Lookup{"blanks_around", K::ResizeAlgorithm, " LANCZOS ", 0},
                    Lookup{"longer_word", K::ResizeAlgorithm, "LANCZOS3", 0},
                    Lookup{"prefix", K::ResizeAlgorithm, "LANCZO", 0},
                    Lookup{"empty", K::ResizeAlgorithm, "", 0},
                    Lookup{"letters_after_digits", K::RawLoadAs, "48hs", 4},
                    Lookup{"digits", K::RawLoadAs, "48", 5},
                    Lookup{"other_digits", K::RawLoadAs, "16", 2},
                    Lookup{"only_word_of_its_list", K::WatermarkSize, "FIXED", 0},
                    Lookup{"missing_word", K::WatermarkSize, "HUGE", 0},
                    Lookup{"word_spelt_as_the_list_spells_it", K::FontEffect, "strikethrought", 2},
                    Lookup{"last_position", K::Position, "BottomRight", 8},
                    Lookup{"file_timestamp", K::FileTimestamp, "custom", 2},
                    Lookup{"word_with_digits", K::DitherAlgorithm, "cluster16", 6},
                    Lookup{"jpg_save_as", K::JpgSaveAs, "optimized", 2},
                    // Every compression word is accepted, whichever format it belongs to.
                    Lookup{"tiff_compression", K::Compression, "lzw", 6},
                    Lookup{"bmp_compression", K::Compression, "RLE", 1},
                    Lookup{"png_compression", K::Compression, "ZLIB9", 3},
                    Lookup{"exr_compression", K::Compression, "B44", 4},
                    Lookup{"last_compression", K::Compression, "LOGLUV", 8},
                    Lookup{"no_compression", K::Compression, "NONE", 0},
                    // Value-to-keyword lists only, and kinds that do not exist.
                    Lookup{"frame_type", K::FrameType, "SOLID", 0},
                    Lookup{"watermark_type", K::WatermarkType, "IMAGE", 0},
                    Lookup{"kind_past_the_last", static_cast<KeywordKind>(23), "AUTO", 0},
                    Lookup{"negative_kind", static_cast<KeywordKind>(-1), "AUTO", 0}),
    test::byName);

std::vector<std::string> words(const std::string& text) {
    std::istringstream stream(text);
    std::vector<std::string> result;
    for (std::string word; stream >> word;)
        result.push_back(word);
    return result;
}

TEST(KeywordsTest, EveryListInOrderBothWays) {
    // All lists but compression, each counting from 0 in list order.
    const std::vector<std::pair<KeywordKind, std::string>> lists = {
        {K::DdsLoadAs, "AUTO BGRA RGBA"},
        {K::RawLoadAs, "AUTO 8 16 24 48HS 48"},
        {K::FrameLoading, "ALL FIRST MIDDLE LAST RANDOM"},
        {K::RawToneMapping, "NONE LINEAR AL DRR GD"},
        {K::BmpColorTable, "AUTO EXACT"},
        {K::ColorMode, "RGB CMYK LAB"},
        {K::JpgChroma, "NONE LOW MEDIUM HIGH"},
        {K::JpgSaveAs, "STANDARD SIMPLE OPTIMIZED PROGRESSIVE"},
        {K::RotationType, "SIMPLE ADVANCED"},
        {K::SizeUnit, "PIXELS PERCENT"},
        {K::ResizeType, "ALLIMAGES LARGEIMAGES"},
        {K::ResizeAlgorithm, "BOX BILINEAR BSPLINE BICUBIC CATMULLROM LANCZOS"},
        {K::DitherAlgorithm, "FS BAYER4 BAYER8 BAYER16 CLUSTER6 CLUSTER8 CLUSTER16"},
        {K::FrameType, "NONE SOLID"},
        {K::WatermarkType, "NONE TEXT IMAGE"},
        {K::FontStyle, "REGULAR BOLD ITALIC BOLDITALIC"},
        {K::FontEffect, "NONE UNDERLINE STRIKETHROUGHT"},
        {K::TextAlignment, "LEFT CENTER RIGHT"},
        {K::Boundary, "IMAGE FRAME"},
        {K::Position, "TOPLEFT TOPCENTER TOPRIGHT MIDDLELEFT MIDDLECENTER MIDDLERIGHT BOTTOMLEFT "
                      "BOTTOMCENTER BOTTOMRIGHT"},
        {K::WatermarkSize, "FIXED"},
        {K::FileTimestamp, "CURRENT ORIGINAL CUSTOM"},
    };
    for (const auto& [kind, text] : lists) {
        const std::vector<std::string> list = words(text);
        const bool searchable = kind != K::FrameType && kind != K::WatermarkType;
        for (size_t value = 0; value < list.size(); ++value) {
            SCOPED_TRACE(list[value]);
            EXPECT_EQ(keywordOf(kind, static_cast<int32_t>(value)), list[value]);
            EXPECT_EQ(keywordValue(kind, list[value]),
                      searchable ? static_cast<int32_t>(value) : 0);
        }
        EXPECT_EQ(keywordOf(kind, static_cast<int32_t>(list.size())), "") << text;
        EXPECT_EQ(keywordOf(kind, -1), "") << text;
    }
}

TEST(KeywordsTest, CompressionKeywordComesFromTheFormatsOwnList) {
    EXPECT_EQ(keywordOf(K::Compression, 1, "tiff"), "CCITTFAX3");
    EXPECT_EQ(keywordOf(K::Compression, 8, "tiff"), "LOGLUV");
    EXPECT_EQ(keywordOf(K::Compression, 1, "png"), "ZLIB1");
    EXPECT_EQ(keywordOf(K::Compression, 3, "png"), "ZLIB9");
    EXPECT_EQ(keywordOf(K::Compression, 1, "exr"), "ZIP");
    EXPECT_EQ(keywordOf(K::Compression, 4, "exr"), "B44");
    EXPECT_EQ(keywordOf(K::Compression, 1, "bmp"), "RLE");
    EXPECT_EQ(keywordOf(K::Compression, 1, "tga"), "RLE");
    EXPECT_EQ(keywordOf(K::Compression, 0, "bmp"), "NONE");
    EXPECT_EQ(keywordOf(K::Compression, 0, "tiff"), "NONE");
    // A value from another format's list has no keyword here.
    EXPECT_EQ(keywordOf(K::Compression, 6, "bmp"), "");
    EXPECT_EQ(keywordOf(K::Compression, 4, "png"), "");
    EXPECT_EQ(keywordOf(K::Compression, 9, "tiff"), "");
    EXPECT_EQ(keywordOf(K::Compression, 1, "jpg"), "");
    EXPECT_EQ(keywordOf(K::Compression, 1), "");
}

} // namespace
} // namespace kx::core

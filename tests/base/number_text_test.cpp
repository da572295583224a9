#include "base/number_text.h"
#include "tests/support/case_names.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace kx::base {
namespace {

constexpr int32_t k_int32Min = std::numeric_limits<int32_t>::min();
constexpr int32_t k_int32Max = std::numeric_limits<int32_t>::max();
constexpr float k_infinity = std::numeric_limits<float>::infinity();

struct IntegerCase {
    const char* name;
    std::string text;
    Overflow overflow;
    bool radixMarks;
    int32_t value;
    size_t length;
};

class ReadInteger : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(ReadInteger, ReadsTheLeadingDigits) {
    const IntegerCase& c = GetParam();
    const NumberRead<int32_t> read = readInteger(c.text, c.overflow, c.radixMarks);
    EXPECT_EQ(read.value, c.value);
    EXPECT_EQ(read.length, c.length);
}

constexpr Overflow k_wrap = Overflow::Wrap;
constexpr Overflow k_saturate = Overflow::Saturate;

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadInteger,
    ::testing::Values(
        IntegerCase{"digits", "250", k_wrap, false, 250, 3},
        IntegerCase{"signs", "-56", k_wrap, false, -56, 3},
        IntegerCase{"plus", "+7", k_wrap, false, 7, 2},
        IntegerCase{"stops_at_a_letter", "20px", k_wrap, false, 20, 2},
        IntegerCase{"stops_at_a_point", "1.9", k_wrap, false, 1, 1},
        IntegerCase{"no_digits", "abc", k_wrap, false, 0, 0},
        IntegerCase{"lone_sign", "-", k_wrap, false, 0, 0},
        IntegerCase{"blank_first", " 5", k_wrap, false, 0, 0},
        IntegerCase{"smallest", "-2147483648", k_wrap, false, k_int32Min, 11},
        IntegerCase{"wraps", "4294967297", k_wrap, false, 1, 10},
        IntegerCase{"saturates_up", "99999999999", k_saturate, false, k_int32Max, 11},
        IntegerCase{"saturates_down", "-99999999999", k_saturate, false, k_int32Min, 12},
        IntegerCase{"dollar_is_a_letter", "$1F", k_wrap, false, 0, 0},
        IntegerCase{"hexadecimal", "-$1f", k_wrap, true, -31, 4},
        IntegerCase{"binary", "%102", k_wrap, true, 2, 3},
        IntegerCase{"mark_without_digits", "$", k_wrap, true, 0, 0},
        IntegerCase{"wide_binary_wraps", "%" + std::string(40, '1'), k_wrap, true, -1, 41}),
    test::byName);

struct RealCase {
    const char* name;
    std::string text;
    double value;
    size_t length;
};

class ReadReal : public ::testing::TestWithParam<RealCase> {};

TEST_P(ReadReal, ReadsADecimalNumberAsFarAsItGoes) {
    const RealCase& c = GetParam();
    const NumberRead<double> asDouble = readDouble(c.text);
    const NumberRead<float> asFloat = readFloat(c.text);
    EXPECT_EQ(asDouble.value, c.value);
    EXPECT_EQ(asDouble.length, c.length);
    EXPECT_EQ(asFloat.value, static_cast<float>(c.value));
    EXPECT_EQ(asFloat.length, c.length);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadReal,
    ::testing::Values(
        RealCase{"point", "1.50", 1.5, 4}, RealCase{"comma_ends_it", "1,50", 1, 1},
        RealCase{"negative_exponent", "-2.25e1x", -22.5, 7},
        RealCase{"fraction_only", ".5", 0.5, 2}, RealCase{"point_without_fraction", "7.", 7, 2},
        RealCase{"bare_exponent_mark", "1e", 1, 1},
        RealCase{"exponent_without_digits", "2e+", 2, 1}, RealCase{"sign_and_point", "+.", 0, 0},
        RealCase{"letters", "abc", 0, 0}, RealCase{"hexadecimal_is_not_read", "0x10", 0, 1},
        RealCase{"infinity_is_no_number", "inf", 0, 0}, RealCase{"too_large", "1e999", HUGE_VAL, 5},
        RealCase{"too_small", "1e-999", 0, 6},
        RealCase{"huge_exponent", "-1e99999999999999999999", -HUGE_VAL, 23},
        RealCase{"many_digits", "1" + std::string(400, '0'), HUGE_VAL, 401}),
    test::byName);

TEST(RealOfText, NamesInfinitiesAndNotANumberInAnyCase) {
    EXPECT_EQ(realOfText("+Infinity"), k_infinity);
    EXPECT_EQ(realOfText("-INFINITY"), -k_infinity);
    EXPECT_TRUE(std::isnan(realOfText("nan")));
    EXPECT_EQ(realOfText("Infinity"), 0.0f);
    EXPECT_EQ(realOfText("2.5xyz"), 2.5f);
}

TEST(ReadReal, IgnoresADecimalCommaLocale) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 is not installed (scripts/setup makes it)";
    const NumberRead<double> point = readDouble("1.50");
    const NumberRead<double> comma = readDouble("1,50");
    const float real = realOfText("0.25");
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(point.value, 1.5);
    EXPECT_EQ(point.length, 4u);
    EXPECT_EQ(comma.value, 1.0);
    EXPECT_EQ(real, 0.25f);
}

} // namespace
} // namespace kx::base

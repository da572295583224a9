#pragma once

#include <string>
#include <string_view>

namespace kx::test {

// `text` as the name of a row of a parameterised test, so that a failing row reads as its case:
// gtest takes ASCII letters, digits and '_' only, so every other character becomes '_'. Empty
// text gives "empty".
std::string caseName(std::string_view text);

// The name generator for tables whose case has a `name` member:
//   INSTANTIATE_TEST_SUITE_P(Rows, SomeTest, ::testing::ValuesIn(k_cases), test::byName);
struct ByName {
    template <typename Info> std::string operator()(const Info& info) const {
        return caseName(info.param.name);
    }
};
inline constexpr ByName byName;

} // namespace kx::test

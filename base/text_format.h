#pragma once

#include "base/version.h"

#include <string>
#include <string_view>

namespace kx::base {

// Replaces "%s1%".."%s4%" (any letter case) by the arguments, in that order. An empty
// argument leaves its placeholder alone.
std::string formatText(std::string_view format, std::string_view s1 = {}, std::string_view s2 = {},
                       std::string_view s3 = {}, std::string_view s4 = {});

// The printable version: 320 gives "3.2", 321 "3.2.1".
std::string versionText(int version);

inline constexpr std::string_view k_programTitle = "Kestrelix TIFF to BMP";

// "Kestrelix TIFF to BMP 3.2".
std::string titleText();

} // namespace kx::base
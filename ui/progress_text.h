#pragma once

#include <cstdint>
#include <string>

namespace kx::ui {

// Milliseconds as "hh:mm:ss", with "Nd:" in front from one day on; below one second
// "00:00:00".
std::string formatDuration(int64_t milliseconds);

// `text` cut to its first and last (capacity - 3) / 2 characters joined by "..." when it has
// more than `capacity` characters; counted in characters, not bytes.
std::string shortenMiddle(const std::string& text, int capacity);

} // namespace kx::ui

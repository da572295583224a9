#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kx::settings {

// Whether a replaced file is flushed to disk before it takes the final name.
enum class Flush { ToDisk, Lazily };

// Replaces `path` with what `write` writes to the descriptor of a temporary file in the same
// folder; the temporary file is renamed over `path` only when `write` and closing it
// succeeded. On failure it is removed: nothing partial is left and a previous file stays
// intact. A replaced file keeps its permissions; a new one gets what creating it directly
// would give. Any thread.
bool replaceFile(const std::string& path, const std::function<bool(int fd)>& write, Flush flush);

// replaceFile with `bytes` as the content, flushed to disk: for small files worth keeping.
bool replaceFileContent(const std::string& path, std::string_view bytes);

// Writes all of `bytes` to `fd`, retrying interrupted and short writes; false on failure.
bool writeAll(int fd, std::string_view bytes);

} // namespace kx::settings

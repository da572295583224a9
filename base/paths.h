#pragma once

#include <string>

namespace kx::base {

// The folder of the running program, with a trailing "/" ("./" when it cannot be told).
std::string programFolder();

// Folder part of `path` up to and including the last "/"; empty for a bare file name.
std::string folderPart(const std::string& path);

// Extension of the file-name part (text after its last "."), or empty.
std::string extensionOf(const std::string& path);

} // namespace kx::base

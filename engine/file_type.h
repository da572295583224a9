#pragma once

#include <string>

namespace kx::engine {

// The kind of file named by its first bytes ("TIFF (LE)", "PNG", ...), whatever its
// extension; "[ERROR] UNRECOGNIZED" when it cannot be read or nothing matches.
std::string detectFileType(const std::string& path);

// The same for bytes already read (at most the first 20 are looked at).
std::string detectFileTypeOfBytes(const unsigned char* bytes, size_t size);

} // namespace kx::engine

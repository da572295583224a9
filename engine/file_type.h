#pragma once

#include <string>

namespace kx::engine {

// The kind of file named by its first bytes ("TIFF (LE)", "PNG", ...), whatever its
// extension; "[ERROR] UNRECOGNIZED" when it cannot be read or nothing matches.
std::string detectFileType(const std::string& path);

// The same for bytes already read (at most the first 20 are looked at).
std::string detectFileTypeOfBytes(const unsigned char* bytes, size_t size);

// Why `path` cannot be read as a TIFF file: it cannot be opened ("cannot open PATH: No such
// file or directory"), or it does not begin as a classic or big TIFF file of either byte order
// does ("PATH is a PNG file, not a TIFF file"). Empty when it may be one.
std::string inputFileProblem(const std::string& path);

} // namespace kx::engine

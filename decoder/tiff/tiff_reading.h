#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

typedef struct tiff TIFF;

namespace kx::decoder {

// A TIFF opened for libtiff to read through a buffer of its own. libtiff reads a directory a
// few bytes at a time, each read a seek and a read of the system; through the buffer, a
// directory with its tag values, or several tiny pages, come from one read. The file is not
// mapped into memory, so that the pages of a large file do not all stay in the decoder's
// memory as they are read. Strips of a few kilobytes and more are read straight into
// libtiff's buffer.

// Opens `path` for reading; null when it cannot be opened or libtiff cannot read it as a TIFF.
// Closed with TIFFClose.
TIFF* openBufferedTiff(const std::string& path);

// Reads up to `size` bytes at `offset` of the file under `tiff` (opened by openBufferedTiff)
// through its buffer, for reading the file's structure beside libtiff; the count read, short
// at the end of the file.
size_t readBufferedTiff(TIFF* tiff, uint64_t offset, void* data, size_t size);

// The size of the file under `tiff` (opened by openBufferedTiff) when it was opened.
uint64_t bufferedTiffSize(TIFF* tiff);

} // namespace kx::decoder

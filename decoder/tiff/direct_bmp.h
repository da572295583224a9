#pragma once

#include "decoder/tiff/page_budget.h"
#include "imaging/page_source.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

typedef struct tiff TIFF;

namespace kx::decoder {

// Common pages that leave the chain untouched at default settings are written to BMP here,
// straight from libtiff's strips or tiles, byte for byte as the chain would write them after
// decodeWithLibtiff, so that a decoder process converting them need not load FreeImage at all
// and holds one strip at a time. Nothing in here calls FreeImage.

// What the chain needs to know about a page written directly, as decodeWithLibtiff decodes
// it: its size, its bits per pixel and whether the decoded page counts as greyscale.
struct DirectPage {
    uint32_t width = 0;
    uint32_t height = 0;
    int sourceDepth = 0;
    bool sourceGrey = false;
    // Large enough, and of enough strips, for its BMP to be written in parts by several
    // writers at once (writeDirectBmpPart), each on a core of its own.
    bool splits = false;
};

// Whether the page at libtiff's current directory (`facts` read there by readPageFacts) is
// one writeDirectBmp writes with the bytes of the chain: 8-bit RGB, 8-bit grey
// (min-is-black), 1-bit bilevel and 16-bit grey (min-is-black), in strips or in tiles whose
// rows start on a byte, contiguous, top-left, without extra samples, uncompressed or compressed
// without loss (LZW, Deflate, PackBits, predictor 1 or 2; CCITT fax for 1-bit). nullopt for
// anything else, and for pages whose BMP would not fit in 4 GiB. Reads tags only.
std::optional<DirectPage> directBmpPage(TIFF* tiff, const PageFacts& facts);

// How writeDirectBmp ended.
enum class DirectWrite {
    Written,
    Unreadable, // not a page directBmpPage accepts, or libtiff could not decode or reported an
                // error while decoding it (the bytes written so far are not a complete file)
    Unwritable, // a write failed (errno is left as the failed write set it)
};

// Decodes the current directory strip by strip (a row of tiles counting as a strip), the last
// strip first, and writes the BMP to `fd` at its current offset in sequential, large writes;
// one strip is held at a time. `why` says why when it does not end Written.
DirectWrite writeDirectBmp(TIFF* tiff, const PageFacts& facts, int fd, std::string& why);

// One writer's share of a page's BMP when several write the file at once, each on a core of
// its own: the bands it claims, one after the other, until none is left. `claim` hands out
// the numbers 0, 1, 2, ... across all the writers, each once. The first writer also writes
// the file's headers.
struct PagePart {
    bool first = true;
    std::function<uint32_t()> claim;
};

// writeDirectBmp for one of several writers filling the file `fd` at once, from offset 0: the
// page's strips are grouped into bands of about a megabyte of BMP rows, and this writer writes
// the bands it claims through `part.claim` (the file's first band for 0, the next for 1, ...)
// until none is left, each at its place in the file; the first writer also writes the headers
// and the palette. The file is complete once every writer ended Written. Memory as
// writeDirectBmp.
DirectWrite writeDirectBmpPart(TIFF* tiff, const PageFacts& facts, int fd, const PagePart& part,
                               std::string& why);

} // namespace kx::decoder
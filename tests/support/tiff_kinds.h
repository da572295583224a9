#pragma once

#include "tests/support/image_compare.h"
#include "tests/support/tiff_kind_pages.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kx::test {

// One kind of TIFF file a reader must understand, with the pictures its pages must give.
struct TiffKind {
    std::string name;   // readable and unique, usable as a file name: "grey-u12-lzw"
    std::string family; // the group it belongs to: "grey", "palette", "orientation", ...
    // The largest channel difference a right reader may show: 0 for lossless kinds whose
    // values are known exactly; more where rounding conventions or lossy coding differ.
    int tolerance = 0;
    // Writes the file at `path` and gives the pictures of its pages; false, with why, when
    // libtiff refuses to write it. The same kind always makes the same file.
    std::function<bool(const std::string& path, std::vector<Picture>& pages, std::string& why)>
        make;
};

// Every kind, in a fixed order.
const std::vector<TiffKind>& tiffKinds();

// Kinds written by other programs' TIFF writers, kept in tests/data/kinds and listed in its
// MANIFEST.tsv with the pictures they must give: those of the generated kind the file was
// made from, or libtiff's reading of the file itself. Empty when the list cannot be read.
const std::vector<TiffKind>& peerKinds();

// The kind called `name` among both lists, or null.
const TiffKind* findTiffKind(std::string_view name);

// The pages of the TIFF at `path` as libtiff's RGBA reader (the reading of tiff2rgba) shows
// them, transparency masks left out. Only for opaque pages: that reader premultiplies alpha.
bool libtiffPictures(const std::string& path, std::vector<Picture>& pages, std::string& why);

// `picture` as a 32-bit bitmap, for imagesMatch.
TestBitmap bitmapOf(const Picture& picture);

} // namespace kx::test

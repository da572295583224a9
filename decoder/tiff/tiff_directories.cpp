#include "decoder/tiff/tiff_directories.h"

#include "base/byte_order.h"
#include "decoder/tiff/tiff_reading.h"

#include <tiffio.h>

#include <algorithm>
#include <set>

namespace kx::decoder {

void TiffCloser::operator()(TIFF* tiff) const {
    TIFFClose(tiff);
}

namespace {

// What one walk along a TIFF's directory chain, by the offsets alone, finds.
struct ChainWalk {
    std::vector<bool> masks;       // which directories are transparency masks, in chain order
    std::vector<uint64_t> offsets; // where each directory lies, in chain order
    std::string problem;           // why the chain cannot be followed to its end; empty when it can
};

using base::readUnsigned;

// How a TIFF's directories are laid out, read beside libtiff (which keeps some of it to itself).
struct DirectoryLayout {
    TIFF* tiff;
    bool bigTiff;
    bool bigEndian;

    size_t countSize() const { return bigTiff ? 8 : 2; }
    size_t entrySize() const { return bigTiff ? 20 : 12; }

    // The unsigned number of `size` bytes at `offset`; nullopt when the file ends before it.
    std::optional<uint64_t> numberAt(uint64_t offset, size_t size) const {
        unsigned char bytes[8] = {};
        if (readBufferedTiff(tiff, offset, bytes, size) != size)
            return std::nullopt;
        return readUnsigned(bytes, size, bigEndian);
    }
};

// The offset of the directory that follows the one at `offset`; nullopt when the directory
// cannot be read.
std::optional<uint64_t> nextDirectoryOffset(const DirectoryLayout& layout, uint64_t offset) {
    const std::optional<uint64_t> entries = layout.numberAt(offset, layout.countSize());
    if (!entries || *entries > (uint64_t{1} << 32))
        return std::nullopt;
    return layout.numberAt(offset + layout.countSize() + *entries * layout.entrySize(),
                           layout.bigTiff ? 8 : 4);
}

// The value of tag `tag` of the directory at `offset` when it is a single number held in the
// entry itself; nullopt when the tag is missing, holds more than one value, or cannot be read.
// Tags are sorted and the ones asked for come early, so only the first `entriesRead` are read.
std::optional<uint64_t> inlineTagValue(const DirectoryLayout& layout, uint64_t offset, uint16_t tag,
                                       size_t entriesRead) {
    constexpr size_t k_mostEntries = 32;
    const uint64_t entries =
        std::min<uint64_t>(layout.numberAt(offset, layout.countSize()).value_or(0),
                           std::min(entriesRead, k_mostEntries));
    const size_t entrySize = layout.entrySize();
    unsigned char table[k_mostEntries * 20] = {};
    const size_t got = readBufferedTiff(layout.tiff, offset + layout.countSize(), table,
                                        static_cast<size_t>(entries) * entrySize);
    for (size_t at = 0; at + entrySize <= got; at += entrySize) {
        const unsigned char* entry = table + at;
        if (readUnsigned(entry, 2, layout.bigEndian) != tag)
            continue;
        const size_t countSize = layout.bigTiff ? 8 : 4;
        if (readUnsigned(entry + 4, countSize, layout.bigEndian) != 1)
            return std::nullopt;
        const uint64_t type = readUnsigned(entry + 2, 2, layout.bigEndian);
        const size_t valueSize = type == TIFF_SHORT ? 2 : type == TIFF_LONG8 ? 8 : 4;
        if (type != TIFF_SHORT && type != TIFF_LONG && !(type == TIFF_LONG8 && layout.bigTiff))
            return std::nullopt;
        return readUnsigned(entry + 4 + countSize, valueSize, layout.bigEndian);
    }
    return std::nullopt;
}

// The NewSubfileType of the directory at `offset`, 0 when it has none or cannot be read.
uint64_t subfileType(const DirectoryLayout& layout, uint64_t offset) {
    return inlineTagValue(layout, offset, TIFFTAG_SUBFILETYPE, 16).value_or(0);
}

// libtiff takes the byte count of an uncompressed page's only strip for bogus when it is 0,
// runs past the end of the file, or is smaller than the page's rows need, and then reads as
// many bytes as the rows need (in pieces, when it chops the strip up). That repairs the first
// two; a short count says where the strip ends, and reading on takes other directories or
// pages for pixels. Such a page fails as a page of several short strips does.
std::string shortStripProblem(TIFF* tiff) {
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    if (TIFFIsTiled(tiff) || compression != COMPRESSION_NONE)
        return {};
    const DirectoryLayout layout{tiff, TIFFIsBigTIFF(tiff) != 0, TIFFIsBigEndian(tiff) != 0};
    const std::optional<uint64_t> stored =
        inlineTagValue(layout, TIFFCurrentDirOffset(tiff), TIFFTAG_STRIPBYTECOUNTS, 32);
    const uint64_t start = TIFFGetStrileOffset(tiff, 0);
    const uint64_t fileSize = bufferedTiffSize(tiff);
    if (!stored || *stored == 0 || start > fileSize || *stored > fileSize - start)
        return {};
    uint64_t read = 0;
    for (uint32_t strip = 0; strip < TIFFNumberOfStrips(tiff); ++strip)
        read += TIFFGetStrileByteCount(tiff, strip);
    if (*stored >= read)
        return {};
    return "Not enough data for scanline 0: the strip holds " + std::to_string(*stored) +
           " bytes, its rows need " + std::to_string(read);
}

// Follows the chain of directories of `tiff` (opened by openBufferedTiff) from its first one the
// way the page count follows it, by the offsets alone, reading each one's subfile type on the
// way.
ChainWalk walkChain(TIFF* tiff) {
    ChainWalk walk;
    const DirectoryLayout layout{tiff, TIFFIsBigTIFF(tiff) != 0, TIFFIsBigEndian(tiff) != 0};
    const uint64_t fileSize = bufferedTiffSize(tiff);
    std::set<uint64_t> seen;
    uint64_t here = TIFFCurrentDirOffset(tiff);
    for (int page = 1;; ++page) {
        seen.insert(here);
        walk.offsets.push_back(here);
        walk.masks.push_back((subfileType(layout, here) & FILETYPE_MASK) != 0);
        const std::optional<uint64_t> next = nextDirectoryOffset(layout, here);
        if (!next) { // page 1 unreadable: its own failure says more
            if (page > 1)
                walk.problem = "the directory chain is cut after page " + std::to_string(page - 1) +
                               ": the next directory runs past the end of the file";
            return walk;
        }
        if (*next == 0)
            return walk;
        // The pages after the loop, if the file has any, cannot be reached.
        if (seen.count(*next)) {
            walk.problem = "the directory chain loops at page " + std::to_string(page);
            return walk;
        }
        if (*next >= fileSize) {
            walk.problem = "the directory chain is cut after page " + std::to_string(page) +
                           ": the next directory lies past the end of the file";
            return walk;
        }
        here = *next;
    }
}

} // namespace

TiffDirectories::TiffDirectories(const std::string& path) : m_tiff(openBufferedTiff(path)) {
    if (m_tiff) {
        m_fileSize = bufferedTiffSize(m_tiff.get());
        findPages();
    }
}

std::optional<PageFacts> TiffDirectories::read(int index) {
    m_dataProblem.clear();
    if (!m_tiff || index < 0 || index >= pageCount() || !seek(m_pages[static_cast<size_t>(index)]))
        return std::nullopt;
    m_dataProblem = shortStripProblem(m_tiff.get());
    return readPageFacts(m_tiff.get(), m_fileSize);
}

std::optional<uint64_t> TiffDirectories::currentOffset() const {
    if (!m_tiff || m_lost)
        return std::nullopt;
    return TIFFCurrentDirOffset(m_tiff.get());
}

// The subfile types are read straight from the directories, which costs one small read each
// rather than libtiff's reading of every tag; the same walk checks the chain.
void TiffDirectories::findPages() {
    // libtiff read the first directory as it opened the file, even where it cannot count on
    // from there (the next directory's offset cut off): that one is there.
    const int directories = std::max(1, static_cast<int>(TIFFNumberOfDirectories(m_tiff.get())));
    ChainWalk walk = walkChain(m_tiff.get());
    const std::vector<bool>& masks = walk.masks;
    m_chainProblem = std::move(walk.problem);
    if (m_chainProblem.empty() && static_cast<int>(walk.offsets.size()) == directories)
        m_offsets = std::move(walk.offsets);
    for (int directory = 0; directory < directories; ++directory) {
        if (directory < static_cast<int>(masks.size()) && masks[static_cast<size_t>(directory)])
            m_notes += "directory " + std::to_string(directory + 1) +
                       " is a transparency mask, not a page\n";
        else
            m_pages.push_back(directory);
    }
}

// A decoder taking every other page jumps to its next page's directory rather than reading
// the other decoder's on the way, when the walk found every directory's place.
bool TiffDirectories::seek(int directory) {
    const bool jump = directory < m_current || directory > m_current + 1;
    if (jump && directory < static_cast<int>(m_offsets.size())) {
        if (!TIFFSetSubDirectory(m_tiff.get(), m_offsets[static_cast<size_t>(directory)]))
            return lose();
        m_current = directory;
        return true;
    }
    if (directory < m_current) {
        if (!TIFFSetDirectory(m_tiff.get(), static_cast<tdir_t>(directory)))
            return lose();
        m_current = directory;
    }
    while (m_current < directory) {
        if (!TIFFReadDirectory(m_tiff.get()))
            return lose();
        ++m_current;
    }
    return true;
}

bool TiffDirectories::lose() {
    m_lost = true;
    return false;
}

} // namespace kx::decoder

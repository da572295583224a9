#pragma once

#include "decoder/tiff/page_budget.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct tiff TIFF;

namespace kx::decoder {

struct TiffCloser {
    void operator()(TIFF* tiff) const;
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// The pages of a TIFF along its chain of directories, read with libtiff walking the
// directories forward as the pages are asked for in order. Transparency masks (subfiles of
// NewSubfileType FILETYPE_MASK) belong to the page before them and are not pages: page
// indices count the other directories.
class TiffDirectories {
public:
    // Opens `path` through openBufferedTiff; no pages when libtiff cannot open it.
    explicit TiffDirectories(const std::string& path);

    // The facts of page `index`; nullopt when libtiff cannot reach its directory.
    std::optional<PageFacts> read(int index);

    // Why the pixels of the page last read cannot be trusted, whatever reads them; empty when
    // they can.
    const std::string& dataProblem() const { return m_dataProblem; }

    // Pages along the directory chain; 0 when libtiff cannot open the file.
    int pageCount() const { return static_cast<int>(m_pages.size()); }

    // One line for each directory that is not a page, saying so; empty when there is none.
    const std::string& notes() const { return m_notes; }

    // Why the chain of directories cannot be followed to its end (cut, or looping back), so
    // that pages after the cut may be missing; empty when it ends properly, and when libtiff
    // cannot open the file (its pages then say what there was).
    const std::string& chainProblem() const { return m_chainProblem; }

    // libtiff's handle, at the directory last read.
    TIFF* current() const { return m_tiff.get(); }

    // Where the directory last read lies in the file; nullopt once the walk went wrong
    // anywhere, since after a directory libtiff could not read, the count of directories
    // walked may no longer match the page index.
    std::optional<uint64_t> currentOffset() const;

private:
    void findPages();
    bool seek(int directory);
    bool lose();

    TiffHandle m_tiff;
    uint64_t m_fileSize = 0;
    int m_current = 0;
    bool m_lost = false;
    std::vector<int> m_pages;        // the directory (counted along the chain) of each page
    std::vector<uint64_t> m_offsets; // of every directory; empty when the chain is damaged
    std::string m_notes;
    std::string m_chainProblem;
    std::string m_dataProblem;
};

} // namespace kx::decoder

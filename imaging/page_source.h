#pragma once

#include "imaging/bitmap.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kx::imaging {

// What loading learnt about a page besides its pixels.
struct PageInfo {
    int sourceCompression = 1; // low byte of the page's TIFF Compression tag
    std::string problem;       // why the page cannot be trusted; empty when it decoded cleanly
};

// How a page's output file is made when nothing between loading and saving changes the page:
// the run's output format, depth and flags. Plain data, so that it can cross to the decoder.
struct SaveRecipe {
    int32_t freeImageFormat = 0;
    int32_t targetDepth = 0; // 0: the depth nearest the page's own
    int32_t saveFlags = 0;
    int32_t bmpColorTable = 0;
    char formatKey[8] = {}; // NUL-terminated
};

// A page's finished output file, made where the page was decoded, with what the naming of
// the file needs to know about the page.
class EncodedPage {
public:
    EncodedPage() = default;
    EncodedPage(EncodedPage&& other) noexcept { *this = std::move(other); }
    EncodedPage& operator=(EncodedPage&& other) noexcept;
    ~EncodedPage();

    uint32_t width = 0; // as loaded
    uint32_t height = 0;
    int32_t sourceDepth = 0; // bits per pixel as loaded
    bool sourceGrey = false; // a greyscale page as loaded

    bool hasFile() const { return !m_bytes.empty() || m_memory >= 0 || m_inOutput; }
    // The file held in memory, in a memory file of `size` bytes (taken over), or written into
    // the output file that came with the page's request.
    void setBytes(std::string bytes);
    void setMemoryFile(int memory, uint64_t size);
    void setInOutput(uint64_t size);
    bool inOutput() const { return m_inOutput; }
    uint64_t size() const { return m_memory >= 0 || m_inOutput ? m_size : m_bytes.size(); }
    // Copies the file held here to `fd`; false with errno set when a write fails or the file
    // went into the output file.
    bool writeTo(int fd) const;
    // The file in memory, or -1 with the bytes in a memory file.
    const std::string& bytes() const { return m_bytes; }
    int memoryFile() const { return m_memory; }

private:
    std::string m_bytes;
    int m_memory = -1;
    uint64_t m_size = 0;
    bool m_inOutput = false;
};

// The decoded pages of one input file. Pages are asked for in ascending order and each is
// decoded when asked, so only one page bitmap is alive at a time. Worker thread only.
class PageSource {
public:
    virtual ~PageSource() = default;
    // Number of pages; at least 1 for an opened source.
    virtual int pageCount() const = 0;
    // Decodes page `index`. Null when the page cannot be decoded; `info.problem` says why.
    virtual Bitmap loadPage(int index, PageInfo& info) = 0;
    // Decodes page `index` and lends it to `use`, which must not keep it: the page is released
    // when `use` returns. Saves the copy `loadPage` makes where the caller copies the pixels
    // elsewhere anyway. `use` gets null when the page cannot be decoded.
    using PageUser = std::function<void(FIBITMAP*)>;
    virtual void usePage(int index, PageInfo& info, const PageUser& use) {
        Bitmap page = loadPage(index, info);
        use(page.get());
    }
    // The file page `index`'s finished file may be written into (a descriptor the caller
    // keeps), or -1.
    using OutputFiles = std::function<int(int index)>;
    // Asks for every page from now on as its finished output file made by `recipe`
    // (loadEncodedPage), for runs whose chain leaves pages as they are; `outputs`, when set,
    // gives files to write them into straight away, asked for only within loadEncodedPage and
    // plan. False when this source only hands over bitmaps.
    virtual bool encodePages(const SaveRecipe& recipe, OutputFiles outputs = {}) { return false; }
    // The output file of page `index`; without a file when the page could not be decoded or
    // saved, `info.problem` saying why. Only after encodePages returned true.
    virtual EncodedPage loadEncodedPage(int index, PageInfo& info) { return {}; }
    // Writes page `index`'s output file made by `recipe` into `file` straight from the input,
    // for pages of the common kinds that need no decoding into a bitmap; nullopt for any other
    // page (`file` may then hold a part of one and is to be emptied), which is then loaded as
    // usual. With `shareCores`, a large page is written by two threads side by side. Only
    // sources reading a file in this process do this.
    virtual std::optional<EncodedPage> encodeDirectly(int index, PageInfo& info,
                                                      const SaveRecipe& recipe, int file,
                                                      bool shareCores = false) {
        return std::nullopt;
    }
    // Says which pages will be asked for, so that a source may decode the next page while
    // the current one goes through the chain.
    virtual void plan(int first, int end) {}
    // Why the file as a whole cannot be trusted once its pages were read: a directory chain
    // that cannot be followed to its end (cut, or looping back), so pages after it may be
    // missing. Empty when the chain ends properly.
    virtual std::string fileProblem() { return {}; }
    // What a debug run should say about the file besides its pages, such as directories that
    // are not pages; one line each, empty when nothing. Asked after fileProblem.
    virtual std::string fileNotes() { return {}; }
};

} // namespace kx::imaging

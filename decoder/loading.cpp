#include "decoder/loading.h"

#include "decoder/decode_diagnostics.h"
#include "decoder/page_budget.h"
#include "decoder/tiff_corrections.h"

#include <tiffio.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <vector>

namespace kx::engine {

namespace {

constexpr int k_oldStyleJpeg = 6; // COMPRESSION_OJPEG

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// The directory facts FreeImage does not expose, read with libtiff walking the directories
// forward as the pages are asked for in order.
class TiffDirectories {
public:
    explicit TiffDirectories(const std::string& path) : m_tiff(TIFFOpen(path.c_str(), "rm")) {
        std::error_code error;
        m_fileSize = std::filesystem::file_size(path, error);
        if (error)
            m_fileSize = 0;
    }

    // The facts of page `index`; nullopt when libtiff cannot reach its directory.
    std::optional<PageFacts> read(int index) {
        if (!m_tiff || !seek(index))
            return std::nullopt;
        return readPageFacts(m_tiff.get(), m_fileSize);
    }

    // libtiff's handle, at the directory last read.
    TIFF* current() const { return m_tiff.get(); }

private:
    bool seek(int index) {
        if (index < m_current) {
            if (!TIFFSetDirectory(m_tiff.get(), static_cast<tdir_t>(index)))
                return false;
            m_current = index;
        }
        while (m_current < index) {
            if (!TIFFReadDirectory(m_tiff.get()))
                return false;
            ++m_current;
        }
        return true;
    }

    std::unique_ptr<TIFF, TiffCloser> m_tiff;
    uint64_t m_fileSize = 0;
    int m_current = 0;
};

struct MultiBitmapCloser {
    void operator()(FIMULTIBITMAP* multi) const { FreeImage_CloseMultiBitmap(multi, 0); }
};

// Old-style JPEG pages FreeImage cannot decode are tried once more from the first JPEG
// stream embedded in the file; the result counts only when it has the page's size, since the
// stream may belong to another page or hold only the first strip.
Bitmap decodeEmbeddedJpeg(const std::string& path, uint32_t width, uint32_t height) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return nullptr;
    std::vector<BYTE> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    size_t start = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xD8) {
            start = i;
            break;
        }
    }
    if (start >= bytes.size())
        return nullptr;
    MemoryStream stream(
        FreeImage_OpenMemory(bytes.data() + start, static_cast<DWORD>(bytes.size() - start)));
    if (!stream)
        return nullptr;
    FreeImage_SeekMemory(stream.get(), 0, SEEK_SET);
    Bitmap decoded(
        FreeImage_LoadFromMemory(FIF_JPEG, stream.get(), JPEG_ACCURATE | JPEG_EXIFROTATE));
    if (!decoded || FreeImage_GetWidth(decoded.get()) != width ||
        FreeImage_GetHeight(decoded.get()) != height)
        return nullptr;
    return decoded;
}

class FreeImagePageSource final : public PageSource {
public:
    FreeImagePageSource(std::string path, FIMULTIBITMAP* multi, int count, Bitmap single)
        : m_path(std::move(path)), m_multi(multi), m_count(count), m_single(std::move(single)),
          m_directories(m_path) {}

    int pageCount() const override { return m_count; }

    Bitmap loadPage(int index, PageInfo& info) override {
        Bitmap copy;
        usePage(index, info, [&](FIBITMAP* page) {
            if (page)
                copy.reset(FreeImage_Clone(page));
            if (page && !copy)
                info.problem = "no memory for a copy of the page";
        });
        return copy;
    }

    void usePage(int index, PageInfo& info, const PageUser& use) override {
        DecodeDiagnostics diagnostics;
        const std::optional<PageFacts> facts = m_directories.read(index);
        if (facts) {
            info.sourceCompression = facts->compression & 0xFF;
            // Refused before FreeImage allocates anything for it.
            info.problem = pageRefusal(*facts, availableMemory());
            if (!info.problem.empty())
                return use(nullptr);
        }
        if (facts && decodesWithLibtiff(*facts)) {
            // FreeImage gets these wrong; libtiff, at the page's directory, decodes them.
            Bitmap decoded = decodeWithLibtiff(m_directories.current(), *facts, info.problem);
            if (info.problem.empty())
                info.problem = diagnostics.take();
            if (!decoded && info.problem.empty())
                info.problem = "the page could not be decoded";
            return use(decoded.get());
        }
        FIBITMAP* locked = m_multi ? FreeImage_LockPage(m_multi.get(), index) : nullptr;
        Bitmap owned = !m_multi && index == 0 ? std::move(m_single) : nullptr;
        if (!locked && !owned && facts && facts->compression == k_oldStyleJpeg)
            owned = decodeEmbeddedJpeg(m_path, facts->width, facts->height);
        FIBITMAP* page = locked ? locked : owned.get();
        if (facts)
            correctDecodedPage(page, *facts);
        info.problem = diagnostics.take();
        if (!page && info.problem.empty())
            info.problem = diagnostics.takeRefusal();
        if (!page && info.problem.empty())
            info.problem = "the page could not be decoded";
        use(page);
        if (locked)
            FreeImage_UnlockPage(m_multi.get(), locked, FALSE);
    }

    std::string fileProblem() override { return directoryChainProblem(m_path); }

private:
    std::string m_path;
    std::unique_ptr<FIMULTIBITMAP, MultiBitmapCloser> m_multi;
    int m_count;
    Bitmap m_single;
    TiffDirectories m_directories;
};

uint64_t readUnsigned(const unsigned char* bytes, size_t size, bool bigEndian) {
    uint64_t value = 0;
    for (size_t i = 0; i < size; ++i)
        value |= uint64_t{bytes[bigEndian ? size - 1 - i : i]} << (8 * i);
    return value;
}

// The offset of the directory that follows the one at `offset`, read from the file itself
// (libtiff keeps it to itself); nullopt when the directory cannot be read.
std::optional<uint64_t> nextDirectoryOffset(std::ifstream& file, uint64_t offset, bool bigTiff,
                                            bool bigEndian) {
    const size_t countSize = bigTiff ? 8 : 2;
    const size_t entrySize = bigTiff ? 20 : 12;
    const size_t offsetSize = bigTiff ? 8 : 4;
    unsigned char bytes[8] = {};
    file.clear();
    file.seekg(static_cast<std::streamoff>(offset));
    if (!file.read(reinterpret_cast<char*>(bytes), static_cast<std::streamsize>(countSize)))
        return std::nullopt;
    const uint64_t entries = readUnsigned(bytes, countSize, bigEndian);
    if (entries > (uint64_t{1} << 32))
        return std::nullopt;
    file.seekg(static_cast<std::streamoff>(offset + countSize + entries * entrySize));
    if (!file.read(reinterpret_cast<char*>(bytes), static_cast<std::streamsize>(offsetSize)))
        return std::nullopt;
    return readUnsigned(bytes, offsetSize, bigEndian);
}

} // namespace

std::string directoryChainProblem(const std::string& path) {
    DecodeDiagnostics quiet; // libtiff's complaints about the chain are not the console's
    const std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(path.c_str(), "rm"));
    std::ifstream file(path, std::ios::binary);
    std::error_code error;
    const uint64_t fileSize = std::filesystem::file_size(path, error);
    if (!tiff || !file || error)
        return {}; // not a TIFF libtiff reads: the pages themselves said what there was
    const bool bigTiff = TIFFIsBigTIFF(tiff.get()) != 0;
    const bool bigEndian = TIFFIsBigEndian(tiff.get()) != 0;
    // The chain is followed the way the page count follows it: by the offsets alone.
    std::set<uint64_t> seen;
    uint64_t here = TIFFCurrentDirOffset(tiff.get());
    for (int page = 1;; ++page) {
        seen.insert(here);
        const std::optional<uint64_t> next = nextDirectoryOffset(file, here, bigTiff, bigEndian);
        const std::string cut = "the directory chain is cut after page " + std::to_string(page - 1);
        if (!next) // page 1 unreadable: its own failure says more
            return page == 1 ? std::string()
                             : cut + ": the next directory runs past the end of the file";
        if (*next == 0 || seen.count(*next))
            return {};
        if (*next >= fileSize)
            return "the directory chain is cut after page " + std::to_string(page) +
                   ": the next directory lies past the end of the file";
        here = *next;
    }
}

std::unique_ptr<PageSource> openPagesInProcess(const std::string& path) {
    installDecodeDiagnostics();
    FIMULTIBITMAP* multi = FreeImage_OpenMultiBitmap(FIF_TIFF, path.c_str(), FALSE, TRUE, TRUE, 0);
    const int count = multi ? FreeImage_GetPageCount(multi) : 0;
    if (count > 0)
        return std::make_unique<FreeImagePageSource>(path, multi, count, nullptr);
    // A file the multi-page reader opens but finds no page in is not a TIFF it can read;
    // the single-image reader gets its chance.
    if (multi)
        FreeImage_CloseMultiBitmap(multi, 0);
    Bitmap single(FreeImage_Load(FIF_TIFF, path.c_str(), 0));
    if (!single)
        return nullptr;
    return std::make_unique<FreeImagePageSource>(path, nullptr, 1, std::move(single));
}

Bitmap standardizeGreyscale(Bitmap page) {
    if (!page)
        return page;
    const FREE_IMAGE_COLOR_TYPE type = FreeImage_GetColorType(page.get());
    if (type != FIC_MINISWHITE && type != FIC_MINISBLACK)
        return page;
    return keepResolution(page.get(), FreeImage_ConvertToStandardType(page.get(), TRUE));
}

Bitmap toneMap(Bitmap page) {
    if (!page || FreeImage_GetBPP(page.get()) <= 32)
        return page;
    // 16 bits per sample is more precision, not more range: scaled, never tone-mapped.
    switch (FreeImage_GetImageType(page.get())) {
    case FIT_RGB16:
        return keepResolution(page.get(), FreeImage_ConvertTo24Bits(page.get()));
    case FIT_RGBA16:
        return keepResolution(page.get(), FreeImage_ConvertTo32Bits(page.get()));
    default:
        return keepResolution(page.get(), FreeImage_TmoDrago03(page.get(), 1.0, 0.0));
    }
}

} // namespace kx::engine

#include "decoder/loading.h"

#include "base/available_memory.h"
#include "decoder/decode_bounds.h"
#include "decoder/decode_diagnostics.h"
#include "decoder/direct_bmp.h"
#include "decoder/freeimage_corrections.h"
#include "decoder/libtiff_pages.h"
#include "decoder/page_budget.h"
#include "decoder/page_orientation.h"
#include "decoder/tiff_reading.h"
#include "imaging/bitmap.h"
#include "imaging/page_source.h"
#include "settings/settings.h"

#include <sys/mman.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace kx::decoder {

namespace {

constexpr int k_oldStyleJpeg = 6; // COMPRESSION_OJPEG

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// What one walk along a TIFF's directory chain, by the offsets alone, finds.
struct ChainWalk {
    std::vector<bool> masks;       // which directories are transparency masks, in chain order
    std::vector<uint64_t> offsets; // where each directory lies, in chain order
    std::string problem;           // why the chain cannot be followed to its end; empty when it can
};

ChainWalk walkChain(TIFF* tiff);

std::string shortStripProblem(TIFF* tiff);

// The directory facts FreeImage does not expose, read with libtiff walking the directories
// forward as the pages are asked for in order. Transparency masks (subfiles of NewSubfileType
// FILETYPE_MASK) belong to the page before them and are not pages: page indices count the
// other directories.
class TiffDirectories {
public:
    explicit TiffDirectories(const std::string& path) : m_tiff(openBufferedTiff(path)) {
        if (m_tiff) {
            m_fileSize = bufferedTiffSize(m_tiff.get());
            findPages();
        }
    }

    // The facts of page `index`; nullopt when libtiff cannot reach its directory.
    std::optional<PageFacts> read(int index) {
        m_dataProblem.clear();
        if (!m_tiff || !seek(directoryOf(index)))
            return std::nullopt;
        m_dataProblem = shortStripProblem(m_tiff.get());
        return readPageFacts(m_tiff.get(), m_fileSize);
    }

    // Why the pixels of the page last read cannot be trusted, whatever reads them; empty when
    // they can.
    const std::string& dataProblem() const { return m_dataProblem; }

    // Pages along the directory chain; 0 when libtiff cannot open the file.
    int pageCount() const { return static_cast<int>(m_pages.size()); }

    // The directory (counted along the chain, as FreeImage counts pages) holding page `index`.
    int directoryOf(int index) const {
        return index >= 0 && index < pageCount() ? m_pages[static_cast<size_t>(index)] : index;
    }

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
    std::optional<uint64_t> currentOffset() const {
        if (!m_tiff || m_lost)
            return std::nullopt;
        return TIFFCurrentDirOffset(m_tiff.get());
    }

private:
    // The subfile types are read straight from the directories, which costs one small read
    // each rather than libtiff's reading of every tag; the same walk checks the chain.
    void findPages() {
        const int directories = static_cast<int>(TIFFNumberOfDirectories(m_tiff.get()));
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
    bool seek(int index) {
        const bool jump = index < m_current || index > m_current + 1;
        if (jump && index < static_cast<int>(m_offsets.size())) {
            if (!TIFFSetSubDirectory(m_tiff.get(), m_offsets[static_cast<size_t>(index)]))
                return lose();
            m_current = index;
            return true;
        }
        if (index < m_current) {
            if (!TIFFSetDirectory(m_tiff.get(), static_cast<tdir_t>(index)))
                return lose();
            m_current = index;
        }
        while (m_current < index) {
            if (!TIFFReadDirectory(m_tiff.get()))
                return lose();
            ++m_current;
        }
        return true;
    }

    bool lose() {
        m_lost = true;
        return false;
    }

    std::unique_ptr<TIFF, TiffCloser> m_tiff;
    uint64_t m_fileSize = 0;
    int m_current = 0;
    bool m_lost = false;
    std::vector<int> m_pages;
    std::vector<uint64_t> m_offsets; // of every directory; empty when the chain is damaged
    std::string m_notes;
    std::string m_chainProblem;
    std::string m_dataProblem;
};

// The TIFF file as FreeImage would read it, except that its header names a chosen directory
// as the first. FreeImage's multi-page reader reaches page n by walking n directories from the
// start, so a file of n pages costs n * n / 2 directory reads; loading the page through this
// view as a single image reads its directory at once. Everything but the header's offset of
// the first directory reads as the file itself, so the page decodes exactly as it would as
// page n.
//
// Two more things are hidden, where FreeImage's metadata reading corrupts or misreads the
// decoder's memory: in a file of the other byte order, FreeImage byte-swaps an IPTC block
// (tag 33723) as if its size counted 4-byte words, not bytes, writing past the end of the
// block; and on a page with an EXIF directory it copies the ICC profile (tag 34675) after
// reading that directory has freed it. The view presents those directory entries under tag
// numbers nobody reads (the next one up, which keeps the entries in ascending order). Neither
// block reaches a BMP, and the pixels do not depend on them.
class DirectoryView {
public:
    explicit DirectoryView(std::string path) : m_path(std::move(path)) {}

    // Loads the page whose directory lies at `offset` with FreeImage's single-image TIFF
    // loader; false when the view cannot present it (then nothing was attempted).
    bool load(uint64_t offset, imaging::Bitmap& page) {
        if (!m_opened)
            open();
        return present(offset, page);
    }

private:
    // The file is opened only for the first page FreeImage loads: pages written straight from
    // libtiff never need it.
    void open() {
        m_opened = true;
        m_file.reset(std::fopen(m_path.c_str(), "rb"));
        if (!m_file)
            return;
        unsigned char header[16] = {};
        const size_t got = std::fread(header, 1, sizeof header, m_file.get());
        const bool littleEndian = got >= 8 && header[0] == 'I' && header[1] == 'I';
        const bool bigEndian = got >= 8 && header[0] == 'M' && header[1] == 'M';
        if (!littleEndian && !bigEndian)
            return;
        m_bigEndian = bigEndian;
        const unsigned version =
            m_bigEndian ? header[2] << 8 | header[3] : header[3] << 8 | header[2];
        if (version == 42)
            m_headerSize = 8;
        else if (version == 43 && got == 16)
            m_headerSize = 16;
        std::memcpy(m_header, header, sizeof header);
    }

    bool present(uint64_t offset, imaging::Bitmap& page) {
        if (m_headerSize == 0 || (m_headerSize == 8 && offset > UINT32_MAX))
            return false;
        const size_t offsetAt = m_headerSize == 8 ? 4 : 8;
        const size_t offsetSize = m_headerSize == 8 ? 4 : 8;
        for (size_t i = 0; i < offsetSize; ++i) {
            const size_t shift = 8 * (m_bigEndian ? offsetSize - 1 - i : i);
            m_header[offsetAt + i] = static_cast<unsigned char>(offset >> shift);
        }
        findHiddenEntries(offset);
        if (std::fseek(m_file.get(), 0, SEEK_SET) != 0)
            return false;
        FreeImageIO io{readProc, nullptr, seekProc, tellProc};
        page.reset(FreeImage_LoadFromHandle(FIF_TIFF, &io, static_cast<fi_handle>(this), 0));
        return true;
    }

    static constexpr uint16_t k_iptcTag = 33723;
    static constexpr uint16_t k_exifTag = 34665;
    static constexpr uint16_t k_iccTag = 34675;
    static constexpr bool k_bigEndianHost = std::endian::native == std::endian::big;

    struct FileCloser {
        void operator()(FILE* file) const { std::fclose(file); }
    };

    uint64_t number(const unsigned char* bytes, size_t size) const {
        uint64_t value = 0;
        for (size_t i = 0; i < size; ++i)
            value |= uint64_t{bytes[m_bigEndian ? size - 1 - i : i]} << (8 * i);
        return value;
    }

    // Finds the entries of the directory at `directory` that FreeImage must not see.
    void findHiddenEntries(uint64_t directory) {
        m_hidden.clear();
        const size_t countSize = m_headerSize == 8 ? 2 : 8;
        const size_t entrySize = m_headerSize == 8 ? 12 : 20;
        unsigned char bytes[8] = {};
        if (directory > static_cast<uint64_t>(LONG_MAX) ||
            std::fseek(m_file.get(), static_cast<long>(directory), SEEK_SET) != 0 ||
            std::fread(bytes, 1, countSize, m_file.get()) != countSize)
            return;
        const uint64_t entries = number(bytes, countSize);
        std::vector<unsigned char> table(static_cast<size_t>(std::min<uint64_t>(entries, 4096)) *
                                         entrySize);
        table.resize(std::fread(table.data(), 1, table.size(), m_file.get()));
        long iptc = -1, icc = -1;
        bool exif = false;
        for (size_t at = 0; at + entrySize <= table.size(); at += entrySize) {
            const uint64_t tag = number(table.data() + at, 2);
            const auto where = static_cast<long>(directory + countSize + at);
            iptc = tag == k_iptcTag ? where : iptc;
            icc = tag == k_iccTag ? where : icc;
            exif = exif || tag == k_exifTag;
        }
        if (iptc >= 0 && m_bigEndian != k_bigEndianHost)
            m_hidden.push_back({iptc, k_iptcTag + 1});
        if (icc >= 0 && exif)
            m_hidden.push_back({icc, k_iccTag + 1});
    }

    // Puts `bytes` over the part of `buffer` (read from file offset `at`, `got` bytes long)
    // that falls on file offsets [from, from + size).
    static void overlay(void* buffer, long at, size_t got, long from, const unsigned char* bytes,
                        size_t size) {
        const long begin = std::max(at, from);
        const long end = std::min(at + static_cast<long>(got), from + static_cast<long>(size));
        if (begin < end)
            std::memcpy(static_cast<unsigned char*>(buffer) + (begin - at), bytes + (begin - from),
                        static_cast<size_t>(end - begin));
    }

    static unsigned DLL_CALLCONV readProc(void* buffer, unsigned size, unsigned count,
                                          fi_handle handle) {
        auto* view = static_cast<DirectoryView*>(handle);
        const long at = std::ftell(view->m_file.get());
        const size_t got = std::fread(buffer, 1, size_t{size} * count, view->m_file.get());
        if (at >= 0) {
            overlay(buffer, at, got, 0, view->m_header, view->m_headerSize);
            for (const HiddenEntry& entry : view->m_hidden) {
                const unsigned char high = static_cast<unsigned char>(entry.shownAs >> 8);
                const unsigned char low = static_cast<unsigned char>(entry.shownAs & 0xFF);
                const unsigned char shown[2] = {view->m_bigEndian ? high : low,
                                                view->m_bigEndian ? low : high};
                overlay(buffer, at, got, entry.at, shown, sizeof shown);
            }
        }
        return size == 0 ? 0 : static_cast<unsigned>(got / size);
    }

    static int DLL_CALLCONV seekProc(fi_handle handle, long offset, int origin) {
        return std::fseek(static_cast<DirectoryView*>(handle)->m_file.get(), offset, origin);
    }

    static long DLL_CALLCONV tellProc(fi_handle handle) {
        return std::ftell(static_cast<DirectoryView*>(handle)->m_file.get());
    }

    std::string m_path;
    bool m_opened = false;
    std::unique_ptr<FILE, FileCloser> m_file;
    unsigned char m_header[16] = {};
    size_t m_headerSize = 0; // 8 for a classic TIFF, 16 for a BigTIFF, 0 when not usable
    bool m_bigEndian = false;
    struct HiddenEntry {
        long at;          // where the entry's tag number lies in the file
        uint16_t shownAs; // the tag number the view shows instead
    };
    std::vector<HiddenEntry> m_hidden; // in the directory being loaded
};

struct MultiBitmapCloser {
    void operator()(FIMULTIBITMAP* multi) const { FreeImage_CloseMultiBitmap(multi, 0); }
};

// Old-style JPEG pages FreeImage cannot decode are tried once more from the first JPEG
// stream embedded in the file; the result counts only when it has the page's size, since the
// stream may belong to another page or hold only the first strip.
imaging::Bitmap decodeEmbeddedJpeg(const std::string& path, uint32_t width, uint32_t height) {
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
    imaging::MemoryStream stream(
        FreeImage_OpenMemory(bytes.data() + start, static_cast<DWORD>(bytes.size() - start)));
    if (!stream)
        return nullptr;
    FreeImage_SeekMemory(stream.get(), 0, SEEK_SET);
    imaging::Bitmap decoded(
        FreeImage_LoadFromMemory(FIF_JPEG, stream.get(), JPEG_ACCURATE | JPEG_EXIFROTATE));
    if (!decoded || FreeImage_GetWidth(decoded.get()) != width ||
        FreeImage_GetHeight(decoded.get()) != height)
        return nullptr;
    return decoded;
}

class FreeImagePageSource final : public imaging::PageSource {
public:
    // The pages of a TIFF as libtiff counts them, which is how FreeImage's multi-page reader
    // counts them too; none when libtiff cannot open it.
    FreeImagePageSource(std::string path, DecodeStart onDecode)
        : m_path(std::move(path)), m_onDecode(std::move(onDecode)), m_multiPage(true),
          m_directories(m_path), m_count(m_directories.pageCount()) {}

    // The one page FreeImage's single-image reader makes of a file libtiff finds no page in.
    // It is loaded under the same page check as any page: a page too large for it is not
    // loaded and fails saying why. No page when the reader makes none.
    struct SingleImage {};
    FreeImagePageSource(std::string path, DecodeStart onDecode, SingleImage)
        : m_path(std::move(path)), m_onDecode(std::move(onDecode)), m_directories(m_path),
          m_count(0) {
        m_count = loadSingle() ? 1 : 0;
    }

    int pageCount() const override { return m_count; }

    // A page FreeImage's multi-page reader lends is copied; one loaded on its own is handed
    // over as it is.
    imaging::Bitmap loadPage(int index, imaging::PageInfo& info) override {
        Decoded decoded = decode(index, info);
        if (!decoded.locked)
            return std::move(decoded.owned);
        imaging::Bitmap copy(FreeImage_Clone(decoded.locked));
        FreeImage_UnlockPage(multi(), decoded.locked, FALSE);
        if (!copy && info.problem.empty())
            info.problem = "no memory for a copy of the page";
        return copy;
    }

    void usePage(int index, imaging::PageInfo& info, const PageUser& use) override {
        Decoded decoded = decode(index, info);
        use(decoded.locked ? decoded.locked : decoded.owned.get());
        if (decoded.locked)
            FreeImage_UnlockPage(multi(), decoded.locked, FALSE);
    }

    std::optional<imaging::EncodedPage> encodeDirectly(int index, imaging::PageInfo& info,
                                                       const imaging::SaveRecipe& recipe, int file,
                                                       bool shareCores) override {
        std::optional<PageFacts> facts;
        const std::optional<DirectPage> direct = directPage(index, recipe, facts);
        if (!direct)
            return std::nullopt;
        std::string problem;
        const DirectWrite written =
            shareCores && direct->splits
                ? writeSideBySide(*facts, file, problem)
                : writeDirectBmp(m_directories.current(), *facts, file, problem);
        // A page libtiff cannot read cleanly goes the usual way, which says why in its words;
        // a failed write fails the page.
        if (written == DirectWrite::Unreadable)
            return std::nullopt;
        if (written == DirectWrite::Unwritable)
            info.problem = problem;
        imaging::EncodedPage encoded;
        encoded.width = direct->width;
        encoded.height = direct->height;
        encoded.sourceDepth = direct->sourceDepth;
        encoded.sourceGrey = direct->sourceGrey;
        info.sourceCompression = facts->compression & 0xFF;
        return encoded;
    }

    std::string fileProblem() override { return m_directories.chainProblem(); }

    std::string fileNotes() override { return m_directories.notes(); }

private:
    // Page `index` as it is written straight from its strips, when `recipe` asks for what
    // that writes (the plain BMP of a page at its own depth) and the page is of a kind it
    // writes; `facts` are read on the way. The page's decode has started.
    std::optional<DirectPage> directPage(int index, const imaging::SaveRecipe& recipe,
                                         std::optional<PageFacts>& facts) {
        if (std::string_view(recipe.formatKey) != "bmp" || recipe.targetDepth != 0 ||
            recipe.saveFlags != BMP_DEFAULT ||
            recipe.bmpColorTable != settings::BmpColorTable::Auto)
            return std::nullopt;
        DecodeDiagnostics diagnostics(Watched::Libtiff);
        facts = m_directories.read(index);
        if (!facts || !pageBudgetProblem(*facts, memoryAvailable()).empty() ||
            !m_directories.dataProblem().empty() || !diagnostics.take().empty())
            return std::nullopt;
        startDecode(facts);
        return directBmpPage(m_directories.current(), *facts);
    }

    // Writes the page at the current directory into `file` with two threads, each claiming
    // the next band of rows until none is left. libtiff's handle is not to be shared: the
    // second thread reads the file through a handle of its own. Without one (or without a
    // thread), this thread claims every band.
    DirectWrite writeSideBySide(const PageFacts& facts, int file, std::string& why) {
        std::atomic<uint32_t> next{0};
        const auto claim = [&next] { return next.fetch_add(1); };
        const std::optional<uint64_t> directory = m_directories.currentOffset();
        DirectWrite helped = DirectWrite::Written;
        std::string helperWhy;
        const auto help = [&] {
            const std::unique_ptr<TIFF, TiffCloser> tiff(openBufferedTiff(m_path));
            if (tiff && TIFFSetSubDirectory(tiff.get(), *directory))
                helped = writeDirectBmpPart(tiff.get(), facts, file, {false, claim}, helperWhy);
        };
        std::optional<std::thread> helper;
        try {
            if (directory)
                helper.emplace(help);
        } catch (const std::system_error&) {
        }
        const DirectWrite written =
            writeDirectBmpPart(m_directories.current(), facts, file, {true, claim}, why);
        if (helper)
            helper->join();
        if (written != DirectWrite::Written || helped == DirectWrite::Written)
            return written;
        why = helperWhy;
        return helped;
    }

    // A decoded page: either lent by the multi-page reader (to be unlocked) or owned.
    struct Decoded {
        FIBITMAP* locked = nullptr;
        imaging::Bitmap owned;
        int orientation = ORIENTATION_TOPLEFT; // the page's Orientation tag
    };

    // The page as a viewer honouring its Orientation tag shows it.
    Decoded decode(int index, imaging::PageInfo& info) {
        Decoded decoded = decodeStored(index, info);
        if (decoded.orientation != ORIENTATION_TOPLEFT)
            orient(decoded, info);
        return decoded;
    }

    // A turned page is a page of its own: one lent by the multi-page reader is copied first.
    void orient(Decoded& decoded, imaging::PageInfo& info) {
        if (decoded.locked) {
            decoded.owned.reset(FreeImage_Clone(decoded.locked));
            FreeImage_UnlockPage(multi(), decoded.locked, FALSE);
            decoded.locked = nullptr;
        }
        decoded.owned = orientPage(std::move(decoded.owned), decoded.orientation);
        if (!decoded.owned && info.problem.empty())
            info.problem = "no memory to turn the page as its Orientation tag says";
    }

    // The page in stored order, whichever way its Orientation tag says to show it.
    Decoded decodeStored(int index, imaging::PageInfo& info) {
        DecodeDiagnostics diagnostics;
        Decoded decoded;
        const std::optional<PageFacts> facts = m_directories.read(index);
        if (facts) {
            decoded.orientation = readOrientation(m_directories.current());
            info.sourceCompression = facts->compression & 0xFF;
            // Refused before FreeImage allocates anything for it.
            info.problem =
                firstOf(pageBudgetProblem(*facts, memoryAvailable()), m_directories.dataProblem());
            if (!info.problem.empty())
                return decoded;
        }
        startDecode(facts);
        if (facts && decodesWithLibtiff(*facts)) {
            // FreeImage gets these wrong; libtiff, at the page's directory, decodes them.
            decoded.owned = decodeWithLibtiff(m_directories.current(), *facts, info.problem);
            if (!decoded.owned)
                info.problem = firstOf(memoryBoundProblem("page"), info.problem);
            if (info.problem.empty())
                info.problem = diagnostics.take();
            if (!decoded.owned && info.problem.empty())
                info.problem = "the page could not be decoded";
            return decoded;
        }
        if (!m_multiPage && index == 0)
            decoded.owned = std::move(m_single);
        const std::optional<uint64_t> offset = facts ? m_directories.currentOffset() : std::nullopt;
        const bool viewed = m_multiPage && offset && m_view.load(*offset, decoded.owned);
        if (m_multiPage && !viewed && multi())
            decoded.locked = FreeImage_LockPage(multi(), m_directories.directoryOf(index));
        if (facts)
            restoreStoredOrder(decoded.locked ? decoded.locked : decoded.owned.get(), *facts,
                               decoded.orientation);
        if (!decoded.locked && !decoded.owned && facts && facts->compression == k_oldStyleJpeg)
            decoded.owned = decodeEmbeddedJpeg(m_path, facts->width, facts->height);
        FIBITMAP* page = decoded.locked ? decoded.locked : decoded.owned.get();
        if (facts)
            correctDecodedPage(page, *facts);
        info.problem =
            page ? diagnostics.take() : firstOf(memoryBoundProblem("page"), diagnostics.take());
        if (!page && info.problem.empty())
            info.problem = diagnostics.takeRefusal();
        if (!page && info.problem.empty())
            info.problem = "the page could not be decoded";
        return decoded;
    }

    // Tells whoever runs the decode that a page of this size is about to be decoded; a page
    // whose directory cannot be read counts as an empty one. Any failed allocation from here
    // on is the page's.
    void startDecode(const std::optional<PageFacts>& facts) {
        if (m_onDecode)
            m_onDecode(facts.value_or(PageFacts{}));
        errno = 0;
    }

    bool loadSingle() {
        const std::optional<PageFacts> facts = m_directories.read(0);
        if (facts && !pageBudgetProblem(*facts, memoryAvailable()).empty())
            return true; // the page fails with the reason when it is asked for
        startDecode(facts);
        installDecodeDiagnostics();
        m_single.reset(FreeImage_Load(FIF_TIFF, m_path.c_str(), 0));
        return m_single != nullptr;
    }

    static std::string firstOf(std::string first, std::string second) {
        return first.empty() ? second : first;
    }

    // FreeImage's multi-page reader, opened the first time a page cannot be read through the
    // directory view: most files never need it.
    FIMULTIBITMAP* multi() {
        if (!m_multi && m_multiPage && !m_multiTried) {
            m_multiTried = true;
            m_multi.reset(
                FreeImage_OpenMultiBitmap(FIF_TIFF, m_path.c_str(), FALSE, TRUE, TRUE, 0));
        }
        return m_multi.get();
    }

    // Read once per file: asking the system for every page costs more than a small page.
    uint64_t memoryAvailable() {
        if (!m_available)
            m_available = base::availableMemory();
        return *m_available;
    }

    std::string m_path;
    DecodeStart m_onDecode;
    std::unique_ptr<FIMULTIBITMAP, MultiBitmapCloser> m_multi;
    bool m_multiPage = false; // pages are read from the TIFF's directories, not m_single
    bool m_multiTried = false;
    imaging::Bitmap m_single;
    TiffDirectories m_directories;
    int m_count;
    DirectoryView m_view{m_path};
    std::optional<uint64_t> m_available;
};

uint64_t readUnsigned(const unsigned char* bytes, size_t size, bool bigEndian) {
    uint64_t value = 0;
    for (size_t i = 0; i < size; ++i)
        value |= uint64_t{bytes[bigEndian ? size - 1 - i : i]} << (8 * i);
    return value;
}

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

std::unique_ptr<imaging::PageSource> openPagesInProcess(const std::string& path) {
    return openPagesWatched(path, {});
}

std::unique_ptr<imaging::PageSource> openPagesWatched(const std::string& path,
                                                      const DecodeStart& onDecode) {
    installDecodeDiagnostics(Watched::Libtiff);
    // FreeImage is not even loaded for a file whose pages the decoder writes itself.
    auto pages = std::make_unique<FreeImagePageSource>(path, onDecode);
    if (pages->pageCount() > 0)
        return pages;
    // A file libtiff finds no page in is not a TIFF the multi-page reader can read either;
    // the single-image reader gets its chance.
    pages =
        std::make_unique<FreeImagePageSource>(path, onDecode, FreeImagePageSource::SingleImage{});
    if (pages->pageCount() > 0)
        return pages;
    return nullptr;
}

} // namespace kx::decoder
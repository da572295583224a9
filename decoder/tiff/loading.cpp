#include "decoder/tiff/loading.h"

#include "base/available_memory.h"
#include "decoder/tiff/decode_diagnostics.h"
#include "decoder/tiff/direct_bmp.h"
#include "decoder/tiff/libtiff_pages.h"
#include "decoder/tiff/page_budget.h"
#include "decoder/tiff/page_orientation.h"
#include "decoder/tiff/tiff_directories.h"
#include "decoder/tiff/tiff_reading.h"
#include "imaging/bitmap.h"
#include "imaging/page_source.h"
#include "settings/settings.h"

#include <tiffio.h>

#include <atomic>
#include <cerrno>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

namespace kx::decoder {

namespace {

// The pages of a TIFF, decoded by libtiff at their directories: written straight to BMP
// where the settings leave them untouched, otherwise decoded whole for the chain.
class TiffPageSource final : public imaging::PageSource {
public:
    TiffPageSource(std::string path, DecodeStart onDecode)
        : m_path(std::move(path)), m_onDecode(std::move(onDecode)), m_directories(m_path) {}

    int pageCount() const override { return m_directories.pageCount(); }

    imaging::Bitmap loadPage(int index, imaging::PageInfo& info) override {
        return decode(index, info);
    }

    void usePage(int index, imaging::PageInfo& info, const PageUser& use) override {
        const imaging::Bitmap page = decode(index, info);
        use(page.get());
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
            const TiffHandle tiff(openBufferedTiff(m_path));
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

    // The page as a viewer honouring its Orientation tag shows it.
    imaging::Bitmap decode(int index, imaging::PageInfo& info) {
        int orientation = ORIENTATION_TOPLEFT;
        imaging::Bitmap page = decodeStored(index, info, orientation);
        if (!page || orientation == ORIENTATION_TOPLEFT)
            return page;
        page = orientPage(std::move(page), orientation);
        if (!page && info.problem.empty())
            info.problem = "no memory to turn the page as its Orientation tag says";
        return page;
    }

    // The page in stored order, whichever way its Orientation tag (into `orientation`) says
    // to show it. Null with the reason in `info` when it cannot be decoded.
    imaging::Bitmap decodeStored(int index, imaging::PageInfo& info, int& orientation) {
        DecodeDiagnostics diagnostics(Watched::Libtiff);
        const std::optional<PageFacts> facts = m_directories.read(index);
        if (!facts) {
            info.problem = firstOf(diagnostics.take(), "the page's directory could not be read");
            return nullptr;
        }
        orientation = readOrientation(m_directories.current());
        info.sourceCompression = facts->compression & 0xFF;
        // Refused before anything is allocated for it.
        info.problem =
            firstOf(pageBudgetProblem(*facts, memoryAvailable()), m_directories.dataProblem());
        if (!info.problem.empty())
            return nullptr;
        startDecode(facts);
        imaging::Bitmap page = decodeWithLibtiff(m_directories.current(), *facts, info.problem);
        // libtiff does not always fail a read it complains about.
        if (info.problem.empty())
            info.problem = diagnostics.take();
        if (!info.problem.empty())
            return nullptr;
        return page;
    }

    // Tells whoever runs the decode that a page of this size is about to be decoded; a page
    // whose directory cannot be read counts as an empty one. Any failed allocation from here
    // on is the page's.
    void startDecode(const std::optional<PageFacts>& facts) {
        if (m_onDecode)
            m_onDecode(facts.value_or(PageFacts{}));
        errno = 0;
    }

    static std::string firstOf(std::string first, std::string second) {
        return first.empty() ? second : first;
    }

    // Read once per file: asking the system for every page costs more than a small page.
    uint64_t memoryAvailable() {
        if (!m_available)
            m_available = base::availableMemory();
        return *m_available;
    }

    std::string m_path;
    DecodeStart m_onDecode;
    TiffDirectories m_directories;
    std::optional<uint64_t> m_available;
};

} // namespace

std::unique_ptr<imaging::PageSource> openPagesInProcess(const std::string& path) {
    return openPagesWatched(path, {});
}

std::unique_ptr<imaging::PageSource> openPagesWatched(const std::string& path,
                                                      const DecodeStart& onDecode) {
    installDecodeDiagnostics(Watched::Libtiff);
    auto pages = std::make_unique<TiffPageSource>(path, onDecode);
    if (pages->pageCount() == 0)
        return nullptr;
    return pages;
}

} // namespace kx::decoder

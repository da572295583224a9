#include "decoder/client/contained_decoder.h"

#include "decoder/wire/page_wire.h"
#include "imaging/bitmap.h"
#include "imaging/page_source.h"

#include <unistd.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace kx::decoder {

namespace {

// Two decoders take alternate pages of a planned range, so that both cores decode while the
// chain works; each decoder has at most one page asked for ahead, so at most three pages are
// in memory at once, whatever the page count. Pages still arrive in order. A range of one
// page would leave the second core idle: its decoder may write that page with two threads.
//
// Each decoder's state is what it owes: the answers to what it was asked, in the order they
// will come. Receiving a page reads and drops whatever is owed before it; a decoder that owes
// nothing and met no problem is kept for the next file.
class ContainedPageSource final : public imaging::PageSource {
public:
    ContainedPageSource(std::string path, std::string decoder, int timeoutMs)
        : m_path(std::move(path)), m_decoder(std::move(decoder)), m_timeoutMs(timeoutMs) {}

    ~ContainedPageSource() override {
        for (Decoder& decoder : m_slots) {
            if (decoder.process && decoder.owed.empty() && !decoder.troubled)
                keepIdleDecoder(m_decoder, std::move(decoder.process));
        }
    }

    void plan(int first, int end) override {
        m_planFirst = first;
        m_planEnd = end;
        // A second decoder pays for its start only when there is a second page for it and a
        // second core to decode it on.
        static const bool k_secondCore = sysconf(_SC_NPROCESSORS_ONLN) >= 2;
        m_decoders = end - first >= 2 && k_secondCore ? k_decoders : 1;
        m_shareCores = end - first == 1 && k_secondCore;
        if (m_decoders > 1 && !startDecoder(m_slots[1]))
            m_decoders = 1;
        for (int index = first; index < std::min(end, first + m_decoders); ++index)
            askAhead(index);
    }

    // Starts the first decoder and learns the page count; false when it has no pages for us.
    bool open() {
        Decoder& first = m_slots[0];
        if (!startDecoder(first))
            return false;
        const std::optional<int32_t> count = readPageCount(first.process->fd(), m_timeoutMs);
        first.owed.clear();
        if (!count || *count <= 0) {
            first.process.reset();
            return false;
        }
        m_count = *count;
        return true;
    }

    int pageCount() const override { return m_count; }

    imaging::Bitmap loadPage(int index, imaging::PageInfo& info) override {
        imaging::Bitmap page;
        receive(index, info, [&](Decoder& decoder) {
            return readPage(decoder.process->fd(), m_timeoutMs, page, info);
        });
        return page;
    }

    bool encodePages(const imaging::SaveRecipe& recipe, OutputFiles outputs) override {
        Decoder& first = m_slots[0];
        if (!first.process || !writeRequest(first.process->fd(), encodeRequest(recipe)))
            return false;
        m_recipe = recipe;
        m_outputs = std::move(outputs);
        return true;
    }

    imaging::EncodedPage loadEncodedPage(int index, imaging::PageInfo& info) override {
        imaging::EncodedPage page;
        const auto read = [&](Decoder& decoder) {
            const bool read = readEncodedPage(decoder.process->fd(), m_timeoutMs, page, info);
            // Small pages written into their output files cost the decoders less than waking
            // them for each: they are asked for several pages ahead. Others keep one.
            m_ahead = read && page.inOutput() && page.size() <= k_smallPage ? k_smallPagesAhead : 1;
            return read;
        };
        receive(index, info, read);
        // A decoder that died while two threads wrote the page gets the page once more, to
        // make whole in a fresh decoder: only if that fails too does the page fail.
        if (std::exchange(m_shareCores, false) && !m_slots[slotOf(index)].process) {
            page = imaging::EncodedPage();
            info = imaging::PageInfo();
            receive(index, info, read);
        }
        return page;
    }

    std::string fileProblem() override {
        // Pages asked for ahead of time are received and dropped, so the report comes next.
        for (Decoder& decoder : m_slots) {
            if (decoder.process && !settle(decoder, Owed{Owed::Report}))
                decoder.process.reset();
        }
        for (Decoder& decoder : m_slots) {
            if (!decoder.process)
                continue; // a decoder that died on a page failed that page already
            if (decoder.owed.empty() && !ask(decoder, {.kind = RequestKind::FileReport}, {}))
                return {};
            decoder.owed.clear();
            const FileReport report =
                readFileReport(decoder.process->fd(), m_timeoutMs).value_or(FileReport());
            m_fileNotes = report.notes;
            decoder.troubled = decoder.troubled || !report.problem.empty();
            return report.problem;
        }
        return {};
    }

    std::string fileNotes() override { return m_fileNotes; }

private:
    static constexpr int k_decoders = 2;
    static constexpr uint64_t k_smallPage = uint64_t{64} << 10;
    static constexpr int k_smallPagesAhead = 4;

    // An answer a decoder owes.
    struct Owed {
        enum Kind { Count, Page, Report } kind;
        int page = -1; // of a Page

        bool operator==(const Owed&) const = default;
    };

    struct Decoder {
        std::unique_ptr<DecoderProcess> process; // null once it died or could not start
        std::deque<Owed> owed;                   // in the order the answers will come
        bool troubled = false; // a page or the file had a problem: not kept for another file

        int pagesOwed() const {
            return static_cast<int>(std::count_if(
                owed.begin(), owed.end(), [](const Owed& o) { return o.kind == Owed::Page; }));
        }
    };

    // Which decoder serves page `index`: alternate pages of the planned range.
    int slotOf(int index) const {
        if (m_decoders < 2 || index < m_planFirst)
            return 0;
        return (index - m_planFirst) % m_decoders;
    }

    // Asks for page `index` unless that was done ahead of time, reads the answer with `read`,
    // then asks the decoder for its next page, which it works on while this one goes on.
    void receive(int index, imaging::PageInfo& info,
                 const std::function<bool(Decoder& decoder)>& read) {
        Decoder& decoder = m_slots[slotOf(index)];
        // A decoder that died on an earlier page is replaced for the pages after it.
        if (!decoder.process && !startDecoder(decoder)) {
            info.problem = "the decoder could not be started again";
            return;
        }
        const Owed wanted{Owed::Page, index};
        const bool owed =
            std::find(decoder.owed.begin(), decoder.owed.end(), wanted) != decoder.owed.end();
        if ((!owed && !askPage(decoder, index)) || !settle(decoder, wanted) || !read(decoder))
            return fail(decoder, info);
        decoder.owed.pop_front();
        decoder.troubled = decoder.troubled || !info.problem.empty();
        askAhead(index + m_decoders);
        if (index == m_planEnd - 1)
            windDown();
    }

    // Reads and drops what `decoder` owes before `until`, which is then the first thing owed
    // unless nothing is. False when the decoder ended or answered nonsense.
    bool settle(Decoder& decoder, const Owed& until) {
        while (!decoder.owed.empty() && decoder.owed.front() != until) {
            const int fd = decoder.process->fd();
            imaging::PageInfo ignored;
            imaging::EncodedPage unusedFile;
            imaging::Bitmap unusedPage;
            bool read = false;
            switch (decoder.owed.front().kind) {
            case Owed::Count: {
                // A decoder started again after one died is trusted as the first one was;
                // pages it does not have it refuses one by one.
                const std::optional<int32_t> count = readPageCount(fd, m_timeoutMs);
                read = count && *count > 0;
                break;
            }
            case Owed::Page:
                read = m_recipe ? readEncodedPage(fd, m_timeoutMs, unusedFile, ignored)
                                : readPage(fd, m_timeoutMs, unusedPage, ignored);
                break;
            case Owed::Report:
                read = readFileReport(fd, m_timeoutMs).has_value();
                break;
            }
            if (!read)
                return false;
            decoder.owed.pop_front();
        }
        return true;
    }

    // After the last page, while it is saved, the first decoder checks the file's chain of
    // pages.
    void windDown() {
        Decoder& first = m_slots[0];
        if (first.process && first.pagesOwed() == 0)
            ask(first, {.kind = RequestKind::FileReport}, Owed{Owed::Report});
    }

    // Starts a decoder for `decoder`'s place, which owes its page count first, so that a
    // second decoder opens the file while the first one decodes. A decoder started once pages
    // come as files is asked for files too.
    bool startDecoder(Decoder& decoder) {
        decoder = Decoder{};
        decoder.process = takeIdleDecoder(m_decoder);
        const bool kept =
            decoder.process &&
            writeRequest(decoder.process->fd(), {.kind = RequestKind::Open, .path = m_path});
        if (!kept) {
            decoder.process = std::make_unique<DecoderProcess>();
            if (!decoder.process->start(m_decoder, m_path)) {
                decoder.process.reset();
                return false;
            }
        }
        decoder.owed.push_back({Owed::Count});
        if (!m_recipe || writeRequest(decoder.process->fd(), encodeRequest(*m_recipe)))
            return true;
        decoder.process.reset();
        return false;
    }

    // Sends `request`, after which `decoder` owes `answer` (when it is answered at all).
    bool ask(Decoder& decoder, const Request& request, std::optional<Owed> answer) {
        if (!writeRequest(decoder.process->fd(), request))
            return false;
        if (answer)
            decoder.owed.push_back(*answer);
        return true;
    }

    // Asks for page `index`, with the file to write it into when pages come as files and
    // there is one.
    bool askPage(Decoder& decoder, int index) {
        const int output = m_recipe && m_outputs ? m_outputs(index) : -1;
        return ask(decoder,
                   {.kind = RequestKind::Page,
                    .index = index,
                    .shareCores = m_shareCores,
                    .output = output},
                   Owed{Owed::Page, index});
    }

    static Request encodeRequest(const imaging::SaveRecipe& recipe) {
        return {.kind = RequestKind::Encode, .recipe = recipe};
    }

    // Asks the decoder of page `index` for it and the pages after it that decoder serves, up
    // to the pages it is to have asked for ahead.
    void askAhead(int index) {
        const int end = std::min(m_planEnd, m_count);
        if (index >= end)
            return;
        Decoder& decoder = m_slots[slotOf(index)];
        if (!decoder.process)
            return;
        int next = index;
        for (const Owed& owed : decoder.owed)
            if (owed.kind == Owed::Page)
                next = owed.page + m_decoders;
        while (decoder.pagesOwed() < m_ahead && next < end && askPage(decoder, next))
            next += m_decoders;
    }

    void fail(Decoder& decoder, imaging::PageInfo& info) {
        const std::string ended = decoder.process->stop();
        decoder.process.reset();
        decoder.owed.clear();
        info.problem = ended.empty() ? "the decoder stopped answering" : ended;
    }

    std::string m_path;
    std::string m_decoder;
    int m_timeoutMs;
    std::string m_fileNotes; // from the last file report
    int m_count = 0;
    int m_planFirst = 0;
    int m_planEnd = 0; // pages up to here will be asked for in order
    int m_decoders = 1;
    int m_ahead = 1;           // pages each decoder is asked for ahead of time
    bool m_shareCores = false; // the one page planned may be written with both cores
    Decoder m_slots[k_decoders];
    std::optional<imaging::SaveRecipe> m_recipe; // set once pages come as finished files
    OutputFiles m_outputs;
};

} // namespace

imaging::Bitmap decodeImageContained(const std::string& path, std::string& why,
                                     const std::string& decoderPath, int timeoutMs) {
    why = decoderProblem(decoderPath);
    if (!why.empty())
        return nullptr;
    DecoderProcess process;
    if (!process.start(decoderPath, std::vector<std::string>{k_watermarkSwitch, path})) {
        why = "the page decoder " + decoderPath + " could not be started";
        return nullptr;
    }
    imaging::Bitmap image;
    imaging::PageInfo info;
    if (!readPage(process.fd(), timeoutMs, image, info)) {
        const std::string ended = process.stop();
        why = ended.empty() ? "the decoder stopped answering" : ended;
        return nullptr;
    }
    process.stop();
    if (!image)
        why = info.problem.empty() ? "the image could not be decoded" : info.problem;
    return image;
}

std::unique_ptr<imaging::PageSource>
openPagesContained(const std::string& path, const std::string& decoderPath, int timeoutMs) {
    auto source = std::make_unique<ContainedPageSource>(path, decoderPath, timeoutMs);
    if (!source->open())
        return nullptr;
    return source;
}

} // namespace kx::decoder
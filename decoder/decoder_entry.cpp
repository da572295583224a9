#include "decoder/decoder_entry.h"

#include "decoder/loading.h"
#include "decoder/page_budget.h"
#include "decoder/page_wire.h"
#include "decoder/watermark_decoding.h"
#include "engine/untouched_page.h"

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <string_view>

namespace kx::engine {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool k_sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool k_sanitized = true;
#else
constexpr bool k_sanitized = false;
#endif
#else
constexpr bool k_sanitized = false;
#endif

// Keeps a decoder gone wrong from pushing the machine into swap: past what the system can
// give without swapping, allocations fail here instead. AddressSanitizer reserves far more
// address space than it uses, so a sanitized build goes without the limit.
void limitAddressSpace() {
    if (k_sanitized)
        return;
    constexpr rlim_t k_codeAndLibraries = rlim_t{512} << 20;
    const rlim_t limit = static_cast<rlim_t>(availableMemory()) + k_codeAndLibraries;
    const rlimit bound{limit, limit};
    setrlimit(RLIMIT_AS, &bound);
}

int sendWatermarkImage(const char* path) {
    PageInfo info;
    const Bitmap image = decodeWatermarkImage(path, info.problem);
    return writePage(STDOUT_FILENO, image.get(), info) ? 0 : 1;
}

bool sendPage(PageSource& source, int index, int count) {
    PageInfo info;
    bool sent = false;
    const auto send = [&](FIBITMAP* page) { sent = writePage(STDOUT_FILENO, page, info); };
    if (index < count) {
        source.usePage(index, info, send);
    } else {
        info.problem = "no such page";
        send(nullptr);
    }
    return sent;
}

bool sendEncodedPage(PageSource& source, int index, int count, const SaveRecipe& recipe) {
    PageInfo info;
    EncodedPage encoded;
    if (index >= count) {
        info.problem = "no such page";
    } else if (std::optional<EncodedPage> direct = source.encodeDirectly(index, info, recipe)) {
        encoded = std::move(*direct);
    } else {
        Bitmap page = source.loadPage(index, info);
        std::string problem;
        encoded = encodeUntouchedPage(std::move(page), recipe, problem);
        if (info.problem.empty())
            info.problem = problem;
    }
    return writeEncodedPage(STDOUT_FILENO, encoded, info);
}

} // namespace

int runDecoder(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    if (argc == 3 && std::string_view(argv[1]) == k_watermarkSwitch) {
        limitAddressSpace();
        return sendWatermarkImage(argv[2]);
    }
    if (argc != 2)
        return 2;
    limitAddressSpace();

    std::unique_ptr<PageSource> source = openPagesInProcess(argv[1]);
    const int count = source ? source->pageCount() : 0;
    if (!writePageCount(STDOUT_FILENO, count) || count == 0)
        return 0;

    std::optional<SaveRecipe> recipe; // set: pages go out as finished files
    while (const std::optional<int32_t> index = readPageRequest(STDIN_FILENO)) {
        if (*index == k_fileReportRequest) {
            if (!writeFileReport(STDOUT_FILENO, source->fileProblem()))
                break;
            continue;
        }
        if (*index == k_encodeRequest) {
            recipe = readSaveRecipe(STDIN_FILENO);
            if (!recipe)
                break;
            continue;
        }
        if (*index < 0)
            break;
        const bool sent = recipe ? sendEncodedPage(*source, *index, count, *recipe)
                                 : sendPage(*source, *index, count);
        if (!sent)
            break;
    }
    return 0;
}

} // namespace kx::engine

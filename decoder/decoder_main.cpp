// The decoder process: kestrelix-decoder FILE
// Opens FILE once, sends its page count on standard output, then answers each page request
// read from standard input with the decoded page, until it reads a negative index or its
// input ends. A crash, an abort or a runaway allocation in here costs the worker one file.
//
// kestrelix-decoder --watermark IMAGE
// Decodes the watermark image once and sends it as one page message, then ends; a damaged
// image costs the run its watermark, never the program.

#include "decoder/loading.h"
#include "decoder/page_budget.h"
#include "decoder/page_wire.h"
#include "decoder/watermark_decoding.h"
#include "engine/untouched_page.h"

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <string_view>

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
    const rlim_t limit = static_cast<rlim_t>(kx::engine::availableMemory()) + k_codeAndLibraries;
    const rlimit bound{limit, limit};
    setrlimit(RLIMIT_AS, &bound);
}

int sendWatermarkImage(const char* path) {
    kx::engine::PageInfo info;
    const kx::engine::Bitmap image = kx::engine::decodeWatermarkImage(path, info.problem);
    return kx::engine::writePage(STDOUT_FILENO, image.get(), info) ? 0 : 1;
}

bool sendPage(kx::engine::PageSource& source, int index, int count) {
    kx::engine::PageInfo info;
    bool sent = false;
    const auto send = [&](FIBITMAP* page) {
        sent = kx::engine::writePage(STDOUT_FILENO, page, info);
    };
    if (index < count) {
        source.usePage(index, info, send);
    } else {
        info.problem = "no such page";
        send(nullptr);
    }
    return sent;
}

bool sendEncodedPage(kx::engine::PageSource& source, int index, int count,
                     const kx::engine::SaveRecipe& recipe) {
    kx::engine::PageInfo info;
    kx::engine::EncodedPage encoded;
    if (index >= count) {
        info.problem = "no such page";
    } else if (std::optional<kx::engine::EncodedPage> direct =
                   source.encodeDirectly(index, info, recipe)) {
        encoded = std::move(*direct);
    } else {
        kx::engine::Bitmap page = source.loadPage(index, info);
        std::string problem;
        encoded = kx::engine::encodeUntouchedPage(std::move(page), recipe, problem);
        if (info.problem.empty())
            info.problem = problem;
    }
    return kx::engine::writeEncodedPage(STDOUT_FILENO, encoded, info);
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    if (argc == 3 && std::string_view(argv[1]) == kx::engine::k_watermarkSwitch) {
        limitAddressSpace();
        return sendWatermarkImage(argv[2]);
    }
    if (argc != 2)
        return 2;
    limitAddressSpace();

    std::unique_ptr<kx::engine::PageSource> source = kx::engine::openPagesInProcess(argv[1]);
    const int count = source ? source->pageCount() : 0;
    if (!kx::engine::writePageCount(STDOUT_FILENO, count) || count == 0)
        return 0;

    std::optional<kx::engine::SaveRecipe> recipe; // set: pages go out as finished files
    while (const std::optional<int32_t> index = kx::engine::readPageRequest(STDIN_FILENO)) {
        if (*index == kx::engine::k_fileReportRequest) {
            if (!kx::engine::writeFileReport(STDOUT_FILENO, source->fileProblem()))
                break;
            continue;
        }
        if (*index == kx::engine::k_encodeRequest) {
            recipe = kx::engine::readSaveRecipe(STDIN_FILENO);
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

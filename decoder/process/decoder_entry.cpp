#include "decoder/process/decoder_entry.h"

#include "decoder/process/decode_bounds.h"
#include "decoder/process/watermark_decoding.h"
#include "decoder/tiff/decode_diagnostics.h"
#include "decoder/tiff/loading.h"
#include "decoder/tiff/page_budget.h"
#include "decoder/wire/page_wire.h"
#include "imaging/bitmap.h"
#include "imaging/page_encoding.h"
#include "imaging/page_source.h"

#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

namespace kx::decoder {

namespace {

// The program that started this decoder, as it said, or 0 (the server's decoders already
// follow theirs).
pid_t startingProgram() {
    const char* parent = std::getenv(k_parentVariable);
    const pid_t program = parent ? static_cast<pid_t>(std::atol(parent)) : 0;
    unsetenv(k_parentVariable);
    return program;
}

int sendWatermarkImage(const char* path) {
    imaging::PageInfo info;
    const imaging::Bitmap image = decodeWatermarkImage(path, info.problem);
    return writePage(STDOUT_FILENO, image.get(), info) ? 0 : 1;
}

// A page that failed because its allocations met the memory bound says so; read right after
// the failure, while errno still tells.
void sayMemoryBound(const FIBITMAP* page, imaging::PageInfo& info) {
    if (page)
        return;
    if (std::string bound = memoryBoundProblem("page"); !bound.empty())
        info.problem = std::move(bound);
}

bool sendPage(imaging::PageSource& source, int index, int count) {
    imaging::PageInfo info;
    bool sent = false;
    const auto send = [&](FIBITMAP* page) {
        sayMemoryBound(page, info);
        sent = writePage(STDOUT_FILENO, page, info);
    };
    if (index < count) {
        source.usePage(index, info, send);
    } else {
        info.problem = "no such page";
        send(nullptr);
    }
    return sent;
}

// Writes page `index`'s finished file into `file`; the facts of the page, with `info.problem`
// set when there is no complete file.
imaging::EncodedPage writePageFile(imaging::PageSource& source, int index, int count,
                                   const imaging::SaveRecipe& recipe, int file, bool shareCores,
                                   imaging::PageInfo& info) {
    if (index >= count) {
        info.problem = "no such page";
        return {};
    }
    if (std::optional<imaging::EncodedPage> direct =
            source.encodeDirectly(index, info, recipe, file, shareCores))
        return std::move(*direct);
    // What the direct writer may have left is no part of the file.
    if (ftruncate(file, 0) != 0 || lseek(file, 0, SEEK_SET) != 0) {
        info.problem = std::string("the page's file cannot be emptied: ") + std::strerror(errno);
        return {};
    }
    std::string problem;
    imaging::Bitmap page = source.loadPage(index, info);
    sayMemoryBound(page.get(), info);
    imaging::EncodedPage encoded =
        imaging::encodeUntouchedPage(std::move(page), recipe, file, problem);
    if (info.problem.empty())
        info.problem = problem;
    if (info.problem.empty() && encoded.sourceDepth == 0)
        info.problem = "the page could not be decoded";
    return encoded;
}

// Sends page `index` as its finished file, written into `output` when the worker sent one
// with the request (this copy of it is closed), else into a memory file sent along.
bool sendEncodedPage(imaging::PageSource& source, int index, int count,
                     const imaging::SaveRecipe& recipe, int output, bool shareCores) {
    imaging::PageInfo info;
    imaging::EncodedPage encoded;
    const int file = output >= 0 ? output : memfd_create("kestrelix-file", MFD_CLOEXEC);
    if (file < 0)
        info.problem = std::string("no memory for the page's file: ") + std::strerror(errno);
    else
        encoded = writePageFile(source, index, count, recipe, file, shareCores, info);
    const bool complete =
        file >= 0 && info.problem.empty() && encoded.width > 0 && encoded.height > 0;
    const auto size = complete ? static_cast<uint64_t>(lseek(file, 0, SEEK_END)) : 0;
    if (complete && output >= 0)
        encoded.setInOutput(size);
    else if (complete)
        encoded.setMemoryFile(file, size);
    if (file >= 0 && !(complete && output < 0))
        close(file);
    return writeEncodedPage(STDOUT_FILENO, encoded, info);
}

// The path of the file a decoder started without one is asked to open first; nullopt when it
// is asked for anything else or its input ends.
std::optional<std::string> firstFile() {
    std::optional<Request> request = readRequest(STDIN_FILENO);
    if (!request || request->kind != RequestKind::Open)
        return std::nullopt;
    return std::move(request->path);
}

// Answers the requests about the file at `path` until the worker is done with it; the path
// of the next file to serve when it asks for one, nullopt when the decoder is to end.
std::optional<std::string> serveFile(const std::string& path, const DecodeStart& beforePage) {
    applyBounds(openingBounds());
    std::unique_ptr<imaging::PageSource> source =
        openPagesWatched(path, [&beforePage](const PageFacts& facts) {
            applyBounds(pageBounds(facts));
            if (beforePage)
                beforePage(facts);
        });
    const int count = source ? source->pageCount() : 0;
    if (!writePageCount(STDOUT_FILENO, count))
        return std::nullopt;

    std::optional<imaging::SaveRecipe> recipe; // set: pages go out as finished files
    while (std::optional<Request> request = readRequest(STDIN_FILENO)) {
        switch (request->kind) {
        case RequestKind::Page:
            // Only a page that goes out as its finished file is written into a file sent along.
            if (!recipe && request->output >= 0)
                close(std::exchange(request->output, -1));
            if (!source || !(recipe ? sendEncodedPage(*source, request->index, count, *recipe,
                                                      request->output, request->shareCores)
                                    : sendPage(*source, request->index, count)))
                return std::nullopt;
            break;
        case RequestKind::Encode:
            recipe = request->recipe;
            break;
        case RequestKind::Open:
            source.reset(); // the next file's pages are not decoded beside this one's
            return std::move(request->path);
        case RequestKind::FileReport:
            if (!source ||
                !writeFileReport(STDOUT_FILENO, {source->fileProblem(), source->fileNotes()}))
                return std::nullopt;
            break;
        case RequestKind::End:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace

int runDecoder(int argc, char** argv, const DecodeStart& beforePage) {
    // Whatever libtiff says, from the first file opened on, is the page's to report or drop;
    // none of it reaches the terminal.
    installDecodeDiagnostics(Watched::Libtiff);
    std::signal(SIGPIPE, SIG_IGN);
    // A file-size limit fails the page's write with its reason instead of ending the decoder.
    std::signal(SIGXFSZ, SIG_IGN);
    followProgram(startingProgram());
    if (argc == 3 && std::string_view(argv[1]) == k_watermarkSwitch) {
        applyBounds(watermarkBounds());
        return sendWatermarkImage(argv[2]);
    }
    if (argc > 2)
        return 2;

    // One decoder serves file after file for as long as it is asked to open another; one
    // started ahead of its first file waits to be asked.
    std::optional<std::string> path = argc == 2 ? std::optional<std::string>(argv[1]) : firstFile();
    while (path)
        path = serveFile(*path, beforePage);
    return 0;
}

} // namespace kx::decoder
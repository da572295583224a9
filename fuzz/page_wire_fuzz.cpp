#include "base/fd_io.h"
#include "decoder/wire/descriptor_passing.h"
#include "decoder/wire/page_wire.h"
#include "imaging/bitmap.h"
#include "imaging/page_source.h"

// Feeds arbitrary bytes to the readers of the messages between the worker and a decoder, in the
// order each end reads them: as the decoder, the requests; as the worker, the page count, that many
// pages (bitmaps or finished files) and the file report. A decoder that went wrong must not make
// the worker read, allocate or map more than it was sent, so whatever a reader accepts is read
// through to its last byte here.
//
// The input: a flags byte, then the bytes that arrive on the socket.
//   bit 0  a memory file comes with one message: 4 bytes (little-endian) of its size, at most
//          4 MiB, and 2 bytes of the offset in the stream where that message starts follow
//          the flags
//   bit 1  the pages come as finished files (readEncodedPage) instead of bitmaps (readPage)
// fuzz/make_page_wire_seeds.cpp writes seeds in this form with the real writers.

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

using namespace kx;

// Small enough for the socket's buffer (made twice as large), so that the whole stream is
// written before anything is read, without a thread and without a write that could block.
constexpr size_t k_maxStream = 64 << 10;
constexpr uint32_t k_maxMemoryFile = 4 << 20;
// Every message has arrived before the reader starts, so a wait only ever ends at the stream's
// end; the timeout is a guard, never reached.
constexpr int k_timeoutMs = 1000;
constexpr int32_t k_maxPages = 64;
constexpr int k_maxRequests = 1024;
constexpr size_t k_maxProblem = 4096;

// readPage allocates the page its header describes before the pixels arrive: a page the size
// of a real scan is allowed to cost that memory. The fuzzer, which would report such an
// allocation as running out of memory, is kept below it by a look at the header's pixel byte
// count (a uint64 at byte 80 of the 88-byte page header) before readPage is called. The
// header is looked at in the input, where the bytes the socket still holds begin.
constexpr size_t k_pageHeaderSize = 88;
constexpr size_t k_pixelBytesOffset = 80;
constexpr uint64_t k_maxPixelBytes = 64 << 20;

struct Input {
    bool encodedPages = false;
    int memoryFile = -1;         // sent with the message at `memoryFileOffset`
    size_t memoryFileOffset = 0; // in `stream`
    const uint8_t* stream = nullptr;
    size_t streamSize = 0;
};

uint32_t littleEndian(const uint8_t* bytes, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

// Splits the input; false when it is too short or too long to be one.
bool readInput(const uint8_t* data, size_t size, Input& input) {
    if (size < 1)
        return false;
    const uint8_t flags = data[0];
    size_t used = 1;
    input.encodedPages = flags & 2;
    if (flags & 1) {
        if (size < used + 6)
            return false;
        const uint32_t memorySize = littleEndian(data + used, 4) % (k_maxMemoryFile + 1);
        input.memoryFileOffset = littleEndian(data + used + 4, 2);
        used += 6;
        input.memoryFile = memfd_create("page-wire-fuzz", MFD_CLOEXEC);
        if (input.memoryFile < 0 || ftruncate(input.memoryFile, memorySize) != 0)
            std::abort();
    }
    input.stream = data + used;
    input.streamSize = size - used;
    input.memoryFileOffset = std::min(input.memoryFileOffset, input.streamSize);
    return input.streamSize <= k_maxStream;
}

// A socket holding the whole stream with its writing end closed, as a decoder leaves it when it
// ends; -1 when it cannot be made.
int socketWithStream(const Input& input) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return -1;
    const int buffer = static_cast<int>(2 * k_maxStream);
    setsockopt(ends[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    fcntl(ends[1], F_SETFL, O_NONBLOCK);
    const uint8_t* rest = input.stream + input.memoryFileOffset;
    const size_t restSize = input.streamSize - input.memoryFileOffset;
    bool written = base::sendAll(ends[1], input.stream, input.memoryFileOffset);
    if (written && restSize > 0) {
        const ssize_t sent = decoder::sendMessage(ends[1], rest, restSize, input.memoryFile);
        written = sent > 0 && base::sendAll(ends[1], rest + sent, restSize - size_t(sent));
    }
    close(ends[1]);
    if (!written)
        std::abort(); // the stream must fit the socket's buffer
    return ends[0];
}

volatile uint8_t g_sink;

// Reads every byte of the accepted page: its pixels, palette and transparency table.
void readThrough(FIBITMAP* page) {
    uint8_t sum = 0;
    const size_t pitch = FreeImage_GetPitch(page);
    for (unsigned y = 0; y < FreeImage_GetHeight(page); ++y) {
        const BYTE* line = FreeImage_GetScanLine(page, static_cast<int>(y));
        for (size_t x = 0; x < pitch; ++x)
            sum += line[x];
    }
    if (const RGBQUAD* palette = FreeImage_GetPalette(page))
        for (unsigned i = 0; i < FreeImage_GetColorsUsed(page); ++i)
            sum += palette[i].rgbRed;
    const BYTE* transparency = FreeImage_GetTransparencyTable(page);
    for (unsigned i = 0; transparency && i < FreeImage_GetTransparencyCount(page); ++i)
        sum += transparency[i];
    g_sink = sum;
}

bool pageWithinBudget(int fd, const Input& input) {
    int left = 0;
    if (ioctl(fd, FIONREAD, &left) != 0 || static_cast<size_t>(left) > input.streamSize)
        std::abort();
    const size_t at = input.streamSize - static_cast<size_t>(left);
    if (left < static_cast<int>(k_pageHeaderSize))
        return true; // readPage refuses a short header before allocating anything
    uint64_t pixelBytes = 0;
    std::memcpy(&pixelBytes, input.stream + at + k_pixelBytesOffset, sizeof pixelBytes);
    return pixelBytes <= k_maxPixelBytes;
}

bool readBitmapPage(int fd, const Input& input) {
    if (!pageWithinBudget(fd, input))
        return false;
    imaging::Bitmap page;
    imaging::PageInfo info;
    if (!decoder::readPage(fd, k_timeoutMs, page, info))
        return false;
    if (info.problem.size() > k_maxProblem)
        std::abort();
    if (page)
        readThrough(page.get());
    return true;
}

bool readFinishedPage(int fd) {
    imaging::EncodedPage page;
    imaging::PageInfo info;
    if (!decoder::readEncodedPage(fd, k_timeoutMs, page, info))
        return false;
    if (info.problem.size() > k_maxProblem)
        std::abort();
    if (page.hasFile() && !page.inOutput()) {
        // The file copies out whole, with the size the message stated.
        const int copy = memfd_create("page-wire-fuzz-copy", MFD_CLOEXEC);
        struct stat facts {};
        if (copy < 0 || !page.writeTo(copy) || fstat(copy, &facts) != 0 ||
            static_cast<uint64_t>(facts.st_size) != page.size())
            std::abort();
        close(copy);
    }
    return true;
}

// The worker's end: the page count, then each page it asks for, then the file report.
void readAsTheWorker(int fd, const Input& input) {
    const std::optional<int32_t> count = decoder::readPageCount(fd, k_timeoutMs);
    if (!count)
        return;
    for (int32_t page = 0; page < std::min(*count, k_maxPages); ++page)
        if (!(input.encodedPages ? readFinishedPage(fd) : readBitmapPage(fd, input)))
            return;
    if (const std::optional<decoder::FileReport> report = decoder::readFileReport(fd, k_timeoutMs);
        report && (report->problem.size() > k_maxProblem || report->notes.size() > k_maxProblem))
        std::abort();
}

// The decoder's end: requests until the stream ends.
void readAsTheDecoder(int fd) {
    for (int i = 0; i < k_maxRequests; ++i) {
        const std::optional<decoder::Request> request = decoder::readRequest(fd);
        if (!request)
            return;
        if (request->output >= 0)
            close(request->output);
        const imaging::SaveRecipe& recipe = request->recipe;
        if (strnlen(recipe.formatKey, sizeof recipe.formatKey) == sizeof recipe.formatKey ||
            request->path.find('\0') != std::string::npos || request->index < 0)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input input;
    if (readInput(data, size, input)) {
        if (const int fd = socketWithStream(input); fd >= 0) {
            readAsTheWorker(fd, input);
            close(fd);
        }
        if (const int fd = socketWithStream(input); fd >= 0) {
            readAsTheDecoder(fd);
            close(fd);
        }
    }
    if (input.memoryFile >= 0)
        close(input.memoryFile);
    return 0;
}

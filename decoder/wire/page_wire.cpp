#include "decoder/wire/page_wire.h"

#include "base/fd_io.h"
#include "decoder/wire/descriptor_passing.h"
#include "imaging/bitmap.h"
#include "imaging/page_source.h"

#include <poll.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace kx::decoder {

namespace {

constexpr uint32_t k_requestMagic = 0x4B585251; // "KXRQ"
constexpr uint32_t k_maxProblem = 4096;
// Longer than any path a file system takes.
constexpr uint32_t k_maxPath = 65536;
constexpr uint32_t k_maxSide = 1u << 20;
// Pages up to this size travel inline over the socket: making, passing and mapping a memory
// file costs more than copying them through the socket's buffer.
constexpr uint64_t k_inlinePixels = uint64_t{128} << 10;

struct RequestHeader {
    uint32_t magic = k_requestMagic;
    RequestKind kind = RequestKind::End;
    int32_t index = 0;
    uint32_t shareCores = 0;
    uint32_t payloadSize = 0; // the recipe or the path, after the header
};

struct PageHeader {
    ReplyKind kind = ReplyKind::Page;
    uint32_t hasPage = 0;
    int32_t compression = 1;
    uint32_t type = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bpp = 0;
    uint32_t pitch = 0;
    uint32_t masks[3] = {};
    uint32_t dotsPerMeter[2] = {};
    uint32_t paletteSize = 0;
    uint32_t transparencyCount = 0;
    uint32_t transparent = 0;
    uint32_t hasBackground = 0;
    RGBQUAD background = {};
    uint32_t problemLength = 0;
    uint32_t pixelsInMemory = 0; // the pixels come as a memory file passed with the header
    uint64_t dataSize = 0;
};

struct EncodedHeader {
    ReplyKind kind = ReplyKind::EncodedPage;
    int32_t compression = 1;
    uint32_t width = 0;
    uint32_t height = 0;
    int32_t sourceDepth = 0;
    uint32_t sourceGrey = 0;
    uint32_t problemLength = 0;
    uint32_t inMemoryFile = 0; // the file comes as a memory file passed with the header
    uint32_t inOutput = 0;     // the file was written into the output file sent with the request
    uint64_t size = 0;         // bytes of the file; 0 when there is none
};

// Copies the pixels into a memory file, so that they cross to the worker without passing
// through the socket a few kilobytes at a time. -1 when no memory file can be made.
int pixelsInMemoryFile(FIBITMAP* page, uint64_t size) {
    const int fd = memfd_create("kestrelix-page", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    // Writing lets the kernel fill the file's pages in bulk, which is much faster than
    // faulting them in one by one through a mapping.
    if (!base::writeAll(fd, FreeImage_GetBits(page), size)) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends `data` with `passed` attached to its first part.
bool sendWithDescriptor(int fd, const void* data, size_t size, int passed) {
    const ssize_t sent = sendMessage(fd, data, size, passed);
    if (sent <= 0)
        return false;
    const auto done = static_cast<size_t>(sent);
    return done == size || base::sendAll(fd, static_cast<const char*>(data) + done, size - done);
}

// Reads `size` bytes of which the first carry a passed descriptor, if any (-1 when none).
bool receiveWithDescriptor(int fd, void* data, size_t size, int timeoutMs, int& passed) {
    // An answer asked for ahead of time is most often there already; only one that is not is
    // waited for, within the time limit (without one the receive itself waits).
    ssize_t got = receiveMessage(fd, data, size, passed, timeoutMs >= 0 ? MSG_DONTWAIT : 0);
    if (got < 0 && errno == EAGAIN && base::waitReadable(fd, timeoutMs))
        got = receiveMessage(fd, data, size, passed);
    if (got <= 0)
        return false;
    const auto done = static_cast<size_t>(got);
    return done == size ||
           base::readAll(fd, static_cast<char*>(data) + done, size - done, timeoutMs);
}

// A page header over the pixels of a received memory file, mapped copy-on-write so that
// steps that work in place do not write back. Not populated up front: on a private writable
// mapping that copies every page of it, while faulting the pages in as the chain reads them
// shares them with the memory file. Null unless the file holds exactly the pixels the header
// describes.
imaging::Bitmap pageOverMemoryFile(int memory, const PageHeader& h) {
    struct stat facts {};
    if (fstat(memory, &facts) != 0 || static_cast<uint64_t>(facts.st_size) != h.dataSize)
        return nullptr;
    void* mapped = mmap(nullptr, h.dataSize, PROT_READ | PROT_WRITE, MAP_PRIVATE, memory, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    FIBITMAP* page = FreeImage_ConvertFromRawBitsEx(
        FALSE, static_cast<BYTE*>(mapped), static_cast<FREE_IMAGE_TYPE>(h.type),
        static_cast<int>(h.width), static_cast<int>(h.height), static_cast<int>(h.pitch), h.bpp,
        h.masks[0], h.masks[1], h.masks[2], FALSE);
    if (!page) {
        munmap(mapped, h.dataSize);
        return nullptr;
    }
    imaging::adoptPixelMapping(page, mapped, h.dataSize);
    imaging::Bitmap owned(page);
    if (FreeImage_GetPitch(page) != h.pitch || FreeImage_GetColorsUsed(page) != h.paletteSize)
        return nullptr;
    return owned;
}

bool drain(int fd, uint64_t size, int timeoutMs) {
    std::vector<char> sink(1 << 16);
    for (uint64_t left = size; left > 0;) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(left, sink.size()));
        if (!base::readAll(fd, sink.data(), piece, timeoutMs))
            return false;
        left -= piece;
    }
    return true;
}

// Closes a received descriptor whatever happens to the message it came with.
struct Descriptor {
    explicit Descriptor(int owned) : fd(owned) {}
    ~Descriptor() {
        if (fd >= 0)
            close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd;
};

bool isKnownType(uint32_t type) {
    return type >= FIT_BITMAP && type <= FIT_RGBAF;
}

// The header must describe exactly the bitmap FreeImage would allocate for it (rows of whole
// 32-bit words), and pixels sent inline only a small one: the worker allocates them before
// they arrive.
bool plausible(const PageHeader& h) {
    if (h.problemLength > k_maxProblem || h.paletteSize > 256 || h.transparencyCount > 256)
        return false;
    if (!h.hasPage)
        return h.dataSize == 0;
    return isKnownType(h.type) && h.width > 0 && h.height > 0 && h.width <= k_maxSide &&
           h.height <= k_maxSide && h.bpp > 0 && h.bpp <= 128 &&
           h.pitch == ((uint64_t{h.width} * h.bpp + 7) / 8 + 3) / 4 * 4 &&
           h.dataSize == uint64_t{h.pitch} * h.height &&
           (h.pixelsInMemory || h.dataSize <= k_inlinePixels);
}

imaging::Bitmap allocateFor(const PageHeader& h) {
    imaging::Bitmap page(FreeImage_AllocateT(
        static_cast<FREE_IMAGE_TYPE>(h.type), static_cast<int>(h.width), static_cast<int>(h.height),
        static_cast<int>(h.bpp), h.masks[0], h.masks[1], h.masks[2]));
    if (page && (FreeImage_GetPitch(page.get()) != h.pitch ||
                 FreeImage_GetColorsUsed(page.get()) != h.paletteSize))
        return nullptr;
    return page;
}

} // namespace

bool writePageCount(int fd, int32_t count) {
    const uint32_t message[2] = {static_cast<uint32_t>(ReplyKind::PageCount),
                                 static_cast<uint32_t>(count)};
    return base::sendAll(fd, message, sizeof message);
}

std::optional<int32_t> readPageCount(int fd, int timeoutMs) {
    uint32_t message[2] = {};
    if (!base::readAll(fd, message, sizeof message, timeoutMs) ||
        message[0] != static_cast<uint32_t>(ReplyKind::PageCount))
        return std::nullopt;
    const auto count = static_cast<int32_t>(message[1]);
    return count < 0 ? std::nullopt : std::optional<int32_t>(count);
}

// The size of the payload a kind of request carries: the recipe's for Encode, nothing for the
// others but Open, whose path says its own length.
uint32_t payloadSizeOf(RequestKind kind) {
    return kind == RequestKind::Encode ? sizeof(imaging::SaveRecipe) : 0;
}

bool writeRequest(int fd, const Request& request) {
    RequestHeader h;
    h.kind = request.kind;
    h.index = request.index;
    h.shareCores = request.shareCores;
    const bool opens = request.kind == RequestKind::Open;
    if (opens && (request.path.empty() || request.path.size() > k_maxPath))
        return false;
    h.payloadSize = opens ? static_cast<uint32_t>(request.path.size()) : payloadSizeOf(h.kind);
    const bool passes = request.kind == RequestKind::Page && request.output >= 0;
    const bool sent = passes ? sendWithDescriptor(fd, &h, sizeof h, request.output)
                             : base::sendAll(fd, &h, sizeof h);
    if (!sent)
        return false;
    if (request.kind == RequestKind::Encode)
        return base::sendAll(fd, &request.recipe, sizeof request.recipe);
    return !opens || base::sendAll(fd, request.path.data(), request.path.size());
}

std::optional<Request> readRequest(int fd) {
    RequestHeader h;
    int passed = -1;
    const bool received = receiveWithDescriptor(fd, &h, sizeof h, -1, passed);
    Descriptor output(passed);
    const bool opens = h.kind == RequestKind::Open;
    if (!received || h.magic != k_requestMagic || h.kind < RequestKind::Page ||
        h.kind > RequestKind::End || h.index < 0 ||
        (opens ? h.payloadSize == 0 || h.payloadSize > k_maxPath
               : h.payloadSize != payloadSizeOf(h.kind)))
        return std::nullopt;
    Request request;
    request.kind = h.kind;
    request.index = h.index;
    request.shareCores = h.shareCores != 0;
    if (h.kind == RequestKind::Encode &&
        (!base::readAll(fd, &request.recipe, sizeof request.recipe, -1) ||
         request.recipe.formatKey[sizeof request.recipe.formatKey - 1] != '\0'))
        return std::nullopt;
    if (opens) {
        request.path.assign(h.payloadSize, '\0');
        if (!base::readAll(fd, request.path.data(), h.payloadSize, -1) ||
            request.path.find('\0') != std::string::npos)
            return std::nullopt;
    }
    if (h.kind == RequestKind::Page)
        request.output = std::exchange(output.fd, -1);
    return request;
}

bool writePage(int fd, FIBITMAP* page, const imaging::PageInfo& info) {
    PageHeader h;
    h.compression = info.sourceCompression;
    h.problemLength = static_cast<uint32_t>(std::min<size_t>(info.problem.size(), k_maxProblem));
    if (page) {
        h.hasPage = 1;
        h.type = FreeImage_GetImageType(page);
        h.width = FreeImage_GetWidth(page);
        h.height = FreeImage_GetHeight(page);
        h.bpp = FreeImage_GetBPP(page);
        h.pitch = FreeImage_GetPitch(page);
        h.masks[0] = FreeImage_GetRedMask(page);
        h.masks[1] = FreeImage_GetGreenMask(page);
        h.masks[2] = FreeImage_GetBlueMask(page);
        h.dotsPerMeter[0] = FreeImage_GetDotsPerMeterX(page);
        h.dotsPerMeter[1] = FreeImage_GetDotsPerMeterY(page);
        h.paletteSize = FreeImage_GetPalette(page) ? FreeImage_GetColorsUsed(page) : 0;
        h.transparencyCount = FreeImage_GetTransparencyCount(page);
        h.transparent = FreeImage_IsTransparent(page);
        h.hasBackground = FreeImage_GetBackgroundColor(page, &h.background);
        h.dataSize = uint64_t{h.pitch} * h.height;
    }
    int memory = page && h.dataSize > k_inlinePixels ? pixelsInMemoryFile(page, h.dataSize) : -1;
    if (page && h.dataSize > k_inlinePixels && memory < 0) {
        imaging::PageInfo failed = info;
        failed.problem = "no memory to hand the page over";
        return writePage(fd, nullptr, failed);
    }
    h.pixelsInMemory = memory >= 0;
    const bool sent = memory >= 0 ? sendWithDescriptor(fd, &h, sizeof h, memory)
                                  : base::sendAll(fd, &h, sizeof h);
    if (memory >= 0)
        close(memory);
    if (!sent || !base::sendAll(fd, info.problem.data(), h.problemLength))
        return false;
    if (!page)
        return true;
    if (h.paletteSize &&
        !base::sendAll(fd, FreeImage_GetPalette(page), h.paletteSize * sizeof(RGBQUAD)))
        return false;
    if (h.transparencyCount &&
        !base::sendAll(fd, FreeImage_GetTransparencyTable(page), h.transparencyCount))
        return false;
    return h.pixelsInMemory || base::sendAll(fd, FreeImage_GetBits(page), h.dataSize);
}

bool readPage(int fd, int timeoutMs, imaging::Bitmap& page, imaging::PageInfo& info) {
    PageHeader h;
    int memory = -1;
    const bool received = receiveWithDescriptor(fd, &h, sizeof h, timeoutMs, memory);
    const Descriptor pixels(memory);
    if (!received || h.kind != ReplyKind::Page || !plausible(h) ||
        (h.pixelsInMemory != 0) != (memory >= 0))
        return false;
    info.sourceCompression = h.compression;
    info.problem.assign(h.problemLength, '\0');
    if (!base::readAll(fd, info.problem.data(), h.problemLength, timeoutMs))
        return false;
    page.reset();
    if (!h.hasPage)
        return true;
    page = h.pixelsInMemory ? pageOverMemoryFile(pixels.fd, h) : allocateFor(h);
    std::vector<RGBQUAD> palette(h.paletteSize);
    std::vector<BYTE> transparency(h.transparencyCount);
    if (!base::readAll(fd, palette.data(), palette.size() * sizeof(RGBQUAD), timeoutMs) ||
        !base::readAll(fd, transparency.data(), transparency.size(), timeoutMs))
        return false;
    if (!page) {
        // No memory for it here; pixels sent inline are drained so the stream stays in step.
        if (!h.pixelsInMemory && !drain(fd, h.dataSize, timeoutMs))
            return false;
        info.problem = "no memory for a " + std::to_string(h.width) + " x " +
                       std::to_string(h.height) + " page";
        return true;
    }
    if (h.paletteSize)
        std::memcpy(FreeImage_GetPalette(page.get()), palette.data(),
                    palette.size() * sizeof(RGBQUAD));
    if (h.transparencyCount)
        FreeImage_SetTransparencyTable(page.get(), transparency.data(),
                                       static_cast<int>(transparency.size()));
    FreeImage_SetTransparent(page.get(), h.transparent ? TRUE : FALSE);
    if (h.hasBackground)
        FreeImage_SetBackgroundColor(page.get(), &h.background);
    FreeImage_SetDotsPerMeterX(page.get(), h.dotsPerMeter[0]);
    FreeImage_SetDotsPerMeterY(page.get(), h.dotsPerMeter[1]);
    if (!h.pixelsInMemory &&
        !base::readAll(fd, FreeImage_GetBits(page.get()), h.dataSize, timeoutMs)) {
        page.reset();
        return false;
    }
    return true;
}

bool writeEncodedPage(int fd, const imaging::EncodedPage& page, const imaging::PageInfo& info) {
    EncodedHeader h;
    h.compression = info.sourceCompression;
    h.width = page.width;
    h.height = page.height;
    h.sourceDepth = page.sourceDepth;
    h.sourceGrey = page.sourceGrey;
    h.problemLength = static_cast<uint32_t>(std::min<size_t>(info.problem.size(), k_maxProblem));
    h.size = page.hasFile() ? page.size() : 0;
    h.inOutput = page.inOutput();
    // Small files travel inline, read back from their memory file.
    std::string inline_ = page.inOutput() ? std::string() : page.bytes();
    if (page.memoryFile() >= 0 && h.size <= k_inlinePixels) {
        inline_.resize(static_cast<size_t>(h.size));
        if (pread(page.memoryFile(), inline_.data(), inline_.size(), 0) !=
            static_cast<ssize_t>(inline_.size()))
            return false;
    }
    h.inMemoryFile = page.memoryFile() >= 0 && h.size > k_inlinePixels;
    const bool sent = h.inMemoryFile ? sendWithDescriptor(fd, &h, sizeof h, page.memoryFile())
                                     : base::sendAll(fd, &h, sizeof h);
    return sent && base::sendAll(fd, info.problem.data(), h.problemLength) &&
           (h.inMemoryFile || base::sendAll(fd, inline_.data(), inline_.size()));
}

bool readEncodedPage(int fd, int timeoutMs, imaging::EncodedPage& page, imaging::PageInfo& info) {
    EncodedHeader h;
    int memory = -1;
    const bool received = receiveWithDescriptor(fd, &h, sizeof h, timeoutMs, memory);
    Descriptor file(memory);
    if (!received || h.kind != ReplyKind::EncodedPage || h.problemLength > k_maxProblem ||
        (h.inMemoryFile != 0) != (memory >= 0) ||
        (!h.inMemoryFile && !h.inOutput && h.size > k_inlinePixels) ||
        (h.inOutput && h.inMemoryFile))
        return false;
    page = imaging::EncodedPage();
    page.width = h.width;
    page.height = h.height;
    page.sourceDepth = h.sourceDepth;
    page.sourceGrey = h.sourceGrey != 0;
    info.sourceCompression = h.compression;
    info.problem.assign(h.problemLength, '\0');
    if (!base::readAll(fd, info.problem.data(), h.problemLength, timeoutMs))
        return false;
    if (h.inOutput) {
        page.setInOutput(h.size);
        return true;
    }
    if (h.inMemoryFile) {
        struct stat facts {};
        if (fstat(file.fd, &facts) != 0 || static_cast<uint64_t>(facts.st_size) != h.size)
            return false;
        page.setMemoryFile(std::exchange(file.fd, -1), h.size);
        return true;
    }
    std::string bytes(static_cast<size_t>(h.size), '\0');
    if (!base::readAll(fd, bytes.data(), bytes.size(), timeoutMs))
        return false;
    page.setBytes(std::move(bytes));
    return true;
}

bool writeFileReport(int fd, const FileReport& report) {
    const auto length = [](const std::string& text) {
        return static_cast<uint32_t>(std::min<size_t>(text.size(), k_maxProblem));
    };
    const uint32_t header[3] = {static_cast<uint32_t>(ReplyKind::FileReport),
                                length(report.problem), length(report.notes)};
    return base::sendAll(fd, header, sizeof header) &&
           base::sendAll(fd, report.problem.data(), header[1]) &&
           base::sendAll(fd, report.notes.data(), header[2]);
}

std::optional<FileReport> readFileReport(int fd, int timeoutMs) {
    uint32_t header[3] = {};
    if (!base::readAll(fd, header, sizeof header, timeoutMs) ||
        header[0] != static_cast<uint32_t>(ReplyKind::FileReport) || header[1] > k_maxProblem ||
        header[2] > k_maxProblem)
        return std::nullopt;
    FileReport report{std::string(header[1], '\0'), std::string(header[2], '\0')};
    if (!base::readAll(fd, report.problem.data(), report.problem.size(), timeoutMs) ||
        !base::readAll(fd, report.notes.data(), report.notes.size(), timeoutMs))
        return std::nullopt;
    return report;
}

} // namespace kx::decoder
#include "engine/page_wire.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace kx::engine {

namespace {

constexpr uint32_t k_countMagic = 0x4B584443; // "KXDC"
constexpr uint32_t k_pageMagic = 0x4B585047;  // "KXPG"
constexpr uint32_t k_maxProblem = 4096;
constexpr uint32_t k_maxSide = 1u << 20;

struct PageHeader {
    uint32_t magic = k_pageMagic;
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
    uint64_t dataSize = 0;
};

bool writeAll(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        // On a socket a vanished reader gives EPIPE instead of killing the program.
        ssize_t written = send(fd, bytes, size, MSG_NOSIGNAL);
        if (written < 0 && errno == ENOTSOCK)
            written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Reads exactly `size` bytes, waiting at most `timeoutMs` for each piece (negative: forever).
bool readAll(int fd, void* data, size_t size, int timeoutMs) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        pollfd ready{fd, POLLIN, 0};
        const int polled = poll(&ready, 1, timeoutMs);
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return false;
        const ssize_t got = read(fd, bytes, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        bytes += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

bool isKnownType(uint32_t type) {
    return type >= FIT_BITMAP && type <= FIT_RGBAF;
}

// The header must describe exactly the bitmap FreeImage would allocate for it.
bool plausible(const PageHeader& h) {
    if (h.problemLength > k_maxProblem || h.paletteSize > 256 || h.transparencyCount > 256)
        return false;
    if (!h.hasPage)
        return h.dataSize == 0;
    return isKnownType(h.type) && h.width > 0 && h.height > 0 && h.width <= k_maxSide &&
           h.height <= k_maxSide && h.bpp > 0 && h.bpp <= 128 &&
           h.dataSize == uint64_t{h.pitch} * h.height;
}

Bitmap allocateFor(const PageHeader& h) {
    Bitmap page(FreeImage_AllocateT(static_cast<FREE_IMAGE_TYPE>(h.type), static_cast<int>(h.width),
                                    static_cast<int>(h.height), static_cast<int>(h.bpp), h.masks[0],
                                    h.masks[1], h.masks[2]));
    if (page && (FreeImage_GetPitch(page.get()) != h.pitch ||
                 FreeImage_GetColorsUsed(page.get()) != h.paletteSize))
        return nullptr;
    return page;
}

} // namespace

bool writePageCount(int fd, int32_t count) {
    const uint32_t message[2] = {k_countMagic, static_cast<uint32_t>(count)};
    return writeAll(fd, message, sizeof message);
}

std::optional<int32_t> readPageCount(int fd, int timeoutMs) {
    uint32_t message[2] = {};
    if (!readAll(fd, message, sizeof message, timeoutMs) || message[0] != k_countMagic)
        return std::nullopt;
    const auto count = static_cast<int32_t>(message[1]);
    return count < 0 ? std::nullopt : std::optional<int32_t>(count);
}

bool writePageRequest(int fd, int32_t index) {
    return writeAll(fd, &index, sizeof index);
}

std::optional<int32_t> readPageRequest(int fd) {
    int32_t index = 0;
    if (!readAll(fd, &index, sizeof index, -1))
        return std::nullopt;
    return index;
}

bool writePage(int fd, FIBITMAP* page, const PageInfo& info) {
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
    if (!writeAll(fd, &h, sizeof h) || !writeAll(fd, info.problem.data(), h.problemLength))
        return false;
    if (!page)
        return true;
    if (h.paletteSize && !writeAll(fd, FreeImage_GetPalette(page), h.paletteSize * sizeof(RGBQUAD)))
        return false;
    if (h.transparencyCount &&
        !writeAll(fd, FreeImage_GetTransparencyTable(page), h.transparencyCount))
        return false;
    return writeAll(fd, FreeImage_GetBits(page), h.dataSize);
}

bool readPage(int fd, int timeoutMs, Bitmap& page, PageInfo& info) {
    PageHeader h;
    if (!readAll(fd, &h, sizeof h, timeoutMs) || h.magic != k_pageMagic || !plausible(h))
        return false;
    info.sourceCompression = h.compression;
    info.problem.assign(h.problemLength, '\0');
    if (!readAll(fd, info.problem.data(), h.problemLength, timeoutMs))
        return false;
    page.reset();
    if (!h.hasPage)
        return true;
    page = allocateFor(h);
    std::vector<RGBQUAD> palette(h.paletteSize);
    std::vector<BYTE> transparency(h.transparencyCount);
    if (!readAll(fd, palette.data(), palette.size() * sizeof(RGBQUAD), timeoutMs) ||
        !readAll(fd, transparency.data(), transparency.size(), timeoutMs))
        return false;
    if (!page) {
        // No memory for it here: drain the pixels so the stream stays in step.
        std::vector<char> sink(1 << 16);
        for (uint64_t left = h.dataSize; left > 0;) {
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(left, sink.size()));
            if (!readAll(fd, sink.data(), piece, timeoutMs))
                return false;
            left -= piece;
        }
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
    if (!readAll(fd, FreeImage_GetBits(page.get()), h.dataSize, timeoutMs)) {
        page.reset();
        return false;
    }
    return true;
}

} // namespace kx::engine

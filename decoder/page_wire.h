#pragma once

#include "decoder/loading.h"
#include "engine/bitmap.h"

#include <cstdint>
#include <optional>

namespace kx::engine {

// The messages between the decoder process and the worker, over a pair of pipes. Both ends
// are this program, but the worker still checks every size it reads: a decoder that went
// wrong must not be able to make the worker read or allocate what it should not.

// Sent once by the decoder after opening the file: its page count, 0 when it has no pages.
bool writePageCount(int fd, int32_t count);
// Reads the page count; nullopt when the decoder ended or answered nonsense.
std::optional<int32_t> readPageCount(int fd, int timeoutMs);

// Sent by the worker to ask for page `index`; a negative index tells the decoder to end.
bool writePageRequest(int fd, int32_t index);
// Reads a request; nullopt at end of input.
std::optional<int32_t> readPageRequest(int fd);

// Sends a decoded page (or its absence) with everything the chain needs: type, size, depth,
// palette, colour masks, resolution, transparency and background colour.
bool writePage(int fd, FIBITMAP* page, const PageInfo& info);

// Receives a page. False when the decoder ended, stopped answering for `timeoutMs`, or sent
// something malformed; `page` may be null on success when the decoder had no page to give.
bool readPage(int fd, int timeoutMs, Bitmap& page, PageInfo& info);

} // namespace kx::engine

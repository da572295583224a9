#pragma once

#include "decoder/tiff/page_budget.h"

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace kx::decoder {

// Every decode in a decoder process runs under a bound of processor time and a bound of memory
// set from what is decoded: a page from the size its directory declares, a watermark from the
// largest image a watermark may be. Both lie far above what a real image needs, so only a
// damaged file that loops or grows without end meets them. A decoder past its time bound is
// ended (exit status k_timeBoundStatus); one past its memory bound has its allocations fail,
// and the page or image fails saying so.
struct DecodeBounds {
    uint64_t seconds = 0; // processor time, on top of what the process has used so far
    uint64_t bytes = 0;   // address space, on top of what the process has mapped so far
};

// AddressSanitizer reserves far more address space than it uses, so a sanitized build goes
// without the memory bound.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool k_memoryBounded = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool k_memoryBounded = false;
#else
inline constexpr bool k_memoryBounded = true;
#endif
#else
inline constexpr bool k_memoryBounded = true;
#endif

// Bounds while a decoder opens its file and counts its pages.
DecodeBounds openingBounds();

// Bounds of decoding (and writing out) one page of this size.
DecodeBounds pageBounds(const PageFacts& facts);

// Bounds of decoding one watermark image: two seconds of processor time, and memory for three
// copies of the largest watermark's 32-bit pixels.
DecodeBounds watermarkBounds();

// Puts this process under `bounds` from now on, replacing the bounds set before. A process
// past its processor-time bound exits with k_timeBoundStatus; no core file is written. For
// decoder processes only.
void applyBounds(const DecodeBounds& bounds);

// After a decode failed: why, when the failure was an allocation refused by the memory bound
// (`what` names the thing decoded: "page", "image"); empty otherwise.
std::string memoryBoundProblem(const char* what);

// Makes this process follow the program `program` (its parent): it is sent SIGKILL when the
// parent dies, and ends at once when `program` (when positive) is no longer its parent, having
// died before the signal was arranged. Signals from the terminal or the session (SIGINT,
// SIGTERM, SIGHUP) are ignored: they are the program's to act on, which may let the page being
// decoded finish. For decoder processes.
void followProgram(pid_t program);

} // namespace kx::decoder

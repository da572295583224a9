#pragma once

#include <string>

namespace kx::engine {

// libtiff and FreeImage report problems through process-wide callbacks; by default libtiff
// prints them on standard error. These callbacks are replaced once, and what they say while a
// page is decoded is collected for the calling thread, so a page whose data could not be read
// fails instead of being saved half-blank. libtiff's chatter about tags it does not know is
// dropped: it says nothing about the pixels.
class DecodeDiagnostics {
public:
    // Starts collecting on this thread, forgetting anything collected before.
    DecodeDiagnostics();
    ~DecodeDiagnostics();
    DecodeDiagnostics(const DecodeDiagnostics&) = delete;
    DecodeDiagnostics& operator=(const DecodeDiagnostics&) = delete;

    // The first decoding error reported since construction or the last take(), or empty.
    std::string take();

    // FreeImage's last word since construction or the last call, such as why it refused a
    // page ("Unable to handle this format: ..."), or empty.
    std::string takeRefusal();
};

// Installs the callbacks; idempotent, thread-safe. Called by DecodeDiagnostics itself.
void installDecodeDiagnostics();

} // namespace kx::engine

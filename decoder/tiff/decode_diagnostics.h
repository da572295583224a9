#pragma once

#include <string>

namespace kx::decoder {

// libtiff and FreeImage report problems through process-wide callbacks; by default libtiff
// prints them on standard error. These callbacks are replaced once, and what they say while a
// page is decoded is collected for the calling thread, so a page whose data could not be read
// fails instead of being saved half-blank. libtiff's chatter about tags it does not know, and
// its complaints about directories and tag values it then ignores, are dropped: they say
// nothing about the pixels.
// Which libraries' callbacks are installed: FreeImage's only where it is about to be used, so
// that a decoder reading pages with libtiff alone never loads it.
enum class Watched { Libtiff, LibtiffAndFreeImage };

class DecodeDiagnostics {
public:
    // Starts collecting on this thread. Collections nest: an enclosing one is set aside and
    // goes on, with this one's first error, when this one ends.
    explicit DecodeDiagnostics(Watched watched = Watched::LibtiffAndFreeImage);
    ~DecodeDiagnostics();
    DecodeDiagnostics(const DecodeDiagnostics&) = delete;
    DecodeDiagnostics& operator=(const DecodeDiagnostics&) = delete;

    // The first decoding error reported since construction or the last take(), or empty.
    std::string take();

    // FreeImage's last word since construction or the last call, such as why it refused a
    // page ("Unable to handle this format: ..."), or empty.
    std::string takeRefusal();

private:
    bool m_outerActive;
    std::string m_outerError;
};

// Installs the callbacks; idempotent, thread-safe. DecodeDiagnostics installs them as it
// starts; a decoder also installs them before it opens its file, so that what the libraries
// say while opening is kept off standard error too.
void installDecodeDiagnostics(Watched watched = Watched::LibtiffAndFreeImage);

} // namespace kx::decoder
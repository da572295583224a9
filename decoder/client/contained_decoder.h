#pragma once

#include "imaging/bitmap.h"
#include "imaging/page_source.h"

#include <memory>
#include <string>

namespace kx::decoder {

// Where the decoder program is: beside the running program, else in the library folder of
// an installed copy (../lib/kestrelix/ from the program's folder); the path beside the program
// when it is in neither place. Never a path compiled in from the build.
std::string defaultDecoderPath();

// Why no decoder can be started from `decoderPath` ("the page decoder PATH is missing", "...
// is not executable"), or empty.
std::string decoderProblem(const std::string& decoderPath = defaultDecoderPath());

// Starts a decoder without a file and keeps it as an idle one, for the first file a run opens:
// it loads its libraries while the program prepares the run. Any thread.
void startDecoderAhead(const std::string& decoderPath = defaultDecoderPath());

// Ends the decoders kept between files once a run is over (they are kept so that a run of
// many files starts its decoders once). Any thread.
void releaseIdleDecoders();

// Ends every decoder process still running, at once. For a run ended by a signal. Any thread.
void endAllDecoders();

// Waits for the decoders let go of when their pages were done (they were ended then), so that
// none is left behind as a zombie once a run is over. Call when no run is under way; any
// thread.
void reapLeavingDecoders();

// Decodes one watermark image in a decoder process of its own, under a watermark's bounds
// (decode_bounds.h); a damaged file that crashes it or meets a bound only fails the image. Null
// with `why` set when the image cannot be decoded. See decodeWatermarkImage for what comes back.
imaging::Bitmap decodeImageContained(const std::string& path, std::string& why,
                                     const std::string& decoderPath = defaultDecoderPath(),
                                     int timeoutMs = 120'000);

// Opens `path` in a decoder process of its own (the program at `decoderPath`), started from
// the calling thread without the caller's descriptors. Pages are decoded there and handed
// over whole. When the decoder dies or sends nothing for `timeoutMs`, the page being loaded
// fails with a problem that says why, and the next page starts a fresh decoder. Null when the
// decoder cannot be started or finds no page.
std::unique_ptr<imaging::PageSource>
openPagesContained(const std::string& path, const std::string& decoderPath = defaultDecoderPath(),
                   int timeoutMs = 120'000);

} // namespace kx::decoder
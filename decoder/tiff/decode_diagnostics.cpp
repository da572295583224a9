#include "decoder/tiff/decode_diagnostics.h"

#include <FreeImage.h>
#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string_view>

namespace kx::decoder {

namespace {

struct Collector {
    bool active = false;
    std::string firstError;
    std::string lastRefusal;
};

thread_local Collector t_collector;

void record(std::string_view message) {
    if (t_collector.active && t_collector.firstError.empty())
        t_collector.firstError = message;
}

std::string formatted(const char* module, const char* format, va_list args) {
    char buffer[512];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    std::string message = module && *module ? std::string(module) + ": " : std::string();
    return message + buffer;
}

// Unknown or private tags are common in real files and harmless to the pixels.
bool isTagChatter(std::string_view message) {
    return message.find("unknown tag") != std::string_view::npos ||
           message.find("Unknown field with tag") != std::string_view::npos ||
           message.find("TIFFFieldWithTag") != std::string_view::npos ||
           message.find("TIFFFetchNormalTag") != std::string_view::npos;
}

// Complaints about a directory and its tags (a value out of range, an EXIF pointer that
// leads nowhere) while libtiff goes on with what it could read. They say nothing about the
// pixels: a directory too broken to decode fails the page through the decoding itself.
bool isDirectoryComplaint(std::string_view module) {
    for (const std::string_view directoryModule :
         {"_TIFFVSetField", "TIFFFetchDirectory", "TIFFReadDirectory", "TIFFReadCustomDirectory",
          "TIFFReadEXIFDirectory", "TIFFReadGPSDirectory", "TIFFReadDirectoryCheckOrder"}) {
        if (module == directoryModule)
            return true;
    }
    return false;
}

void tiffError(const char* module, const char* format, va_list args) {
    if (module && isDirectoryComplaint(module))
        return;
    const std::string message = formatted(module, format, args);
    if (!isTagChatter(message))
        record(message);
}

void tiffWarning(const char*, const char*, va_list) {}

void freeImageMessage(FREE_IMAGE_FORMAT, const char* message) {
    const std::string_view text = message ? message : "";
    if (t_collector.active)
        t_collector.lastRefusal = text;
    // FreeImage reports refused pages and truncated data through this callback; the refusals
    // already show as a null page, the truncation would otherwise pass as a blank page.
    if (text.find("parsing error") != std::string_view::npos ||
        text.find("Image may be incomplete") != std::string_view::npos)
        record(text);
}

} // namespace

void installDecodeDiagnostics(Watched watched) {
    static std::once_flag tiffOnce;
    std::call_once(tiffOnce, [] {
        TIFFSetErrorHandler(tiffError);
        TIFFSetWarningHandler(tiffWarning);
    });
    static std::once_flag freeImageOnce;
    if (watched == Watched::LibtiffAndFreeImage)
        std::call_once(freeImageOnce, [] { FreeImage_SetOutputMessage(freeImageMessage); });
}

DecodeDiagnostics::DecodeDiagnostics(Watched watched)
    : m_outerActive(t_collector.active), m_outerError(std::move(t_collector.firstError)) {
    installDecodeDiagnostics(watched);
    t_collector = Collector{true, {}, {}};
}

DecodeDiagnostics::~DecodeDiagnostics() {
    // An enclosing collection goes on, and what was said in here was said in there too.
    std::string first = m_outerError.empty() ? std::move(t_collector.firstError) : m_outerError;
    t_collector = Collector{m_outerActive, m_outerActive ? std::move(first) : std::string(), {}};
}

std::string DecodeDiagnostics::take() {
    std::string error = std::move(t_collector.firstError);
    t_collector.firstError.clear();
    return error;
}

std::string DecodeDiagnostics::takeRefusal() {
    std::string refusal = std::move(t_collector.lastRefusal);
    t_collector.lastRefusal.clear();
    return refusal;
}

} // namespace kx::decoder
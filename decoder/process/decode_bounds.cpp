#include "decoder/process/decode_bounds.h"

#include "base/available_memory.h"
#include "decoder/wire/page_wire.h"
#include "imaging/canvas_limits.h"

#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>

namespace kx::decoder {

namespace {

constexpr uint64_t k_mebibyte = uint64_t{1} << 20;
// Time every decode may take whatever its size: opening the file, reading its directories,
// starting the libraries.
constexpr uint64_t k_baseSeconds = 5;
// Pixels per second of processor time a decode is allowed: 50 ns a pixel, ten times what the
// slowest kind of page costs to decode and write out.
constexpr uint64_t k_pixelsPerSecond = 20'000'000;
// Memory every decode may use on top of the image: the codecs' tables and buffers.
constexpr uint64_t k_baseBytes = 256 * k_mebibyte;
// Processor time a watermark image may take, of any size: far more than a real one needs.
constexpr uint64_t k_watermarkSeconds = 2;
// Copies of the largest watermark's 32-bit pixels a decode may hold at once: the image as
// decoded at up to 16 bits a sample, and its 32-bit copy.
constexpr uint64_t k_watermarkCopies = 3;

uint64_t g_boundBytes = 0; // the memory bound in force
// The bounds last put in force, and when: a decode under the same bounds within a second of
// that is covered by them still, thanks to the second of processor time they were given on
// top (a single thread uses no more than a second of it in a second).
DecodeBounds g_armed;
std::chrono::steady_clock::time_point g_armedAt;

[[noreturn]] void endPastTimeBound(int) {
    _exit(k_timeBoundStatus);
}

uint64_t usedSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<uint64_t>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + 1;
}

// Address space this process has mapped now.
uint64_t mappedBytes() {
    unsigned long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%lu", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    return uint64_t{pages} * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

// Soft limits only: a later decode must be able to raise them again.
void setSoftLimit(int resource, uint64_t value) {
    rlimit limit{};
    getrlimit(resource, &limit);
    limit.rlim_cur = std::min<rlim_t>(static_cast<rlim_t>(value), limit.rlim_max);
    setrlimit(resource, &limit);
}

} // namespace

DecodeBounds openingBounds() {
    return {k_baseSeconds, k_baseBytes};
}

DecodeBounds pageBounds(const PageFacts& facts) {
    const uint64_t pixels = uint64_t{facts.width} * facts.height;
    return {k_baseSeconds + pixels / k_pixelsPerSecond, k_baseBytes + 2 * pageFootprint(facts)};
}

DecodeBounds watermarkBounds() {
    const uint64_t pixels = imaging::k_maxCanvasPixels;
    return {k_watermarkSeconds, k_baseBytes + k_watermarkCopies * pixels * 4};
}

void applyBounds(const DecodeBounds& bounds) {
    static const bool prepared = [] {
        struct sigaction action {};
        action.sa_handler = endPastTimeBound;
        sigaction(SIGXCPU, &action, nullptr);
        setSoftLimit(RLIMIT_CORE, 0);
        return true;
    }();
    (void)prepared;
    // Re-arming costs a handful of system calls, more than a small page takes to decode.
    const auto now = std::chrono::steady_clock::now();
    if (bounds.seconds == g_armed.seconds && bounds.bytes == g_armed.bytes &&
        now - g_armedAt < std::chrono::seconds(1))
        return;
    g_armed = bounds;
    g_armedAt = now;
    setSoftLimit(RLIMIT_CPU, usedSeconds() + bounds.seconds + 1);
    if (!k_memoryBounded)
        return;
    // Never more than the system can give without swapping, whatever the image claims.
    constexpr uint64_t k_codeAndLibraries = 512 * k_mebibyte;
    const uint64_t ceiling = base::availableMemory() + k_codeAndLibraries;
    const uint64_t mapped = mappedBytes();
    g_boundBytes = std::min(bounds.bytes, ceiling > mapped ? ceiling - mapped : 0);
    setSoftLimit(RLIMIT_AS, mapped + g_boundBytes);
}

std::string memoryBoundProblem(const char* what) {
    if (!k_memoryBounded || errno != ENOMEM || g_boundBytes == 0)
        return {};
    return std::string("the ") + what + " needs more memory than its bound of " +
           std::to_string(g_boundBytes / k_mebibyte) + " MB";
}

void followProgram(pid_t program) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (program > 0 && getppid() != program)
        _exit(0);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, SIG_IGN);
}

} // namespace kx::decoder

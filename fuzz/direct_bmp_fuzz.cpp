#include "decoder/tiff/decode_diagnostics.h"
#include "decoder/tiff/direct_bmp.h"
#include "decoder/tiff/libtiff_pages.h"
#include "decoder/tiff/page_budget.h"
#include "decoder/tiff/tiff_reading.h"
#include "fuzz/scratch_file.h"

// Feeds arbitrary files to the decoder's own TIFF decoding: every directory libtiff can read is
// offered to the writer that turns common pages into BMP files straight from libtiff's strips
// (what it accepts is written to a file in memory, whole and as one of two writers) and to the
// libtiff path that decodes the kinds FreeImage gets wrong. Both run here, in the fuzzer's process,
// where the decoder process would otherwise hide what goes wrong. Anything that goes wrong in them
// is a finding.

#include <sys/mman.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = scratchFile("direct-bmp-fuzz");
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    kx::decoder::DecodeDiagnostics quiet(kx::decoder::Watched::Libtiff);
    // Read as the decoder reads, through its own buffer.
    TIFF* tiff = kx::decoder::openBufferedTiff(path);
    if (!tiff)
        return 0;
    for (int page = 0; page < 8; ++page) {
        const kx::decoder::PageFacts facts = kx::decoder::readPageFacts(tiff, size);
        // The decoder refuses pages too large for memory before anything is decoded.
        if (kx::decoder::pageBudgetProblem(facts, uint64_t{1} << 30).empty() &&
            kx::decoder::directBmpPage(tiff, facts)) {
            const int memory = memfd_create("kx-direct-bmp-fuzz", MFD_CLOEXEC);
            std::string problem;
            kx::decoder::writeDirectBmp(tiff, facts, memory, problem);
            // Every other band, each written at its offset, as one of two decoders may.
            uint32_t claims = 1;
            kx::decoder::writeDirectBmpPart(
                tiff, facts, memory,
                {false, [&claims] { return std::exchange(claims, claims + 2); }}, problem);
            close(memory);
        }
        // Smaller pages than the writer's: these are decoded whole.
        if (kx::decoder::pageBudgetProblem(facts, uint64_t{1} << 28).empty()) {
            std::string problem;
            kx::imaging::Bitmap decoded = kx::decoder::decodeWithLibtiff(tiff, facts, problem);
        }
        if (!TIFFReadDirectory(tiff))
            break;
    }
    TIFFClose(tiff);
    return 0;
}

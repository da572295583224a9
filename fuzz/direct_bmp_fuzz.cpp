#include "decoder/decode_diagnostics.h"
#include "decoder/direct_bmp.h"
#include "decoder/page_budget.h"
#include "fuzz/scratch_file.h"

// Feeds arbitrary files to the writer that turns common TIFF pages into BMP files straight from
// libtiff's strips: every directory libtiff can read is offered to it, and what it accepts is
// written to a file in memory. Anything that goes wrong in the writer is a finding.

#include <sys/mman.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = scratchFile("direct-bmp-fuzz");
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    kx::decoder::DecodeDiagnostics quiet(kx::decoder::Watched::Libtiff);
    TIFF* tiff = TIFFOpen(path.c_str(), "rm");
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
            close(memory);
        }
        if (!TIFFReadDirectory(tiff))
            break;
    }
    TIFFClose(tiff);
    return 0;
}

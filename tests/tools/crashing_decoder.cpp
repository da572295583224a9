#include "decoder/process/decoder_entry.h"

#include <cstdlib>

// The decoder program, except that it aborts as it starts a page of 13 x 13 pixels: such a
// page stands for one that crashes a decoder, so that tests can show what such a crash costs.
int main(int argc, char** argv) {
    return kx::decoder::runDecoder(argc, argv, [](const kx::decoder::PageFacts& facts) {
        if (facts.width == 13 && facts.height == 13)
            std::abort();
    });
}

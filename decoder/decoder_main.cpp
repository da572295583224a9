// The decoder program, started by the worker for each input file it converts.

#include "decoder/decoder_entry.h"

int main(int argc, char** argv) {
    return kx::engine::runDecoder(argc, argv);
}

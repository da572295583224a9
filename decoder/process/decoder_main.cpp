#include "decoder/process/decoder_entry.h"

// The decoder program, started by the worker for each input file it converts.

int main(int argc, char** argv) {
    return kx::decoder::runDecoder(argc, argv);
}

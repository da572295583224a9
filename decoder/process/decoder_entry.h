#pragma once

#include "decoder/tiff/loading.h"

namespace kx::decoder {

// The decoder process, run with the decoder program's arguments and its standard input and
// output connected to the worker:
//
// [FILE]: opens FILE (without it, the file the first Open request names), sends its page
// count, then answers each request read from standard input (page_wire.h) until it is asked to
// end or its input ends; asked to open another file, it serves that one the same way. A
// crash, an abort or a runaway allocation in here costs the worker one file.
//
// --watermark IMAGE: decodes the watermark image once and sends it as one page message, then
// ends; a damaged image costs the run its watermark, never the program.
//
// Every page and image is decoded under its bounds (decode_bounds.h). The process ends when
// the program that started it ends (its parent, or the one named by k_parentVariable).
//
// `beforePage`, when set, is called as each page's decode starts, under the page's bounds.
//
// Returns the process's exit status: 0, or 2 for arguments it does not know.
int runDecoder(int argc, char** argv, const DecodeStart& beforePage = {});

} // namespace kx::decoder
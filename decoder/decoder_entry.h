#pragma once

namespace kx::decoder {

// The decoder process, run with the decoder program's arguments and its standard input and
// output connected to the worker:
//
// FILE: opens FILE once, sends its page count, then answers each page request read from
// standard input with the decoded page (or, once asked, the page's finished output file),
// until it reads a negative index or its input ends. A crash, an abort or a runaway
// allocation in here costs the worker one file.
//
// --watermark IMAGE: decodes the watermark image once and sends it as one page message, then
// ends; a damaged image costs the run its watermark, never the program.
//
// Every page and image is decoded under its bounds (decode_bounds.h). The process ends when
// the program that started it ends (its parent, or the one named by k_parentVariable).
//
// Returns the process's exit status: 0, or 2 for arguments it does not know.
int runDecoder(int argc, char** argv);

} // namespace kx::decoder
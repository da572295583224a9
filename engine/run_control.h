#pragma once

namespace kx::engine {

// What a program does around its conversions, apart from the conversions themselves.

// Prepares fast decoder starts for the runs to come (a decoder server copied from this
// process). Call while the process still has one thread; without it decoders are started
// from the decoder program, which is slower but equivalent.
void prepareConversions();

// Undoes prepareConversions once the program's conversions are over; decoders still at work
// go on. Harmless without prepareConversions.
void finishConversions();

// For a process about to end in the middle of a run (a stop signal): removes every output file
// still being written, makes every later write fail, and ends every decoder at once. Any
// thread; file writing never works again in this process.
void abandonConversions();

} // namespace kx::engine

#pragma once

namespace kx::engine {

// What a program does around its conversions, apart from the conversions themselves.

// Starts the first decoder of the runs to come ahead of them, so that it loads its libraries
// while the program reads its settings and command line.
void prepareConversions();

// Lets the decoders prepared and kept go once the program's conversions are over.
void finishConversions();

// The signals that end a program early: the terminal's interrupt and hang-up, and the polite
// request to end that closes a desktop session (SIGINT, SIGHUP, SIGTERM). Once caught, each
// of them makes the returned descriptor readable instead of ending the process, on whichever
// thread it arrives, and the program ends itself when it is ready: with endAtOnce, so that
// the page being written leaves nothing behind. -1 when no descriptor can be had; the signals
// then keep ending the process. Catching twice gives the same descriptor. Main thread.
int catchStopSignals();

// Gives the stop signals back their usual effect and closes the descriptor. Main thread.
void releaseStopSignals();

// Ends the process now with exit status 0, in the middle of a run or not: every output file
// still being written is removed, no later write can name a file, and every decoder is ended.
// Any thread.
[[noreturn]] void endAtOnce();

} // namespace kx::engine

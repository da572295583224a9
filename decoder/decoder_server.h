#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kx::decoder {

// Starting a decoder program costs more than converting a small page: the dynamic loader
// maps its libraries anew each time. The decoder server is a copy of this program made once,
// while it still has a single thread, that makes each decoder by copying itself instead. A
// decoder made so is still a process of its own with the decoder's bounds, and it is this
// program's child (the server makes it as its own sibling), waited for like one that was
// started from the decoder program. The server and every decoder end when the program does,
// however it ends.

// Starts the server. Call while the process has one thread; later calls do nothing. False
// when it cannot be started; decoders are then started from the decoder program.
bool startDecoderServer();

// Ends the server, its input closed, and waits for it, so that it leaves no zombie and the work
// of making decoders counts as the program's; decoders already made go on. Called at the end
// of a run, and at exit for a server still running.
void stopDecoderServer();

// Makes a decoder running runDecoder with `arguments` (the decoder program's arguments, without
// its name), with `socket` as its standard input and output. Its process id, a child of this
// process; -1 when there is no server or it could not make one. Any thread.
pid_t forkDecoder(const std::vector<std::string>& arguments, int socket);

} // namespace kx::decoder
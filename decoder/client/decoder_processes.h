#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace kx::decoder {

// Making and watching decoder processes, for the console and the window alike: every decoder
// is started here with posix_spawn, stays in the program's session and process group, and is
// known while it lives, so that a run ended by a signal can end them all at once. Those let
// go of are reaped later rather than waited for, and those done with a file cleanly wait,
// a few at most, for the next one.

// One decoder process and the socket to it (its standard input and output).
class DecoderProcess {
public:
    DecoderProcess() = default;
    DecoderProcess(const DecoderProcess&) = delete;
    DecoderProcess& operator=(const DecoderProcess&) = delete;
    ~DecoderProcess() { release(); }

    // Lets go of a decoder that is not needed any more, whatever it is doing (it may be
    // decoding a page asked for ahead of time).
    void release();

    // Starts the decoder program `decoder` on the file at `path`, or with `arguments`. False
    // when it cannot be started.
    bool start(const std::string& decoder, const std::string& path);
    bool start(const std::string& decoder, const std::vector<std::string>& arguments);

    int fd() const { return m_fd; }

    // Ends a decoder that stopped answering and says how it had ended, if it had.
    std::string stop();

private:
    int m_fd = -1;
    pid_t m_pid = -1;
};

// An idle decoder of the program `decoder`, done with a file and waiting for the next one;
// null when there is none.
std::unique_ptr<DecoderProcess> takeIdleDecoder(const std::string& decoder);

// Keeps `process`, done with its file without trouble, for the next file (or lets it go when
// enough are kept).
void keepIdleDecoder(const std::string& decoder, std::unique_ptr<DecoderProcess> process);

// Where the decoder program is: beside the running program, else in the library folder of
// an installed copy (../lib/kestrelix/ from the program's folder); the path beside the program
// when it is in neither place. Never a path compiled in from the build.
std::string defaultDecoderPath();

// Why no decoder can be started from `decoderPath` ("the page decoder PATH is missing", "...
// is not executable"), or empty.
std::string decoderProblem(const std::string& decoderPath = defaultDecoderPath());

// Starts a decoder without a file and keeps it as an idle one, for the first file a run opens:
// it loads its libraries while the program prepares the run. Any thread.
void startDecoderAhead(const std::string& decoderPath = defaultDecoderPath());

// Ends the decoders kept between files once a run is over (they are kept so that a run of
// many files starts its decoders once). Any thread.
void releaseIdleDecoders();

// Ends every decoder process still running, at once. For a run ended by a signal. Any thread.
void endAllDecoders();

// Waits for the decoders let go of when their pages were done (they were ended then), so that
// none is left behind as a zombie once a run is over. Call when no run is under way; any
// thread.
void reapLeavingDecoders();

} // namespace kx::decoder

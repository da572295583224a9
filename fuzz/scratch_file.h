#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// The file a fuzz target writes its input to, /tmp/kx-NAME-PID, removed when the process ends:
// the test suite replays every target on every run. One per program; the first call names it.
inline const std::string& scratchFile(const char* name) {
    static const std::string path = "/tmp/kx-" + std::string(name) + "-" + std::to_string(getpid());
    static const int removedAtExit = std::atexit([] { std::remove(path.c_str()); });
    (void)removedAtExit;
    return path;
}

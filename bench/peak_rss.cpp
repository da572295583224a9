// Does what `/usr/bin/time -f "%M %U %S" -o FILE` does, with CPU times to the microsecond
// (time(1) rounds them to 10 ms, more than a small conversion takes):
//   peak_rss FILE COMMAND [ARGS...]
// Runs COMMAND, writes the peak resident set size in KiB of it and the children it waited for
// (the largest single process, as time(1) reports it) and their user and system CPU seconds
// to FILE, and exits with its status.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FILE COMMAND [ARGS...]\n", argv[0]);
        return 2;
    }
    const pid_t child = fork();
    if (child < 0)
        return 127;
    if (child == 0) {
        execvp(argv[2], argv + 2);
        std::perror(argv[2]);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child)
        return 127;
    if (FILE* out = std::fopen(argv[1], "w")) {
        const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
        std::fprintf(out, "%ld %.6f %.6f\n", usage.ru_maxrss, seconds(usage.ru_utime),
                     seconds(usage.ru_stime));
        std::fclose(out);
    }
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

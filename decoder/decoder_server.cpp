#include "decoder/decoder_server.h"

#include "decoder/decode_bounds.h"
#include "decoder/decoder_entry.h"
#include "decoder/descriptor_passing.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>

namespace kx::decoder {

namespace {

constexpr size_t k_maxRequest = size_t{64} << 10;
constexpr int k_serverSocket = 3; // where the server keeps its end

pid_t g_program = 0; // in the server: the program it serves

struct Server {
    std::mutex lock;
    int fd = -1;
    pid_t pid = -1;
};

Server& server() {
    static Server* running = new Server; // used until the process ends
    return *running;
}

// Standard input, output and error lead nowhere and no other descriptor of the program is
// kept, except `keep` moved to `keepAt`.
void detachDescriptors(int keep, int keepAt) {
    const int nothing = open("/dev/null", O_RDWR);
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (fd != keep)
            dup2(nothing, fd);
    if (keep != keepAt)
        dup2(keep, keepAt);
    closefrom(keepAt + 1);
}

// Signals as a freshly started program has them.
void takeFreshSignals() {
    for (int signal = 1; signal < NSIG; ++signal)
        std::signal(signal, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

// In the new decoder, which has fresh signals: the socket as standard input and output,
// standard error going nowhere (what FreeImage or the C library say while dying must not reach
// the console). It stays in the program's session and process group, so that the terminal's
// job control stops and resumes it with the program.
[[noreturn]] void becomeDecoder(int socket, std::vector<std::string>& arguments) {
    dup2(socket, STDIN_FILENO);
    dup2(socket, STDOUT_FILENO);
    const int nothing = open("/dev/null", O_WRONLY);
    dup2(nothing, STDERR_FILENO);
    closefrom(STDERR_FILENO + 1);
    // glibc writes its fatal messages to standard error (not the terminal) with this set.
    setenv("LIBC_FATAL_STDERR_", "1", 1);
    std::vector<char*> argv{const_cast<char*>("kestrelix-decoder")};
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    _exit(runDecoder(static_cast<int>(argv.size() - 1), argv.data()));
}

// Makes a process that runs `body` as a child of the program, this server's parent, so that
// the program waits for it as for a decoder it started itself. Its process id, or -1.
//
// A sibling is made with clone's CLONE_PARENT, without glibc's fork: the new process runs on a
// copy of this single-threaded process, and the C library's own record of the thread id, which
// only glibc's fork would correct, is not used by anything the decoder does (raise and abort
// ask the kernel).
pid_t makeProcess(const std::function<void()>& body) {
    const long made = syscall(SYS_clone, CLONE_PARENT | SIGCHLD, nullptr, nullptr, nullptr, 0);
    if (made == 0) {
        // Named as a started decoder is, so that `ps` and `top` tell it from the program.
        prctl(PR_SET_NAME, "kestrelix-decoder");
        // Before the work comes: a spare does this while it waits.
        takeFreshSignals();
        followProgram(g_program);
        body();
        _exit(0);
    }
    return made > 0 ? static_cast<pid_t>(made) : -1;
}

// A request: the decoder's arguments, each ended by a NUL.
std::vector<std::string> argumentsIn(const char* request, size_t size) {
    std::vector<std::string> arguments;
    for (const char* at = request; at < request + size; at += arguments.back().size() + 1)
        arguments.emplace_back(at, strnlen(at, static_cast<size_t>(request + size - at)));
    return arguments;
}

// A decoder made before it is asked for, so that making the next one costs the program no
// wait; `fd` tells it what to decode.
struct Spare {
    int fd = -1;
    pid_t pid = -1;
};

// In the spare: waits for a request and its socket, then decodes; leaves when the server does.
[[noreturn]] void waitForWork(int fd) {
    // The bounds every decoder opens its file under are put in force meanwhile, as the decoder
    // would first thing.
    applyBounds(openingBounds());
    std::vector<char> request(k_maxRequest);
    int socket = -1;
    const ssize_t got = receiveMessage(fd, request.data(), request.size(), socket);
    if (got <= 0 || socket < 0)
        _exit(0);
    std::vector<std::string> arguments = argumentsIn(request.data(), static_cast<size_t>(got));
    becomeDecoder(socket, arguments);
}

Spare makeSpare() {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return {};
    const pid_t pid = makeProcess([&] {
        // In place of the server's socket to the program, which the spare must not hold open.
        dup2(ends[1], k_serverSocket);
        closefrom(k_serverSocket + 1);
        waitForWork(k_serverSocket);
    });
    close(ends[1]);
    if (pid < 0) {
        close(ends[0]);
        return {};
    }
    return {ends[0], pid};
}

// The server: one request, one decoder, until the program's end of the socket closes. The
// first decoder is made as the server starts, while the program still sets up its run; it is
// the one a one-page file waits for. Later ones are made when asked for.
[[noreturn]] void serve(int fd) {
    prctl(PR_SET_NAME, "kestrelix-server");
    // The program's own signal handlers are no part of the server.
    followProgram(g_program);
    detachDescriptors(fd, k_serverSocket);
    std::vector<char> request(k_maxRequest);
    Spare spare = makeSpare();
    for (;;) {
        int socket = -1;
        const ssize_t got = receiveMessage(k_serverSocket, request.data(), request.size(), socket);
        if (got <= 0)
            _exit(0);
        pid_t decoder = -1;
        if (socket >= 0 && spare.fd >= 0 &&
            sendMessage(spare.fd, request.data(), got, socket) == got)
            decoder = spare.pid;
        else if (socket >= 0)
            decoder = makeProcess([&] {
                std::vector<std::string> arguments =
                    argumentsIn(request.data(), static_cast<size_t>(got));
                becomeDecoder(socket, arguments);
            });
        if (spare.fd >= 0)
            close(spare.fd); // handed its work, or gone
        spare = {};
        if (socket >= 0)
            close(socket);
        if (sendMessage(k_serverSocket, &decoder, sizeof decoder, -1) != sizeof decoder)
            _exit(0);
    }
}

} // namespace

bool startDecoderServer() {
    Server& running = server();
    std::lock_guard guard(running.lock);
    if (running.fd >= 0)
        return true;
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    g_program = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        close(ends[0]);
        serve(ends[1]);
    }
    close(ends[1]);
    if (pid < 0) {
        close(ends[0]);
        return false;
    }
    running.fd = ends[0];
    running.pid = pid;
    std::atexit(stopDecoderServer);
    return true;
}

void stopDecoderServer() {
    Server& running = server();
    std::lock_guard guard(running.lock);
    if (running.fd < 0)
        return;
    close(running.fd);
    running.fd = -1;
    waitpid(running.pid, nullptr, 0);
}

pid_t forkDecoder(const std::vector<std::string>& arguments, int socket) {
    Server& running = server();
    std::lock_guard guard(running.lock);
    if (running.fd < 0)
        return -1;
    std::string request;
    for (const std::string& argument : arguments)
        request.append(argument.c_str(), argument.size() + 1);
    pid_t decoder = -1;
    int none = -1;
    if (request.size() > k_maxRequest) // a path no decoder could open anyway
        return -1;
    if (sendMessage(running.fd, request.data(), request.size(), socket) !=
            static_cast<ssize_t>(request.size()) ||
        receiveMessage(running.fd, &decoder, sizeof decoder, none) != sizeof decoder) {
        // The server is gone; decoders come from the decoder program from now on.
        close(running.fd);
        running.fd = -1;
        waitpid(running.pid, nullptr, 0);
        return -1;
    }
    if (none >= 0)
        close(none);
    return decoder;
}

} // namespace kx::decoder
#include "decoder/client/decoder_processes.h"

#include "base/program_module.h"
#include "decoder/wire/page_wire.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <sysexits.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

extern char** environ;

namespace kx::decoder {

namespace {

constexpr const char* k_decoderName = "kestrelix-decoder";

// Decoders let go of after a clean run, not yet reaped: waiting for each to leave would cost
// every file a few milliseconds. They are reaped whenever a decoder starts or is let go of.
class LeavingDecoders {
public:
    // At the program's end the last ones, already sent SIGKILL, are waited for, so that they
    // leave no zombie behind and their time counts as the program's.
    ~LeavingDecoders() {
        for (pid_t pid : m_pids)
            waitpid(pid, nullptr, 0);
    }

    void add(pid_t pid) {
        std::lock_guard guard(m_lock);
        m_pids.push_back(pid);
        reapLocked();
    }

    void reap() {
        std::lock_guard guard(m_lock);
        reapLocked();
    }

    // Every one was sent SIGKILL when let go of, so none keeps this waiting long.
    void waitForAll() {
        std::lock_guard guard(m_lock);
        for (pid_t pid : m_pids)
            waitpid(pid, nullptr, 0);
        m_pids.clear();
    }

private:
    void reapLocked() {
        std::erase_if(m_pids, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; });
    }

    std::mutex m_lock;
    std::vector<pid_t> m_pids;
};

LeavingDecoders& leavingDecoders() {
    static LeavingDecoders leaving;
    return leaving;
}

// Every decoder process started and not yet let go of, so that a run ended by a signal can
// end them at once instead of leaving them to finish a page nobody wants.
class LiveDecoders {
public:
    void add(pid_t pid) {
        std::lock_guard guard(m_lock);
        m_pids.push_back(pid);
    }

    void remove(pid_t pid) {
        std::lock_guard guard(m_lock);
        std::erase(m_pids, pid);
    }

    void killAll() {
        std::lock_guard guard(m_lock);
        for (pid_t pid : m_pids)
            kill(pid, SIGKILL);
    }

private:
    std::mutex m_lock;
    std::vector<pid_t> m_pids;
};

LiveDecoders& liveDecoders() {
    static LiveDecoders* live = new LiveDecoders; // used until the process ends
    return *live;
}

// Decoders that served a file to its end and wait for the next one, so that a run of many
// files starts its decoders once rather than once a file. A decoder that met a problem in
// its file is never kept: whatever went wrong in it must not reach another file.
class IdleDecoders {
public:
    std::unique_ptr<DecoderProcess> take(const std::string& decoder) {
        std::lock_guard guard(m_lock);
        for (auto idle = m_idle.begin(); idle != m_idle.end(); ++idle) {
            if (idle->first == decoder) {
                std::unique_ptr<DecoderProcess> process = std::move(idle->second);
                m_idle.erase(idle);
                return process;
            }
        }
        return nullptr;
    }

    void keep(const std::string& decoder, std::unique_ptr<DecoderProcess> process) {
        std::lock_guard guard(m_lock);
        if (m_idle.size() < k_kept)
            m_idle.emplace_back(decoder, std::move(process));
    }

    void clear() {
        std::vector<std::pair<std::string, std::unique_ptr<DecoderProcess>>> leaving;
        std::lock_guard guard(m_lock);
        leaving.swap(m_idle);
    }

private:
    static constexpr size_t k_kept = 4;
    std::mutex m_lock;
    std::vector<std::pair<std::string, std::unique_ptr<DecoderProcess>>> m_idle;
};

IdleDecoders& idleDecoders() {
    // Never destroyed: decoders still kept at exit see their input end and leave by themselves.
    static auto* idle = new IdleDecoders;
    return *idle;
}

// The environment with `added` (NAME=VALUE) after it. glibc writes its fatal messages to
// standard error (not the terminal) with LIBC_FATAL_STDERR_ set.
std::vector<char*> environmentWith(std::vector<std::string>& added) {
    std::vector<char*> envp;
    for (char** entry = environ; *entry; ++entry)
        envp.push_back(*entry);
    for (std::string& entry : added)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    return envp;
}

} // namespace

void DecoderProcess::release() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        liveDecoders().remove(m_pid);
        leavingDecoders().add(m_pid);
        m_pid = -1;
    }
}

bool DecoderProcess::start(const std::string& decoder, const std::string& path) {
    return start(decoder, std::vector<std::string>{path});
}

bool DecoderProcess::start(const std::string& decoder, const std::vector<std::string>& arguments) {
    leavingDecoders().reap();
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    m_fd = ends[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    // What FreeImage or the C library say while dying must not reach the console.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    // The program's session and process group: the terminal's job control stops and
    // resumes it with the program; it ends when the program does (followProgram).
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv{const_cast<char*>(decoder.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> added{"LIBC_FATAL_STDERR_=1",
                                   std::string(k_parentVariable) + "=" + std::to_string(getpid())};
    std::vector<char*> envp = environmentWith(added);
    const int spawned =
        posix_spawn(&m_pid, decoder.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    if (spawned != 0) {
        m_pid = -1;
        stop();
        return false;
    }
    liveDecoders().add(m_pid);
    return true;
}

std::string DecoderProcess::stop() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (m_pid <= 0)
        return {};
    // Forgotten before it can be reaped, so that its number, once free for reuse, is never
    // sent a signal.
    liveDecoders().remove(m_pid);
    // A decoder whose input has ended leaves at once; one that died is being counted.
    // Half a second is plenty for either.
    int status = 0;
    pid_t ended = 0;
    for (int tries = 0; tries < 500 && ended == 0; ++tries) {
        ended = waitpid(m_pid, &status, WNOHANG);
        if (ended == 0)
            usleep(1000);
    }
    if (ended == 0) {
        kill(m_pid, SIGKILL);
        ended = waitpid(m_pid, &status, 0);
        m_pid = -1;
        return {};
    }
    m_pid = -1;
    if (ended > 0 && WIFSIGNALED(status))
        return "the decoder was ended by signal " + std::to_string(WTERMSIG(status));
    if (ended > 0 && WIFEXITED(status) && WEXITSTATUS(status) == k_timeBoundStatus)
        return "the decoder went past its bound of processor time";
    // What the program's own on-demand loading of FreeImage ends a process with.
    if (ended > 0 && WIFEXITED(status) && WEXITSTATUS(status) == EX_SOFTWARE)
        return "the decoder cannot load the image library";
    if (ended > 0 && WIFEXITED(status) && WEXITSTATUS(status) != 0)
        return "the decoder failed with status " + std::to_string(WEXITSTATUS(status));
    return {};
}

std::unique_ptr<DecoderProcess> takeIdleDecoder(const std::string& decoder) {
    return idleDecoders().take(decoder);
}

void keepIdleDecoder(const std::string& decoder, std::unique_ptr<DecoderProcess> process) {
    idleDecoders().keep(decoder, std::move(process));
}

std::string defaultDecoderPath() {
    // The program does not move while it runs; asked for every file a run opens.
    static const std::string path = base::programPartPath(k_decoderName);
    return path;
}

std::string decoderProblem(const std::string& decoderPath) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(decoderPath, error))
        return "the page decoder " + decoderPath + " is missing";
    if (access(decoderPath.c_str(), X_OK) != 0)
        return "the page decoder " + decoderPath + " is not executable";
    return {};
}

void startDecoderAhead(const std::string& decoderPath) {
    auto process = std::make_unique<DecoderProcess>();
    if (decoderProblem(decoderPath).empty() &&
        process->start(decoderPath, std::vector<std::string>{}))
        idleDecoders().keep(decoderPath, std::move(process));
}

void releaseIdleDecoders() {
    idleDecoders().clear();
}

void endAllDecoders() {
    liveDecoders().killAll();
}

void reapLeavingDecoders() {
    leavingDecoders().waitForAll();
}

} // namespace kx::decoder

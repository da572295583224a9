#include "decoder/contained_decoder.h"

#include "decoder/page_wire.h"
#include "engine/job_state.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

extern char** environ;

#ifndef KX_DECODER_BUILD_PATH
#define KX_DECODER_BUILD_PATH ""
#endif

namespace kx::engine {

namespace {

constexpr const char* k_decoderName = "kestrelix-decoder";

// One running decoder process and the socket to it.
// Decoders let go of after a clean run, not yet reaped: waiting for each to leave would cost
// every file a few milliseconds. They are reaped whenever a decoder starts or is let go of.
class LeavingDecoders {
public:
    void add(pid_t pid) {
        std::lock_guard guard(m_lock);
        m_pids.push_back(pid);
        reapLocked();
    }

    void reap() {
        std::lock_guard guard(m_lock);
        reapLocked();
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

class DecoderProcess {
public:
    ~DecoderProcess() { release(); }

    // Lets go of a decoder that is not needed any more, whatever it is doing (it may be
    // decoding a page asked for ahead of time).
    void release() {
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            leavingDecoders().add(m_pid);
            m_pid = -1;
        }
    }

    // Starts the decoder on `path`. False when it cannot be started.
    bool start(const std::string& decoder, const std::string& path) {
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
        // A session of its own: no controlling terminal to print on, no terminal signals.
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                  POSIX_SPAWN_SETSIGDEF);
        std::vector<char*> argv{const_cast<char*>(decoder.c_str()), const_cast<char*>(path.c_str()),
                                nullptr};
        std::vector<char*> envp = environmentWithQuietFatalMessages();
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
        return true;
    }

    int fd() const { return m_fd; }

    // Ends a decoder that stopped answering and says how it had ended, if it had.
    std::string stop() {
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
        if (m_pid <= 0)
            return {};
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
        if (ended > 0 && WIFEXITED(status) && WEXITSTATUS(status) != 0)
            return "the decoder failed with status " + std::to_string(WEXITSTATUS(status));
        return {};
    }

private:
    static std::vector<char*> environmentWithQuietFatalMessages() {
        // glibc writes its fatal messages to standard error (not the terminal) with this set.
        static char quiet[] = "LIBC_FATAL_STDERR_=1";
        std::vector<char*> envp;
        for (char** entry = environ; *entry; ++entry)
            envp.push_back(*entry);
        envp.push_back(quiet);
        envp.push_back(nullptr);
        return envp;
    }

    int m_fd = -1;
    pid_t m_pid = -1;
};

class ContainedPageSource final : public PageSource {
public:
    ContainedPageSource(std::string path, std::string decoder, int timeoutMs)
        : m_path(std::move(path)), m_decoder(std::move(decoder)), m_timeoutMs(timeoutMs) {}

    ~ContainedPageSource() override = default;

    void plan(int first, int end) override {
        m_planEnd = end;
        (void)first;
    }

    // Starts the decoder and learns the page count; false when it has no pages for us.
    bool open() {
        m_process = std::make_unique<DecoderProcess>();
        if (!m_process->start(m_decoder, m_path))
            return false;
        const std::optional<int32_t> count = readPageCount(m_process->fd(), m_timeoutMs);
        if (!count || *count <= 0) {
            m_process.reset();
            return false;
        }
        m_count = *count;
        return true;
    }

    int pageCount() const override { return m_count; }

    Bitmap loadPage(int index, PageInfo& info) override {
        // A decoder that died on an earlier page is replaced for the pages after it.
        if (!m_process && !open()) {
            info.problem = "the decoder could not be started again";
            return nullptr;
        }
        Bitmap page;
        const bool asked = m_requested == index || writePageRequest(m_process->fd(), index);
        m_requested = -1;
        if (asked && readPage(m_process->fd(), m_timeoutMs, page, info)) {
            // The decoder works on the next page while this one goes through the chain.
            if (index + 1 < m_planEnd && writePageRequest(m_process->fd(), index + 1))
                m_requested = index + 1;
            return page;
        }
        const std::string ended = m_process->stop();
        m_process.reset();
        info.problem = ended.empty() ? "the decoder stopped answering" : ended;
        return nullptr;
    }

private:
    std::string m_path;
    std::string m_decoder;
    int m_timeoutMs;
    int m_count = 0;
    int m_planEnd = 0;    // pages up to here will be asked for in order
    int m_requested = -1; // the page already asked for ahead of time
    std::unique_ptr<DecoderProcess> m_process;
};

} // namespace

std::string defaultDecoderPath() {
    const std::filesystem::path beside = std::filesystem::path(programFolder()) / k_decoderName;
    std::error_code error;
    if (std::filesystem::exists(beside, error))
        return beside.string();
    return KX_DECODER_BUILD_PATH;
}

std::unique_ptr<PageSource> openPagesContained(const std::string& path,
                                               const std::string& decoderPath, int timeoutMs) {
    auto source = std::make_unique<ContainedPageSource>(path, decoderPath, timeoutMs);
    if (!source->open())
        return nullptr;
    return source;
}

} // namespace kx::engine

#include "decoder/client/contained_decoder.h"

#include "base/program_module.h"
#include "decoder/wire/page_wire.h"
#include "imaging/bitmap.h"
#include "imaging/page_source.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <sysexits.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
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
            liveDecoders().remove(m_pid);
            leavingDecoders().add(m_pid);
            m_pid = -1;
        }
    }

    // Starts the decoder on `path`. False when it cannot be started.
    bool start(const std::string& decoder, const std::string& path) {
        return start(decoder, std::vector<std::string>{path});
    }

    // Starts the decoder program `decoder` with `arguments`. False when it cannot be started.
    bool start(const std::string& decoder, const std::vector<std::string>& arguments) {
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
        std::vector<std::string> added{"LIBC_FATAL_STDERR_=1", std::string(k_parentVariable) + "=" +
                                                                   std::to_string(getpid())};
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

    int fd() const { return m_fd; }

    // Ends a decoder that stopped answering and says how it had ended, if it had.
    std::string stop() {
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

private:
    // The environment with `added` (NAME=VALUE) after it. glibc writes its fatal messages to
    // standard error (not the terminal) with LIBC_FATAL_STDERR_ set.
    static std::vector<char*> environmentWith(std::vector<std::string>& added) {
        std::vector<char*> envp;
        for (char** entry = environ; *entry; ++entry)
            envp.push_back(*entry);
        for (std::string& entry : added)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        return envp;
    }

    int m_fd = -1;
    pid_t m_pid = -1;
};

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

// Two decoders take alternate pages of a planned range, so that both cores decode while the
// chain works; each decoder has at most one page asked for ahead, so at most three pages are
// in memory at once, whatever the page count. Pages still arrive in order. A range of one
// page would leave the second core idle: its decoder may write that page with two threads.
class ContainedPageSource final : public imaging::PageSource {
public:
    ContainedPageSource(std::string path, std::string decoder, int timeoutMs)
        : m_path(std::move(path)), m_decoder(std::move(decoder)), m_timeoutMs(timeoutMs) {}

    ~ContainedPageSource() override {
        for (Slot& slot : m_slots) {
            if (slot.process && slot.counted && slot.requested < 0 && !slot.reportAsked &&
                !slot.metProblem)
                idleDecoders().keep(m_decoder, std::move(slot.process));
        }
    }

    void plan(int first, int end) override {
        m_planFirst = first;
        m_planEnd = end;
        // A second decoder pays for its start only when there is a second page for it and a
        // second core to decode it on.
        static const bool k_secondCore = sysconf(_SC_NPROCESSORS_ONLN) >= 2;
        m_decoders = end - first >= 2 && k_secondCore ? k_decoders : 1;
        m_shareCores = end - first == 1 && k_secondCore;
        if (m_decoders > 1 && !startDecoder(m_slots[1]))
            m_decoders = 1;
        for (int index = first; index < std::min(end, first + m_decoders); ++index)
            askAhead(index);
    }

    // Starts the first decoder and learns the page count; false when it has no pages for us.
    bool open() {
        if (!startDecoder(m_slots[0]))
            return false;
        const std::optional<int32_t> count = readPageCount(m_slots[0].process->fd(), m_timeoutMs);
        if (!count || *count <= 0) {
            m_slots[0].process.reset();
            return false;
        }
        m_count = *count;
        m_slots[0].counted = true;
        return true;
    }

    int pageCount() const override { return m_count; }

    imaging::Bitmap loadPage(int index, imaging::PageInfo& info) override {
        imaging::Bitmap page;
        receive(index, info,
                [&](Slot& slot) { return readPage(slot.process->fd(), m_timeoutMs, page, info); });
        return page;
    }

    bool encodePages(const imaging::SaveRecipe& recipe, OutputFiles outputs) override {
        Slot& first = m_slots[0];
        if (!first.process || !writeRequest(first.process->fd(), encodeRequest(recipe)))
            return false;
        m_recipe = recipe;
        m_outputs = std::move(outputs);
        return true;
    }

    imaging::EncodedPage loadEncodedPage(int index, imaging::PageInfo& info) override {
        imaging::EncodedPage page;
        const auto read = [&](Slot& slot) {
            const bool read = readEncodedPage(slot.process->fd(), m_timeoutMs, page, info);
            // Small pages written into their output files cost the decoders less than waking
            // them for each: they are asked for several pages ahead. Others keep one.
            m_ahead = read && page.inOutput() && page.size() <= k_smallPage ? k_smallPagesAhead : 1;
            return read;
        };
        receive(index, info, read);
        // A decoder that died while two threads wrote the page gets the page once more, to
        // make whole in a fresh decoder: only if that fails too does the page fail.
        if (std::exchange(m_shareCores, false) && !m_slots[slotOf(index)].process) {
            page = imaging::EncodedPage();
            info = imaging::PageInfo();
            receive(index, info, read);
        }
        return page;
    }

    std::string fileProblem() override {
        // Pages asked for ahead of time are received and dropped, so the report comes next.
        for (Slot& slot : m_slots) {
            if (slot.process && slot.requested >= 0 && !dropAhead(slot))
                slot.process.reset();
        }
        for (Slot& slot : m_slots) {
            if (!slot.process || !countConfirmed(slot))
                continue; // a decoder that died on a page failed that page already
            if (!slot.reportAsked &&
                !writeRequest(slot.process->fd(), {.kind = RequestKind::FileReport}))
                return {};
            slot.reportAsked = false;
            const FileReport report =
                readFileReport(slot.process->fd(), m_timeoutMs).value_or(FileReport());
            m_fileNotes = report.notes;
            slot.metProblem = slot.metProblem || !report.problem.empty();
            return report.problem;
        }
        return {};
    }

    std::string fileNotes() override { return m_fileNotes; }

private:
    static constexpr int k_decoders = 2;
    static constexpr uint64_t k_smallPage = uint64_t{64} << 10;
    static constexpr int k_smallPagesAhead = 4;

    struct Slot {
        std::unique_ptr<DecoderProcess> process;
        int requested = -1;       // the first page asked for ahead of time, or -1
        int asked = 0;            // pages asked for ahead: `requested` and those after it
        bool counted = false;     // its page count was read
        bool reportAsked = false; // the file report was asked for ahead of time
        bool metProblem = false;  // a page or the file had a problem
    };

    // Which decoder serves page `index`: alternate pages of the planned range.
    int slotOf(int index) const {
        if (m_decoders < 2 || index < m_planFirst)
            return 0;
        return (index - m_planFirst) % m_decoders;
    }

    // Asks for page `index` unless that was done ahead of time, reads the answer with `read`,
    // then asks the decoder for its next page, which it works on while this one goes on.
    void receive(int index, imaging::PageInfo& info, const std::function<bool(Slot& slot)>& read) {
        Slot& slot = m_slots[slotOf(index)];
        // A decoder that died on an earlier page is replaced for the pages after it.
        if (!slot.process && !startDecoder(slot)) {
            info.problem = "the decoder could not be started again";
            return;
        }
        if (slot.requested >= 0 && slot.requested != index && !dropAhead(slot))
            return fail(slot, info);
        const bool asked = slot.requested == index || request(slot, index);
        slot.requested = --slot.asked > 0 ? index + m_decoders : -1;
        slot.asked = std::max(slot.asked, 0);
        if (!asked || !countConfirmed(slot) || !read(slot))
            return fail(slot, info);
        slot.metProblem = slot.metProblem || !info.problem.empty();
        askAhead(index + m_decoders);
        if (index == m_planEnd - 1)
            windDown();
    }

    // After the last page, while it is saved, the first decoder checks the file's chain of
    // pages.
    void windDown() {
        Slot& first = m_slots[0];
        if (first.process && first.counted && first.requested < 0)
            first.reportAsked =
                writeRequest(first.process->fd(), {.kind = RequestKind::FileReport});
    }

    // Starts a decoder for `slot`. Its page count is read with its first page, so that a
    // second decoder opens the file while the first one decodes. A decoder started once pages
    // come as files is asked for files too.
    bool startDecoder(Slot& slot) {
        slot = Slot{};
        slot.process = idleDecoders().take(m_decoder);
        if (slot.process &&
            writeRequest(slot.process->fd(), {.kind = RequestKind::Open, .path = m_path}) &&
            (!m_recipe || writeRequest(slot.process->fd(), encodeRequest(*m_recipe))))
            return true;
        slot.process = std::make_unique<DecoderProcess>();
        if (slot.process->start(m_decoder, m_path) &&
            (!m_recipe || writeRequest(slot.process->fd(), encodeRequest(*m_recipe))))
            return true;
        slot.process.reset();
        return false;
    }

    // Reads the page count a decoder sends first, once. A decoder started again after one
    // died is trusted as the first one was; pages it does not have it refuses one by one.
    bool countConfirmed(Slot& slot) {
        if (slot.counted)
            return true;
        const std::optional<int32_t> count = readPageCount(slot.process->fd(), m_timeoutMs);
        slot.counted = count && *count > 0;
        return slot.counted;
    }

    // Asks `slot`'s decoder for page `index`, with the file to write it into when pages come
    // as files and there is one.
    bool request(Slot& slot, int index) {
        const int output = m_recipe && m_outputs ? m_outputs(index) : -1;
        return writeRequest(slot.process->fd(), {.kind = RequestKind::Page,
                                                 .index = index,
                                                 .shareCores = m_shareCores,
                                                 .output = output});
    }

    static Request encodeRequest(const imaging::SaveRecipe& recipe) {
        return {.kind = RequestKind::Encode, .recipe = recipe};
    }

    // Asks the decoder of page `index` for it and the pages after it that decoder serves,
    // up to the pages it is to have asked for ahead.
    void askAhead(int index) {
        if (index >= m_planEnd || index >= m_count)
            return;
        Slot& slot = m_slots[slotOf(index)];
        for (int next = slot.requested < 0 ? index : slot.requested + slot.asked * m_decoders;
             slot.process && slot.asked < m_ahead && next < std::min(m_planEnd, m_count) &&
             request(slot, next);
             next += m_decoders) {
            if (slot.asked++ == 0)
                slot.requested = next;
        }
    }

    // Receives and drops the pages asked for ahead of time.
    bool dropAhead(Slot& slot) {
        const int pages = std::exchange(slot.asked, 0);
        slot.requested = -1;
        if (!countConfirmed(slot))
            return false;
        for (int page = 0; page < pages; ++page) {
            imaging::PageInfo ignored;
            imaging::EncodedPage unusedFile;
            imaging::Bitmap unusedPage;
            if (m_recipe ? !readEncodedPage(slot.process->fd(), m_timeoutMs, unusedFile, ignored)
                         : !readPage(slot.process->fd(), m_timeoutMs, unusedPage, ignored))
                return false;
        }
        return true;
    }

    void fail(Slot& slot, imaging::PageInfo& info) {
        const std::string ended = slot.process->stop();
        slot.process.reset();
        slot.requested = -1;
        slot.asked = 0;
        info.problem = ended.empty() ? "the decoder stopped answering" : ended;
    }

    std::string m_path;
    std::string m_decoder;
    int m_timeoutMs;
    std::string m_fileNotes; // from the last file report
    int m_count = 0;
    int m_planFirst = 0;
    int m_planEnd = 0; // pages up to here will be asked for in order
    int m_decoders = 1;
    int m_ahead = 1;           // pages each decoder is asked for ahead of time
    bool m_shareCores = false; // the one page planned may be written with both cores
    Slot m_slots[k_decoders];
    std::optional<imaging::SaveRecipe> m_recipe; // set once pages come as finished files
    OutputFiles m_outputs;
};

} // namespace

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

imaging::Bitmap decodeImageContained(const std::string& path, std::string& why,
                                     const std::string& decoderPath, int timeoutMs) {
    why = decoderProblem(decoderPath);
    if (!why.empty())
        return nullptr;
    DecoderProcess process;
    if (!process.start(decoderPath, std::vector<std::string>{k_watermarkSwitch, path})) {
        why = "the page decoder " + decoderPath + " could not be started";
        return nullptr;
    }
    imaging::Bitmap image;
    imaging::PageInfo info;
    if (!readPage(process.fd(), timeoutMs, image, info)) {
        const std::string ended = process.stop();
        why = ended.empty() ? "the decoder stopped answering" : ended;
        return nullptr;
    }
    process.stop();
    if (!image)
        why = info.problem.empty() ? "the image could not be decoded" : info.problem;
    return image;
}

std::unique_ptr<imaging::PageSource>
openPagesContained(const std::string& path, const std::string& decoderPath, int timeoutMs) {
    auto source = std::make_unique<ContainedPageSource>(path, decoderPath, timeoutMs);
    if (!source->open())
        return nullptr;
    return source;
}

} // namespace kx::decoder
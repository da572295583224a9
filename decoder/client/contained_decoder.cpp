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

#include <algorithm>
#include <deque>
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
//
// Each decoder's state is what it owes: the answers to what it was asked, in the order they
// will come. Receiving a page reads and drops whatever is owed before it; a decoder that owes
// nothing and met no problem is kept for the next file.
class ContainedPageSource final : public imaging::PageSource {
public:
    ContainedPageSource(std::string path, std::string decoder, int timeoutMs)
        : m_path(std::move(path)), m_decoder(std::move(decoder)), m_timeoutMs(timeoutMs) {}

    ~ContainedPageSource() override {
        for (Decoder& decoder : m_slots) {
            if (decoder.process && decoder.owed.empty() && !decoder.troubled)
                idleDecoders().keep(m_decoder, std::move(decoder.process));
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
        Decoder& first = m_slots[0];
        if (!startDecoder(first))
            return false;
        const std::optional<int32_t> count = readPageCount(first.process->fd(), m_timeoutMs);
        first.owed.clear();
        if (!count || *count <= 0) {
            first.process.reset();
            return false;
        }
        m_count = *count;
        return true;
    }

    int pageCount() const override { return m_count; }

    imaging::Bitmap loadPage(int index, imaging::PageInfo& info) override {
        imaging::Bitmap page;
        receive(index, info, [&](Decoder& decoder) {
            return readPage(decoder.process->fd(), m_timeoutMs, page, info);
        });
        return page;
    }

    bool encodePages(const imaging::SaveRecipe& recipe, OutputFiles outputs) override {
        Decoder& first = m_slots[0];
        if (!first.process || !writeRequest(first.process->fd(), encodeRequest(recipe)))
            return false;
        m_recipe = recipe;
        m_outputs = std::move(outputs);
        return true;
    }

    imaging::EncodedPage loadEncodedPage(int index, imaging::PageInfo& info) override {
        imaging::EncodedPage page;
        const auto read = [&](Decoder& decoder) {
            const bool read = readEncodedPage(decoder.process->fd(), m_timeoutMs, page, info);
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
        for (Decoder& decoder : m_slots) {
            if (decoder.process && !settle(decoder, Owed{Owed::Report}))
                decoder.process.reset();
        }
        for (Decoder& decoder : m_slots) {
            if (!decoder.process)
                continue; // a decoder that died on a page failed that page already
            if (decoder.owed.empty() && !ask(decoder, {.kind = RequestKind::FileReport}, {}))
                return {};
            decoder.owed.clear();
            const FileReport report =
                readFileReport(decoder.process->fd(), m_timeoutMs).value_or(FileReport());
            m_fileNotes = report.notes;
            decoder.troubled = decoder.troubled || !report.problem.empty();
            return report.problem;
        }
        return {};
    }

    std::string fileNotes() override { return m_fileNotes; }

private:
    static constexpr int k_decoders = 2;
    static constexpr uint64_t k_smallPage = uint64_t{64} << 10;
    static constexpr int k_smallPagesAhead = 4;

    // An answer a decoder owes.
    struct Owed {
        enum Kind { Count, Page, Report } kind;
        int page = -1; // of a Page

        bool operator==(const Owed&) const = default;
    };

    struct Decoder {
        std::unique_ptr<DecoderProcess> process; // null once it died or could not start
        std::deque<Owed> owed;                   // in the order the answers will come
        bool troubled = false; // a page or the file had a problem: not kept for another file

        int pagesOwed() const {
            return static_cast<int>(std::count_if(
                owed.begin(), owed.end(), [](const Owed& o) { return o.kind == Owed::Page; }));
        }
    };

    // Which decoder serves page `index`: alternate pages of the planned range.
    int slotOf(int index) const {
        if (m_decoders < 2 || index < m_planFirst)
            return 0;
        return (index - m_planFirst) % m_decoders;
    }

    // Asks for page `index` unless that was done ahead of time, reads the answer with `read`,
    // then asks the decoder for its next page, which it works on while this one goes on.
    void receive(int index, imaging::PageInfo& info,
                 const std::function<bool(Decoder& decoder)>& read) {
        Decoder& decoder = m_slots[slotOf(index)];
        // A decoder that died on an earlier page is replaced for the pages after it.
        if (!decoder.process && !startDecoder(decoder)) {
            info.problem = "the decoder could not be started again";
            return;
        }
        const Owed wanted{Owed::Page, index};
        const bool owed =
            std::find(decoder.owed.begin(), decoder.owed.end(), wanted) != decoder.owed.end();
        if ((!owed && !askPage(decoder, index)) || !settle(decoder, wanted) || !read(decoder))
            return fail(decoder, info);
        decoder.owed.pop_front();
        decoder.troubled = decoder.troubled || !info.problem.empty();
        askAhead(index + m_decoders);
        if (index == m_planEnd - 1)
            windDown();
    }

    // Reads and drops what `decoder` owes before `until`, which is then the first thing owed
    // unless nothing is. False when the decoder ended or answered nonsense.
    bool settle(Decoder& decoder, const Owed& until) {
        while (!decoder.owed.empty() && decoder.owed.front() != until) {
            const int fd = decoder.process->fd();
            imaging::PageInfo ignored;
            imaging::EncodedPage unusedFile;
            imaging::Bitmap unusedPage;
            bool read = false;
            switch (decoder.owed.front().kind) {
            case Owed::Count: {
                // A decoder started again after one died is trusted as the first one was;
                // pages it does not have it refuses one by one.
                const std::optional<int32_t> count = readPageCount(fd, m_timeoutMs);
                read = count && *count > 0;
                break;
            }
            case Owed::Page:
                read = m_recipe ? readEncodedPage(fd, m_timeoutMs, unusedFile, ignored)
                                : readPage(fd, m_timeoutMs, unusedPage, ignored);
                break;
            case Owed::Report:
                read = readFileReport(fd, m_timeoutMs).has_value();
                break;
            }
            if (!read)
                return false;
            decoder.owed.pop_front();
        }
        return true;
    }

    // After the last page, while it is saved, the first decoder checks the file's chain of
    // pages.
    void windDown() {
        Decoder& first = m_slots[0];
        if (first.process && first.pagesOwed() == 0)
            ask(first, {.kind = RequestKind::FileReport}, Owed{Owed::Report});
    }

    // Starts a decoder for `decoder`'s place, which owes its page count first, so that a
    // second decoder opens the file while the first one decodes. A decoder started once pages
    // come as files is asked for files too.
    bool startDecoder(Decoder& decoder) {
        decoder = Decoder{};
        decoder.process = idleDecoders().take(m_decoder);
        const bool kept =
            decoder.process &&
            writeRequest(decoder.process->fd(), {.kind = RequestKind::Open, .path = m_path});
        if (!kept) {
            decoder.process = std::make_unique<DecoderProcess>();
            if (!decoder.process->start(m_decoder, m_path)) {
                decoder.process.reset();
                return false;
            }
        }
        decoder.owed.push_back({Owed::Count});
        if (!m_recipe || writeRequest(decoder.process->fd(), encodeRequest(*m_recipe)))
            return true;
        decoder.process.reset();
        return false;
    }

    // Sends `request`, after which `decoder` owes `answer` (when it is answered at all).
    bool ask(Decoder& decoder, const Request& request, std::optional<Owed> answer) {
        if (!writeRequest(decoder.process->fd(), request))
            return false;
        if (answer)
            decoder.owed.push_back(*answer);
        return true;
    }

    // Asks for page `index`, with the file to write it into when pages come as files and
    // there is one.
    bool askPage(Decoder& decoder, int index) {
        const int output = m_recipe && m_outputs ? m_outputs(index) : -1;
        return ask(decoder,
                   {.kind = RequestKind::Page,
                    .index = index,
                    .shareCores = m_shareCores,
                    .output = output},
                   Owed{Owed::Page, index});
    }

    static Request encodeRequest(const imaging::SaveRecipe& recipe) {
        return {.kind = RequestKind::Encode, .recipe = recipe};
    }

    // Asks the decoder of page `index` for it and the pages after it that decoder serves, up
    // to the pages it is to have asked for ahead.
    void askAhead(int index) {
        const int end = std::min(m_planEnd, m_count);
        if (index >= end)
            return;
        Decoder& decoder = m_slots[slotOf(index)];
        if (!decoder.process)
            return;
        int next = index;
        for (const Owed& owed : decoder.owed)
            if (owed.kind == Owed::Page)
                next = owed.page + m_decoders;
        while (decoder.pagesOwed() < m_ahead && next < end && askPage(decoder, next))
            next += m_decoders;
    }

    void fail(Decoder& decoder, imaging::PageInfo& info) {
        const std::string ended = decoder.process->stop();
        decoder.process.reset();
        decoder.owed.clear();
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
    Decoder m_slots[k_decoders];
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
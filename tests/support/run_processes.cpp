#include "tests/support/run_processes.h"

#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace kx::test {

namespace {

// The fields of /proc/PID/stat after the command name, which may itself hold spaces.
std::vector<std::string> statFields(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const size_t end = text.rfind(')');
    std::vector<std::string> fields;
    if (end == std::string::npos)
        return fields;
    std::istringstream rest(text.substr(end + 1));
    for (std::string field; rest >> field;)
        fields.push_back(field);
    return fields; // [0] state, [1] parent, ..., [11] user time, [12] system time
}

bool ended(pid_t pid) {
    const pid_t waited = waitpid(pid, nullptr, WNOHANG);
    if (waited == pid || (waited < 0 && errno == ECHILD && kill(pid, 0) != 0))
        return true;
    const std::vector<std::string> fields = statFields(pid);
    return fields.empty();
}

} // namespace

void adoptOrphans() {
    prctl(PR_SET_CHILD_SUBREAPER, 1);
}

std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> children;
    DIR* proc = opendir("/proc");
    if (!proc)
        return children;
    while (const dirent* entry = readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
        if (pid <= 0)
            continue;
        const std::vector<std::string> fields = statFields(pid);
        if (fields.size() > 1 && std::atol(fields[1].c_str()) == parent)
            children.push_back(pid);
    }
    closedir(proc);
    return children;
}

uint64_t processorTicks(pid_t pid) {
    const std::vector<std::string> fields = statFields(pid);
    if (fields.size() < 13)
        return 0;
    return std::strtoull(fields[11].c_str(), nullptr, 10) +
           std::strtoull(fields[12].c_str(), nullptr, 10);
}

std::vector<pid_t> survivors(const std::vector<pid_t>& pids, int limitSeconds) {
    std::vector<pid_t> running = pids;
    for (int tries = 0; tries < limitSeconds * 20 && !running.empty(); ++tries) {
        std::erase_if(running, ended);
        if (!running.empty())
            usleep(50'000);
    }
    for (const pid_t pid : running) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return running;
}

} // namespace kx::test

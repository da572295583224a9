#include "tests/support/image_compare.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

// The window run of the real program, where the platform or the session decides.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace kx::test {
namespace {

TEST(WindowProgram, WithoutADisplayItSaysSoAndEndsNormally) {
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> platforms[] = {
        {{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}},
        {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}},
        {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":987"}, {"WAYLAND_DISPLAY", ""}},
    };
    for (auto environment : platforms) {
        environment.push_back({"XDG_RUNTIME_DIR", dir.path().string()});
        environment.push_back({"XDG_CONFIG_HOME", dir.file("config")});
        const ProgramResult result = runProgram(programPath(), {}, environment);
        EXPECT_EQ(result.signal, 0) << environment[0].second << environment[1].second;
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_NE(result.err.find("no display is available for the window"), std::string::npos)
            << result.err;
        EXPECT_TRUE(result.out.empty());
    }
}

TEST(WindowProgram, ScreenshotModeWritesTheTwoPicturesIntoAnExistingFolder) {
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> environment = {
        {"QT_QPA_PLATFORM", "offscreen"},
        {"XDG_RUNTIME_DIR", dir.path().string()},
        {"XDG_CONFIG_HOME", dir.file("config")}};
    const ProgramResult result = runProgram(programPath(), {"-T", dir.folder()}, environment);
    EXPECT_EQ(result.exitStatus, 0);
    const auto full = loadImage(dir.file("quorvant1.jpg"));
    const auto small = loadImage(dir.file("quorvant1x.jpg"));
    ASSERT_TRUE(full && small);
    EXPECT_EQ(FreeImage_GetWidth(full.get()), 510u);
    EXPECT_EQ(FreeImage_GetHeight(full.get()), 260u);
    EXPECT_EQ(FreeImage_GetWidth(small.get()), 180u);
    EXPECT_EQ(FreeImage_GetHeight(small.get()), 92u); // 180 / (510 / 260), rounded

    runProgram(programPath(), {"-T", dir.file("missing")}, environment);
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("config"))); // no configuration is written
}

// True once process `pid` catches `signal` (its handler is installed).
bool catches(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    }
    return false;
}

TEST(WindowProgram, TheEndOfTheSessionWritesTheConfigurationAndEnds) {
    // The last row starts with the update question open, which turns an event loop of its own.
    const std::pair<int, const char*> cases[] = {
        {SIGTERM, ""},
        {SIGHUP, ""},
        {SIGINT, ""},
        {SIGTERM, "[General]\r\nUpdate Range = 0\r\nUpdate Date = 1000\r\n"},
    };
    for (const auto& [signal, before] : cases) {
        TempDir dir;
        const std::string configFile = dir.file("config") + "/Kestrelix/quorvant/config.ini";
        std::filesystem::create_directories(dir.file("config") + "/Kestrelix/quorvant");
        test::writeFile(configFile, before);
        const std::string runtime = "XDG_RUNTIME_DIR=" + dir.path().string();
        const std::string config = "XDG_CONFIG_HOME=" + dir.file("config");
        std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen", runtime, config};
        for (char** variable = environ; *variable; ++variable) {
            const std::string entry = *variable;
            if (!entry.starts_with("QT_QPA_PLATFORM=") && !entry.starts_with("XDG_"))
                environment.push_back(entry);
        }
        std::vector<char*> envp;
        for (std::string& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string program = programPath();
        char* argv[] = {program.data(), nullptr};
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()), 0);
        for (int i = 0; i < 1000 && !catches(pid, signal); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(catches(pid, signal));
        kill(pid, signal);
        int status = 0;
        pid_t ended = 0;
        for (int i = 0; i < 3000 && ended == 0; ++i) {
            ended = waitpid(pid, &status, WNOHANG);
            if (ended == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (ended == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            FAIL() << "the program lived on after signal " << signal << " with: " << before;
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << signal;
        EXPECT_NE(test::readFile(configFile).find("Width = 510"), std::string::npos) << signal;
    }
}

} // namespace
} // namespace kx::test

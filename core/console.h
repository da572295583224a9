#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kx::core {

// The line-oriented console of the command-line run.
class Console {
public:
    virtual ~Console() = default;
    virtual void printLine(std::string_view line) = 0;
    virtual void setTitle(std::string_view title) = 0;
    // Waits for one key press; returns at once when no key can come.
    virtual void waitForKey() = 0;
    // Whether a progress line can be shown, one that is redrawn in place.
    virtual bool showsProgress() const { return false; }
    // Draws the progress line over the previous one; an empty line clears it.
    virtual void showProgress(std::string_view) {}
};

// Standard output. The title is set with the terminal's escape only when standard output is
// a terminal; a key is read in raw mode only when standard input is a terminal, so scripts
// and pipes never hang.
class TerminalConsole final : public Console {
public:
    void printLine(std::string_view line) override;
    void setTitle(std::string_view title) override;
    void waitForKey() override;
    // On standard error, and only when it is a terminal.
    bool showsProgress() const override;
    void showProgress(std::string_view line) override;
};

// Keeps the lines in memory; for tests.
class RecordingConsole final : public Console {
public:
    void printLine(std::string_view line) override { lines.emplace_back(line); }
    void setTitle(std::string_view title) override { this->title = title; }
    void waitForKey() override { ++keyWaits; }

    std::vector<std::string> lines;
    std::string title;
    int keyWaits = 0;
};

} // namespace kx::core

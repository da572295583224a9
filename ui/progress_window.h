#pragma once

#include "engine/conversion_worker.h"
#include "ui/progress_text.h"

#include <QDialog>
#include <QElapsedTimer>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class QLabel;
class QTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace kx::ui {

// The small modal window that follows a conversion run: it starts the worker on its own
// thread, polls the progress record every 15 ms without blocking the event loop and follows
// the run page by page, asks before stopping when its close box is used (Yes stops the run
// once the current page is done), and shows the result until OK: for a failed file, why it
// failed, and for a run of several files each failed file with its reason. Ctrl+C copies
// what it shows. Main thread only.
class ProgressWindow : public QDialog {
public:
    // `setStatus` writes the main window's status bar at the end of the run.
    ProgressWindow(QWidget* parent, engine::ConversionRun& run, int jobCount,
                   std::function<void(const std::string&)> setStatus);
    ~ProgressWindow() override;

    // Converts, shows the result and returns once the user has closed the window.
    // True when the user stopped the run.
    bool runToEnd();

    // The main window is being closed: asks the stop question as the close box does. True when
    // the run is to end for good (the answer was Yes, or the run had ended already); the
    // window then closes by itself once the worker has ended, without waiting for OK.
    bool stopToQuit();

    bool workerEnded() const { return m_ended; }
    QString fileText() const;
    bool timeShown() const;
    QString timeText() const;
    // Why the run failed as the window words it, a line per failed file of a run of several;
    // empty unless a job failed.
    QString problemText() const;
    int barValue() const;
    int barMaximum() const;
    int barTop() const;
    // Everything the window shows, a line each, as Ctrl+C copies it.
    QString shownText() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override; // Escape counts as the close box

private:
    void poll();
    void showPosition(const RunPosition& at, const std::string& input);
    void showTimeRemaining();
    void showEnd();
    void showProblem(const std::string& problem);
    void showFailures();
    // Puts `area` of `areaHeight` below the labels and the bar and OK below it.
    void placeBelowLabels(QWidget* area, int areaHeight);
    void finishEnd();

    engine::ConversionRun& m_run;
    int m_jobCount;
    std::function<void(const std::string&)> m_setStatus;
    QLabel* m_fileLabel;
    QLabel* m_timeLabel;
    QLabel* m_problemLabel;
    QTextEdit* m_failureList;
    QProgressBar* m_bar;
    QPushButton* m_ok;
    QTimer* m_timer;
    int m_charWidth = 7;
    RunPosition m_shown;
    std::string m_input;
    QElapsedTimer m_clock;   // since the run started
    int64_t m_shownAtMs = 0; // when m_shown was reached
    std::thread m_worker;
    std::atomic<bool> m_workerDone{false};
    bool m_ended = false;
    bool m_stoppedByUser = false;
    bool m_quitting = false; // the program ends after the run: no result to read
    // Path and reason of each file that failed; under the progress lock while the worker runs.
    std::vector<std::pair<std::string, std::string>> m_failures;
};

} // namespace kx::ui

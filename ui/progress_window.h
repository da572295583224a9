#pragma once

#include "engine/conversion_worker.h"

#include <QDialog>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace kx::ui {

// The small modal window that follows a conversion run: it starts the worker on its own
// thread, polls the progress record every 15 ms without blocking the event loop, asks before
// stopping when its close box is used, and shows the result until OK. Main thread only.
class ProgressWindow : public QDialog {
public:
    // `setStatus` writes the main window's status bar at the end of the run.
    ProgressWindow(QWidget* parent, engine::ConversionRun& run, int jobCount,
                   std::function<void(const std::string&)> setStatus);
    ~ProgressWindow() override;

    // Converts, shows the result and returns once the user has closed the window.
    // True when the user stopped the run.
    bool runToEnd();

    // Ends the run on behalf of the desktop session: no question, the worker stops after its
    // current job and the window closes itself once it has ended.
    void abandon();

    bool workerEnded() const { return m_ended; }
    QString fileText() const;
    bool timeShown() const;
    int barValue() const;
    int barMaximum() const;
    int barTop() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override; // Escape counts as the close box

private:
    void poll();
    void showJob(int32_t index, const std::string& input, int64_t lastDuration);
    void showEnd();
    void finishEnd();

    engine::ConversionRun& m_run;
    int m_jobCount;
    std::function<void(const std::string&)> m_setStatus;
    QLabel* m_fileLabel;
    QLabel* m_timeLabel;
    QProgressBar* m_bar;
    QPushButton* m_ok;
    QTimer* m_timer;
    int m_charWidth = 7;
    int32_t m_shownIndex = 0;
    std::thread m_worker;
    std::atomic<bool> m_workerDone{false};
    bool m_ended = false;
    bool m_stoppedByUser = false;
    bool m_abandoned = false;
};

} // namespace kx::ui

#include "ui/progress_window.h"

#include "base/text_format.h"
#include "settings/string_table.h"
#include "ui/common/dialogs.h"
#include "ui/common/ui_text.h"
#include "ui/progress_text.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace kx::ui {

namespace {

constexpr int k_pollMs = 15;
constexpr int k_labelWidth = 280;
constexpr int k_jobsWithoutEstimate = 4;

std::string progressText(int32_t index, int jobCount) {
    return base::formatText(settings::lookupText("Msg", "Progress"), std::to_string(index),
                            std::to_string(jobCount));
}

std::string timeRemaining(const std::string& time) {
    return base::formatText(settings::lookupText("Dialog", "Time Remaining"), time);
}

} // namespace

ProgressWindow::ProgressWindow(QWidget* parent, engine::ConversionRun& run, int jobCount,
                               std::function<void(const std::string&)> setStatus)
    : QDialog(parent), m_run(run), m_jobCount(jobCount), m_setStatus(std::move(setStatus)) {
    setWindowTitle(qtext(settings::lookupText("Dialog", "Convert Progress")));
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(300, 130);

    m_fileLabel = new QLabel(this);
    m_fileLabel->setGeometry(10, 13, k_labelWidth, 20);
    m_timeLabel =
        new QLabel(qtext(timeRemaining(settings::lookupText("Dialog", "Time Unknown"))), this);
    m_timeLabel->setGeometry(10, 33, k_labelWidth, 20);
    m_bar = new QProgressBar(this);
    m_bar->setGeometry(10, 60, k_labelWidth, 20);
    m_bar->setRange(0, jobCount + 1);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    m_ok = new QPushButton(qtext(settings::lookupText("Dialog", "OK")), this);
    m_ok->setGeometry(110, 95, 80, 25);
    m_ok->setEnabled(false);
    connect(m_ok, &QPushButton::clicked, this, [this] {
        if (m_ended)
            accept();
    });
    if (jobCount <= k_jobsWithoutEstimate) {
        m_timeLabel->hide();
        m_bar->move(10, 50);
    }
    m_charWidth = std::max(1, QFontMetrics(font()).horizontalAdvance("abc123:\\-") / 9);

    m_timer = new QTimer(this);
    m_timer->setInterval(k_pollMs);
    connect(m_timer, &QTimer::timeout, this, &ProgressWindow::poll);
}

ProgressWindow::~ProgressWindow() {
    if (m_worker.joinable()) {
        {
            std::lock_guard guard(m_run.progress.lock);
            m_run.progress.running = false;
        }
        m_run.progress.setPaused(false);
        m_worker.join();
    }
}

bool ProgressWindow::runToEnd() {
    m_run.progress.reset();
    m_worker = std::thread([this] {
        engine::conversionWorker(m_run);
        m_workerDone = true;
    });
    m_timer->start();
    if (parentWidget()) {
        const QPoint centre = parentWidget()->frameGeometry().center();
        move(centre - QPoint(width() / 2, height() / 2));
    }
    exec();
    m_timer->stop();
    return m_stoppedByUser;
}

void ProgressWindow::abandon() {
    m_abandoned = true;
    m_stoppedByUser = true;
    {
        std::lock_guard guard(m_run.progress.lock);
        m_run.progress.running = false;
    }
    m_run.progress.setPaused(false);
    if (m_ended)
        accept();
}

void ProgressWindow::poll() {
    if (m_ended)
        return;
    if (m_workerDone) {
        m_worker.join();
        showEnd();
        return;
    }
    int32_t index = 0;
    std::string input;
    int64_t lastDuration = 0;
    {
        std::lock_guard guard(m_run.progress.lock);
        index = m_run.progress.jobIndex;
        input = m_run.progress.currentInput;
        lastDuration = m_run.progress.lastDuration;
    }
    if (index > m_shownIndex)
        showJob(index, input, lastDuration);
}

void ProgressWindow::showJob(int32_t index, const std::string& input, int64_t lastDuration) {
    m_shownIndex = index;
    setWindowTitle(qtext(settings::lookupText("Dialog", "Convert Progress") + " " +
                         progressText(index, m_jobCount)));
    const int capacity = k_labelWidth / m_charWidth;
    m_fileLabel->setText(qtext(shortenMiddle(input, capacity)));
    if (!m_timeLabel->isHidden() && lastDuration != 0)
        m_timeLabel->setText(
            qtext(timeRemaining(formatDuration(lastDuration * (m_jobCount - index + 1)))));
    m_bar->setValue(index);
}

void ProgressWindow::showEnd() {
    m_ended = true;
    int32_t count = 0;
    int32_t index = 0;
    {
        std::lock_guard guard(m_run.progress.lock);
        count = m_run.progress.count;
        index = m_run.progress.jobIndex;
    }
    const std::string progress = progressText(index, m_jobCount);
    if (m_stoppedByUser) {
        m_setStatus(settings::lookupText("Msg", "Conversion is not complete"));
        setWindowTitle(qtext("Conversion stopped " + progress));
        m_fileLabel->setText("Conversion stopped");
        return finishEnd();
    }
    // A run that converted nothing is not called complete; the count still tells the story.
    const bool converted = count > 0;
    const std::string outcome = converted ? "Conversion complete" : "Conversion stopped";
    m_setStatus(settings::lookupText("Msg", converted ? "Conversion complete"
                                                      : "Conversion is not complete"));
    setWindowTitle(qtext(outcome + " " + progress));
    m_fileLabel->setText(
        qtext(base::formatText(settings::lookupText("Msg", "Files converted"),
                               std::to_string(count), std::to_string(m_jobCount))));
    m_timeLabel->setText(qtext(timeRemaining("00:00:00")));
    m_bar->setValue(m_jobCount + 1);
    finishEnd();
}

void ProgressWindow::finishEnd() {
    m_ok->setEnabled(true);
    m_ok->setFocus();
    if (m_abandoned)
        accept();
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (m_ended) {
        accept();
        return;
    }
    if (m_abandoned)
        return;
    // The worker waits before its next page while the question is open, so the answer
    // decides before anything more is written.
    m_run.progress.setPaused(true);
    const bool stop = askBreakConversion(this);
    if (stop) {
        m_stoppedByUser = true;
        std::lock_guard guard(m_run.progress.lock);
        m_run.progress.running = false;
    }
    m_run.progress.setPaused(false);
}

void ProgressWindow::reject() {
    close();
}

QString ProgressWindow::fileText() const {
    return m_fileLabel->text();
}
bool ProgressWindow::timeShown() const {
    return !m_timeLabel->isHidden();
}
int ProgressWindow::barValue() const {
    return m_bar->value();
}
int ProgressWindow::barMaximum() const {
    return m_bar->maximum();
}
int ProgressWindow::barTop() const {
    return m_bar->y();
}

} // namespace kx::ui

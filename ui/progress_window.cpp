#include "ui/progress_window.h"

#include "base/text_format.h"
#include "settings/string_table.h"
#include "ui/common/dialogs.h"
#include "ui/common/ui_text.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextOption>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace kx::ui {

namespace {

constexpr int k_pollMs = 15;
constexpr int k_labelWidth = 280;
constexpr int k_jobsWithoutEstimate = 4;
// A run that lasts longer than this shows its time remaining, whatever its job count.
constexpr int64_t k_estimateAfterMs = 3000;
constexpr int k_barTop = 60;
constexpr int k_barTopWithoutTime = 50;
constexpr int k_problemLines = 3;

std::string progressText(int32_t index, int32_t count) {
    return base::formatText(settings::lookupText("Msg", "Progress"), std::to_string(index),
                            std::to_string(count));
}

std::string timeRemaining(const std::string& time) {
    return base::formatText(settings::lookupText("Dialog", "Time Remaining"), time);
}

// A failure list this high shows a few failed files at once and scrolls to the others.
constexpr int k_failureLines = 4;
constexpr int k_failureSpacing = 3;

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
    m_problemLabel = new QLabel(this);
    m_problemLabel->setGeometry(10, 33, k_labelWidth, 20);
    m_problemLabel->hide();
    m_failureList = new QTextEdit(this);
    m_failureList->setReadOnly(true);
    m_failureList->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_failureList->hide();
    m_bar = new QProgressBar(this);
    m_bar->setGeometry(10, k_barTop, k_labelWidth, 20);
    m_bar->setRange(0, k_runSteps);
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
        m_bar->move(10, k_barTopWithoutTime);
    }
    m_charWidth = std::max(1, QFontMetrics(font()).horizontalAdvance("abc123:\\-") / 9);

    m_timer = new QTimer(this);
    m_timer->setInterval(k_pollMs);
    connect(m_timer, &QTimer::timeout, this, &ProgressWindow::poll);
    // Called on the worker thread, which holds no lock at that point.
    m_run.jobFailed = [this](std::string_view path, const std::string& why) {
        std::lock_guard guard(m_run.progress.lock);
        m_failures.emplace_back(path, why);
    };
}

ProgressWindow::~ProgressWindow() {
    if (m_worker.joinable()) {
        m_run.progress.requestStop();
        m_worker.join();
    }
}

bool ProgressWindow::runToEnd() {
    m_run.progress.reset();
    m_clock.start();
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

void ProgressWindow::poll() {
    if (m_ended)
        return;
    if (m_workerDone) {
        m_worker.join();
        showEnd();
        return;
    }
    RunPosition at;
    at.jobCount = m_jobCount;
    std::string input;
    {
        std::lock_guard guard(m_run.progress.lock);
        at.jobIndex = m_run.progress.jobIndex;
        at.pageIndex = m_run.progress.pageIndex;
        at.pageCount = m_run.progress.pageCount;
        input = m_run.progress.currentInput;
    }
    if (at.jobIndex > 0 && !(at == m_shown))
        showPosition(at, input);
    if (m_timeLabel->isHidden() && m_clock.elapsed() >= k_estimateAfterMs) {
        m_timeLabel->show();
        m_bar->move(10, k_barTop);
        showTimeRemaining();
    }
}

void ProgressWindow::showPosition(const RunPosition& at, const std::string& input) {
    m_shown = at;
    m_shownAtMs = m_clock.elapsed();
    const auto [number, count] = titleCount(at);
    setWindowTitle(qtext(settings::lookupText("Dialog", "Convert Progress") + " " +
                         progressText(number, count)));
    if (input != m_input) {
        m_input = input;
        const int capacity = k_labelWidth / m_charWidth;
        m_fileLabel->setText(qtext(shortenMiddle(input, capacity)));
    }
    m_bar->setValue(stepsDone(at));
    if (!m_timeLabel->isHidden())
        showTimeRemaining();
}

void ProgressWindow::showTimeRemaining() {
    const int64_t remaining = remainingMs(stepsDone(m_shown), m_shownAtMs);
    m_timeLabel->setText(
        qtext(timeRemaining(remaining < 0 ? settings::lookupText("Dialog", "Time Unknown")
                                          : formatDuration(remaining))));
}

void ProgressWindow::showEnd() {
    m_ended = true;
    int32_t count = 0;
    int32_t index = 0;
    std::string problem;
    {
        std::lock_guard guard(m_run.progress.lock);
        count = m_run.progress.count;
        index = m_run.progress.jobIndex;
        problem = m_run.progress.problem;
    }
    const std::string progress = progressText(index, m_jobCount);
    // A stop asked for during the last page comes too late to stop anything.
    if (m_stoppedByUser && count < m_jobCount) {
        m_setStatus(settings::lookupText("Msg", "Conversion is not complete"));
        setWindowTitle(qtext("Conversion stopped " + progress));
        m_fileLabel->setText("Conversion stopped");
        m_timeLabel->hide();
        if (m_jobCount > 1 && !m_failures.empty())
            showFailures();
        return finishEnd();
    }
    // A run that converted nothing is not called complete; the count still tells the story.
    const bool converted = count > 0;
    const std::string outcome = converted ? "Conversion complete" : "Conversion stopped";
    std::string status = settings::lookupText("Msg", converted ? "Conversion complete"
                                                               : "Conversion is not complete");
    if (m_jobCount > 1 && !m_failures.empty())
        status +=
            ": " + base::formatText(settings::lookupText("Msg", "Files not converted"),
                                    std::to_string(m_failures.size()), std::to_string(m_jobCount));
    else if (!problem.empty())
        status += ": " + problem;
    m_setStatus(status);
    setWindowTitle(qtext(outcome + " " + progress));
    m_fileLabel->setText(
        qtext(base::formatText(settings::lookupText("Msg", "Files converted"),
                               std::to_string(count), std::to_string(m_jobCount))));
    m_timeLabel->setText(qtext(timeRemaining("00:00:00")));
    m_bar->setValue(k_runSteps);
    if (m_jobCount > 1 && !m_failures.empty())
        showFailures();
    else if (!problem.empty())
        showProblem(problem);
    finishEnd();
}

// The reason takes the time's place, over as many lines as it needs up to k_problemLines, and
// the window grows to fit. Paths may break after any folder.
void ProgressWindow::showProblem(const std::string& problem) {
    const QString text = qtext(asSentence(problem));
    m_problemLabel->setToolTip(text);
    m_problemLabel->setWordWrap(true);
    m_problemLabel->setText(QString(text).replace('/', QStringLiteral("/\u200B")));
    const int most = QFontMetrics(m_problemLabel->font()).lineSpacing() * k_problemLines;
    const int lines = std::clamp(m_problemLabel->heightForWidth(k_labelWidth), 20, most);
    m_timeLabel->hide();
    placeBelowLabels(m_problemLabel, lines);
    m_problemLabel->show();
}

// Below the result (and the time, when shown), a line per failed file, as high as the lines
// need up to k_failureLines, scrolling beyond.
void ProgressWindow::showFailures() {
    QStringList lines;
    for (const auto& [path, why] : m_failures)
        lines << qtext(failureLine(path, why));
    const QString text = lines.join('\n');
    m_failureList->setPlainText(text);
    // A little room after each file tells files apart whose lines wrap.
    QTextCursor all(m_failureList->document());
    all.select(QTextCursor::Document);
    QTextBlockFormat spaced;
    spaced.setBottomMargin(k_failureSpacing);
    all.mergeBlockFormat(spaced);
    QTextDocument* layout = m_failureList->document();
    const int frame = 2 * m_failureList->frameWidth();
    layout->setTextWidth(k_labelWidth - frame);
    const int most =
        (QFontMetrics(m_failureList->font()).lineSpacing() + k_failureSpacing) * k_failureLines +
        2 * static_cast<int>(layout->documentMargin());
    const int height = std::min(static_cast<int>(std::ceil(layout->size().height())), most) + frame;
    placeBelowLabels(m_failureList, height);
    m_failureList->show();
}

void ProgressWindow::placeBelowLabels(QWidget* area, int areaHeight) {
    const int top = timeShown() ? 55 : 33;
    area->setGeometry(10, top, k_labelWidth, areaHeight);
    const int barTop = top + areaHeight + 7;
    m_bar->move(10, barTop);
    m_ok->move(m_ok->x(), barTop + 35);
    setFixedSize(width(), barTop + 70);
}

void ProgressWindow::finishEnd() {
    m_ok->setEnabled(true);
    m_ok->setFocus();
    if (m_quitting)
        accept();
}

bool ProgressWindow::stopToQuit() {
    if (!m_ended) {
        close();
        if (!m_stoppedByUser)
            return false;
    }
    m_quitting = true;
    if (m_ended)
        accept();
    return true;
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (m_ended) {
        accept();
        return;
    }
    // The worker waits before its next page while the question is open, so the answer
    // decides before anything more is written.
    m_run.progress.setPaused(true);
    if (askBreakConversion(this) && !m_workerDone) {
        m_stoppedByUser = true;
        m_run.progress.requestStop();
    }
    m_run.progress.setPaused(false);
}

void ProgressWindow::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        QGuiApplication::clipboard()->setText(shownText());
        return;
    }
    QDialog::keyPressEvent(event);
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
QString ProgressWindow::timeText() const {
    return m_timeLabel->text();
}
QString ProgressWindow::problemText() const {
    if (!m_failureList->isHidden())
        return m_failureList->toPlainText();
    return m_problemLabel->isHidden() ? QString() : m_problemLabel->toolTip();
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

QString ProgressWindow::shownText() const {
    QStringList lines = {windowTitle(), m_ended ? fileText() : qtext(m_input)};
    if (timeShown())
        lines << timeText();
    if (!problemText().isEmpty())
        lines << problemText();
    return lines.join('\n');
}

} // namespace kx::ui

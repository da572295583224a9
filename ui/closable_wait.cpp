#include "ui/closable_wait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <thread>

namespace kx::ui {

namespace {

int g_waits = 0;

// Drops what the user types or clicks while the wait runs. Closing a window is not input:
// the window manager's close request reaches the window as a close event and passes.
class InputBlocker : public QObject {
public:
    InputBlocker() { qApp->installEventFilter(this); }
    ~InputBlocker() override { qApp->removeEventFilter(this); }
    InputBlocker(const InputBlocker&) = delete;
    InputBlocker& operator=(const InputBlocker&) = delete;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
        }
    }
};

struct WorkState {
    std::atomic<bool> done = false;
    std::stop_source stop;
};

} // namespace

bool runWhileClosable(QWidget* window, std::function<void(std::stop_token)> work,
                      std::chrono::milliseconds limit) {
    auto state = std::make_shared<WorkState>();
    std::thread thread([state, work = std::move(work)] {
        work(state->stop.get_token());
        state->done.store(true, std::memory_order_release);
    });
    const auto ended = [&state] { return state->done.load(std::memory_order_acquire); };

    if (!ended()) {
        const QPointer<QWidget> watched(window);
        const bool watching = window && window->isVisible();
        const auto closed = [&] { return watching && (!watched || !watched->isVisible()); };
        QElapsedTimer clock;
        clock.start();
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (ended() || closed() || clock.elapsed() >= limit.count())
                loop.quit();
        });
        poll.start(20);
        const InputBlocker blocker;
        ++g_waits;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        // Returns at once, or early, when the application is quitting.
        loop.exec();
        QApplication::restoreOverrideCursor();
        --g_waits;
    }
    if (ended()) {
        thread.join();
        return true;
    }
    state->stop.request_stop();
    // Work that honours the request at once is waited for, so that it does not outlive the
    // program by accident; only work stuck where no request reaches it is left behind.
    constexpr auto k_step = std::chrono::milliseconds(10);
    for (int step = 0; step < 30 && !ended(); ++step)
        std::this_thread::sleep_for(k_step);
    if (ended())
        thread.join();
    else
        thread.detach();
    return false;
}

bool closableWaitUnderWay() {
    return g_waits > 0;
}

} // namespace kx::ui

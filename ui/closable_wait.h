#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

class QWidget;

namespace kx::ui {

// Runs `work` on a thread of its own and turns an event loop until it ends, so that the
// windows keep painting and the main window `window` can still be closed: by its close box,
// Alt+F4 or the end of the session. Keyboard and mouse input is dropped meanwhile, so that no
// command starts half-way through. True once `work` has ended. Gives up, returning false, when
// `window` is closed or hidden, the application quits or `limit` has passed: `work` is then
// asked to stop through its stop_token and left to end by itself, so it must own what it
// touches. Main thread only.
bool runWhileClosable(QWidget* window, std::function<void(std::stop_token)> work,
                      std::chrono::milliseconds limit = std::chrono::milliseconds::max());

// runWhileClosable for work with a result: the result, or nullopt when given up.
template <typename Result>
std::optional<Result>
resultWhileClosable(QWidget* window, std::function<Result(std::stop_token)> work,
                    std::chrono::milliseconds limit = std::chrono::milliseconds::max()) {
    // Shared with the work, which may outlive this call when it is given up.
    auto result = std::make_shared<std::optional<Result>>();
    const bool ended = runWhileClosable(
        window, [result, work = std::move(work)](std::stop_token stop) { *result = work(stop); },
        limit);
    return ended ? std::move(*result) : std::nullopt;
}

// True while runWhileClosable waits; what arrives from outside meanwhile (a handed-over file)
// should wait too.
bool closableWaitUnderWay();

} // namespace kx::ui

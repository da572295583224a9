#pragma once

#include <QObject>

#include <functional>
#include <string>

class QLocalServer;

namespace kx::ui {

// Takes the hand-overs of later starts of the program on the local socket beside the
// single-instance lock: each connection sends a file path (empty for none) ended by a NUL,
// and `receive` gets the path once the sender has closed. A message without its NUL (a
// sender that died) or longer than a path can be is dropped. The socket file is replaced
// when one is left from a copy that crashed (only the lock's holder listens there) and
// removed when the server goes. An empty `socketPath`, or one that cannot be listened on,
// makes a server that takes nothing. Main thread only; needs a QCoreApplication.
class HandOverServer : public QObject {
public:
    HandOverServer(const std::string& socketPath, std::function<void(const std::string&)> receive);
    ~HandOverServer() override;
    HandOverServer(const HandOverServer&) = delete;
    HandOverServer& operator=(const HandOverServer&) = delete;

    bool listening() const;

private:
    void takeConnection();

    QLocalServer* m_server = nullptr;
    std::function<void(const std::string&)> m_receive;
};

} // namespace kx::ui

#include "ui/hand_over_server.h"

#include "base/fd_io.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <climits>

namespace kx::ui {

namespace {

constexpr qsizetype k_longestMessage = PATH_MAX + 1;

} // namespace

HandOverServer::HandOverServer(const std::string& socketPath,
                               std::function<void(const std::string&)> receive)
    : m_receive(std::move(receive)) {
    if (socketPath.empty())
        return;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString path = QString::fromStdString(socketPath);
    QLocalServer::removeServer(path);
    if (!m_server->listen(path))
        return;
    connect(m_server, &QLocalServer::newConnection, this, &HandOverServer::takeConnection);
}

HandOverServer::~HandOverServer() {
    if (m_server)
        m_server->close();
}

bool HandOverServer::listening() const {
    return m_server && m_server->isListening();
}

void HandOverServer::takeConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        // A path from another user is not opened, however the socket was reached.
        if (!base::peerIsThisUser(static_cast<int>(socket->socketDescriptor()))) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto message = std::make_shared<QByteArray>();
        auto readMore = [socket, message] {
            message->append(socket->readAll());
            if (message->size() > k_longestMessage)
                socket->abort();
        };
        connect(socket, &QLocalSocket::readyRead, socket, readMore);
        // A sender that wrote and left at once is seen disconnecting only after this, when
        // the socket reads the end of its stream.
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, message, readMore] {
            readMore();
            socket->deleteLater();
            if (message->size() <= k_longestMessage && message->endsWith('\0'))
                m_receive(message->chopped(1).toStdString());
        });
        readMore();
    }
}

} // namespace kx::ui

#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>

#include <unistd.h>

#include <system_error>

namespace tavrel {

namespace {

const QByteArray activateRequest = "activate\n";
const QByteArray activatedAnswer = "activated\n";

}  // namespace

QString instanceServerName(const std::filesystem::path& libraryRoot) {
    std::error_code error;
    std::filesystem::path real = std::filesystem::weakly_canonical(libraryRoot, error);
    if (error)
        real = libraryRoot;
    const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(real.string()),
                                                     QCryptographicHash::Sha256)
                                .toHex()
                                .left(24);
    return QStringLiteral("tavrel-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
}

InstanceServer::InstanceServer(const std::filesystem::path& libraryRoot,
                               std::function<void()> activate)
    : m_activate(std::move(activate)) {
    const QString name = instanceServerName(libraryRoot);
    // Whoever left a socket of this name held this library's lock, which is
    // ours now: that process has gone.
    QLocalServer::removeServer(name);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.listen(name);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine())
                    return;
                if (socket->readLine() == activateRequest) {
                    m_activate();
                    socket->write(activatedAnswer);
                }
                socket->disconnectFromServer();
            });
        }
    });
}

int handOverToRunningWindow(const std::filesystem::path& libraryRoot, std::ostream& err) {
    const QString name = instanceServerName(libraryRoot);
    err << "tavrel: 이 라이브러리는 이미 다른 Tavrel 창에서 열려 있습니다: " << libraryRoot.string()
        << "\n";
    // The running one may still be starting: it locks the library before it listens.
    QDeadlineTimer deadline(3000);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (socket.waitForConnected(500)) {
            socket.write(activateRequest);
            socket.waitForBytesWritten(500);
            while (!socket.canReadLine() && socket.waitForReadyRead(1000)) {
            }
            if (socket.canReadLine() && socket.readLine() == activatedAnswer) {
                err << "tavrel: 열려 있는 창을 앞으로 가져왔습니다. 이 실행은 끝냅니다.\n";
                return 0;
            }
        }
        QThread::msleep(100);
    }
    err << "tavrel: 열려 있는 창이 응답하지 않습니다. 이 실행은 끝냅니다.\n";
    return 1;
}

}  // namespace tavrel

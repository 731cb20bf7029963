#include <OrvintaPlatform/SingleInstance.h>

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

namespace Orvinta {

namespace {
constexpr char activateMessage[] = "activate\n";
}

SingleInstance::SingleInstance(QString runtimeFolder, QObject *parent)
    : QObject(parent)
    , m_folder(runtimeFolder.isEmpty()
                   ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
                   : std::move(runtimeFolder)) {
    if (m_folder.isEmpty())
        m_folder = QDir::tempPath();
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains("activate"))
                    Q_EMIT activationRequested();
                socket->disconnectFromServer();
            });
        }
    });
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::lockPath() const {
    return QDir(m_folder).filePath(QStringLiteral("orvinta.lock"));
}

QString SingleInstance::socketPath() const {
    return QDir(m_folder).filePath(QStringLiteral("orvinta.socket"));
}

bool SingleInstance::claim() {
    if (m_lock && m_lock->isLocked())
        return true;
    QDir().mkpath(m_folder);
    m_lock = std::make_unique<QLockFile>(lockPath());
    // The lock never goes stale while its holder lives; a crashed holder's
    // lock is recognised by its dead process id and taken over.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}

bool SingleInstance::acceptHandOvers() {
    QLocalServer::removeServer(socketPath());
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    return m_server.listen(socketPath());
}

bool SingleInstance::handOver() {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(activateMessage);
    const bool written = socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return written;
}

} // namespace Orvinta

#include <OrvintaPlatform/SingleInstance.h>

#include <OrvintaApp/SessionStore.h>

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>

namespace Orvinta {

namespace {
constexpr char activateMessage[] = "activate\n";
}

SingleInstance::SingleInstance(QString transcriptFolder, QString runtimeFolder, QObject *parent)
    : QObject(parent)
    , m_lockFolder(transcriptFolder.isEmpty() ? SessionStore().folder()
                                              : std::move(transcriptFolder))
    , m_runtimeFolder(runtimeFolder.isEmpty()
                          ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
                          : std::move(runtimeFolder)) {
    if (m_runtimeFolder.isEmpty())
        m_runtimeFolder = QDir::tempPath();
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
    return QDir(m_lockFolder).filePath(QStringLiteral("orvinta.lock"));
}

QString SingleInstance::socketPath() const {
    return QDir(m_runtimeFolder).filePath(QStringLiteral("orvinta.socket"));
}

SingleInstance::Claim SingleInstance::claim() {
    if (m_lock && m_lock->isLocked())
        return Claim::taken;
    if (m_lockFolder.isEmpty() || !QDir().mkpath(m_lockFolder) ||
        !QFileInfo(m_lockFolder).isDir()) {
        m_claimError = QStringLiteral("cannot create the folder %1").arg(m_lockFolder);
        return Claim::impossible;
    }
    m_lock = std::make_unique<QLockFile>(lockPath());
    // The lock never goes stale while its holder lives; a crashed holder's
    // lock is recognised by its dead process id and taken over.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return Claim::taken;
    if (m_lock->error() == QLockFile::LockFailedError)
        return Claim::heldElsewhere;
    m_claimError = QStringLiteral("cannot write %1").arg(lockPath());
    return Claim::impossible;
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

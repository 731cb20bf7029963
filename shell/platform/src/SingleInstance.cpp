#include <OrvintaPlatform/SingleInstance.h>

#include <OrvintaApp/SessionStore.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace Orvinta {

namespace {

constexpr char activateMessage[] = "activate\n";
/// A later start writes its request at once; a connection silent for this
/// long is not one.
constexpr auto handOverTimeout = std::chrono::seconds(2);
/// Connections held at once; a new one closes the oldest.
constexpr qsizetype maxPendingHandOvers = 8;
/// Connections accepted per wake-up, so a flood cannot starve the event loop.
constexpr int maxAcceptsPerWakeUp = 64;

int openSpareDescriptor() {
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

} // namespace

SingleInstance::SingleInstance(QString transcriptFolder, QString runtimeFolder, QObject *parent)
    : QObject(parent)
    , m_lockFolder(transcriptFolder.isEmpty() ? SessionStore().folder()
                                              : std::move(transcriptFolder))
    , m_runtimeFolder(runtimeFolder.isEmpty()
                          ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
                          : std::move(runtimeFolder)) {
    if (m_runtimeFolder.isEmpty())
        m_runtimeFolder = QDir::tempPath();
}

SingleInstance::~SingleInstance() {
    stopListening();
}

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

// A listener of our own rather than QLocalServer, which closes itself and
// removes its socket file when an accept fails (as it does with a full
// descriptor table), leaving later starts nobody to hand over to.
bool SingleInstance::acceptHandOvers() {
    stopListening();
    const QByteArray path = QFile::encodeName(socketPath());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (static_cast<std::size_t>(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener < 0)
        return false;
    ::unlink(path.constData()); // left by a holder that died
    // Owner only, set before listening so that nobody else can ever connect.
    if (::bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::chmod(path.constData(), S_IRUSR | S_IWUSR) != 0 || ::listen(listener, SOMAXCONN) != 0) {
        ::close(listener);
        return false;
    }
    m_listener = listener;
    m_spare = openSpareDescriptor();
    m_notifier = std::make_unique<QSocketNotifier>(m_listener, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SingleInstance::acceptPending);
    return true;
}

void SingleInstance::acceptPending() {
    for (int accepted = 0; accepted < maxAcceptsPerWakeUp; ++accepted) {
        const int descriptor = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (descriptor >= 0) {
            adopt(descriptor);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return;
        if ((errno == EMFILE || errno == ENFILE) && !m_connections.isEmpty()) {
            drop(m_connections.front()); // the newest caller is likelier a real start
            continue;
        }
        if ((errno == EMFILE || errno == ENFILE) && m_spare >= 0) {
            // Out of descriptors: the spare one makes room to take the
            // connection and close it, so it does not wake us again and again.
            ::close(m_spare);
            const int refused = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            const int error = errno;
            if (refused >= 0)
                ::close(refused);
            m_spare = openSpareDescriptor();
            if (refused < 0 && (error == EAGAIN || error == EWOULDBLOCK))
                return; // the table is full, but nobody is waiting
            continue;
        }
        // Anything else (or no spare to give up): try again in a moment.
        m_notifier->setEnabled(false);
        QTimer::singleShot(std::chrono::milliseconds(100), m_notifier.get(),
                           [notifier = m_notifier.get()] { notifier->setEnabled(true); });
        return;
    }
}

void SingleInstance::adopt(int descriptor) {
    while (m_connections.size() >= maxPendingHandOvers)
        drop(m_connections.front());
    auto *connection = new QLocalSocket(this);
    if (!connection->setSocketDescriptor(descriptor)) {
        ::close(descriptor);
        delete connection;
        return;
    }
    m_connections.append(connection);
    // The request may come in pieces, and with the end of the connection.
    const auto examine = [this, connection] {
        const QByteArray received = connection->peek(sizeof activateMessage);
        if (received.startsWith(activateMessage)) {
            drop(connection);
            Q_EMIT activationRequested();
        } else if (!QByteArray(activateMessage).startsWith(received) ||
                   connection->state() != QLocalSocket::ConnectedState) {
            drop(connection); // not a hand-over
        }
    };
    connect(connection, &QLocalSocket::readyRead, this, examine);
    connect(connection, &QLocalSocket::disconnected, this, examine);
    QTimer::singleShot(handOverTimeout, connection, [this, connection] { drop(connection); });
}

void SingleInstance::drop(QLocalSocket *connection) {
    if (!m_connections.removeOne(connection))
        return;
    connection->disconnect(this);
    connection->abort();
    connection->deleteLater();
}

void SingleInstance::stopListening() {
    while (!m_connections.isEmpty())
        drop(m_connections.front());
    if (m_listener < 0)
        return;
    m_notifier.reset();
    ::close(m_listener);
    m_listener = -1;
    if (m_spare >= 0)
        ::close(m_spare);
    m_spare = -1;
    QFile::remove(socketPath());
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

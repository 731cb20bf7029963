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
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace Orvinta {

namespace {

constexpr char activateMessage[] = "activate\n";
/// The longest command line, its newline included.
constexpr qsizetype maxCommandLength = 256;
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
    return QDir(m_runtimeFolder).filePath(m_socketName);
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
    // The folder keeps others out already; a peer of another user is refused all the same.
    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
        peer.uid != ::getuid()) {
        ::close(descriptor);
        return;
    }
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
        const QByteArray received = connection->peek(maxCommandLength);
        const qsizetype end = received.indexOf('\n');
        if (end < 0) {
            if (received.size() >= maxCommandLength ||
                connection->state() != QLocalSocket::ConnectedState)
                drop(connection); // no request
            return;
        }
        if (received.startsWith(activateMessage)) {
            drop(connection);
            Q_EMIT activationRequested();
        } else if (m_commandHandler) {
            const QString failure = m_commandHandler(received.left(end));
            answer(connection,
                   failure.isEmpty() ? QByteArray("ok\n") : "error: " + failure.toUtf8() + '\n');
        } else {
            drop(connection);
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

void SingleInstance::answer(QLocalSocket *connection, const QByteArray &reply) {
    if (!m_connections.removeOne(connection))
        return;
    connection->disconnect(this);
    connection->write(reply);
    connection->flush();
    connection->disconnectFromServer();
    connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
    // A peer that reads nothing is let go.
    QTimer::singleShot(handOverTimeout, connection, [connection] {
        connection->abort();
        connection->deleteLater();
    });
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

std::optional<QString> SingleInstance::sendCommand(const QString &socketPath,
                                                   const QByteArray &command,
                                                   std::chrono::milliseconds timeout) {
    const QByteArray path = QFile::encodeName(socketPath);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (static_cast<std::size_t>(path.size()) >= sizeof address.sun_path)
        return std::nullopt;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    const QByteArray line = command + '\n';
    QByteArray reply;
    bool ended = false;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 &&
        ::send(fd, line.constData(), static_cast<std::size_t>(line.size()), MSG_NOSIGNAL) ==
            line.size()) {
        using Clock = std::chrono::steady_clock;
        const Clock::time_point deadline = Clock::now() + timeout;
        while (!reply.contains('\n') && !ended && reply.size() < maxCommandLength) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd wait{fd, POLLIN, 0};
            const int ready =
                left.count() > 0 ? ::poll(&wait, 1, static_cast<int>(left.count())) : 0;
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                break;
            char buffer[256];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                reply.append(buffer, n);
            else if (n == 0 || errno != EINTR)
                ended = true;
        }
    }
    ::close(fd);
    const qsizetype end = reply.indexOf('\n');
    if (end < 0)
        return std::nullopt;
    const QByteArray answer = reply.left(end);
    if (answer == "ok")
        return QString();
    return QString::fromUtf8(answer.startsWith("error: ") ? answer.mid(7) : answer);
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

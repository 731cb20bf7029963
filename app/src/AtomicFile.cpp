#include <OrvintaApp/AtomicFile.h>

#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Orvinta {

namespace {

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString withPath(const QString &path, const QString &reason) {
    return QStringLiteral("%1: %2").arg(path, reason);
}

/// Opened without blocking, so a pipe that nobody reads is an error rather
/// than a hang; the writes themselves block as usual.
std::optional<QString> writeThrough(const QString &path, const QByteArray &bytes) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return withPath(path, errno == ENXIO ? QStringLiteral("nothing reads from it")
                                             : systemError(errno));
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    int error = writeAll(fd, bytes);
    if (::close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    return error != 0 ? std::optional(withPath(path, systemError(error))) : std::nullopt;
}

} // namespace

int writeAll(int descriptor, const QByteArray &bytes) {
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(descriptor, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        if (written == 0)
            return EIO;
        data += written;
        left -= written;
    }
    return 0;
}

std::optional<QString> writeFileAtomically(const QString &path, const QByteArray &bytes,
                                           bool ownerOnly) {
    struct stat existing {};
    if (::stat(QFile::encodeName(path).constData(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode))
            return withPath(path, QStringLiteral("is a folder"));
        if (!S_ISREG(existing.st_mode))
            return writeThrough(path, bytes);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return withPath(path, file.errorString());
    if (ownerOnly && ::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0) {
        file.cancelWriting();
        return withPath(path, QStringLiteral("cannot make the file private"));
    }
    // A short write (a full disk, a file-size limit) must not replace the
    // old file with a truncated one.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.error() != QFileDevice::NoError
                                   ? file.errorString()
                                   : QStringLiteral("the file could not be written completely");
        file.cancelWriting();
        return withPath(path, reason);
    }
    if (!file.commit())
        return withPath(path, file.errorString());
    return std::nullopt;
}

std::variant<QByteArray, QString> readRegularFile(const QString &path, qint64 maxBytes) {
    // Non-blocking, so that a pipe in the way cannot hang the caller.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return systemError(errno);
    struct stat info {};
    QString error;
    QByteArray bytes;
    if (::fstat(fd, &info) != 0)
        error = systemError(errno);
    else if (S_ISDIR(info.st_mode))
        error = QStringLiteral("is a folder");
    else if (!S_ISREG(info.st_mode))
        error = QStringLiteral("is not a regular file");
    else if (info.st_size > maxBytes)
        error = QStringLiteral("is larger than %1 MB").arg(maxBytes / (1024 * 1024));
    else {
        bytes.resize(static_cast<qsizetype>(info.st_size));
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n =
                ::read(fd, bytes.data() + got, static_cast<size_t>(bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = systemError(errno);
                break;
            }
            if (n == 0)
                break; // shrank meanwhile
            got += n;
        }
        bytes.resize(got);
    }
    ::close(fd);
    if (!error.isEmpty())
        return error;
    return bytes;
}

} // namespace Orvinta

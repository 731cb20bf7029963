#include <OrvintaApp/AtomicFile.h>

#include <QSaveFile>

#include <sys/stat.h>

namespace Orvinta {

std::optional<QString> writeFileAtomically(const QString &path, const QByteArray &bytes,
                                           bool ownerOnly) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (ownerOnly && ::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0) {
        file.cancelWriting();
        return QStringLiteral("cannot make %1 private").arg(path);
    }
    file.write(bytes);
    // A failed write is remembered by the file and reported by commit().
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

} // namespace Orvinta

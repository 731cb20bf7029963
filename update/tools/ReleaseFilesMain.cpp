// orvinta-release-files: the appcast's release notes for the installed package
// (a build step).
//   orvinta-release-files metainfo APPCAST TEMPLATE OUTPUT
//     the template with its line "<releases/>" filled with the releases
//   orvinta-release-files changelog APPCAST VERSION SOURCE MAINTAINER OUTPUT
//     a Debian changelog, whose newest release must be VERSION

#include <OrvintaUpdates/ReleaseFiles.h>

#include <QFile>
#include <QSaveFile>

#include <algorithm>

#include <cstdio>
#include <optional>

using namespace Orvinta;

namespace {

int fail(const QString &message) {
    std::fprintf(stderr, "orvinta-release-files: %s\n", qPrintable(message));
    return 1;
}

std::optional<QByteArray> readFile(const QString &path, QString *error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return std::nullopt;
    }
    return file.readAll();
}

QString writeFile(const QString &path, const QString &text) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
        return path + QStringLiteral(": ") + file.errorString();
    return {};
}

} // namespace

int main(int argc, char **argv) {
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (!((mode == QLatin1String("metainfo") && argc == 5) ||
          (mode == QLatin1String("changelog") && argc == 7))) {
        std::fprintf(stderr, "Usage: orvinta-release-files metainfo APPCAST TEMPLATE OUTPUT\n"
                             "       orvinta-release-files changelog APPCAST VERSION SOURCE "
                             "MAINTAINER OUTPUT\n");
        return 2;
    }
    QString error;
    const QString appcastPath = QString::fromLocal8Bit(argv[2]);
    const std::optional<QByteArray> appcast = readFile(appcastPath, &error);
    if (!appcast)
        return fail(error);
    const std::optional<QList<AppcastItem>> items = parseAppcast(*appcast, &error);
    if (!items)
        return fail(appcastPath + QStringLiteral(": ") + error);

    if (mode == QLatin1String("metainfo")) {
        const std::optional<QByteArray> templateText =
            readFile(QString::fromLocal8Bit(argv[3]), &error);
        if (!templateText)
            return fail(error);
        QStringList lines = QString::fromUtf8(*templateText).split(QLatin1Char('\n'));
        const auto placeholder = std::find_if(lines.begin(), lines.end(), [](const QString &l) {
            return l.trimmed() == QLatin1String("<releases/>");
        });
        if (placeholder == lines.end())
            return fail(QString::fromLocal8Bit(argv[3]) +
                        QStringLiteral(": no line \"<releases/>\""));
        const qsizetype indent = placeholder->indexOf(QLatin1Char('<'));
        const std::optional<QString> releases =
            ReleaseFiles::appStreamReleases(*items, int(indent), &error);
        if (!releases)
            return fail(appcastPath + QStringLiteral(": ") + error);
        QStringList indented;
        for (const QString &line : releases->split(QLatin1Char('\n')))
            indented.append(QString(indent, QLatin1Char(' ')) + line);
        *placeholder = indented.join(QLatin1Char('\n'));
        error = writeFile(QString::fromLocal8Bit(argv[4]), lines.join(QLatin1Char('\n')));
        return error.isEmpty() ? 0 : fail(error);
    }

    const QString version = QString::fromLocal8Bit(argv[3]);
    const std::optional<QString> changelog = ReleaseFiles::debianChangelog(
        *items, QString::fromLocal8Bit(argv[4]), QString::fromLocal8Bit(argv[5]), &error);
    if (!changelog)
        return fail(appcastPath + QStringLiteral(": ") + error);
    // The package's version must have its notes: a changelog that ends at
    // an older release would say nothing of what was installed.
    if (!changelog->startsWith(QString::fromLocal8Bit(argv[4]) + QStringLiteral(" (") + version +
                               QStringLiteral(")")))
        return fail(appcastPath + QStringLiteral(": no release notes for version ") + version);
    error = writeFile(QString::fromLocal8Bit(argv[6]), *changelog);
    return error.isEmpty() ? 0 : fail(error);
}

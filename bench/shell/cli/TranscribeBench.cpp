// bench-transcribe: `orvinta-cli transcribe --format srt` of a ten-minute
// recording (the LibriVox set of pocketsphinx-testdata read over and over,
// joined by sox in a temporary folder): wall time, processor time and the
// real-time factor, printed as figures.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>
#include <sys/resource.h>

namespace {

const QString librivox = QStringLiteral("/usr/share/pocketsphinx/test/data/librivox");
constexpr double wantedSeconds = 600;

double childCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

/// Runs a tool to its end; its standard output, or nothing when it failed.
std::optional<QString> run(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        std::fprintf(stderr, "bench-transcribe: %s failed: %s\n", qPrintable(program),
                     process.readAllStandardError().constData());
        return std::nullopt;
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

std::optional<double> lengthSeconds(const QString &path) {
    const std::optional<QString> length =
        run(QStringLiteral("sox"), {QStringLiteral("--i"), QStringLiteral("-D"), path});
    return length ? std::optional(length->trimmed().toDouble()) : std::nullopt;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QStringList set;
    for (const QString &name :
         QDir(librivox).entryList({QStringLiteral("*.wav")}, QDir::Files, QDir::Name))
        set << librivox + QLatin1Char('/') + name;
    if (set.isEmpty()) {
        std::fprintf(stderr, "bench-transcribe: the LibriVox set of pocketsphinx-testdata is not "
                             "installed\n");
        return 1;
    }
    QTemporaryDir folder;
    double setSeconds = 0;
    for (const QString &file : set) {
        const std::optional<double> length = lengthSeconds(file);
        if (!length)
            return 1;
        setSeconds += *length;
    }
    QStringList parts;
    for (double joined = 0; joined < wantedSeconds; joined += setSeconds)
        parts << set;
    const QString recording = folder.filePath(QStringLiteral("ten-minutes.wav"));
    if (!run(QStringLiteral("sox"), parts + QStringList{recording}))
        return 1;
    const std::optional<double> audioSeconds = lengthSeconds(recording);
    if (!audioSeconds)
        return 1;

    const QString subtitles = folder.filePath(QStringLiteral("ten-minutes.srt"));
    const double cpuBefore = childCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    if (!run(QStringLiteral(ORVINTA_CLI_PATH),
             {QStringLiteral("transcribe"), QStringLiteral("--format"), QStringLiteral("srt"),
              QStringLiteral("-o"), subtitles, recording}))
        return 1;
    const double wallSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const double cpuSeconds = childCpuSeconds() - cpuBefore;

    QFile file(subtitles);
    const qsizetype cues =
        file.open(QIODevice::ReadOnly) ? file.readAll().count(QByteArrayLiteral(" --> ")) : 0;
    std::printf("orvinta-cli transcribe --format srt of %.1f s of speech (%lld cues):\n",
                *audioSeconds, static_cast<long long>(cues));
    std::printf("  wall time:          %.1f s\n", wallSeconds);
    std::printf("  real-time factor:   %.3f   (wall time / audio length; below 1 is faster than "
                "real time)\n",
                wallSeconds / *audioSeconds);
    std::printf("  processor time:     %.1f s (%.3f of the audio length)\n", cpuSeconds,
                cpuSeconds / *audioSeconds);
    return 0;
}

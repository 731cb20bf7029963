#include "TranscribeCommand.h"

#include "DesktopBackends.h"

#include <OrvintaApp/AtomicFile.h>
#include <OrvintaApp/TranscriptExport.h>

#include <OrvintaEngine/MainThread.h>
#include <OrvintaEngine/OnDeviceSpeechEngine.h>
#include <OrvintaEngineBackends/FileAudioSource.h>

#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace Orvinta::Cli {

namespace {

/// Collects the recording's sentences with the times of their words.
class SentenceCollector : public FileRunDelegate {
public:
    using FileRunDelegate::FileRunDelegate;

    void addConfirmedLine(const QString &text) override { sentences.append({text.trimmed(), {}}); }
    void addHeardLine(const QString &text, const std::vector<TextRun> &words) override {
        HeardSentence sentence{text.trimmed(), {}};
        const auto seconds = [](MediaTime time) { return static_cast<double>(time.count()) / 1e6; };
        for (const TextRun &word : words) {
            // Partly timed words would place the sentence wrongly: it is taken as untimed.
            if (!word.timeRange) {
                sentence.words.clear();
                break;
            }
            sentence.words.append({QString::fromStdString(word.text),
                                   seconds(word.timeRange->start), seconds(word.timeRange->end())});
        }
        sentences.append(std::move(sentence));
    }

    QList<HeardSentence> sentences;
};

/// "Transcribing FILE: 42 %" as one line that each report overwrites.
class ProgressLine {
public:
    explicit ProgressLine(QString path)
        : m_prefix(QStringLiteral("\rTranscribing %1: ").arg(path).toUtf8()) {}

    void show(double share) {
        const int percent = static_cast<int>(std::floor(share * 100));
        if (percent == m_shown)
            return;
        m_shown = percent;
        std::fprintf(stderr, "%s%d %%", m_prefix.constData(), percent);
        std::fflush(stderr);
    }
    /// Ends the line, so that what follows starts on a line of its own.
    void finish() {
        if (m_shown >= 0)
            std::fputc('\n', stderr);
        m_shown = -1;
    }

private:
    QByteArray m_prefix;
    int m_shown = -1;
};

} // namespace

FileRunDelegate::FileRunDelegate(QString locale)
    : m_locale(std::move(locale)) {}

void FileRunDelegate::captureDidFail(const QString &description) {
    fail(description);
}

QString FileRunDelegate::error() const {
    return m_error.value_or(QStringLiteral("The speech model could not be prepared"));
}

QCoro::Task<FileRun> transcribeFile(QString path, FileRunDelegate &delegate, StopRequest &stop,
                                    std::function<void(double share)> progress) {
    FileRun run;
    // What the file's thread reports after this run is over is dropped.
    const auto live = std::make_shared<bool>(true);
    const auto reachedEnd = std::make_shared<bool>(false);
    std::function<void(double)> reportProgress;
    if (progress)
        reportProgress = [live, progress,
                          lastPercent = std::make_shared<std::atomic<int>>(-1)](double share) {
            const int percent = static_cast<int>(share * 100);
            if (lastPercent->exchange(percent) != percent)
                postToMainThread([live, progress, share] {
                    if (*live)
                        progress(share);
                });
        };
    // Read by the file's thread, which starts with the run and ends with its stop.
    OnDeviceSpeechEngine *enginePointer = nullptr;
    std::shared_ptr<AudioCaptureBackend> capture;
    try {
        auto file = std::make_unique<FileAudioSource>(
            path.toStdString(),
            [&enginePointer] { return enginePointer && enginePointer->queuedInputBuffers() < 8; },
            [&stop, live, reachedEnd] {
                postToMainThread([&stop, live, reachedEnd] {
                    if (!*live)
                        return;
                    *reachedEnd = true;
                    stop.request();
                });
            },
            std::move(reportProgress));
        run.lengthSeconds = file->durationSeconds();
        capture = std::make_shared<FileCaptureBackend>(std::move(file));
    } catch (const EngineError &error) {
        fail(QString::fromStdString(error.description()));
        co_return run;
    }
    // The recording's last sentence is decoded after its end was read: on a
    // busy machine that takes longer than a listener's stop may wait, and
    // here nobody waits but for every word.
    EngineTimings timings;
    timings.boundedWait = std::chrono::seconds(60);
    OnDeviceSpeechEngine engine(&delegate, DesktopBackends::recognizer(), capture,
                                std::make_shared<SerialWorker>("orvinta-speech"), timings);
    enginePointer = &engine;
    QCoro::Task<> loading = engine.loadModel(delegate.selectedLocale());
    co_await loading;
    if (!delegate.isLoaded()) {
        fail(delegate.error());
        *live = false;
        co_return run;
    }
    std::optional<QString> startFailure;
    try {
        QCoro::Task<> starting =
            engine.startTranscribing(AudioSourceType::microphone, std::nullopt);
        co_await starting;
    } catch (const EngineError &error) {
        startFailure = QString::fromStdString(error.description());
    }
    if (startFailure) {
        fail(*startFailure);
        *live = false;
        co_return run;
    }
    QCoro::Task<> stopRequested = stop.wait();
    co_await stopRequested;
    QCoro::Task<> stopping = engine.stopTranscribing();
    co_await stopping;
    *live = false;
    run.status = 0;
    run.reachedEnd = *reachedEnd;
    co_return run;
}

QCoro::Task<int> transcribeInto(QString path, QString locale, ExportFormat format,
                                std::optional<QString> outputPath, StopRequest &stop) {
    // A target that cannot be written is said before the recording is heard.
    if (outputPath) {
        const QFileInfo target(*outputPath);
        if (target.isDir()) {
            fail(QStringLiteral("cannot write %1: it is a folder").arg(*outputPath));
            co_return 1;
        }
        if (!target.dir().exists()) {
            fail(QStringLiteral("cannot write %1: its folder does not exist").arg(*outputPath));
            co_return 1;
        }
    }
    SentenceCollector collector(std::move(locale));
    ProgressLine progress(path);
    std::function<void(double)> showProgress;
    if (::isatty(STDERR_FILENO))
        showProgress = [&progress](double share) { progress.show(share); };
    QCoro::Task<FileRun> running = transcribeFile(path, collector, stop, std::move(showProgress));
    const FileRun run = co_await running;
    progress.finish();
    if (run.status != 0)
        co_return run.status;
    if (!run.reachedEnd) {
        fail(QStringLiteral("stopped before the end of %1; nothing was written").arg(path));
        co_return 1;
    }
    const QString content = recordingContent(collector.sentences, run.lengthSeconds, format);
    const QByteArray bytes =
        content.isEmpty() ? QByteArray() : (content + QLatin1Char('\n')).toUtf8();
    if (outputPath) {
        if (const std::optional<QString> error = writeFileAtomically(*outputPath, bytes)) {
            fail(QStringLiteral("cannot write %1").arg(*error));
            co_return 1;
        }
        co_return 0;
    }
    if (!content.isEmpty())
        print(content);
    co_return outputStatus();
}

} // namespace Orvinta::Cli

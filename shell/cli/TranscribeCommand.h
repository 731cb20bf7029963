#pragma once

// orvinta-cli transcribe: the recogniser over an audio file, as fast as it
// goes, printing its lines as they come or writing the whole recording as
// text or subtitles at the end.

#include "CliSupport.h"

#include <OrvintaApp/AppEnums.h>
#include <OrvintaEngine/STTEngine.h>

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace Orvinta::Cli {

/// The engine's delegate in a file run: keeps the model's state and leaves
/// the lines to its subclasses.
class FileRunDelegate : public QObject, public STTEngineDelegate {
public:
    explicit FileRunDelegate(QString locale);

    QString selectedLocale() const override { return m_locale; }
    void setIsModelLoading(bool) override {}
    void setIsModelLoaded(bool loaded) override { m_loaded = loaded; }
    void setModelLoadingStatus(const QString &) override {}
    void setErrorMessage(const std::optional<QString> &message) override { m_error = message; }
    void setInterimText(const QString &) override {}
    // A file source does not fail mid-run; should capture fail anyway, say so.
    void captureDidFail(const QString &description) override;

    bool isLoaded() const { return m_loaded; }
    QString error() const;

private:
    QString m_locale;
    bool m_loaded = false;
    std::optional<QString> m_error;
};

struct FileRun {
    /// 0, or 1 once the failure was said on standard error.
    int status = 1;
    /// Whether the run got to the end of the file rather than being stopped.
    bool reachedEnd = false;
    double lengthSeconds = 0;
};

/// Transcribes the audio file at `path` into `delegate` until the file ends
/// or `stop` is requested. `progress` hears the share of the file read, on
/// the main thread.
QCoro::Task<FileRun> transcribeFile(QString path, FileRunDelegate &delegate, StopRequest &stop,
                                    std::function<void(double share)> progress = nullptr);

/// `transcribe --format`: the recording's sentences in `format` on standard
/// output, or written whole to `outputPath`, which is left as it was unless
/// the transcription succeeds. Progress goes to standard error when that is a
/// terminal.
QCoro::Task<int> transcribeInto(QString path, QString locale, ExportFormat format,
                                std::optional<QString> outputPath, StopRequest &stop);

} // namespace Orvinta::Cli

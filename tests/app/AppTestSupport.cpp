#include "AppTestSupport.h"

#include <OrvintaEngine/OnDeviceSpeechEngine.h>
#include <OrvintaEngineBackends/SerialWorker.h>

#include <QDir>
#include <QFile>
#include <QProcess>

namespace Orvinta::Testing {

SessionData sessionOf(int lines, const QString &targetLanguage) {
    SessionData data;
    data.targetLanguage = targetLanguage;
    for (int i = 1; i <= lines; ++i) {
        const ConfirmedLine line{QUuid::createUuid(), QString("Line %1").arg(i),
                                 700000000.0 + i + 0.125};
        data.lines.append(line);
        data.translations.insert(line.id.toString(QUuid::WithoutBraces).toUpper(),
                                 QString("Línea %1").arg(i));
    }
    return data;
}

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

std::optional<QString> srtByFfmpeg(const QString &path) {
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-nostdin", "-v", "error", "-i", path, "-f", "srt", "-"});
    if (!ffmpeg.waitForFinished(30000) || ffmpeg.exitCode() != 0)
        return std::nullopt;
    // It ends lines within a cue with CR LF.
    return QString::fromUtf8(ffmpeg.readAllStandardOutput()).remove('\r');
}

QStringList srtTexts(const QString &srt) {
    QStringList texts;
    for (const QString &block : srt.split("\n\n", Qt::SkipEmptyParts))
        texts << block.section('\n', 2).trimmed();
    return texts;
}

AppFixture::AppFixture()
    : preferences(std::make_shared<PreferencesStore>(folder.filePath("Orvinta.conf")))
    , session(std::make_shared<SessionStore>(folder.filePath("data"))) {
    recognizer = std::make_shared<OrvintaTest::ScriptedRecognizer>();
    recognizer->installedLocales = {"en-US", "en-GB", "es-ES", "fr-FR", "de-DE"};
    state = makeState();
}

AppServices AppFixture::services() const {
    AppServices services;
    services.preferences = preferences;
    services.session = session;
    services.clipboard = clipboard;
    services.paster = paster;
    services.sounds = sounds;
    services.saveDialog = saveDialog;
    services.audio = audio;
    services.hotkeys = hotkeys;
    services.soundServer = std::make_shared<SerialWorker>("test-sound");
    services.makeEngine = [this, worker = services.soundServer](STTEngineDelegate *delegate) {
        auto engine = std::make_unique<OnDeviceSpeechEngine>(delegate, recognizer, capture, worker);
        ++*enginesMade, ++*enginesAlive;
        QObject::connect(engine.get(), &QObject::destroyed, [alive = enginesAlive] { --*alive; });
        return engine;
    };
    services.timings = timings;
    return services;
}

std::unique_ptr<AppState> AppFixture::makeState(bool waitForStartup) {
    auto appState = std::make_unique<AppState>(services());
    if (waitForStartup)
        run(appState->startupFinished());
    return appState;
}

int AppFixture::stops() const {
    return int(std::count_if(recognizer->analyzers.begin(), recognizer->analyzers.end(),
                             [](const auto &analyzer) { return analyzer->finalized; }));
}

QString AppFixture::sessionPath() const {
    return folder.filePath("data/Orvinta/session.json");
}

} // namespace Orvinta::Testing

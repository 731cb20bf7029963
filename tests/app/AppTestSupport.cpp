#include "AppTestSupport.h"

#include <OrvintaEngine/SerialWorker.h>

#include <QCoroTimer>
#include <QDir>
#include <QFile>
#include <QPointer>

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

std::shared_ptr<ScriptedEngine::Script> ScriptedEngine::script =
    std::make_shared<ScriptedEngine::Script>();

QCoro::Task<> ScriptedEngine::loadModel(QString locale) {
    QPointer<ScriptedEngine> self(this);
    script->locales.push_back(locale);
    m_delegate->setIsModelLoading(true);
    m_delegate->setIsModelLoaded(false);
    m_delegate->setModelLoadingStatus("Preparing...");
    if (script->loadDelay.count() > 0) {
        m_delegate->setModelLoadingStatus("Checking assets...");
        QCoro::Task<> pause = QCoro::sleepFor(script->loadDelay);
        co_await pause;
        if (!self)
            throw OperationCancelled();
    }
    if (script->loadFails) {
        m_delegate->setErrorMessage("Failed to prepare speech recognition: no model");
        m_delegate->setModelLoadingStatus("Loading failed");
    } else {
        m_delegate->setIsModelLoaded(true);
        m_delegate->setModelLoadingStatus("Ready");
    }
    m_delegate->setIsModelLoading(false);
    co_return;
}

QCoro::Task<> ScriptedEngine::startTranscribing(AudioSourceType source,
                                                std::optional<std::uint32_t>) {
    QPointer<ScriptedEngine> self(this);
    ++script->starts;
    script->lastSource = source;
    if (script->startDelay.count() > 0) {
        QCoro::Task<> pause = QCoro::sleepFor(script->startDelay);
        co_await pause;
        if (!self)
            throw OperationCancelled();
    }
    if (script->startError)
        throw EngineError("com.orvinta", -1, *script->startError);
    co_return;
}

QCoro::Task<> ScriptedEngine::stopTranscribing() {
    ++script->stops;
    co_return;
}

AppFixture::AppFixture()
    : preferences(std::make_shared<PreferencesStore>(folder.filePath("Orvinta.conf")))
    , session(std::make_shared<SessionStore>(folder.filePath("data"))) {
    ScriptedEngine::script = std::make_shared<ScriptedEngine::Script>();
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
    services.makeEngine = [](STTEngineDelegate *delegate) {
        return std::make_unique<ScriptedEngine>(delegate);
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

QString AppFixture::sessionPath() const {
    return folder.filePath("data/Orvinta/session.json");
}

} // namespace Orvinta::Testing

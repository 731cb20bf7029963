#pragma once

#include "Fakes.h"

#include <OrvintaApp/AppServices.h>
#include <OrvintaApp/AppState.h>
#include <OrvintaApp/Clipboard.h>
#include <OrvintaApp/PreferencesStore.h>
#include <OrvintaApp/SessionStore.h>
#include <OrvintaApp/TranscriptExport.h>
#include <OrvintaTranslationBackends/TranslationBackend.h>

#include <QCoroTask>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <vector>

namespace Orvinta::Testing {

/// Global shortcuts that are only remembered: the actions, the failure
/// handler, the combinations (also stored, given a store) and the suspension.
class FakeHotkeys : public HotkeyService {
public:
    explicit FakeHotkeys(std::shared_ptr<PreferencesStore> store = {})
        : m_store(std::move(store)) {}
    void setActions(HotkeyActions a) override { actions = std::move(a); }
    void setFailureHandler(FailureHandler h) override { onFailure = std::move(h); }
    void start() override { started = true; }
    KeyCombo combo(HotkeyAction action) const override {
        const auto found = combos.find(action);
        return found != combos.end() ? found->second : defaultCombo(action);
    }
    bool isRegistered(HotkeyAction action) const override {
        return started && !suspended && !refused.contains(action);
    }
    QString failureReason(HotkeyAction action) const override {
        const auto found = refused.find(action);
        return found != refused.end() ? found->second : QString();
    }
    void setCombo(HotkeyAction action, const KeyCombo &combo) override {
        combos[action] = combo;
        if (m_store)
            m_store->setData(comboPreferenceKey(action), combo.toJson());
        ++registrations;
    }
    void setSuspended(bool value) override { suspended = value; }

    HotkeyActions actions;
    FailureHandler onFailure;
    bool started = false;
    bool suspended = false;
    int registrations = 0;
    std::map<HotkeyAction, KeyCombo> combos;
    /// Refused shortcuts with the desktop's reason.
    std::map<HotkeyAction, QString> refused;

private:
    std::shared_ptr<PreferencesStore> m_store;
};

/// A saved session of `lines` lines, each with a translation into `targetLanguage`.
SessionData sessionOf(int lines, const QString &targetLanguage);

/// The file's bytes; empty when it cannot be read.
QByteArray readAll(const QString &path);
/// Writes `bytes` to `path`, creating its folder; false when it cannot.
bool writeFile(const QString &path, const QByteArray &bytes);

/// A subtitle file as ffmpeg, a parser of our choosing, reads it: converted
/// to SRT. Nothing when ffmpeg refuses it or is not installed.
std::optional<QString> srtByFfmpeg(const QString &path);
/// The texts of the cues of an SRT document.
QStringList srtTexts(const QString &srt);

/// Runs the event loop until `done` holds or `timeout` passes.
inline bool waitUntil(const std::function<bool()> &done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return OrvintaTest::processEventsUntil(done, timeout);
}
/// Runs the event loop for `duration`.
inline void spin(std::chrono::milliseconds duration) {
    OrvintaTest::processEventsUntil([] { return false; }, duration);
}
/// Runs a task to completion on the event loop.
inline void run(QCoro::Task<> task) {
    OrvintaTest::await(std::move(task));
}

using OrvintaTest::LogCapture;

class FakeClipboard : public Clipboard {
public:
    void clear() override { text.reset(), ++clears; }
    void writeText(const QString &t) override { text = t; }
    std::optional<QString> readText() const override { return text; }
    std::optional<QString> text;
    int clears = 0;
};

class FakePaster : public CursorPaster {
public:
    bool isAvailable() const override { return true; }
    PasteResult pasteTextAtCursor(const QString &text) override {
        if (failure.isEmpty())
            pasted.push_back(text);
        return {failure, !failure.isEmpty() && keepsOnClipboard};
    }
    std::vector<QString> pasted;
    QString failure;
    /// A failure leaves the text on the clipboard (no keystroke back end).
    bool keepsOnClipboard = false;
};

class FakeSounds : public SoundPlayer {
public:
    void play(Sound sound) override { played.push_back(sound); }
    std::vector<Sound> played;
};

class FakeSaveDialog : public SaveDialog {
public:
    void askForLocation(const QString &suggestedName, ExportFormat,
                        std::function<void(std::optional<QString>)> done) override {
        suggested = suggestedName;
        done(answer);
    }
    std::optional<QString> answer;
    QString suggested;
};

/// Translates into "<target>:<text>".
class PrefixTranslator : public TranslationBackend {
public:
    std::string translate(const std::string &, const std::string &to,
                          const std::string &text) override {
        return to + ":" + text;
    }
};

/// An AppState on temporary storage with fakes for every device; its
/// engine is the real one, over a scripted recogniser and capture.
struct AppFixture {
    AppFixture();
    AppServices services() const;
    std::unique_ptr<AppState> makeState(bool waitForStartup = true);
    void restart() { state.reset(), state = makeState(); }
    /// Starts or stops listening and waits until that is done.
    void toggleListening() {
        state->listening()->toggleListening();
        run(state->listening()->toggleFinished());
    }

    QTemporaryDir folder;
    std::shared_ptr<PreferencesStore> preferences;
    std::shared_ptr<SessionStore> session;
    std::shared_ptr<FakeClipboard> clipboard = std::make_shared<FakeClipboard>();
    std::shared_ptr<FakePaster> paster = std::make_shared<FakePaster>();
    std::shared_ptr<FakeSounds> sounds = std::make_shared<FakeSounds>();
    std::shared_ptr<FakeSaveDialog> saveDialog = std::make_shared<FakeSaveDialog>();
    /// The sound server, where a test needs one (microphone permission, devices).
    std::shared_ptr<AudioCaptureBackend> audio;
    /// What the engines record from and recognise with.
    std::shared_ptr<OrvintaTest::FakeCapture> capture =
        std::make_shared<OrvintaTest::FakeCapture>();
    std::shared_ptr<OrvintaTest::ScriptedRecognizer> recognizer;
    /// The engines made so far, and those still alive.
    std::shared_ptr<int> enginesMade = std::make_shared<int>(0);
    std::shared_ptr<int> enginesAlive = std::make_shared<int>(0);
    /// Runs started, and runs stopped (their analyzers finalized).
    int starts() const { return int(recognizer->analyzers.size()); }
    int stops() const;
    std::shared_ptr<HotkeyService> hotkeys;
    Timings timings{std::chrono::milliseconds(150), std::chrono::milliseconds(50),
                    std::chrono::milliseconds(20), std::chrono::milliseconds(10)};
    std::unique_ptr<AppState> state;

    QString sessionPath() const;
    /// Waits until the session writes handed over so far are on disk.
    void settle() const { state->sessionSaver().waitForWrites(); }
};

} // namespace Orvinta::Testing

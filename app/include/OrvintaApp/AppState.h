#pragma once

#include <OrvintaApp/AppServices.h>
#include <OrvintaApp/ApplicationList.h>
#include <OrvintaApp/AudioDeviceList.h>
#include <OrvintaApp/Dictation.h>
#include <OrvintaApp/ListeningController.h>
#include <OrvintaApp/Preferences.h>
#include <OrvintaApp/SessionSaver.h>
#include <OrvintaApp/Transcript.h>

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

namespace Orvinta {

/// The one central object: it owns the transcript, the listening lifecycle,
/// the preferences, the input devices, dictation and the session saver, and
/// routes what the engine recognises. Lives on the main thread. The shell
/// creates it and hands it to the view models that show it.
class AppState : public QObject, private RecognizedTextSink {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The shell creates the application state")
    Q_PROPERTY(Orvinta::Transcript *transcript READ transcript CONSTANT)
    Q_PROPERTY(Orvinta::ListeningController *listening READ listening CONSTANT)
    Q_PROPERTY(Orvinta::Preferences *preferences READ preferences CONSTANT)
    Q_PROPERTY(Orvinta::AudioDeviceList *audioDevices READ audioDevices CONSTANT)
    Q_PROPERTY(Orvinta::ApplicationList *applications READ applications CONSTANT)
    Q_PROPERTY(Orvinta::Dictation *dictation READ dictation CONSTANT)

public:
    /// Builds the state in its fixed order: preferences, session, shortcuts,
    /// dictation, then (asynchronously) devices and the engine.
    explicit AppState(AppServices services, QObject *parent = nullptr);
    ~AppState() override;

    Transcript *transcript() { return &m_transcript; }
    ListeningController *listening() { return &m_listening; }
    Preferences *preferences() { return &m_preferences; }
    AudioDeviceList *audioDevices() { return &m_audioDevices; }
    ApplicationList *applications() { return &m_applications; }
    Dictation *dictation() { return &m_dictation; }
    DictationController &dictationController() { return m_dictationController; }
    SessionSaver &sessionSaver() { return m_sessionSaver; }

    /// The single entry point for finished text (the engine calls it);
    /// `speaker` says who said it, where a run tells its sources apart.
    void addConfirmedLine(const QString &text, const QString &speaker = {}) override;
    void setInterimText(const QString &text) override;
    /// Stores one translation; the first one of a line may be auto-pasted.
    void setTranslation(const QString &text, const QUuid &id);
    /// Pastes at the cursor where the desktop allows it; where it sends no
    /// keystroke the text waits on the clipboard; without any paster it is
    /// only copied, and only when auto-copy is on.
    PasteResult pasteAtCursor(const QString &text);
    /// What each global shortcut does, also where no shortcut service runs:
    /// orvinta-cli toggle asks for the same.
    HotkeyActions shortcutActions();

    Q_INVOKABLE void toggleOverlay();
    /// The "Focus captions" shortcut: the overlay, shown if it was not, takes
    /// the keyboard with its newest line selected.
    Q_INVOKABLE void focusCaptions();
    /// The panel asks for the overlay once it is first shown.
    Q_INVOKABLE void setupOverlay();
    Q_INVOKABLE void showSettings();

    /// Completes when start-up's device refresh and engine preparation are done.
    QCoro::Task<> startupFinished() const;

Q_SIGNALS:
    /// The shell creates the overlay window (once).
    void overlaySetupRequested();
    /// The overlay should be shown (in front, without focus) or ordered out.
    void overlayVisibilityRequested(bool visible);
    /// The overlay should take the keyboard focus (after any show it needed).
    void captionsFocusRequested();
    void settingsRequested();
    /// A shortcut could not be registered; the settings window shows it.
    void hotkeyRegistrationFailed(Orvinta::HotkeyAction action, const QString &reason);

private:
    void installHotkeyActions();

    AppServices m_services;
    Preferences m_preferences;
    Transcript m_transcript;
    AudioDeviceList m_audioDevices;
    ApplicationList m_applications;
    Dictation m_dictation;
    ListeningController m_listening;
    DictationController m_dictationController;
    SessionSaver m_sessionSaver;
    bool m_overlaySetUp = false;
    TaskHandle m_startupTask;
};

} // namespace Orvinta

#pragma once

#include <OrvintaApp/AppEnums.h>
#include <OrvintaApp/AppServices.h>
#include <OrvintaApp/CancellableTask.h>

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace Orvinta {

class AudioDeviceList;
class ListeningController;
class Preferences;
class Transcript;

/// What the dictation bubble and the tray icon show of a dictation.
class Dictation : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Dictation belongs to AppState")
    Q_PROPERTY(bool isDictating READ isDictating NOTIFY isDictatingChanged)
    Q_PROPERTY(bool wantsDictating READ wantsDictating NOTIFY wantsDictatingChanged)
    Q_PROPERTY(QString dictationBuffer READ dictationBuffer NOTIFY dictationBufferChanged)
    Q_PROPERTY(
        QString dictationInterimText READ dictationInterimText NOTIFY dictationInterimTextChanged)
    Q_PROPERTY(
        Orvinta::DictationState dictationState READ dictationState NOTIFY dictationStateChanged)
    /// The latest dictation's text was not pasted and waits on the clipboard.
    Q_PROPERTY(bool leftOnClipboard READ leftOnClipboard NOTIFY leftOnClipboardChanged)

public:
    using QObject::QObject;

    bool isDictating() const { return m_isDictating; }
    /// Recording for a hold that may still turn out to be a key combination:
    /// nothing of it is shown or heard yet.
    bool isTentative() const { return m_isTentative; }
    /// A dictation the user has been told of, which the tray and panel show.
    bool isShown() const { return m_isDictating && !m_isTentative; }
    bool wantsDictating() const { return m_wantsDictating; }
    QString dictationBuffer() const { return m_dictationBuffer; }
    QString dictationInterimText() const { return m_dictationInterimText; }
    DictationState dictationState() const { return m_dictationState; }
    bool leftOnClipboard() const { return m_leftOnClipboard; }

    void setIsDictating(bool dictating);
    void setTentative(bool tentative);
    void setWantsDictating(bool wants);
    void setDictationBuffer(const QString &buffer);
    void setDictationInterimText(const QString &text);
    void setDictationState(DictationState state);
    void setLeftOnClipboard(bool left);

Q_SIGNALS:
    void isDictatingChanged();
    void isTentativeChanged();
    void wantsDictatingChanged();
    void dictationBufferChanged();
    void dictationInterimTextChanged();
    void dictationStateChanged();
    void leftOnClipboardChanged();

private:
    bool m_isDictating = false;
    bool m_isTentative = false;
    bool m_wantsDictating = false;
    QString m_dictationBuffer;
    QString m_dictationInterimText;
    DictationState m_dictationState = DictationState::idle;
    bool m_leftOnClipboard = false;
};

/// Push-to-talk: while the hold key is down the microphone is transcribed
/// into the buffer; on release the engine stops and everything said is
/// pasted at the cursor. One reconcile loop drives the engine towards the
/// key's state one step at a time, so starts and stops never overlap.
class DictationController : public QObject {
    Q_OBJECT
public:
    using PasteAction = std::function<PasteResult(const QString &text)>;

    DictationController(Dictation &dictation, ListeningController &listening,
                        const Preferences &preferences, Transcript &transcript,
                        const AudioDeviceList &devices, PasteAction paste,
                        std::chrono::milliseconds idleDelay, QObject *parent = nullptr);
    ~DictationController() override;

    Dictation &dictation() const { return m_dictation; }
    /// The running reconcile loop, if any.
    TaskHandle &dictationReconcileTask() { return m_reconcileTask; }
    /// Appends a confirmed piece of text to the buffer.
    void collect(const QString &text);

    /// After the key monitor is connected: starts it when dictation mode is on.
    void setupDictation();

    /// One attempt to start; never throws.
    QCoro::Task<> startDictation();
    /// One attempt to stop and paste.
    QCoro::Task<> stopDictation();

public Q_SLOTS:
    /// The hold key has been down alone for the threshold: recording starts,
    /// tentative, as the hold may still turn out to be a key combination
    /// (ignored with dictation mode off).
    void holdBegan();
    /// The hold is a dictation: the start tone and the bubble once recording
    /// runs, started here if holdBegan() did not (ignored with dictation mode off).
    void holdStarted();
    /// The hold was a key combination or a short press after all: the
    /// tentative recording stops and is thrown away, nothing shown or pasted.
    void holdCancelled();
    /// The hold key came up, or another key ended the dictation.
    void holdEnded();
    /// A key that acts on press only (GNOME's shortcuts, through orvinta-cli
    /// toggle dictation): starts a dictation as a confirmed hold does, or
    /// ends the one under way. False, doing nothing, with dictation mode off.
    bool toggleDictation();

Q_SIGNALS:
    /// The dictation key monitor should run (true) or stop (false).
    void dictationMonitorRequested(bool enabled);
    /// The bubble should appear (dictation runs) ...
    void bubbleShowRequested();
    /// ... and go, after showing whether text was produced.
    void bubbleHideRequested(bool producedText);
    /// A dictation ended with this text (empty when nothing was recognised).
    void dictationFinished(const QString &text);

private:
    void reconcileDictation();
    /// Busy with listening: running, or a start or stop under way.
    bool listeningBusy() const;
    /// The user hears and sees the running dictation: tone, bubble, icon.
    void announce();
    /// Back to no dictation, its text gone.
    void clearDictation();

    Dictation &m_dictation;
    ListeningController &m_listening;
    const Preferences &m_preferences;
    Transcript &m_transcript;
    const AudioDeviceList &m_devices;
    PasteAction m_paste;
    std::chrono::milliseconds m_idleDelay;
    TaskHandle m_reconcileTask;
    TaskHandle m_idleTask;
    /// holdStarted() came for the current hold.
    bool m_holdConfirmed = false;
    /// The engine runs for the current dictation.
    bool m_recording = false;
};

} // namespace Orvinta

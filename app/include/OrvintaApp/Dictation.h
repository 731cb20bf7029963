#pragma once

#include <OrvintaApp/AppEnums.h>
#include <OrvintaApp/CancellableTask.h>

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace Orvinta {

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

public:
    using QObject::QObject;

    bool isDictating() const { return m_isDictating; }
    bool wantsDictating() const { return m_wantsDictating; }
    QString dictationBuffer() const { return m_dictationBuffer; }
    QString dictationInterimText() const { return m_dictationInterimText; }
    DictationState dictationState() const { return m_dictationState; }

    void setIsDictating(bool dictating);
    void setWantsDictating(bool wants);
    void setDictationBuffer(const QString &buffer);
    void setDictationInterimText(const QString &text);
    void setDictationState(DictationState state);

Q_SIGNALS:
    void isDictatingChanged();
    void wantsDictatingChanged();
    void dictationBufferChanged();
    void dictationInterimTextChanged();
    void dictationStateChanged();

private:
    bool m_isDictating = false;
    bool m_wantsDictating = false;
    QString m_dictationBuffer;
    QString m_dictationInterimText;
    DictationState m_dictationState = DictationState::idle;
};

/// Drives a dictation: collects what is said while the hold key is down and
/// owns the task that reconciles the key with the running engine.
class DictationController : public QObject {
    Q_OBJECT
public:
    explicit DictationController(Dictation &dictation, QObject *parent = nullptr);
    ~DictationController() override;

    Dictation &dictation() const { return m_dictation; }
    /// The pending reconciliation of the key's state with the engine's.
    TaskHandle &dictationReconcileTask() { return m_reconcileTask; }
    /// Appends a confirmed piece of text to the buffer.
    void collect(const QString &text);

Q_SIGNALS:
    /// The dictation key monitor should run (true) or stop (false).
    void dictationMonitorRequested(bool enabled);

private:
    Dictation &m_dictation;
    TaskHandle m_reconcileTask;
};

} // namespace Orvinta

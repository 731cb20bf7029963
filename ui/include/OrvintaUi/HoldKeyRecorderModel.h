#pragma once

#include <OrvintaApp/KeyTable.h>

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <memory>

namespace Orvinta {

class PreferencesStore;

/// The settings field of the dictation hold key: it records one of
/// holdKeys() (a modifier or lock key, such as Right Ctrl) and stores its X
/// keysym name under holdKeyPreference. Escape cancels; any other key keeps
/// the field waiting, since holding a typing key would type.
class HoldKeyRecorderModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The settings window owns its hold-key field")
    Q_PROPERTY(QString keysym READ keysym NOTIFY holdKeyChanged)
    Q_PROPERTY(QString displayText READ displayText NOTIFY holdKeyChanged)
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    Q_PROPERTY(bool canReset READ canReset NOTIFY holdKeyChanged)
    Q_PROPERTY(QString resetToolTip READ resetToolTip CONSTANT)

public:
    explicit HoldKeyRecorderModel(std::shared_ptr<PreferencesStore> store,
                                  QObject *parent = nullptr);

    QString keysym() const { return m_keysym; }
    QString displayText() const;
    bool isRecording() const { return m_isRecording; }
    bool canReset() const { return m_keysym != defaultHoldKey; }
    QString resetToolTip() const;

    Q_INVOKABLE void toggleRecording();
    Q_INVOKABLE void cancelRecording();
    /// A key press while recording; `nativeKey` is the X keysym of the
    /// press. True when consumed (every press while recording).
    Q_INVOKABLE bool handleKeyPress(int qtKey, quint32 nativeKey);
    Q_INVOKABLE void resetToDefault();

Q_SIGNALS:
    /// The stored hold key changed; the key monitor must start again to use it.
    void holdKeyChanged();
    void isRecordingChanged();

private:
    void setRecording(bool recording);
    void store(const QString &keysym);

    std::shared_ptr<PreferencesStore> m_store;
    QString m_keysym;
    bool m_isRecording = false;
};

} // namespace Orvinta

#pragma once

#include <OrvintaApp/KeyCombo.h>

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <cstdint>
#include <memory>

namespace Orvinta {

class HotkeyService;

/// What a key press does to a recording shortcut field.
enum class CaptureDecision { cancel, record, ignore };

/// The capture rule: Escape (reference key code 53) cancels whatever the
/// modifiers; a press that makes a global shortcut (KeyCombo::isGlobalShortcut)
/// records; any other is ignored.
CaptureDecision captureDecision(std::uint16_t keyCode, std::uint64_t flags);

/// The reference flags of Qt modifiers: Shift, Control, Alt and Meta
/// (Super) only; the keypad flag is not a modifier a user presses.
std::uint64_t referenceFlags(Qt::KeyboardModifiers modifiers);

/// One shortcut field of the settings window with its reset button: bind
/// `displayText`, `isRecording`, `canReset` and `resetToolTip`; call
/// toggleRecording() on a click and handleKeyPress() with each key press
/// while recording. While any field records, the global shortcuts are
/// suspended so that the field receives the combination.
class ShortcutRecorderModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The settings window's view model holds the shortcut fields")
    Q_PROPERTY(QString label READ label CONSTANT)
    Q_PROPERTY(QString displayText READ displayText NOTIFY comboChanged)
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    Q_PROPERTY(bool canReset READ canReset NOTIFY comboChanged)
    Q_PROPERTY(QString resetToolTip READ resetToolTip CONSTANT)
    /// Whether the desktop accepted the shortcut.
    Q_PROPERTY(bool isRegistered READ isRegistered NOTIFY registrationChanged)
    /// Why the shortcut does not work ("Ctrl+Alt+S does not work: another
    /// program already uses this shortcut"); empty while it works, and while
    /// a field records (every shortcut is off then).
    Q_PROPERTY(QString failureText READ failureText NOTIFY registrationChanged)

public:
    /// Without a service (no display) the field still records, into itself.
    ShortcutRecorderModel(std::shared_ptr<HotkeyService> service, HotkeyAction action,
                          QObject *parent = nullptr);
    ~ShortcutRecorderModel() override;

    QString label() const;
    KeyCombo combo() const;
    QString displayText() const;
    bool isRecording() const { return m_isRecording; }
    bool canReset() const;
    QString resetToolTip() const;
    bool isRegistered() const;
    QString failureText() const;

    Q_INVOKABLE void toggleRecording();
    Q_INVOKABLE void cancelRecording();
    /// A key press from the field; true when consumed (every press while recording).
    Q_INVOKABLE bool handleKeyPress(int qtKey, int qtModifiers);
    /// The capture rule in reference codes (what handleKeyPress() calls).
    void handleReferenceKeyPress(std::uint16_t keyCode, std::uint64_t flags);
    Q_INVOKABLE void resetToDefault();
    /// The services' registrations changed.
    Q_INVOKABLE void refresh();

    /// How many fields record now (the shortcuts are suspended while > 0).
    static int recordingCount();

Q_SIGNALS:
    void comboChanged();
    void isRecordingChanged();
    void registrationChanged();
    /// A new combination was recorded and applied.
    void recorded(const QString &displayText);

private:
    void setRecording(bool recording);
    void apply(const KeyCombo &combo);
    /// Every field of the service is re-registered or suspended together.
    void refreshFieldsOfService();

    std::shared_ptr<HotkeyService> m_service;
    const HotkeyAction m_action;
    bool m_isRecording = false;
    /// The combo shown when there is no service (no display).
    KeyCombo m_fallback;
};

} // namespace Orvinta

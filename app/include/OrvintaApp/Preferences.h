#pragma once

#include <OrvintaApp/AppEnums.h>

#include <OrvintaEngineBackends/EngineTypes.h>

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <memory>

namespace Orvinta {

class LoginItems;
class PreferencesStore;

/// The user's choices. Every assignment writes the store (even of an equal
/// value); observers hear only of real changes.
class Preferences : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Preferences belong to AppState")
    Q_PROPERTY(QString selectedLocale READ selectedLocale NOTIFY selectedLocaleChanged)
    Q_PROPERTY(QString selectedSource READ selectedSourceRaw NOTIFY selectedSourceChanged)
    /// The application the application source follows (its name or binary);
    /// empty until one is chosen.
    Q_PROPERTY(
        QString selectedApplication READ selectedApplication NOTIFY selectedApplicationChanged)
    Q_PROPERTY(bool showOverlay READ showOverlay NOTIFY showOverlayChanged)
    Q_PROPERTY(QString targetLanguage READ targetLanguage NOTIFY targetLanguageChanged)
    Q_PROPERTY(bool autoCopyToClipboard READ autoCopyToClipboard NOTIFY autoCopyToClipboardChanged)
    Q_PROPERTY(bool autoPasteAtCursor READ autoPasteAtCursor NOTIFY autoPasteAtCursorChanged)
    Q_PROPERTY(
        Orvinta::AutoPasteSource autoPasteSource READ autoPasteSource NOTIFY autoPasteSourceChanged)
    /// "original" or "translation", for QML, which cannot name lower-case enumerators.
    Q_PROPERTY(QString autoPasteSourceRaw READ autoPasteSourceRaw NOTIFY autoPasteSourceChanged)
    Q_PROPERTY(bool soundEnabled READ soundEnabled NOTIFY soundEnabledChanged)
    Q_PROPERTY(
        bool dictationModeEnabled READ dictationModeEnabled NOTIFY dictationModeEnabledChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin NOTIFY launchAtLoginChanged)

public:
    Preferences(std::shared_ptr<PreferencesStore> store, std::shared_ptr<LoginItems> loginItems,
                QObject *parent = nullptr);

    /// Registers the defaults and reads the stored values.
    void load();

    QString selectedLocale() const { return m_selectedLocale; }
    AudioSourceType selectedSource() const { return m_selectedSource; }
    QString selectedSourceRaw() const;
    QString selectedApplication() const { return m_selectedApplication; }
    bool showOverlay() const { return m_showOverlay; }
    QString targetLanguage() const { return m_targetLanguage; }
    bool autoCopyToClipboard() const { return m_autoCopyToClipboard; }
    bool autoPasteAtCursor() const { return m_autoPasteAtCursor; }
    AutoPasteSource autoPasteSource() const { return m_autoPasteSource; }
    QString autoPasteSourceRaw() const { return rawValue(m_autoPasteSource); }
    bool soundEnabled() const { return m_soundEnabled; }
    bool dictationModeEnabled() const { return m_dictationModeEnabled; }
    bool launchAtLogin() const;

    Q_INVOKABLE void setSelectedLocale(const QString &locale);
    void setSelectedSource(AudioSourceType source);
    /// Unknown raw values are ignored.
    Q_INVOKABLE void setSelectedSourceRaw(const QString &raw);
    Q_INVOKABLE void setSelectedApplication(const QString &application);
    Q_INVOKABLE void setShowOverlay(bool show);
    Q_INVOKABLE void setTargetLanguage(const QString &language);
    Q_INVOKABLE void setAutoCopyToClipboard(bool enabled);
    Q_INVOKABLE void setAutoPasteAtCursor(bool enabled);
    Q_INVOKABLE void setAutoPasteSource(Orvinta::AutoPasteSource source);
    /// Unknown raw values are ignored.
    Q_INVOKABLE void setAutoPasteSourceRaw(const QString &raw);
    Q_INVOKABLE void setSoundEnabled(bool enabled);
    Q_INVOKABLE void setDictationModeEnabled(bool enabled);
    Q_INVOKABLE void setLaunchAtLogin(bool enabled);

Q_SIGNALS:
    void selectedLocaleChanged();
    void selectedSourceChanged();
    void selectedApplicationChanged();
    void showOverlayChanged();
    void targetLanguageChanged();
    void autoCopyToClipboardChanged();
    void autoPasteAtCursorChanged();
    void autoPasteSourceChanged();
    void soundEnabledChanged();
    void dictationModeEnabledChanged();
    void launchAtLoginChanged();
    /// Every assignment of the dictation switch, equal or not: its follow-up
    /// (starting or stopping the key monitor) always runs.
    void dictationModeAssigned(bool enabled);

private:
    template <class T>
    void assign(T &field, const T &value, const QString &key, void (Preferences::*changed)());

    std::shared_ptr<PreferencesStore> m_store;
    std::shared_ptr<LoginItems> m_loginItems;
    QString m_selectedLocale = QStringLiteral("en-US");
    AudioSourceType m_selectedSource = AudioSourceType::systemAudio;
    QString m_selectedApplication;
    bool m_showOverlay = true;
    QString m_targetLanguage = QStringLiteral("en-US");
    bool m_autoCopyToClipboard = false;
    bool m_autoPasteAtCursor = false;
    AutoPasteSource m_autoPasteSource = AutoPasteSource::original;
    bool m_soundEnabled = true;
    bool m_dictationModeEnabled = false;
};

} // namespace Orvinta

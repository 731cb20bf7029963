#include <OrvintaApp/Preferences.h>

#include <OrvintaApp/AppLog.h>
#include <OrvintaApp/AppServices.h>
#include <OrvintaApp/PreferencesStore.h>

namespace Orvinta {

namespace Key {
const QString selectedLocale = QStringLiteral("app.selectedLocale");
const QString selectedSource = QStringLiteral("app.selectedSource");
const QString selectedApplication = QStringLiteral("app.selectedApplication");
const QString showOverlay = QStringLiteral("app.showOverlay");
const QString targetLanguage = QStringLiteral("app.targetLanguage");
const QString autoCopyToClipboard = QStringLiteral("app.autoCopyToClipboard");
const QString autoPasteAtCursor = QStringLiteral("app.autoPasteAtCursor");
const QString autoPasteSource = QStringLiteral("app.autoPasteSource");
const QString soundEnabled = QStringLiteral("app.soundEnabled");
const QString dictationModeEnabled = QStringLiteral("app.dictationModeEnabled");
} // namespace Key

namespace {

void store(PreferencesStore &store, const QString &key, bool value) {
    store.setBool(key, value);
}

void store(PreferencesStore &store, const QString &key, const QString &value) {
    store.setString(key, value);
}

void store(PreferencesStore &s, const QString &key, AudioSourceType value) {
    s.setString(key, QString::fromUtf8(rawValue(value)));
}

void store(PreferencesStore &s, const QString &key, AutoPasteSource value) {
    s.setString(key, rawValue(value));
}

} // namespace

Preferences::Preferences(std::shared_ptr<PreferencesStore> store,
                         std::shared_ptr<LoginItems> loginItems, QObject *parent)
    : QObject(parent)
    , m_store(std::move(store))
    , m_loginItems(std::move(loginItems)) {}

void Preferences::load() {
    PreferencesStore *prefs = m_store.get();
    if (!prefs)
        return;
    prefs->registerDefaults({{Key::selectedLocale, QStringLiteral("en-US")},
                             {Key::selectedSource, QStringLiteral("systemAudio")},
                             {Key::showOverlay, true},
                             {Key::targetLanguage, QStringLiteral("en-US")},
                             {Key::autoCopyToClipboard, false},
                             {Key::autoPasteAtCursor, false},
                             {Key::autoPasteSource, QStringLiteral("original")},
                             {Key::soundEnabled, true},
                             {Key::dictationModeEnabled, false}});
    setSelectedLocale(prefs->stringValue(Key::selectedLocale).value_or(QStringLiteral("en-US")));
    if (auto raw = prefs->stringValue(Key::selectedSource))
        setSelectedSourceRaw(*raw);
    // Files from before the application source have no such key.
    if (auto application = prefs->stringValue(Key::selectedApplication))
        setSelectedApplication(*application);
    setShowOverlay(prefs->boolValue(Key::showOverlay));
    setTargetLanguage(prefs->stringValue(Key::targetLanguage).value_or(QStringLiteral("en-US")));
    setAutoCopyToClipboard(prefs->boolValue(Key::autoCopyToClipboard));
    setAutoPasteAtCursor(prefs->boolValue(Key::autoPasteAtCursor));
    if (auto raw = prefs->stringValue(Key::autoPasteSource))
        if (auto source = autoPasteSourceFromRaw(*raw))
            setAutoPasteSource(*source);
    setSoundEnabled(prefs->boolValue(Key::soundEnabled));
    setDictationModeEnabled(prefs->boolValue(Key::dictationModeEnabled));
}

template <class T>
void Preferences::assign(T &field, const T &value, const QString &key,
                         void (Preferences::*changed)()) {
    const bool differs = !(field == value);
    field = value;
    if (m_store)
        store(*m_store, key, value);
    if (differs)
        Q_EMIT(this->*changed)();
}

QString Preferences::selectedSourceRaw() const {
    return QString::fromUtf8(rawValue(m_selectedSource));
}

void Preferences::setSelectedLocale(const QString &locale) {
    assign(m_selectedLocale, locale, Key::selectedLocale, &Preferences::selectedLocaleChanged);
}

void Preferences::setSelectedSource(AudioSourceType source) {
    assign(m_selectedSource, source, Key::selectedSource, &Preferences::selectedSourceChanged);
}

void Preferences::setSelectedSourceRaw(const QString &raw) {
    if (auto source = audioSourceTypeFromRaw(raw.toStdString()))
        setSelectedSource(*source);
}

void Preferences::setSelectedApplication(const QString &application) {
    assign(m_selectedApplication, application.trimmed(), Key::selectedApplication,
           &Preferences::selectedApplicationChanged);
}

void Preferences::setAutoPasteSourceRaw(const QString &raw) {
    if (auto source = autoPasteSourceFromRaw(raw))
        setAutoPasteSource(*source);
}

void Preferences::setShowOverlay(bool show) {
    assign(m_showOverlay, show, Key::showOverlay, &Preferences::showOverlayChanged);
}

void Preferences::setTargetLanguage(const QString &language) {
    assign(m_targetLanguage, language, Key::targetLanguage, &Preferences::targetLanguageChanged);
}

void Preferences::setAutoCopyToClipboard(bool enabled) {
    assign(m_autoCopyToClipboard, enabled, Key::autoCopyToClipboard,
           &Preferences::autoCopyToClipboardChanged);
}

void Preferences::setAutoPasteAtCursor(bool enabled) {
    assign(m_autoPasteAtCursor, enabled, Key::autoPasteAtCursor,
           &Preferences::autoPasteAtCursorChanged);
}

void Preferences::setAutoPasteSource(AutoPasteSource source) {
    assign(m_autoPasteSource, source, Key::autoPasteSource, &Preferences::autoPasteSourceChanged);
}

void Preferences::setSoundEnabled(bool enabled) {
    assign(m_soundEnabled, enabled, Key::soundEnabled, &Preferences::soundEnabledChanged);
}

void Preferences::setDictationModeEnabled(bool enabled) {
    assign(m_dictationModeEnabled, enabled, Key::dictationModeEnabled,
           &Preferences::dictationModeEnabledChanged);
    Q_EMIT dictationModeAssigned(enabled);
}

bool Preferences::launchAtLogin() const {
    return m_loginItems && m_loginItems->isEnabled();
}

void Preferences::setLaunchAtLogin(bool enabled) {
    if (!m_loginItems)
        return;
    const QString error = m_loginItems->setEnabled(enabled);
    if (!error.isEmpty())
        qCCritical(lcAppState, "Launch at login toggle failed: %s", qUtf8Printable(error));
    Q_EMIT launchAtLoginChanged();
}

} // namespace Orvinta

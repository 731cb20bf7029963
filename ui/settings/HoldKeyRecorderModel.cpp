#include <OrvintaUi/HoldKeyRecorderModel.h>

#include <OrvintaApp/PreferencesStore.h>

#include <utility>

namespace Orvinta {

HoldKeyRecorderModel::HoldKeyRecorderModel(std::shared_ptr<PreferencesStore> store, QObject *parent)
    : QObject(parent)
    , m_store(std::move(store)) {
    const std::optional<QString> stored =
        m_store ? m_store->stringValue(holdKeyPreference) : std::nullopt;
    m_keysym = stored && !stored->isEmpty() ? *stored : defaultHoldKey;
}

QString HoldKeyRecorderModel::displayText() const {
    return holdKeyDisplayName(m_keysym);
}

QString HoldKeyRecorderModel::resetToolTip() const {
    return QStringLiteral("Reset to default (%1)").arg(holdKeyDisplayName(defaultHoldKey));
}

void HoldKeyRecorderModel::toggleRecording() {
    setRecording(!m_isRecording);
}

void HoldKeyRecorderModel::cancelRecording() {
    setRecording(false);
}

bool HoldKeyRecorderModel::handleKeyPress(int qtKey, quint32 nativeKey) {
    if (!m_isRecording)
        return false;
    // The key decides before anything else: Escape cancels with any modifier.
    if (qtKey == Qt::Key_Escape) {
        setRecording(false);
        return true;
    }
    const HoldKey *key = holdKeyForKeysym(nativeKey);
    if (!key)
        return true;
    store(QString::fromLatin1(key->keysymName));
    setRecording(false);
    return true;
}

void HoldKeyRecorderModel::resetToDefault() {
    store(defaultHoldKey);
}

void HoldKeyRecorderModel::setRecording(bool recording) {
    if (m_isRecording == recording)
        return;
    m_isRecording = recording;
    Q_EMIT isRecordingChanged();
}

void HoldKeyRecorderModel::store(const QString &keysym) {
    if (m_store)
        m_store->setString(holdKeyPreference, keysym);
    if (keysym == m_keysym)
        return;
    m_keysym = keysym;
    Q_EMIT holdKeyChanged();
}

} // namespace Orvinta

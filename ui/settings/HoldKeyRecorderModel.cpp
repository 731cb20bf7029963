#include <OrvintaUi/HoldKeyRecorderModel.h>

#include <OrvintaApp/PreferencesStore.h>

#include <utility>

namespace Orvinta {

namespace {

// Keys that can be held without typing anything, by X keysym.
struct HoldKey {
    quint32 keysym;
    const char *name;
};
constexpr HoldKey holdKeys[] = {
    {0xffe4, "Control_R"},
    {0xffe3, "Control_L"},
    {0xffea, "Alt_R"},
    {0xffe9, "Alt_L"},
    {0xfe03, "ISO_Level3_Shift"},
    {0xffec, "Super_R"},
    {0xffeb, "Super_L"},
    {0xffe2, "Shift_R"},
    {0xffe1, "Shift_L"},
    {0xffe8, "Meta_R"},
    {0xffe7, "Meta_L"},
    {0xff67, "Menu"},
    {0xffee, "Hyper_R"},
    {0xffed, "Hyper_L"},
    {0xff14, "Scroll_Lock"},
    {0xff13, "Pause"},
    {0xff61, "Print"},
    {0x1008ff2b, "XF86WakeUp"},
};

} // namespace

HoldKeyRecorderModel::HoldKeyRecorderModel(std::shared_ptr<PreferencesStore> store,
                                           std::function<QString(const QString &)> displayName,
                                           QObject *parent)
    : QObject(parent)
    , m_store(std::move(store))
    , m_displayName(std::move(displayName)) {
    const std::optional<QString> stored =
        m_store ? m_store->stringValue(preferenceKey) : std::nullopt;
    m_keysym = stored && !stored->isEmpty() ? *stored : defaultKeysym;
}

QString HoldKeyRecorderModel::holdKeyName(quint32 keysym) {
    for (const HoldKey &key : holdKeys)
        if (key.keysym == keysym)
            return QString::fromLatin1(key.name);
    return {};
}

QString HoldKeyRecorderModel::displayText() const {
    return m_displayName ? m_displayName(m_keysym) : m_keysym;
}

QString HoldKeyRecorderModel::resetToolTip() const {
    const QString name = m_displayName ? m_displayName(defaultKeysym) : defaultKeysym;
    return QStringLiteral("Reset to default (%1)").arg(name);
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
    const QString name = holdKeyName(nativeKey);
    if (name.isEmpty())
        return true;
    store(name);
    setRecording(false);
    return true;
}

void HoldKeyRecorderModel::resetToDefault() {
    store(defaultKeysym);
}

void HoldKeyRecorderModel::setRecording(bool recording) {
    if (m_isRecording == recording)
        return;
    m_isRecording = recording;
    Q_EMIT isRecordingChanged();
}

void HoldKeyRecorderModel::store(const QString &keysym) {
    if (m_store)
        m_store->setString(preferenceKey, keysym);
    if (keysym == m_keysym)
        return;
    m_keysym = keysym;
    Q_EMIT holdKeyChanged();
}

} // namespace Orvinta

#include <OrvintaUi/ShortcutRecorderModel.h>

#include <OrvintaApp/AppServices.h>
#include <OrvintaApp/KeyTable.h>

#include <QList>
#include <QPointer>

namespace Orvinta {

namespace {

int s_recording = 0;
/// The fields alive now, so that a change through one refreshes the others.
QList<ShortcutRecorderModel *> s_fields;

} // namespace

CaptureDecision captureDecision(std::uint16_t keyCode, std::uint64_t flags) {
    if (keyCode == 53)
        return CaptureDecision::cancel;
    return KeyCombo{keyCode, flags}.isGlobalShortcut() ? CaptureDecision::record
                                                       : CaptureDecision::ignore;
}

std::uint64_t referenceFlags(Qt::KeyboardModifiers modifiers) {
    std::uint64_t flags = 0;
    if (modifiers & Qt::ShiftModifier)
        flags |= KeyCombo::shift;
    if (modifiers & Qt::ControlModifier)
        flags |= KeyCombo::control;
    if (modifiers & Qt::AltModifier)
        flags |= KeyCombo::option;
    if (modifiers & Qt::MetaModifier)
        flags |= KeyCombo::command;
    return flags;
}

ShortcutRecorderModel::ShortcutRecorderModel(std::shared_ptr<HotkeyService> service,
                                             HotkeyAction action, QObject *parent)
    : QObject(parent)
    , m_service(std::move(service))
    , m_action(action)
    , m_fallback(defaultCombo(action)) {
    s_fields.append(this);
}

ShortcutRecorderModel::~ShortcutRecorderModel() {
    s_fields.removeOne(this);
    setRecording(false);
}

int ShortcutRecorderModel::recordingCount() {
    return s_recording;
}

QString ShortcutRecorderModel::label() const {
    return actionLabel(m_action);
}

KeyCombo ShortcutRecorderModel::combo() const {
    return m_service ? m_service->combo(m_action) : m_fallback;
}

QString ShortcutRecorderModel::displayText() const {
    return combo().displayString();
}

bool ShortcutRecorderModel::canReset() const {
    return combo() != defaultCombo(m_action);
}

QString ShortcutRecorderModel::resetToolTip() const {
    return QStringLiteral("Reset to default (%1)").arg(defaultCombo(m_action).displayString());
}

bool ShortcutRecorderModel::isRegistered() const {
    return m_service && m_service->isRegistered(m_action);
}

QString ShortcutRecorderModel::failureText() const {
    if (!m_service || s_recording > 0 || m_service->isRegistered(m_action))
        return {};
    QString reason = m_service->failureReason(m_action);
    if (reason.isEmpty())
        reason = QStringLiteral("the desktop refused it");
    return QStringLiteral("%1 does not work: %2").arg(displayText(), reason);
}

void ShortcutRecorderModel::setRecording(bool recording) {
    if (recording == m_isRecording)
        return;
    m_isRecording = recording;
    s_recording += recording ? 1 : -1;
    if (m_service)
        m_service->setSuspended(s_recording > 0);
    Q_EMIT isRecordingChanged();
    refreshFieldsOfService();
}

void ShortcutRecorderModel::toggleRecording() {
    setRecording(!m_isRecording);
}

void ShortcutRecorderModel::cancelRecording() {
    setRecording(false);
}

bool ShortcutRecorderModel::handleKeyPress(int qtKey, int qtModifiers) {
    if (!m_isRecording)
        return false;
    // Modifier keys on their own and keys without a reference code keep the field waiting.
    const auto modifiers = Qt::KeyboardModifiers(qtModifiers);
    if (const auto keyCode = referenceKeyCode(qtKey, modifiers))
        handleReferenceKeyPress(*keyCode, referenceFlags(modifiers));
    return true;
}

void ShortcutRecorderModel::handleReferenceKeyPress(std::uint16_t keyCode, std::uint64_t flags) {
    if (!m_isRecording)
        return;
    switch (captureDecision(keyCode, flags)) {
    case CaptureDecision::cancel:
        setRecording(false);
        break;
    case CaptureDecision::record:
        apply(KeyCombo{keyCode, flags & 0xFFFF0000u});
        setRecording(false);
        Q_EMIT recorded(displayText());
        break;
    case CaptureDecision::ignore:
        break;
    }
}

void ShortcutRecorderModel::resetToDefault() {
    apply(defaultCombo(m_action));
}

void ShortcutRecorderModel::apply(const KeyCombo &newCombo) {
    if (m_service)
        m_service->setCombo(m_action, newCombo);
    else
        m_fallback = newCombo;
    Q_EMIT comboChanged();
    refreshFieldsOfService();
}

void ShortcutRecorderModel::refresh() {
    Q_EMIT comboChanged();
    Q_EMIT registrationChanged();
}

void ShortcutRecorderModel::refreshFieldsOfService() {
    if (!m_service) {
        Q_EMIT registrationChanged();
        return;
    }
    // A copy: a field's listener may destroy fields.
    QList<QPointer<ShortcutRecorderModel>> fields;
    for (ShortcutRecorderModel *field : s_fields)
        fields << field;
    for (const QPointer<ShortcutRecorderModel> &field : fields)
        if (field && field->m_service == m_service)
            Q_EMIT field->registrationChanged();
}

} // namespace Orvinta

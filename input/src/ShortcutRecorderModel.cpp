#include <OrvintaInput/ShortcutRecorderModel.h>

#include <OrvintaApp/AppServices.h>

namespace Orvinta {

namespace {

int s_recording = 0;

} // namespace

CaptureDecision captureDecision(std::uint16_t keyCode, std::uint64_t flags) {
    if (keyCode == 53)
        return CaptureDecision::cancel;
    return (flags & 0xFFFF0000u) != 0 ? CaptureDecision::record : CaptureDecision::ignore;
}

std::optional<std::uint16_t> referenceKeyCode(int qtKey) {
    switch (qtKey) {
    case Qt::Key_A:
        return 0;
    case Qt::Key_S:
        return 1;
    case Qt::Key_D:
        return 2;
    case Qt::Key_F:
        return 3;
    case Qt::Key_H:
        return 4;
    case Qt::Key_G:
        return 5;
    case Qt::Key_Z:
        return 6;
    case Qt::Key_X:
        return 7;
    case Qt::Key_C:
        return 8;
    case Qt::Key_V:
        return 9;
    case Qt::Key_section:
        return 10;
    case Qt::Key_B:
        return 11;
    case Qt::Key_Q:
        return 12;
    case Qt::Key_W:
        return 13;
    case Qt::Key_E:
        return 14;
    case Qt::Key_R:
        return 15;
    case Qt::Key_Y:
        return 16;
    case Qt::Key_T:
        return 17;
    case Qt::Key_1:
    case Qt::Key_Exclam:
        return 18;
    case Qt::Key_2:
    case Qt::Key_At:
        return 19;
    case Qt::Key_3:
    case Qt::Key_NumberSign:
        return 20;
    case Qt::Key_4:
    case Qt::Key_Dollar:
        return 21;
    case Qt::Key_6:
    case Qt::Key_AsciiCircum:
        return 22;
    case Qt::Key_5:
    case Qt::Key_Percent:
        return 23;
    case Qt::Key_Equal:
    case Qt::Key_Plus:
        return 24;
    case Qt::Key_9:
    case Qt::Key_ParenLeft:
        return 25;
    case Qt::Key_7:
    case Qt::Key_Ampersand:
        return 26;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        return 27;
    case Qt::Key_8:
    case Qt::Key_Asterisk:
        return 28;
    case Qt::Key_0:
    case Qt::Key_ParenRight:
        return 29;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight:
        return 30;
    case Qt::Key_O:
        return 31;
    case Qt::Key_U:
        return 32;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft:
        return 33;
    case Qt::Key_I:
        return 34;
    case Qt::Key_P:
        return 35;
    case Qt::Key_Return:
        return 36;
    case Qt::Key_L:
        return 37;
    case Qt::Key_J:
        return 38;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl:
        return 39;
    case Qt::Key_K:
        return 40;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon:
        return 41;
    case Qt::Key_Backslash:
    case Qt::Key_Bar:
        return 42;
    case Qt::Key_Comma:
    case Qt::Key_Less:
        return 43;
    case Qt::Key_Slash:
    case Qt::Key_Question:
        return 44;
    case Qt::Key_N:
        return 45;
    case Qt::Key_M:
        return 46;
    case Qt::Key_Period:
    case Qt::Key_Greater:
        return 47;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 48;
    case Qt::Key_Space:
        return 49;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde:
        return 50;
    case Qt::Key_Backspace:
        return 51;
    case Qt::Key_Escape:
        return 53;
    case Qt::Key_Enter:
        return 76;
    case Qt::Key_F1:
        return 122;
    case Qt::Key_F2:
        return 120;
    case Qt::Key_F3:
        return 99;
    case Qt::Key_F4:
        return 118;
    case Qt::Key_F5:
        return 96;
    case Qt::Key_F6:
        return 97;
    case Qt::Key_F7:
        return 98;
    case Qt::Key_F8:
        return 100;
    case Qt::Key_F9:
        return 101;
    case Qt::Key_F10:
        return 109;
    case Qt::Key_F11:
        return 103;
    case Qt::Key_F12:
        return 111;
    case Qt::Key_F13:
        return 105;
    case Qt::Key_F14:
        return 107;
    case Qt::Key_F15:
        return 113;
    case Qt::Key_F16:
        return 106;
    case Qt::Key_F17:
        return 64;
    case Qt::Key_F18:
        return 79;
    case Qt::Key_F19:
        return 80;
    case Qt::Key_F20:
        return 90;
    case Qt::Key_Insert:
    case Qt::Key_Help:
        return 114;
    case Qt::Key_Home:
        return 115;
    case Qt::Key_PageUp:
        return 116;
    case Qt::Key_Delete:
        return 117;
    case Qt::Key_End:
        return 119;
    case Qt::Key_PageDown:
        return 121;
    case Qt::Key_Left:
        return 123;
    case Qt::Key_Right:
        return 124;
    case Qt::Key_Down:
        return 125;
    case Qt::Key_Up:
        return 126;
    default:
        return std::nullopt;
    }
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
    , m_fallback(defaultCombo(action)) {}

ShortcutRecorderModel::~ShortcutRecorderModel() {
    setRecording(false);
}

int ShortcutRecorderModel::recordingCount() {
    return s_recording;
}

void ShortcutRecorderModel::setAction(int action) {
    if (action < 1 || action > 4 || action == static_cast<int>(m_action))
        return;
    setRecording(false);
    m_action = static_cast<HotkeyAction>(action);
    m_fallback = defaultCombo(m_action);
    Q_EMIT actionChanged();
    Q_EMIT comboChanged();
    Q_EMIT registrationChanged();
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

void ShortcutRecorderModel::setRecording(bool recording) {
    if (recording == m_isRecording)
        return;
    m_isRecording = recording;
    s_recording += recording ? 1 : -1;
    if (m_service)
        m_service->setSuspended(s_recording > 0);
    Q_EMIT isRecordingChanged();
    Q_EMIT registrationChanged();
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
    if (const auto keyCode = referenceKeyCode(qtKey))
        handleReferenceKeyPress(*keyCode, referenceFlags(Qt::KeyboardModifiers(qtModifiers)));
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
    Q_EMIT registrationChanged();
}

void ShortcutRecorderModel::refresh() {
    Q_EMIT comboChanged();
    Q_EMIT registrationChanged();
}

} // namespace Orvinta

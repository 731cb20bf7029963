#include <OrvintaApp/KeyCombo.h>

#include <OrvintaApp/KeyTable.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cmath>

namespace Orvinta {

bool KeyCombo::isGlobalShortcut() const {
    if (modifiers & (control | option | command))
        return true;
    const KeyRow *row = keyRowForCode(keyCode);
    const Qt::Key key = row ? row->qtKey.key() : Qt::Key_unknown;
    return key >= Qt::Key_F13 && key <= Qt::Key_F24;
}

QString KeyCombo::displayString() const {
    // As Linux desktops write shortcuts: "Ctrl+Alt+S", "Super+Shift+Space".
    QStringList parts;
    if (modifiers & command)
        parts << QStringLiteral("Super");
    if (modifiers & control)
        parts << QStringLiteral("Ctrl");
    if (modifiers & option)
        parts << QStringLiteral("Alt");
    if (modifiers & shift)
        parts << QStringLiteral("Shift");
    parts << keyName(keyCode);
    return parts.join(QLatin1Char('+'));
}

std::uint32_t KeyCombo::carbonModifiers() const {
    std::uint32_t mask = 0;
    if (modifiers & shift)
        mask |= 0x200;
    if (modifiers & control)
        mask |= 0x1000;
    if (modifiers & option)
        mask |= 0x800;
    if (modifiers & command)
        mask |= 0x100;
    return mask;
}

QByteArray KeyCombo::toJson() const {
    const QJsonObject object{{QStringLiteral("keyCode"), static_cast<qint64>(keyCode)},
                             {QStringLiteral("modifiers"), static_cast<qint64>(modifiers)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

namespace {

/// A JSON number that is a whole number within [0, max].
std::optional<std::uint64_t> wholeNumber(const QJsonValue &value, double max) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number < 0 || number > max || std::floor(number) != number)
        return std::nullopt;
    return static_cast<std::uint64_t>(number);
}

} // namespace

std::optional<KeyCombo> KeyCombo::fromJson(const QByteArray &json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const auto keyCode = wholeNumber(object.value(QStringLiteral("keyCode")), 65535);
    // Doubles hold whole numbers exactly only up to 2^53.
    const auto modifiers =
        wholeNumber(object.value(QStringLiteral("modifiers")), 9007199254740992.0);
    if (!keyCode || !modifiers)
        return std::nullopt;
    return KeyCombo{static_cast<std::uint16_t>(*keyCode), *modifiers};
}

KeyCombo defaultCombo(HotkeyAction action) {
    constexpr std::uint64_t controlOption = KeyCombo::control | KeyCombo::option;
    switch (action) {
    case HotkeyAction::toggleListening:
        return {1, controlOption};
    case HotkeyAction::toggleAutoCopy:
        return {8, controlOption};
    case HotkeyAction::toggleAutoPaste:
        return {9, controlOption};
    case HotkeyAction::toggleOverlay:
        return {31, controlOption};
    case HotkeyAction::focusCaptions:
        return {3, controlOption};
    }
    return {};
}

QString comboPreferenceKey(HotkeyAction action) {
    switch (action) {
    case HotkeyAction::toggleListening:
        return QStringLiteral("app.hotkeyCombo");
    case HotkeyAction::toggleAutoCopy:
        return QStringLiteral("app.autoCopyCombo");
    case HotkeyAction::toggleAutoPaste:
        return QStringLiteral("app.autoPasteCombo");
    case HotkeyAction::toggleOverlay:
        return QStringLiteral("app.toggleOverlayCombo");
    case HotkeyAction::focusCaptions:
        return QStringLiteral("app.focusCaptionsCombo");
    }
    return {};
}

QString actionLabel(HotkeyAction action) {
    switch (action) {
    case HotkeyAction::toggleListening:
        return QStringLiteral("Toggle Recording");
    case HotkeyAction::toggleAutoCopy:
        return QStringLiteral("Toggle Auto Copy");
    case HotkeyAction::toggleAutoPaste:
        return QStringLiteral("Toggle Auto Paste");
    case HotkeyAction::toggleOverlay:
        return QStringLiteral("Toggle Overlay");
    case HotkeyAction::focusCaptions:
        return QStringLiteral("Focus captions");
    }
    return {};
}

} // namespace Orvinta

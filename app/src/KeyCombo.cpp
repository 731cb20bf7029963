#include <OrvintaApp/KeyCombo.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace Orvinta {

QString keyName(std::uint16_t keyCode) {
    switch (keyCode) {
    case 0:
        return QStringLiteral("A");
    case 1:
        return QStringLiteral("S");
    case 2:
        return QStringLiteral("D");
    case 3:
        return QStringLiteral("F");
    case 4:
        return QStringLiteral("H");
    case 5:
        return QStringLiteral("G");
    case 6:
        return QStringLiteral("Z");
    case 7:
        return QStringLiteral("X");
    case 8:
        return QStringLiteral("C");
    case 9:
        return QStringLiteral("V");
    case 11:
        return QStringLiteral("B");
    case 12:
        return QStringLiteral("Q");
    case 13:
        return QStringLiteral("W");
    case 14:
        return QStringLiteral("E");
    case 15:
        return QStringLiteral("R");
    case 16:
        return QStringLiteral("Y");
    case 17:
        return QStringLiteral("T");
    case 18:
        return QStringLiteral("1");
    case 19:
        return QStringLiteral("2");
    case 20:
        return QStringLiteral("3");
    case 21:
        return QStringLiteral("4");
    case 22:
        return QStringLiteral("6");
    case 23:
        return QStringLiteral("5");
    case 24:
        return QStringLiteral("=");
    case 25:
        return QStringLiteral("9");
    case 26:
        return QStringLiteral("7");
    case 27:
        return QStringLiteral("-");
    case 28:
        return QStringLiteral("8");
    case 29:
        return QStringLiteral("0");
    case 30:
        return QStringLiteral("]");
    case 31:
        return QStringLiteral("O");
    case 32:
        return QStringLiteral("U");
    case 33:
        return QStringLiteral("[");
    case 34:
        return QStringLiteral("I");
    case 35:
        return QStringLiteral("P");
    case 36:
        return QStringLiteral("Return");
    case 37:
        return QStringLiteral("L");
    case 38:
        return QStringLiteral("J");
    case 39:
        return QStringLiteral("'");
    case 40:
        return QStringLiteral("K");
    case 41:
        return QStringLiteral(";");
    case 42:
        return QStringLiteral("\\");
    case 43:
        return QStringLiteral(",");
    case 44:
        return QStringLiteral("/");
    case 45:
        return QStringLiteral("N");
    case 46:
        return QStringLiteral("M");
    case 47:
        return QStringLiteral(".");
    case 48:
        return QStringLiteral("Tab");
    case 49:
        return QStringLiteral("Space");
    case 50:
        return QStringLiteral("`");
    case 51:
        return QStringLiteral("Delete");
    case 53:
        return QStringLiteral("Esc");
    case 76:
        return QStringLiteral("Enter");
    case 96:
        return QStringLiteral("F5");
    case 97:
        return QStringLiteral("F6");
    case 98:
        return QStringLiteral("F7");
    case 99:
        return QStringLiteral("F3");
    case 100:
        return QStringLiteral("F8");
    case 101:
        return QStringLiteral("F9");
    case 103:
        return QStringLiteral("F11");
    case 109:
        return QStringLiteral("F10");
    case 111:
        return QStringLiteral("F12");
    case 118:
        return QStringLiteral("F4");
    case 120:
        return QStringLiteral("F2");
    case 122:
        return QStringLiteral("F1");
    case 123:
        return QStringLiteral("←");
    case 124:
        return QStringLiteral("→");
    case 125:
        return QStringLiteral("↓");
    case 126:
        return QStringLiteral("↑");
    default:
        return QStringLiteral("Key%1").arg(keyCode);
    }
}

QString KeyCombo::displayString() const {
    QString text;
    if (modifiers & control)
        text += QStringLiteral("⌃");
    if (modifiers & option)
        text += QStringLiteral("⌥");
    if (modifiers & shift)
        text += QStringLiteral("⇧");
    if (modifiers & command)
        text += QStringLiteral("⌘");
    return text + keyName(keyCode);
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
    }
    return {};
}

} // namespace Orvinta

#include <OrvintaApp/KeyTable.h>

namespace Orvinta {

namespace {

constexpr Qt::KeyboardModifier keypad = Qt::KeypadModifier;

constexpr KeyRow rows[] = {
    {0, "a", Qt::Key_A, {}, "A"},
    {1, "s", Qt::Key_S, {}, "S"},
    {2, "d", Qt::Key_D, {}, "D"},
    {3, "f", Qt::Key_F, {}, "F"},
    {4, "h", Qt::Key_H, {}, "H"},
    {5, "g", Qt::Key_G, {}, "G"},
    {6, "z", Qt::Key_Z, {}, "Z"},
    {7, "x", Qt::Key_X, {}, "X"},
    {8, "c", Qt::Key_C, {}, "C"},
    {9, "v", Qt::Key_V, {}, "V"},
    {10, "section", Qt::Key_section, {}, "§"},
    {11, "b", Qt::Key_B, {}, "B"},
    {12, "q", Qt::Key_Q, {}, "Q"},
    {13, "w", Qt::Key_W, {}, "W"},
    {14, "e", Qt::Key_E, {}, "E"},
    {15, "r", Qt::Key_R, {}, "R"},
    {16, "y", Qt::Key_Y, {}, "Y"},
    {17, "t", Qt::Key_T, {}, "T"},
    {18, "1", Qt::Key_1, Qt::Key_Exclam, "1"},
    {19, "2", Qt::Key_2, Qt::Key_At, "2"},
    {20, "3", Qt::Key_3, Qt::Key_NumberSign, "3"},
    {21, "4", Qt::Key_4, Qt::Key_Dollar, "4"},
    {22, "6", Qt::Key_6, Qt::Key_AsciiCircum, "6"},
    {23, "5", Qt::Key_5, Qt::Key_Percent, "5"},
    {24, "equal", Qt::Key_Equal, Qt::Key_Plus, "="},
    {25, "9", Qt::Key_9, Qt::Key_ParenLeft, "9"},
    {26, "7", Qt::Key_7, Qt::Key_Ampersand, "7"},
    {27, "minus", Qt::Key_Minus, Qt::Key_Underscore, "-"},
    {28, "8", Qt::Key_8, Qt::Key_Asterisk, "8"},
    {29, "0", Qt::Key_0, Qt::Key_ParenRight, "0"},
    {30, "bracketright", Qt::Key_BracketRight, Qt::Key_BraceRight, "]"},
    {31, "o", Qt::Key_O, {}, "O"},
    {32, "u", Qt::Key_U, {}, "U"},
    {33, "bracketleft", Qt::Key_BracketLeft, Qt::Key_BraceLeft, "["},
    {34, "i", Qt::Key_I, {}, "I"},
    {35, "p", Qt::Key_P, {}, "P"},
    {36, "Return", Qt::Key_Return, {}, "Return"},
    {37, "l", Qt::Key_L, {}, "L"},
    {38, "j", Qt::Key_J, {}, "J"},
    {39, "apostrophe", Qt::Key_Apostrophe, Qt::Key_QuoteDbl, "'"},
    {40, "k", Qt::Key_K, {}, "K"},
    {41, "semicolon", Qt::Key_Semicolon, Qt::Key_Colon, ";"},
    {42, "backslash", Qt::Key_Backslash, Qt::Key_Bar, "\\"},
    {43, "comma", Qt::Key_Comma, Qt::Key_Less, ","},
    {44, "slash", Qt::Key_Slash, Qt::Key_Question, "/"},
    {45, "n", Qt::Key_N, {}, "N"},
    {46, "m", Qt::Key_M, {}, "M"},
    {47, "period", Qt::Key_Period, Qt::Key_Greater, "."},
    {48, "Tab", Qt::Key_Tab, Qt::Key_Backtab, "Tab"},
    {49, "space", Qt::Key_Space, {}, "Space"},
    {50, "grave", Qt::Key_QuoteLeft, Qt::Key_AsciiTilde, "`"},
    {51, "BackSpace", Qt::Key_Backspace, {}, "Backspace"},
    {53, "Escape", Qt::Key_Escape, {}, "Esc"},
    {64, "F17", Qt::Key_F17, {}, "F17"},
    {65, "KP_Decimal", keypad | Qt::Key_Period, keypad | Qt::Key_Delete, "Keypad ."},
    {67, "KP_Multiply", keypad | Qt::Key_Asterisk, {}, "Keypad *"},
    {69, "KP_Add", keypad | Qt::Key_Plus, {}, "Keypad +"},
    {75, "KP_Divide", keypad | Qt::Key_Slash, {}, "Keypad /"},
    {76, "KP_Enter", keypad | Qt::Key_Enter, {}, "Enter"},
    {78, "KP_Subtract", keypad | Qt::Key_Minus, {}, "Keypad -"},
    {79, "F18", Qt::Key_F18, {}, "F18"},
    {80, "F19", Qt::Key_F19, {}, "F19"},
    // Qt 6.4 reports it as the = key, without the keypad flag.
    {81, "KP_Equal", {}, {}, "Keypad ="},
    {82, "KP_0", keypad | Qt::Key_0, keypad | Qt::Key_Insert, "Keypad 0"},
    {83, "KP_1", keypad | Qt::Key_1, keypad | Qt::Key_End, "Keypad 1"},
    {84, "KP_2", keypad | Qt::Key_2, keypad | Qt::Key_Down, "Keypad 2"},
    {85, "KP_3", keypad | Qt::Key_3, keypad | Qt::Key_PageDown, "Keypad 3"},
    {86, "KP_4", keypad | Qt::Key_4, keypad | Qt::Key_Left, "Keypad 4"},
    {87, "KP_5", keypad | Qt::Key_5, keypad | Qt::Key_Clear, "Keypad 5"},
    {88, "KP_6", keypad | Qt::Key_6, keypad | Qt::Key_Right, "Keypad 6"},
    {89, "KP_7", keypad | Qt::Key_7, keypad | Qt::Key_Home, "Keypad 7"},
    {90, "F20", Qt::Key_F20, {}, "F20"},
    {91, "KP_8", keypad | Qt::Key_8, keypad | Qt::Key_Up, "Keypad 8"},
    {92, "KP_9", keypad | Qt::Key_9, keypad | Qt::Key_PageUp, "Keypad 9"},
    {96, "F5", Qt::Key_F5, {}, "F5"},
    {97, "F6", Qt::Key_F6, {}, "F6"},
    {98, "F7", Qt::Key_F7, {}, "F7"},
    {99, "F3", Qt::Key_F3, {}, "F3"},
    {100, "F8", Qt::Key_F8, {}, "F8"},
    {101, "F9", Qt::Key_F9, {}, "F9"},
    {103, "F11", Qt::Key_F11, {}, "F11"},
    {105, "F13", Qt::Key_F13, {}, "F13"},
    {106, "F16", Qt::Key_F16, {}, "F16"},
    {107, "F14", Qt::Key_F14, {}, "F14"},
    {109, "F10", Qt::Key_F10, {}, "F10"},
    {111, "F12", Qt::Key_F12, {}, "F12"},
    {113, "F15", Qt::Key_F15, {}, "F15"},
    {114, "Insert", Qt::Key_Insert, {}, "Insert"},
    {115, "Home", Qt::Key_Home, {}, "Home"},
    {116, "Prior", Qt::Key_PageUp, {}, "PgUp"},
    {117, "Delete", Qt::Key_Delete, {}, "Delete"},
    {118, "F4", Qt::Key_F4, {}, "F4"},
    {119, "End", Qt::Key_End, {}, "End"},
    {120, "F2", Qt::Key_F2, {}, "F2"},
    {121, "Next", Qt::Key_PageDown, {}, "PgDown"},
    {122, "F1", Qt::Key_F1, {}, "F1"},
    {123, "Left", Qt::Key_Left, {}, "Left"},
    {124, "Right", Qt::Key_Right, {}, "Right"},
    {125, "Down", Qt::Key_Down, {}, "Down"},
    {126, "Up", Qt::Key_Up, {}, "Up"},
};

// Holding Caps Lock or Scroll Lock also switches its lock, as any press of it does.
constexpr HoldKey holdKeyRows[] = {
    {0xffe4, "Control_R", "Right Ctrl"},
    {0xffe3, "Control_L", "Left Ctrl"},
    {0xffea, "Alt_R", "Right Alt"},
    {0xffe9, "Alt_L", "Left Alt"},
    {0xfe03, "ISO_Level3_Shift", "AltGr"},
    {0xffec, "Super_R", "Right Super"},
    {0xffeb, "Super_L", "Left Super"},
    {0xffe2, "Shift_R", "Right Shift"},
    {0xffe1, "Shift_L", "Left Shift"},
    {0xffe8, "Meta_R", "Right Meta"},
    {0xffe7, "Meta_L", "Left Meta"},
    {0xff67, "Menu", "Menu"},
    {0xffee, "Hyper_R", "Right Hyper"},
    {0xffed, "Hyper_L", "Left Hyper"},
    {0xffe5, "Caps_Lock", "Caps Lock"},
    {0xff14, "Scroll_Lock", "Scroll Lock"},
    {0xff13, "Pause", "Pause"},
    {0xff61, "Print", "Print Screen"},
    {0x1008ff2b, "XF86WakeUp", "Fn"},
};

bool onKeypad(QKeyCombination key) {
    return key.keyboardModifiers().testFlag(Qt::KeypadModifier);
}

const KeyRow *rowForQtKey(Qt::Key key, bool pressedOnKeypad, bool keypadMustAgree) {
    for (const KeyRow &row : rows)
        for (QKeyCombination qt : {row.qtKey, row.otherQtKey})
            if (qt.key() == key && (!keypadMustAgree || onKeypad(qt) == pressedOnKeypad))
                return &row;
    return nullptr;
}

} // namespace

std::span<const KeyRow> keyTable() {
    return rows;
}

const KeyRow *keyRowForCode(std::uint16_t keyCode) {
    for (const KeyRow &row : rows)
        if (row.keyCode == keyCode)
            return &row;
    return nullptr;
}

std::optional<std::uint16_t> referenceKeyCode(int qtKey, Qt::KeyboardModifiers modifiers) {
    const auto key = static_cast<Qt::Key>(qtKey);
    if (key == Qt::Key_unknown)
        return std::nullopt;
    const bool pressedOnKeypad = modifiers.testFlag(Qt::KeypadModifier);
    // Keypad keys that have no row of their own (keypad space, tab, comma)
    // count as the main keys, and so does a keypad Enter reported without the flag.
    const KeyRow *row = rowForQtKey(key, pressedOnKeypad, true);
    if (!row)
        row = rowForQtKey(key, pressedOnKeypad, false);
    if (!row)
        return std::nullopt;
    return row->keyCode;
}

QString keyName(std::uint16_t keyCode) {
    const KeyRow *row = keyRowForCode(keyCode);
    if (row && row->name)
        return QString::fromUtf8(row->name);
    return QStringLiteral("Key%1").arg(keyCode);
}

std::span<const HoldKey> holdKeys() {
    return holdKeyRows;
}

const HoldKey *holdKeyForKeysym(std::uint32_t keysym) {
    for (const HoldKey &key : holdKeyRows)
        if (key.keysym == keysym)
            return &key;
    return nullptr;
}

QString holdKeyDisplayName(const QString &keysymName) {
    for (const HoldKey &key : holdKeyRows)
        if (keysymName == QLatin1String(key.keysymName))
            return QString::fromUtf8(key.displayName);
    return keysymName;
}

} // namespace Orvinta

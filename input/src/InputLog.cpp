#include <OrvintaInput/InputLog.h>

Q_LOGGING_CATEGORY(lcHotkey, "com.orvinta.Hotkey")
Q_LOGGING_CATEGORY(lcDictationKey, "com.orvinta.DictationKey")
Q_LOGGING_CATEGORY(lcPaste, "com.orvinta.Paste")

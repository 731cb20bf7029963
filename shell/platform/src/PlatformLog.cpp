#include <OrvintaPlatform/PlatformLog.h>

Q_LOGGING_CATEGORY(lcSounds, "com.orvinta.Sounds")
Q_LOGGING_CATEGORY(lcClipboard, "com.orvinta.Clipboard")

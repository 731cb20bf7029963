#include <OrvintaEngine/SpeechLog.h>

Q_LOGGING_CATEGORY(lcSpeech, "com.orvinta.Speech")
Q_LOGGING_CATEGORY(lcSpeechText, "com.orvinta.Speech.text", QtWarningMsg)

#include <OrvintaEngine/SpeechLog.h>

Q_LOGGING_CATEGORY(lcSpeech, "com.orvinta.Speech")

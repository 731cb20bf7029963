#include <OrvintaApp/AppLog.h>

Q_LOGGING_CATEGORY(lcAppState, "com.orvinta.AppState")
Q_LOGGING_CATEGORY(lcTranscriptText, "com.orvinta.AppState.text", QtWarningMsg)
Q_LOGGING_CATEGORY(lcTasks, "com.orvinta.Tasks")

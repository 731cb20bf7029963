#include <OrvintaUpdates/UpdateLog.h>

Q_LOGGING_CATEGORY(lcUpdater, "com.orvinta.Updater")

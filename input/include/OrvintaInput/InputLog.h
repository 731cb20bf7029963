#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcHotkey)
Q_DECLARE_LOGGING_CATEGORY(lcDictationKey)
Q_DECLARE_LOGGING_CATEGORY(lcPaste)

#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcSpeech)
/// Lines that quote what was said: off by default.
Q_DECLARE_LOGGING_CATEGORY(lcSpeechText)

#pragma once

#include <QLoggingCategory>

/// The application state's own steps.
Q_DECLARE_LOGGING_CATEGORY(lcAppState)
/// What was said, quoted: off by default, since the transcript itself is
/// kept readable by its owner only.
Q_DECLARE_LOGGING_CATEGORY(lcTranscriptText)
Q_DECLARE_LOGGING_CATEGORY(lcTasks)

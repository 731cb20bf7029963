#include "Fakes.h"

#include <QMutex>

namespace OrvintaTest {

namespace {
QMutex logMutex;
QStringList *collected = nullptr;
QtMessageHandler previousHandler = nullptr;

void collect(QtMsgType, const QMessageLogContext &context, const QString &message) {
    QMutexLocker lock(&logMutex);
    if (collected && context.category &&
        QLatin1String(context.category) == QLatin1String("com.orvinta.Speech"))
        collected->append(message);
}
} // namespace

LogCapture::LogCapture() {
    QMutexLocker lock(&logMutex);
    collected = new QStringList;
    previousHandler = qInstallMessageHandler(collect);
}

LogCapture::~LogCapture() {
    qInstallMessageHandler(previousHandler);
    QMutexLocker lock(&logMutex);
    delete collected;
    collected = nullptr;
}

QStringList LogCapture::lines() const {
    QMutexLocker lock(&logMutex);
    return collected ? *collected : QStringList();
}

qsizetype LogCapture::indexOf(const QString &line, qsizetype from) const {
    return lines().indexOf(line, from);
}

RecognitionResult
finalResult(const std::vector<std::pair<std::string, std::pair<double, double>>> &words) {
    RecognitionResult result{true, {}};
    for (const auto &[text, range] : words) {
        const auto start = MediaTime(static_cast<std::int64_t>(range.first * 1e6));
        const auto end = MediaTime(static_cast<std::int64_t>(range.second * 1e6));
        result.runs.push_back(TextRun{text, AudioTimeRange{start, end - start}});
    }
    return result;
}

RecognitionResult volatileResult(const std::string &text) {
    return RecognitionResult{false, {TextRun{text, std::nullopt}}};
}

} // namespace OrvintaTest

#include "Fakes.h"

#include <OrvintaEngine/MainThread.h>
#include <OrvintaEngine/SpeechLog.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMutex>
#include <QTimer>

namespace OrvintaTest {

namespace {
QMutex logMutex;
QStringList *collected = nullptr;
QtMessageHandler previousHandler = nullptr;

void collect(QtMsgType, const QMessageLogContext &context, const QString &message) {
    QMutexLocker lock(&logMutex);
    if (collected)
        collected->append(QString("%1: %2").arg(QLatin1String(context.category), message));
}
} // namespace

LogCapture::LogCapture(bool quotedSpeech)
    : m_quotedSpeech(quotedSpeech) {
    QMutexLocker lock(&logMutex);
    collected = new QStringList;
    previousHandler = qInstallMessageHandler(collect);
    if (quotedSpeech)
        const_cast<QLoggingCategory &>(lcSpeechText()).setEnabled(QtInfoMsg, true);
}

LogCapture::~LogCapture() {
    if (m_quotedSpeech)
        const_cast<QLoggingCategory &>(lcSpeechText()).setEnabled(QtInfoMsg, false);
    qInstallMessageHandler(previousHandler);
    QMutexLocker lock(&logMutex);
    delete collected;
    collected = nullptr;
}

QStringList LogCapture::lines() const {
    QMutexLocker lock(&logMutex);
    return collected ? *collected : QStringList();
}

QStringList LogCapture::speech() const {
    QStringList messages;
    for (const QString &line : lines())
        if (line.startsWith("com.orvinta.Speech"))
            messages << line.section(": ", 1);
    return messages;
}

void await(QCoro::Task<> task) {
    std::exception_ptr failure;
    QCoro::waitFor([](QCoro::Task<> inner, std::exception_ptr &caught) -> QCoro::Task<> {
        try {
            co_await inner;
        } catch (...) {
            caught = std::current_exception();
        }
    }(std::move(task), failure));
    if (failure)
        std::rethrow_exception(failure);
}

void processEvents() {
    await(yieldMainThread());
    QCoreApplication::processEvents();
}

bool processEventsUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout) {
    QElapsedTimer timer;
    timer.start();
    bool finished = done(); // asked once per round: it may have effects
    for (; !finished && timer.elapsed() < timeout.count(); finished = done()) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return finished;
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

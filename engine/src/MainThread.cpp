#include <OrvintaEngine/MainThread.h>

#include <QCoreApplication>

namespace Orvinta {

void postToMainThread(std::function<void()> work) {
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

QCoro::Task<> yieldMainThread() {
    auto yielded = Completion<bool>::create();
    Completion<bool>::post(yielded, true);
    QCoro::Task<bool> waiting = yielded->wait(std::chrono::milliseconds(-1));
    co_await waiting;
}

std::shared_ptr<SerialWorker> makeSerialWorker(std::string threadName,
                                               const QLoggingCategory &(*category)()) {
    return std::make_shared<SerialWorker>(
        std::move(threadName),
        [category](const std::string &worker, const std::string &description) {
            qCWarning(category, "A job on %s failed: %s", worker.c_str(), description.c_str());
        });
}

} // namespace Orvinta

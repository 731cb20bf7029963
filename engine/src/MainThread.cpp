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
    co_await yielded->wait(std::chrono::milliseconds(-1));
}

} // namespace Orvinta

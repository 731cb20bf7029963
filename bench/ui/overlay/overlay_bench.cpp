// The overlay with a long transcript: how long a new line takes to appear on
// screen, what a frame costs with 50 and 5,000 lines (and how many line
// cards exist), the memory with 500 lines, and the processor time while
// nothing is said. Prints figures; runs on $DISPLAY, else off-screen.

#include "AppTestSupport.h"

#include <OrvintaPlatform/X11OverlayWindowPlatform.h>
#include <OrvintaUi/OverlaySettings.h>
#include <OrvintaUi/OverlayViewModel.h>
#include <OrvintaUi/OverlayWindowController.h>

#include <OrvintaTranslationBackends/TranslationBackend.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace Orvinta;
using namespace Orvinta::Testing;
using namespace std::chrono_literals;

namespace {

class NoTranslator : public TranslationBackend {
public:
    std::string translate(const std::string &, const std::string &, const std::string &t) override {
        return t;
    }
};

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

long rssKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Bench {
    explicit Bench(int lines) {
        // The application's own clocks, not the quickened ones of the tests.
        f.timings = Timings{};
        f.state.reset();
        f.state = f.makeState();
        QList<ConfirmedLine> restored;
        for (int i = 0; i < lines; ++i)
            restored.append(ConfirmedLine::create(
                QStringLiteral("Line %1 of a long meeting, where somebody said something worth "
                               "keeping for later.")
                    .arg(i),
                800000000.0 + i));
        f.state->transcript()->restore(restored, {});
        settings = std::make_unique<OverlaySettings>(f.preferences);
        OverlayWindowController::Services services;
        services.translation = std::make_shared<NoTranslator>();
        services.platform = makeX11OverlayWindowPlatform();
        controller = std::make_unique<OverlayWindowController>(*f.state, *settings, engine,
                                                               std::move(services));
        f.state->setupOverlay();
        window = controller->window();
        waitUntil([&] { return window && window->isExposed(); }, 20s);
        list = window->findChild<QQuickItem *>(QStringLiteral("lineList"));
        QObject::connect(window, &QQuickWindow::beforeSynchronizing, window,
                         [this] { frameClock.start(); });
        QObject::connect(window, &QQuickWindow::frameSwapped, window, [this] {
            ++frames;
            if (frameClock.isValid())
                frameTimes.push_back(static_cast<double>(frameClock.nsecsElapsed()) / 1e6);
        });
        spin(500ms);
    }

    int cards() const {
        int count = 0;
        for (QQuickItem *child : list->property("contentItem").value<QQuickItem *>()->childItems())
            if (child->property("lineId").isValid() && child->isVisible())
                ++count;
        return count;
    }

    bool lastLineDrawn() const {
        const int last = f.state->transcript()->lineCount() - 1;
        QQuickItem *item = nullptr;
        QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, item),
                                  Q_ARG(int, last));
        if (!item || !item->isVisible())
            return false;
        const QPointF bottom = item->mapToItem(list, QPointF(0, item->height()));
        return bottom.y() <= list->height() + 1;
    }

    /// Milliseconds from addConfirmedLine to the first swapped frame that shows the line.
    double addAndWaitDrawn(int n) {
        QElapsedTimer clock;
        double drawnAt = -1;
        QMetaObject::Connection swap =
            QObject::connect(window, &QQuickWindow::frameSwapped, window, [&] {
                if (drawnAt < 0 && lastLineDrawn())
                    drawnAt = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            });
        clock.start();
        f.state->addConfirmedLine(QStringLiteral("A new line number %1 arrives.").arg(n));
        waitUntil([&] { return drawnAt >= 0; }, 5s);
        QObject::disconnect(swap);
        return drawnAt;
    }

    AppFixture f;
    QQmlEngine engine;
    std::unique_ptr<OverlaySettings> settings;
    std::unique_ptr<OverlayWindowController> controller;
    QQuickWindow *window = nullptr;
    QQuickItem *list = nullptr;
    QElapsedTimer frameClock;
    int frames = 0;
    std::vector<double> frameTimes;
};

void appendCost(int lines) {
    Bench bench(lines);
    std::vector<double> latencies;
    bench.frameTimes.clear();
    const int cardsBefore = bench.cards();
    for (int i = 0; i < 30; ++i) {
        latencies.push_back(bench.addAndWaitDrawn(i));
        spin(30ms);
    }
    std::printf("%5d lines: new line drawn after median %.1f ms, max %.1f ms; frame (sync+render) "
                "median %.2f ms; line cards alive %d before, %d after 30 appends\n",
                lines, median(latencies), *std::max_element(latencies.begin(), latencies.end()),
                median(bench.frameTimes), cardsBefore, bench.cards());
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QLoggingCategory::setFilterRules(QStringLiteral("com.orvinta.*.info=false"));
    QGuiApplication app(argc, argv);
    std::printf("platform %s, scene graph %s\n", qPrintable(QGuiApplication::platformName()),
                qPrintable(QQuickWindow::sceneGraphBackend().isEmpty()
                               ? QStringLiteral("default (OpenGL if available)")
                               : QQuickWindow::sceneGraphBackend()));
    appendCost(50);
    appendCost(500);
    appendCost(5000);

    {
        Bench bench(500);
        bench.f.state->listening()->toggleListening();
        waitUntil([&] { return bench.f.state->listening()->isListening(); }, 10s);
        spin(1s);
        std::printf("RSS with 500 lines, listening, overlay shown: %.1f MB\n",
                    static_cast<double>(rssKiB()) / 1024.0);
        const int framesBefore = bench.frames;
        const double cpuBefore = processCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        // A plain event loop: the tests' waiting helper polls and would be measured.
        QEventLoop idle;
        QTimer::singleShot(5s, &idle, &QEventLoop::quit);
        idle.exec();
        const double cpu = processCpuSeconds() - cpuBefore;
        std::printf(
            "Idle for %.1f s: %.2f %% of a core, %d frames drawn, view timers running: %s\n",
            static_cast<double>(wall.elapsed()) / 1000.0,
            100.0 * cpu / (static_cast<double>(wall.elapsed()) / 1000.0),
            bench.frames - framesBefore,
            bench.controller->viewModel()->hasPendingTimers() ? "yes" : "no");
    }
    return 0;
}

#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace Orvinta::Bench {

/// Runs the event loop until `done` holds; false after `timeoutMs`.
inline bool waitFor(const std::function<bool()> &done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

/// One line of figures: the median and the worst of `samples` (ms) against `goal`.
inline void report(const char *what, std::vector<double> samples, const char *goal) {
    if (samples.empty()) {
        std::printf("%-52s no samples\n", what);
        return;
    }
    std::sort(samples.begin(), samples.end());
    std::printf("%-52s median %8.2f ms  max %8.2f ms  (n=%zu, goal %s)\n", what,
                samples[samples.size() / 2], samples.back(), samples.size(), goal);
}

} // namespace Orvinta::Bench

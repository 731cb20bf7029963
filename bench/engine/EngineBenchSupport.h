#pragma once

#include <OrvintaEngine/STTEngine.h>
#include <OrvintaEngineBackends/EngineTypes.h>

#include <QObject>

#include <QCoroTask>

#include <cstdio>

namespace Orvinta::Bench {

/// A delegate that notes whether the model is loaded and ignores the rest;
/// each benchmark keeps what it measures.
class BenchDelegate : public QObject, public STTEngineDelegate {
public:
    QString selectedLocale() const override { return QStringLiteral("en-US"); }
    void setIsModelLoading(bool) override {}
    void setIsModelLoaded(bool loaded) override { isLoaded = loaded; }
    void setModelLoadingStatus(const QString &) override {}
    void setErrorMessage(const std::optional<QString> &) override {}
    void setInterimText(const QString &) override {}
    void addConfirmedLine(const QString &) override {}
    void captureDidFail(const QString &) override {}

    bool isLoaded = false;
};

/// Runs an engine task to its end on the event loop; an engine error is
/// printed, not thrown: a benchmark goes on with its next figure.
inline void await(QCoro::Task<> task) {
    QCoro::waitFor([](QCoro::Task<> inner) -> QCoro::Task<> {
        try {
            co_await std::move(inner);
        } catch (const EngineError &error) {
            std::fprintf(stderr, "engine error: %s\n", error.description().c_str());
        }
    }(std::move(task)));
}

} // namespace Orvinta::Bench

#pragma once

#include <OrvintaEngineBackends/EngineTypes.h>

#include <QCoroTask>

#include <cstdio>

namespace Orvinta::Bench {

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

// The session file: saving and restoring a long transcript, and what a new
// line costs the main thread now that saving happens on a thread of its own.

#include <OrvintaApp/AppState.h>
#include <OrvintaApp/SessionStore.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Orvinta;

namespace {

SessionData transcript(int lines) {
    SessionData data;
    data.targetLanguage = QStringLiteral("es-ES");
    for (int i = 0; i < lines; ++i) {
        const ConfirmedLine line{
            QUuid::createUuid(),
            QStringLiteral("Line %1 of a long meeting, where somebody said something worth "
                           "keeping for later.")
                .arg(i),
            800000000.0 + i * 3.25};
        data.lines.append(line);
        data.translations.insert(line.id.toString(QUuid::WithoutBraces).toUpper(),
                                 QStringLiteral("Línea %1 de una reunión larga.").arg(i));
    }
    return data;
}

void BM_SaveSession(benchmark::State &state) {
    QTemporaryDir folder;
    SessionStore store(folder.path());
    const SessionData data = transcript(static_cast<int>(state.range(0)));
    for (auto _ : state)
        store.save(data);
    state.counters["bytes"] = static_cast<double>(encodeSession(data).size());
}

void BM_RestoreSession(benchmark::State &state) {
    QTemporaryDir folder;
    SessionStore store(folder.path());
    store.save(transcript(static_cast<int>(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(store.read());
}

void BM_AddConfirmedLine(benchmark::State &state) {
    QTemporaryDir folder;
    auto store = std::make_shared<SessionStore>(folder.path());
    store->save(transcript(static_cast<int>(state.range(0))));
    AppServices services;
    services.session = store;
    AppState app(services);
    for (auto _ : state)
        app.addConfirmedLine(QStringLiteral("One more thing somebody said in the meeting."));
    app.sessionSaver().waitForWrites();
}

} // namespace

BENCHMARK(BM_AddConfirmedLine)->Arg(500)->Arg(5000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveSession)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RestoreSession)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);
int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.info=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

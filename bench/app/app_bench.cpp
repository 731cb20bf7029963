// The session file on the main thread: saving and restoring a long transcript.

#include <OrvintaApp/SessionStore.h>

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

} // namespace

BENCHMARK(BM_SaveSession)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RestoreSession)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

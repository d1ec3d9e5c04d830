// Formatting runs for every log line and label; keep it cheap.
#include "app/format.h"

#include <benchmark/benchmark.h>

static void BM_FormatGrouped(benchmark::State& state)
{
    double v = 1234567.891;
    for (auto _ : state) {
        benchmark::DoNotOptimize(fmt::Format(v, u"#,0.00"));
        v += 1.0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatGrouped);

static void BM_Val(benchmark::State& state)
{
    const QString text = QStringLiteral("  12345.678xyz");
    for (auto _ : state)
        benchmark::DoNotOptimize(fmt::Val(text));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Val);

BENCHMARK_MAIN();

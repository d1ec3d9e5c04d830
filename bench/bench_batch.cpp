// The batch with twenty thousand queued items of thirty parts each: the InBatch lookup the header
// view makes for every row it lists, removing half the rows at once, and loading the batch file.
#include "program/app_context.h"
#include "support/test_context.h"

#include "bench_main.h"

#include <benchmark/benchmark.h>


#include <random>

namespace {

constexpr int kEntries = 20'000;
constexpr int kParts = 30;

// A program on a temporary folder, with the test fakes for its desktop services.
struct Program : TestContext {
    quint8 key = 0;

    Program() { restart(); }
    void restart()
    {
        TestContext::restart();
        ctx->groups.ngAddGroup("alt.binaries.bench");
        key = ctx->groups.ngFindKeyByGroupName("alt.binaries.bench");
        ctx->groups.ngUpdateRange(key, 1, 2'000'000'000);
    }
    // Queues kEntries items through the view table, as the Add to Batch command does.
    void fill()
    {
        ItemTable& view = ctx->view.table;
        view.clear();
        for (int i = 0; i < kEntries; ++i) {
            ItemRecord r;
            r.key = "file" + QByteArray::number(i) + ".rar [xx/0000030]";
            r.poster = "poster@example.com";
            r.totalParts = kParts;
            r.groupKey = key;
            for (int p = 0; p < kParts; ++p)
                r.parts.append({ " (" + QByteArray::number(p + 1) + "/30)", 1'000'000LL + i * kParts + p,
                    "part" + QByteArray::number(p) + "@example.com", 500'000 });
            ctx->batch.AddToBatch(view.appendRecord(r), true);
        }
        benchmark::DoNotOptimize(ctx->batch.SaveBatch());
    }
};

Program& program()
{
    static Program p;
    return p;
}

void BM_InBatch(benchmark::State& state)
{
    Program& p = program();
    if (p.ctx->batch.model().rowCount() != kEntries) {
        p.restart();
        p.fill();
    }
    std::mt19937 rng(7);
    std::uniform_int_distribution<qint64> article(1'000'000, 1'000'000LL + kEntries * kParts);
    qint64 found = 0;
    for (auto _ : state)
        found += p.ctx->batch.InBatch(article(rng), p.key) ? 1 : 0;
    benchmark::DoNotOptimize(found);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InBatch);

void BM_RemoveHalf(benchmark::State& state)
{
    Program& p = program();
    QList<int> everyOther;
    for (int row = 0; row < kEntries; row += 2)
        everyOther.append(row);
    for (auto _ : state) {
        state.PauseTiming();
        p.restart();
        p.fill();
        state.ResumeTiming();
        p.ctx->batch.Remove(everyOther); // includes rewriting the file
    }
    if (p.ctx->batch.model().rowCount() != kEntries / 2)
        state.SkipWithError("the rows were not removed");
    state.SetItemsProcessed(state.iterations() * everyOther.size());
}
BENCHMARK(BM_RemoveHalf)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_LoadBatch(benchmark::State& state)
{
    Program& p = program();
    p.restart();
    p.fill();
    for (auto _ : state) {
        state.PauseTiming();
        p.restart();
        state.ResumeTiming();
        p.ctx->batch.LoadBatch();
    }
    if (p.ctx->batch.model().rowCount() != kEntries)
        state.SkipWithError("the batch did not load");
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_LoadBatch)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

TW_BENCHMARK_QT_MAIN()

// Saving and loading the scan table of a group with a million parts, and what the loaded table
// costs in memory per part.
#include "header_engine.h"
#include "overview_lines.h"

#include "headers/header_file.h"

#include "bench_main.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <memory>

#include <malloc.h>

namespace {

constexpr qint64 kParts = 1'000'000;

struct Stored {
    std::unique_ptr<bench::HeaderEngine> engine;
    qint64 items = 0;
    qint64 parts = 0;
    QString path;
};

// A table of multipart posts of 20 to 60 parts, filed line by line as a scan files them, so it
// holds the tails and shortened message-ids a scan leaves; saved once so loading has a file.
Stored& stored()
{
    static Stored s = [] {
        Stored out;
        out.engine = std::make_unique<bench::HeaderEngine>();
        bench::HeaderEngine& e = *out.engine;
        // Lines filed one by one must lie in the range of a burst: an empty one sets it.
        e.cruncher.parse_xoverdata({}, e.burst(2'000'000'000));
        bench::OverviewOptions o;
        o.seed = 3;
        o.singlesAndText = false;
        bench::OverviewGenerator gen(o);
        const ItemTable& table = e.main.scan.table;
        while (table.partTotal() < kParts) {
            const QByteArray chunk = gen.body(50'000);
            for (qsizetype pos = 0; pos < chunk.size() && table.partTotal() < kParts;) {
                const qsizetype end = chunk.indexOf('\r', pos);
                e.cruncher.xover_proccess(QByteArrayView(chunk).sliced(pos, end - pos));
                pos = end + 2;
            }
        }
        out.items = table.count();
        out.parts = table.partTotal();
        out.path = e.main.store.headerPath(e.key);
        benchmark::DoNotOptimize(e.main.store.GNsave(e.key));
        // The figures mean nothing if the file written in chunks is not the table's exact image.
        QFile f(out.path);
        if (!f.open(QIODevice::ReadOnly) || f.readAll() != twb::serialize(table))
            qFatal("the saved file differs from the serialized table");
        return out;
    }();
    return s;
}

void BM_GNsave(benchmark::State& state)
{
    Stored& s = stored();
    bench::HeaderEngine& e = *s.engine;
    for (auto _ : state) {
        e.main.scan.table.changed = true;
        benchmark::DoNotOptimize(e.main.store.GNsave(e.key));
    }
    const qint64 fileBytes = QFileInfo(s.path).size();
    if (e.main.scan.table.changed || fileBytes <= 13)
        state.SkipWithError("the table was not saved");
    state.SetBytesProcessed(state.iterations() * fileBytes);
    state.SetItemsProcessed(state.iterations() * s.parts);
    state.counters["file_bytes"] = static_cast<double>(fileBytes);
    state.counters["items"] = static_cast<double>(s.items);
    state.counters["parts"] = static_cast<double>(s.parts);
}
BENCHMARK(BM_GNsave)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_GNload(benchmark::State& state)
{
    Stored& s = stored();
    bench::HeaderEngine& e = *s.engine;
    const qint64 fileBytes = QFileInfo(s.path).size();
    double memoryPerPart = 0;
    double residentPerPart = 0;
    std::unique_ptr<bench::TableWithStore> loaded;
    for (auto _ : state) {
        state.PauseTiming();
        loaded.reset();
        // What earlier tables freed goes back to the system, so the growth below is this load's own.
        malloc_trim(0);
        const qint64 before = bench::residentBytes();
        loaded = e.newTable();
        state.ResumeTiming();
        loaded->store.GNload(e.key);
        state.PauseTiming();
        const qint64 after = bench::residentBytes();
        const ItemTable& t = loaded->scan.table;
        if (t.count() != s.items || t.partTotal() != s.parts) {
            state.SkipWithError("the loaded table differs from the saved one");
            break;
        }
        memoryPerPart = static_cast<double>(t.memoryBytes()) / static_cast<double>(s.parts);
        residentPerPart = static_cast<double>(after - before) / static_cast<double>(s.parts);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * fileBytes);
    state.SetItemsProcessed(state.iterations() * s.parts);
    state.counters["bytes_per_part"] = memoryPerPart;
    state.counters["rss_bytes_per_part"] = residentPerPart;
    state.counters["file_bytes_per_part"] = static_cast<double>(fileBytes) / static_cast<double>(s.parts);
}
BENCHMARK(BM_GNload)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

TW_BENCHMARK_QT_MAIN()

// Reading an NZB of 100,000 segments (a large post), queueing it as items, and writing it back.
#include "batch/nzb.h"
#include "batch/nzb_items.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QFile>

#include <malloc.h>

namespace {

constexpr int kFiles = 100;
constexpr int kSegmentsPerFile = 1000;

NzbDocument largePost()
{
    NzbDocument doc;
    doc.meta = { { QStringLiteral("title"), QStringLiteral("A large post") } };
    for (int f = 1; f <= kFiles; ++f) {
        NzbFile file { QStringLiteral("Dave Uploader <dave@example.invalid>"), 1796637600,
            QStringLiteral("[%1/%2] - \"harbour.part%1.rar\" yEnc (1/%3)").arg(f).arg(kFiles).arg(kSegmentsPerFile),
            { QStringLiteral("alt.binaries.test"), QStringLiteral("alt.binaries.misc") }, {} };
        for (int s = 1; s <= kSegmentsPerFile; ++s)
            file.segments.push_back({ 739811, s,
                "part" + QByteArray::number(s) + "of" + QByteArray::number(kSegmentsPerFile) + ".Xq3TgP8wZbA"
                    + QByteArray::number(f) + "@powerpost.example.invalid" });
        doc.files.push_back(std::move(file));
    }
    return doc;
}

QByteArray written(const NzbDocument& doc)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!writeNzb(buffer, doc))
        std::abort();
    return buffer.data();
}

NzbReadResult parse(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readNzb(buffer);
}

// The resident set's high-water mark in KiB, after resetting it so it measures from now on.
qint64 peakRssKiB(bool reset)
{
    if (reset) {
        // Memory freed while building the input would otherwise be reused and hide the growth.
        malloc_trim(0);
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
    }
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(reset ? "VmRSS:" : "VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

void BM_ReadNzb(benchmark::State& state)
{
    const QByteArray bytes = written(largePost());
    const qint64 before = peakRssKiB(true);
    {
        const NzbReadResult once = parse(bytes);
        if (!once.document)
            state.SkipWithError(qPrintable(once.error));
    }
    state.counters["peak_rss_delta_MiB"] = double(peakRssKiB(false) - before) / 1024;
    state.counters["file_MiB"] = double(bytes.size()) / (1024 * 1024);
    for (auto _ : state) {
        NzbReadResult r = parse(bytes);
        benchmark::DoNotOptimize(r.document->files.data());
    }
    state.SetItemsProcessed(state.iterations() * kFiles * kSegmentsPerFile);
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ReadNzb)->Unit(benchmark::kMillisecond);

// Parsed and turned into entries of an item table, as queueing it does.
void BM_ImportNzb(benchmark::State& state)
{
    const QByteArray bytes = written(largePost());
    auto import = [&bytes] {
        ItemTable table;
        const NzbReadResult r = parse(bytes);
        for (const ItemRecord& record : nzbitems::toRecords(*r.document, [](const QByteArray&) { return quint8(1); }))
            table.appendRecord(record);
        return table.count();
    };
    const qint64 before = peakRssKiB(true);
    if (import() != kFiles)
        state.SkipWithError("not every file was queued");
    state.counters["peak_rss_delta_MiB"] = double(peakRssKiB(false) - before) / 1024;
    for (auto _ : state)
        benchmark::DoNotOptimize(import());
    state.SetItemsProcessed(state.iterations() * kFiles * kSegmentsPerFile);
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ImportNzb)->Unit(benchmark::kMillisecond);

void BM_WriteNzb(benchmark::State& state)
{
    const NzbDocument doc = largePost();
    qsizetype size = 0;
    for (auto _ : state) {
        const QByteArray bytes = written(doc);
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.constData());
    }
    state.SetItemsProcessed(state.iterations() * kFiles * kSegmentsPerFile);
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_WriteNzb)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

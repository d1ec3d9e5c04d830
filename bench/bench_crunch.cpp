// Crunching XOVER replies: lines per second over large replies of four shapes, how the cost per
// line holds up as the scan table grows and as single items grow huge, and how late the event
// loop's timers run while a reply is crunched.
//
// The replies: our generated binary group; the overview INN 2 serves for the scan benchmark's
// group, captured by `tools/bench-scan capture` (TW_XOVER_FILE names another file; the case is
// skipped when there is none); one item receiving 200,000 parts; twenty items receiving 50,000 each.
#include "header_engine.h"
#include "overview_lines.h"

#include "bench_main.h"
#include "watch/watch_list.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <array>
#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr qint64 kReplyLines = 1'000'000;
constexpr qint64 kHugeItemParts = 200'000;
constexpr int kLargeItems = 20;
constexpr qint64 kLargeItemParts = 50'000;
constexpr qint64 kFreshBurstLines = 100'000;
constexpr qint64 kAnyArticle = 2'000'000'000;
constexpr int kScalingRounds = 5;

enum Input { Generated, Captured, OneHugeItem, TwentyLargeItems, InputCount };
constexpr std::array<const char*, InputCount> kInputNames
    = { "generated", "captured", "one_huge_item", "twenty_large_items" };

struct Reply {
    QByteArray body;
    qint64 lines = 0; // lines parse_xoverdata walks before its end mark
    qint64 lastArticle = 0;
    QString missing; // why the reply is empty
};

// Lines as parse_xoverdata walks them: up to the first empty or "." line.
qint64 countLines(const QByteArray& body)
{
    qint64 n = 0;
    qsizetype pos = 0;
    while (pos < body.size()) {
        qsizetype end = body.indexOf('\n', pos);
        if (end < 0)
            end = body.size();
        const QByteArrayView line = QByteArrayView(body).sliced(pos, end - pos);
        const QByteArrayView text = line.endsWith('\r') ? line.chopped(1) : line;
        if (text.isEmpty() || text == ".")
            break;
        ++n;
        pos = end + 1;
    }
    return n;
}

QString capturedPath()
{
    if (const QString file = qEnvironmentVariable("TW_XOVER_FILE"); !file.isEmpty())
        return file;
    const QString dir = qEnvironmentVariable("TW_BENCH_SCAN_DIR", QStringLiteral("/tmp/tidewhelk-bench-scan"));
    return dir + QStringLiteral("/xover.txt");
}

Reply generatedReply(const bench::OverviewOptions& options, qint64 lines)
{
    Reply out;
    bench::OverviewGenerator gen(options);
    out.body = gen.body(lines);
    out.lastArticle = gen.nextArticle() - 1;
    return out;
}

// Counter-first posts of twelve parts each, all landing in one item per poster.
bench::OverviewOptions seriesOptions(int posters)
{
    bench::OverviewOptions o;
    o.seed = 5;
    o.counterFirst = true;
    o.minParts = o.maxParts = 12;
    o.posters = posters;
    o.concurrentPosts = posters;
    return o;
}

Reply makeReply(Input input)
{
    Reply out;
    switch (input) {
    case Generated:
        out = generatedReply({}, kReplyLines);
        break;
    case Captured: {
        QFile f(capturedPath());
        if (!f.open(QIODevice::ReadOnly)) {
            out.missing = f.fileName() + QStringLiteral(" is missing: run tools/bench-scan capture");
            return out;
        }
        out.body = f.readAll();
        out.lastArticle = 0x7fffffff;
        break;
    }
    case OneHugeItem:
        out = generatedReply(seriesOptions(1), kHugeItemParts);
        break;
    case TwentyLargeItems:
        out = generatedReply(seriesOptions(kLargeItems), kLargeItems * kLargeItemParts);
        break;
    case InputCount:
        break;
    }
    out.lines = countLines(out.body);
    return out;
}

const Reply& reply(Input input)
{
    static std::array<std::unique_ptr<Reply>, InputCount> replies;
    auto& r = replies[static_cast<size_t>(input)];
    if (!r)
        r = std::make_unique<Reply>(makeReply(input));
    return *r;
}

// The reply of the case, or null after telling the benchmark why it is skipped.
const Reply* replyFor(benchmark::State& state)
{
    const auto input = static_cast<Input>(state.range(0));
    state.SetLabel(kInputNames[static_cast<size_t>(input)]);
    const Reply& r = reply(input);
    if (!r.missing.isEmpty()) {
        state.SkipWithError(qPrintable(r.missing));
        return nullptr;
    }
    return &r;
}

// CPU time of this thread, page faults included: other programs on the machine do not count.
double threadCpuNs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

void BM_CrunchReply(benchmark::State& state)
{
    const Reply* reply = replyFor(state);
    if (!reply)
        return;
    const Reply& r = *reply;
    qint64 items = 0;
    double cpuNs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto engine = std::make_unique<bench::HeaderEngine>();
        state.ResumeTiming();
        const double start = threadCpuNs();
        engine->cruncher.parse_xoverdata(r.body, engine->burst(r.lastArticle));
        cpuNs += threadCpuNs() - start;
        state.PauseTiming();
        items = engine->main.scan.table.count();
        engine.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * r.lines);
    state.SetBytesProcessed(state.iterations() * r.body.size());
    state.counters["lines"] = static_cast<double>(r.lines);
    state.counters["items"] = static_cast<double>(items);
    state.counters["ns_per_line"] = cpuNs / static_cast<double>(state.iterations() * r.lines);
}
BENCHMARK(BM_CrunchReply)
    ->ArgName("input")
    ->DenseRange(0, InputCount - 1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// The watch list's kill and add rules on every line: 100 entries of 5 phrases each, of both
// actions, on subject and poster, with and without match case.
struct WatchedEngine {
    bench::HeaderEngine base;
    WatchList watch { { base.log, base.settings, base.prompts,
        base.folder.file(QLatin1String(WatchList::kFileName)) } };
    ScanTable scan { base.log, &watch };
    ViewTable view;
    ScanActivity activity;
    HeaderStore store { { base.log, base.settings, base.groups, base.window, base.prompts,
                            [this] { base.yield.yieldToEvents(); }, activity },
        scan, view };
    Cruncher cruncher { { base.log, base.settings, base.groups, base.window, base.clock, store, scan, view, base.yield,
        &watch } };
    qint64 queued = 0;

    WatchedEngine()
    {
        base.settings.chkEnableWatch = 1;
        store.GNload(base.key);
        bench::Rng rng(42);
        // Words the generated subjects and posters hold, so phrases are found and entries judged.
        static constexpr std::array<const char*, 12> kCommon = { "yEnc", "rar", "holiday", "720p", "backup", "Album",
            "part01", "jpg", "Poster1", "Greta", "example.com", "zip" };
        auto rare = [&rng] {
            QByteArray w;
            for (int i = 0; i < 6; ++i)
                w += static_cast<char>('a' + rng.below(26));
            return w;
        };
        for (int e = 0; e < 100; ++e) {
            QList<QByteArray> phrases;
            for (int p = 0; p < 5; ++p) {
                QByteArray phrase = p < 2 ? QByteArray(kCommon[static_cast<size_t>(rng.below(12))]) : rare();
                phrases << (p == 4 && e % 2 == 0 ? '-' + phrase : phrase);
            }
            watch.WatchList_Add(phrases, e % 4 < 2 ? WatchField::Subject : WatchField::From, e % 3 == 0,
                e % 2 == 0 ? WatchAction::Kill : WatchAction::AddToBatch);
        }
        QObject::connect(&watch, &WatchList::addToBatchRequested, [this](int) { ++queued; });
    }
};

void BM_CrunchReplyWatchList(benchmark::State& state)
{
    const Reply& r = reply();
    qint64 items = 0;
    qint64 queued = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto engine = std::make_unique<WatchedEngine>();
        state.ResumeTiming();
        engine->cruncher.parse_xoverdata(r.body, engine->base.burst(r.lastArticle));
        state.PauseTiming();
        items = engine->scan.table.count();
        queued = engine->queued;
        engine.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * r.lines);
    state.SetBytesProcessed(state.iterations() * r.body.size());
    state.counters["lines"] = static_cast<double>(r.lines);
    state.counters["items"] = static_cast<double>(items);
    state.counters["watch_entries"] = 100;
    state.counters["queued_by_watch"] = static_cast<double>(queued);
}
BENCHMARK(BM_CrunchReplyWatchList)->Iterations(3)->Unit(benchmark::kMillisecond);

// Splits a reply into its lines once, so the timed loop only files them.
std::vector<QByteArrayView> splitLines(const QByteArray& body)
{
    std::vector<QByteArrayView> out;
    qsizetype pos = 0;
    while (pos < body.size()) {
        const qsizetype end = body.indexOf('\r', pos);
        if (end < 0)
            break;
        out.emplace_back(body.constData() + pos, end - pos);
        pos = end + 2;
    }
    return out;
}

// A table of at least `items` items of one or two parts each, as many small posts leave it.
std::unique_ptr<bench::HeaderEngine> prefilledEngine(qint64 items)
{
    auto engine = std::make_unique<bench::HeaderEngine>();
    // Lines filed one by one must lie in the range of a burst: an empty one sets it.
    engine->cruncher.parse_xoverdata({}, engine->burst(kAnyArticle));
    bench::OverviewOptions o;
    o.seed = 7;
    o.minParts = 1;
    o.maxParts = 2;
    o.concurrentPosts = 4;
    bench::OverviewGenerator gen(o);
    while (engine->main.scan.table.count() < items) {
        const QByteArray chunk = gen.body(20'000);
        for (QByteArrayView line : splitLines(chunk)) {
            engine->cruncher.xover_proccess(line);
            if (engine->main.scan.table.count() >= items)
                break;
        }
    }
    engine->main.scan.newItemCount = 0;
    return engine;
}

double crunchNsPerLine(bench::HeaderEngine& engine, const std::vector<QByteArrayView>& lines)
{
    const double start = threadCpuNs();
    for (QByteArrayView line : lines)
        engine.cruncher.xover_proccess(line);
    return (threadCpuNs() - start) / static_cast<double>(lines.size());
}

// The same fresh bursts are filed into a table of 10,000 items and one of 1,000,000, alternately, so
// both see the same machine state; the median round counts.
void BM_CrunchLineCostByTableSize(benchmark::State& state)
{
    std::vector<QByteArray> bursts;
    bench::OverviewOptions o;
    o.seed = 11;
    o.firstArticle = 600'000'000;
    o.serialBase = 50'000'000;
    bench::OverviewGenerator gen(o);
    for (int i = 0; i < kScalingRounds; ++i)
        bursts.push_back(gen.body(kFreshBurstLines));

    std::vector<std::vector<QByteArrayView>> burstLines;
    for (const QByteArray& burst : bursts)
        burstLines.push_back(splitLines(burst));

    std::vector<double> small, large;
    qint64 largeItems = 0;
    for (auto _ : state) {
        // One small table per round, so each burst meets a table of 10,000 items; all are built
        // before measuring, so no round files its lines into memory another table just freed.
        std::vector<std::unique_ptr<bench::HeaderEngine>> littles;
        for (int i = 0; i < kScalingRounds; ++i)
            littles.push_back(prefilledEngine(10'000));
        auto big = prefilledEngine(1'000'000);
        largeItems = big->main.scan.table.count();
        for (int i = 0; i < kScalingRounds; ++i) {
            small.push_back(crunchNsPerLine(*littles[static_cast<size_t>(i)], burstLines[static_cast<size_t>(i)]));
            large.push_back(crunchNsPerLine(*big, burstLines[static_cast<size_t>(i)]));
        }
    }
    std::sort(small.begin(), small.end());
    std::sort(large.begin(), large.end());
    const double smallNs = small[small.size() / 2];
    const double largeNs = large[large.size() / 2];
    state.counters["ns_per_line_10k_items"] = smallNs;
    state.counters["ns_per_line_1M_items"] = largeNs;
    state.counters["ratio_1M_to_10k"] = largeNs / smallNs;
    state.counters["items_in_large_table"] = static_cast<double>(largeItems);
}
BENCHMARK(BM_CrunchLineCostByTableSize)->Iterations(1)->Unit(benchmark::kMillisecond);

double crunchReplyNsPerLine(const Reply& r)
{
    auto engine = std::make_unique<bench::HeaderEngine>();
    const double start = threadCpuNs();
    engine->cruncher.parse_xoverdata(r.body, engine->burst(r.lastArticle));
    return (threadCpuNs() - start) / static_cast<double>(r.lines);
}

// The generated reply and the replies of huge items, crunched alternately into fresh tables; the
// median round counts. Filing a part into an item of 200,000 must cost what filing it into one of
// twenty does.
void BM_CrunchLineCostByItemSize(benchmark::State& state)
{
    const std::array<Input, 3> inputs = { Generated, OneHugeItem, TwentyLargeItems };
    std::array<std::vector<double>, 3> ns;
    for (auto _ : state) {
        for (size_t i = 0; i < inputs.size(); ++i)
            ns[i].push_back(crunchReplyNsPerLine(reply(inputs[i])));
    }
    std::array<double, 3> median {};
    for (size_t i = 0; i < inputs.size(); ++i) {
        std::sort(ns[i].begin(), ns[i].end());
        median[i] = ns[i][ns[i].size() / 2];
        state.counters[std::string("ns_per_line_") + kInputNames[static_cast<size_t>(inputs[i])]] = median[i];
    }
    state.counters["ratio_one_huge_item"] = median[1] / median[0];
    state.counters["ratio_twenty_large_items"] = median[2] / median[0];
}
BENCHMARK(BM_CrunchLineCostByItemSize)->Iterations(3)->Unit(benchmark::kMillisecond);

// The reply is crunched from inside a running event loop while a 5 ms timer ticks; the worst
// lateness of a tick during the crunch is what a user would feel as a stall.
void BM_CrunchTimerLateness(benchmark::State& state)
{
    const Reply* reply = replyFor(state);
    if (!reply)
        return;
    const Reply& r = *reply;
    double worstLateMs = 0;
    double finalLateMs = 0; // the tick that spans the end of the crunch and its quick save
    qint64 ticks = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto engine = std::make_unique<bench::HeaderEngine>();
        state.ResumeTiming();
        QEventLoop loop;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(5);
        QElapsedTimer sinceTick;
        bool crunching = false;
        bool done = false;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            const double gapMs = static_cast<double>(sinceTick.nsecsElapsed()) / 1e6;
            sinceTick.start();
            if (crunching || done) {
                worstLateMs = std::max(worstLateMs, gapMs - 5.0);
                if (done)
                    finalLateMs = gapMs - 5.0;
                ++ticks;
            }
            if (done)
                loop.quit();
        });
        QTimer::singleShot(30, [&] {
            crunching = true;
            engine->cruncher.parse_xoverdata(r.body, engine->burst(r.lastArticle));
            crunching = false;
            done = true;
        });
        sinceTick.start();
        timer.start();
        loop.exec();
        state.PauseTiming();
        engine.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * r.lines);
    state.counters["worst_timer_late_ms"] = worstLateMs;
    state.counters["final_tick_late_ms"] = finalLateMs;
    state.counters["ticks"] = static_cast<double>(ticks);
}
BENCHMARK(BM_CrunchTimerLateness)
    ->ArgName("input")
    ->DenseRange(0, InputCount - 1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

TW_BENCHMARK_QT_MAIN()

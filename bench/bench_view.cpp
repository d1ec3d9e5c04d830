// The header view over a group of a million items: classifying and filtering them, sorting by each
// column, scrolling, searching the group's header file, and opening the group from its file. Each
// runs over the plain group and over the same group with huge items added (one of 200,000 parts,
// twenty of 50,000), which must cost no more per row.
#include "header_engine.h"

#include "headers/header_file.h"
#include "support/header_parts.h"

#include "bench_main.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFileInfo>

#include <memory>
#include <random>
#include <unordered_set>

#include <malloc.h>

namespace {

constexpr int kItems = 1'000'000;
constexpr int kBatch = 1'000;
constexpr int kHugeItemParts = 200'000;
constexpr int kLargeItems = 20;
constexpr int kLargeItemParts = 50'000;
constexpr int kScreenRows = 60;
constexpr int kScrollScreens = 100;
constexpr const char* kGroup = "alt.binaries.bench";

// A group of multipart posts (complete, missing a part, with a part 0, over-full), large single
// posts, small text posts and unannounced pieces, in the proportions a binary group shows.
void generate(ItemTable& table, quint8 group, bool hugeItems)
{
    std::mt19937 rng(7);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    qint64 article = 1;
    table.reserve(kItems, 4 * kItems, 0);
    for (int i = 0; i < kItems; ++i) {
        const QByteArray poster = "Poster " + QByteArray::number(pick(1000)) + " <poster@example.com>";
        const int kind = pick(100);
        QByteArray name;
        int total = 0;
        int held = 1;
        qint32 bytes = 250'000 + pick(500'000);
        if (kind < 60) {
            total = 2 + pick(7);
            const int shape = pick(10);
            held = shape < 6 ? total : shape < 8 ? total - 1 : shape < 9 ? total + 1 : total + 2;
            name = "Some.Release." + QByteArray::number(i) + ".part" + QByteArray::number(pick(40)) + ".rar [xx/"
                + QByteArray::number(total).rightJustified(7, '0') + ']';
        } else if (kind < 85) {
            name = "photo_" + QByteArray::number(i) + ".jpg";
        } else if (kind < 95) {
            name = "notes " + QByteArray::number(i) + (pick(2) ? ".txt" : ".nfo");
            bytes = 500 + pick(9000);
        } else {
            held = 2 + pick(2);
            name = "piece " + QByteArray::number(i) + ".bin";
        }
        const int slot = table.appendItem();
        Item& it = table.item(slot);
        it.key = table.addString(name);
        it.poster = table.addPoster(poster);
        it.totalParts = static_cast<qint16>(total);
        it.groupKey = group;
        it.date = 43831.0 + pick(1500) + pick(86400) / 86400.0;
        // An over-full post starts with a part 0.
        for (int p = held > total && total > 0 ? 0 : 1, n = 0; n < held; ++p, ++n) {
            const QByteArray tail = " (" + QByteArray::number(p).rightJustified(2, '0') + '/'
                + QByteArray::number(total).rightJustified(2, '0') + ") yEnc";
            const QByteArray id = "part" + QByteArray::number(article) + "of" + QByteArray::number(i) + "@news.example";
            table.appendPart(slot, article++, bytes, total ? QByteArrayView(tail) : QByteArrayView(name), id);
        }
        // Counter-first series: every part of a poster's series falls into one item.
        const int hugeParts = !hugeItems                             ? 0
            : i == kItems / 2                                        ? kHugeItemParts
            : i % (kItems / kLargeItems) == kItems / kLargeItems / 2 ? kLargeItemParts
                                                                     : 0;
        if (hugeParts > 0) {
            const int huge = table.appendItem();
            Item& h = table.item(huge);
            h.key = table.addString("(no subject?) [xx/0000012]");
            h.poster = table.addPoster("Series Poster " + QByteArray::number(i) + " <series@example.com>");
            h.totalParts = 12;
            h.groupKey = group;
            h.date = 43831.0 + pick(1500);
            for (int p = 0; p < hugeParts; ++p) {
                const QByteArray subject = '(' + QByteArray::number(p % 12 + 1).rightJustified(2, '0')
                    + "/12) - Series " + QByteArray::number(p / 12) + ".rar";
                const QByteArray id = "s" + QByteArray::number(article) + "@";
                table.appendPart(huge, article++, 395'000 + pick(6000), subject.sliced(13), id);
            }
        }
    }
}

struct Bench {
    explicit Bench(bool hugeItems)
    {
        settings().chkEnableLogging = 0;
        settings().chkAutoExpire = 0;
        settings().Cache_Path = dir.path() + QStringLiteral("/cache/");
        ctx->groups.ngAddGroup(kGroup);
        key = ctx->groups.ngFindKeyByGroupName(kGroup);
        {
            ItemTable table;
            generate(table, key, hugeItems);
            items = table.count();
            parts = table.partTotal();
            // Articles run from 1 up; the server holds them all, so lives spread over 0-99.
            ctx->groups.ngUpdateRange(key, 1, parts + 1);
            path = ctx->headers.headerPath(key);
            QDir().mkpath(QFileInfo(path).path());
            QString error;
            if (!twb::writeTable(path, table, &error))
                qFatal("cannot write the header file: %s", qPrintable(error));
            // A batch of entries spread over the group, known by their part 1.
            std::mt19937 rng(11);
            while (batch.size() < kBatch) {
                const int slot = 1 + static_cast<int>(rng() % static_cast<unsigned>(items));
                batch.insert(table.part(table.item(slot).firstPart).article);
            }
        }
        malloc_trim(0);
        fileBytes = QFileInfo(path).size();
        ctx->inBatch = [this](qint64 article, quint8 group) { return group == key && batch.count(article); };
        open();
    }
    Settings& settings() { return ctx->settings; }
    HeaderView& view() { return ctx->headerView; }
    void open()
    {
        ctx->view.viewedKey = -1;
        view().selectGroupEntry(QString::fromLatin1(kGroup));
    }
    // What a window shows of a freshly opened list.
    void firstScreen() { screen(0); }
    void screen(int top)
    {
        for (int row = top; row < std::min(view().rowCount(), top + kScreenRows); ++row) {
            for (int column = 0; column < HeaderView::ColumnCount; ++column) {
                benchmark::DoNotOptimize(view().index(row, column).data());
            }
            benchmark::DoNotOptimize(view().index(row, 0).data(HeaderView::StatusRole));
        }
    }

    Ground ground;
    QTemporaryDir& dir = ground.dir;
    std::unique_ptr<HeaderParts> ctx = std::make_unique<HeaderParts>(ground);
    quint8 key = 0;
    int items = 0;
    qint64 parts = 0;
    qint64 fileBytes = 0;
    QString path;
    std::unordered_set<qint64> batch;
};

// Built on first use: one benchmark run alone builds only the table it needs.
Bench& fixture(benchmark::State& state, int argument)
{
    static std::unique_ptr<Bench> plain;
    static std::unique_ptr<Bench> withHugeItems;
    const bool huge = state.range(argument) != 0;
    std::unique_ptr<Bench>& b = huge ? withHugeItems : plain;
    if (!b)
        b = std::make_unique<Bench>(huge);
    return *b;
}

void BM_ShowCats(benchmark::State& state)
{
    Bench& b = fixture(state, 1);
    b.view().sort(-1); // no sort column: the rebuild alone
    b.view().setToggle("btnsNew", state.range(0) != 0);
    for (auto _ : state)
        b.view().ShowCats();
    state.SetItemsProcessed(state.iterations() * b.items);
    state.counters["rows"] = b.view().rowCount();
    state.counters["parts"] = static_cast<double>(b.parts);
    b.view().setToggle("btnsNew", false);
}
BENCHMARK(BM_ShowCats)
    ->ArgNames({ "newOnly", "huge" })
    ->ArgsProduct({ { 0, 1 }, { 0, 1 } })
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_Sort(benchmark::State& state)
{
    Bench& b = fixture(state, 1);
    const int column = static_cast<int>(state.range(0));
    const int other = column == HeaderView::SubjectColumn ? HeaderView::DateColumn : HeaderView::SubjectColumn;
    for (auto _ : state) {
        state.PauseTiming();
        b.view().sort(other); // start from another order each time
        state.ResumeTiming();
        b.view().sort(column);
    }
    state.SetItemsProcessed(state.iterations() * b.view().rowCount());
    state.SetLabel(b.view().headerData(column, Qt::Horizontal, Qt::DisplayRole).toString().toStdString());
    state.counters["rows"] = b.view().rowCount();
}
BENCHMARK(BM_Sort)
    ->ArgNames({ "column", "huge" })
    ->ArgsProduct({ benchmark::CreateDenseRange(0, HeaderView::ColumnCount - 1, 1), { 0, 1 } })
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Screens of rows read as a window paints them, from the top of the list sorted by size, where
// the huge items are, downwards.
void BM_Scroll(benchmark::State& state)
{
    Bench& b = fixture(state, 0);
    b.view().sort(HeaderView::MegabytesColumn, Qt::DescendingOrder);
    const int rows = std::min(b.view().rowCount(), kScreenRows * kScrollScreens);
    for (auto _ : state) {
        for (int top = 0; top < rows; top += kScreenRows)
            b.screen(top);
    }
    state.SetItemsProcessed(state.iterations() * rows);
    state.counters["rows_per_screen"] = kScreenRows;
}
BENCHMARK(BM_Scroll)->ArgName("huge")->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// The parts window filled for the largest item of the table.
void BM_ShowItemParts(benchmark::State& state)
{
    Bench& b = fixture(state, 0);
    const ItemTable& table = b.ctx->view.table;
    int largest = 1;
    for (int slot = 1; slot <= table.count(); ++slot) {
        if (table.item(slot).partCount > table.item(largest).partCount)
            largest = slot;
    }
    ItemPartsModel& parts = b.view().itemParts();
    for (auto _ : state) {
        parts.ShowItemParts(table.record(largest));
        for (int row = 0; row < std::min(parts.rowCount(), kScreenRows); ++row) {
            for (int column = 0; column < ItemPartsModel::ColumnCount; ++column)
                benchmark::DoNotOptimize(parts.index(row, column).data());
        }
    }
    state.SetItemsProcessed(state.iterations() * table.item(largest).partCount);
    state.counters["parts"] = table.item(largest).partCount;
}
BENCHMARK(BM_ShowItemParts)->ArgName("huge")->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_SearchGroup(benchmark::State& state)
{
    Bench& b = fixture(state, 1);
    HeaderSearch& search = b.ctx->headerSearch;
    search.setText(QStringLiteral("part7.RAR"));
    search.setMatchCase(state.range(0) != 0);
    int found = 0;
    qint64 growth = 0;
    for (auto _ : state) {
        state.PauseTiming();
        b.ctx->view.table.clear();
        b.view().viewTableReplaced();
        malloc_trim(0);
        const qint64 before = bench::residentBytes();
        state.ResumeTiming();
        search.searchGroup(b.key);
        state.PauseTiming();
        found = b.ctx->view.table.count();
        growth = bench::residentBytes() - before;
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * b.fileBytes);
    state.SetItemsProcessed(state.iterations() * b.items);
    state.counters["matches"] = found;
    state.counters["file_bytes"] = static_cast<double>(b.fileBytes);
    // Resident growth of one search: the results and the read window, not the file.
    state.counters["rss_growth_bytes"] = static_cast<double>(growth);
    b.open();
}
BENCHMARK(BM_SearchGroup)
    ->ArgNames({ "matchCase", "huge" })
    ->Args({ 0, 0 })
    ->Args({ 1, 0 })
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_OpenGroup(benchmark::State& state)
{
    Bench& b = fixture(state, 0);
    b.view().sort(-1);
    for (auto _ : state) {
        b.open();
        b.firstScreen();
    }
    if (b.ctx->view.table.count() != b.items)
        state.SkipWithError("the group did not load whole");
    state.SetItemsProcessed(state.iterations() * b.items);
    state.SetBytesProcessed(state.iterations() * b.fileBytes);
    state.counters["rows"] = b.view().rowCount();
}
BENCHMARK(BM_OpenGroup)->ArgName("huge")->Arg(0)->Arg(1)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

TW_BENCHMARK_QT_MAIN()

// The server's group list at a million groups: the LIST reply framed from the socket's reads,
// stored in HOSTGRPS.TXT and indexed; the file loaded again; and searched by name into the
// group manager's result list.
#include "nntp/reply_reader.h"
#include "program/app_context.h"
#include "support/test_context.h"

#include "bench_main.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr int kGroups = 1'000'000;
constexpr qsizetype kReadSize = 64 * 1024;

// Names like the big servers carry, padded numbers as INN writes them.
QByteArray listReply()
{
    static const char* const kTops[] = { "alt", "alt.binaries", "comp", "de", "fr", "misc", "rec", "sci", "soc", "uk" };
    static const char* const kWords[] = { "test", "multimedia", "pictures", "sounds", "games", "linux", "music",
        "boneless", "tv", "movies", "answers", "discuss", "mp3", "ebooks", "anime", "retro", "misc", "d" };
    std::mt19937 random(15);
    QByteArray out = "215 Newsgroups in form \"group high low flags\".\r\n";
    out.reserve(kGroups * 58);
    for (int i = 0; i < kGroups; ++i) {
        out += kTops[random() % std::size(kTops)];
        for (unsigned w = 0, words = 1 + random() % 3; w < words; ++w) {
            out += '.';
            out += kWords[random() % std::size(kWords)];
        }
        out += '.';
        out += QByteArray::number(i);
        const quint64 low = random() % 5'000'000'000ULL;
        const quint64 high = low + random() % 3'000'000;
        out += ' ' + QByteArray::number(high).rightJustified(10, '0') + ' '
            + QByteArray::number(low).rightJustified(10, '0') + " y\r\n";
    }
    out += ".\r\n";
    return out;
}

struct Program : TestContext {
    QByteArray reply = listReply();
};

Program& program()
{
    static Program p;
    return p;
}

void BM_ListStore(benchmark::State& state)
{
    Program& p = program();
    HostGroups& host = p.ctx->hostGroups;
    const auto isMultiLine = [](int code) { return isMultiLineCode(code); };
    for (auto _ : state) {
        // As the connection takes it off the socket: read by read, the terminator searched as it comes.
        ReplyReader reader;
        std::optional<Reply> reply;
        for (qsizetype at = 0; at < p.reply.size() && !reply; at += kReadSize) {
            reader.append(QByteArrayView(p.reply).sliced(at, std::min(kReadSize, p.reply.size() - at)));
            reply = reader.next(isMultiLine);
        }
        if (!reply || !reply->multiLine) {
            state.SkipWithError("the reply was not framed");
            return;
        }
        host.SaveHostGroups(*reply);
    }
    if (host.list().size() != kGroups)
        state.SkipWithError("not every group was indexed");
    state.SetBytesProcessed(state.iterations() * p.reply.size());
    state.SetItemsProcessed(state.iterations() * kGroups);
    state.counters["reply_MB"] = static_cast<double>(p.reply.size()) / 1e6;
    state.counters["limit_MB"] = static_cast<double>(ReplyReader::kMaxBody) / 1e6;
}
BENCHMARK(BM_ListStore)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ListLoad(benchmark::State& state)
{
    Program& p = program();
    HostGroups& host = p.ctx->hostGroups;
    if (!QFileInfo::exists(host.filePath())) {
        QFile f(host.filePath());
        if (!f.open(QIODevice::WriteOnly) || f.write(p.reply) != p.reply.size()) {
            state.SkipWithError("HOSTGRPS.TXT could not be written");
            return;
        }
    }
    for (auto _ : state)
        host.LoadHostGroupFile();
    if (host.list().size() != kGroups)
        state.SkipWithError("not every group was loaded");
    state.SetBytesProcessed(state.iterations() * p.reply.size());
    state.SetItemsProcessed(state.iterations() * kGroups);
}
BENCHMARK(BM_ListLoad)->Unit(benchmark::kMillisecond);

// Arguments: the search type, and a query from the table.
void BM_Search(benchmark::State& state)
{
    static const char* const kQueries[] = { "alt.binaries.", "binaries", "no.such.group" };
    Program& p = program();
    HostGroups& host = p.ctx->hostGroups;
    if (host.list().size() != kGroups)
        host.LoadHostGroupFile();
    const auto type = static_cast<HostSearchType>(state.range(0));
    const QByteArray query = kQueries[state.range(1)];
    state.SetLabel(QByteArray((type == HostSearchType::StartsWith ? "starts with " : "contains ") + query).constData());
    for (auto _ : state)
        host.SearchHostGroups(query, type, {});
    state.SetItemsProcessed(state.iterations() * kGroups);
    state.counters["matches"] = host.model().rowCount();
}
BENCHMARK(BM_Search)
    ->Unit(benchmark::kMillisecond)
    ->Args({ static_cast<int>(HostSearchType::StartsWith), 0 })
    ->Args({ static_cast<int>(HostSearchType::Contains), 1 })
    ->Args({ static_cast<int>(HostSearchType::Contains), 2 });

} // namespace

TW_BENCHMARK_QT_MAIN()

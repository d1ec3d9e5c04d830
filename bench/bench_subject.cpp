// Subject analysis, From and date parsing run once per overview line of a scan.
#include "headers/subject.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QList>

namespace {

QList<QByteArray> subjects()
{
    QList<QByteArray> out;
    for (int i = 1; i <= 250; ++i) {
        const QByteArray n = QByteArray::number(i % 134 + 1);
        const QByteArray k = QByteArray::number(i % 45 + 1).rightJustified(2, '0');
        out << "Some.Show.S01E02.720p [" + k + "/45] - \"file.part" + k + ".rar\" yEnc (" + n + "/134)";
        out << "My file" + QByteArray::number(i) + ".zip (" + QByteArray::number(i % 5 + 1) + "/5)";
        out << "[" + k + "/12] - \"name" + QByteArray::number(i) + ".rar\" yEnc";
        out << "Re: what do you think about the new release " + QByteArray::number(i) + "?";
        out << "holiday pics - img" + QByteArray::number(i) + ".jpg (1/1)";
    }
    return out;
}

QList<QByteArray> froms()
{
    return { "Some Poster <poster@example.com>", "user@host.example (Real Name)", "<someone@news.example.org>",
        "\"Quoted Name\" <a@b.example>" };
}

QList<QByteArray> dates()
{
    QList<QByteArray> out;
    for (int d = 1; d <= 28; ++d)
        out << "Wed, " + QByteArray::number(d).rightJustified(2, '0') + " Dec 2002 10:11:12 +0000";
    return out;
}

void BM_AnalyseSubject(benchmark::State& state)
{
    const QList<QByteArray> lines = subjects();
    SubjectAnalysis a;
    qsizetype i = 0;
    for (auto _ : state) {
        analyseSubject(lines[i], a);
        benchmark::DoNotOptimize(a.key.constData());
        i = (i + 1) % lines.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AnalyseSubject);

void BM_ParseFrom(benchmark::State& state)
{
    const QList<QByteArray> lines = froms();
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseFrom(lines[i]));
        i = (i + 1) % lines.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseFrom);

// What the crunch does per line before filing it.
void BM_SubjectAndFrom(benchmark::State& state)
{
    const QList<QByteArray> s = subjects();
    const QList<QByteArray> f = froms();
    SubjectAnalysis a;
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseFrom(f[i % f.size()]));
        analyseSubject(s[i], a);
        benchmark::DoNotOptimize(a.key.constData());
        i = (i + 1) % s.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SubjectAndFrom);

void BM_ParseHeaderDate(benchmark::State& state)
{
    const QList<QByteArray> lines = dates();
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseHeaderDate(lines[i], 0.0));
        i = (i + 1) % lines.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseHeaderDate);

void BM_ParseHeaderDatePlain(benchmark::State& state)
{
    const QByteArray text("04 Dec 2002 10:11:12");
    for (auto _ : state)
        benchmark::DoNotOptimize(ParseHeaderDate(text, 0.0));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseHeaderDatePlain);

} // namespace

BENCHMARK_MAIN();

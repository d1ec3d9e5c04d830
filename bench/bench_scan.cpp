// Scanning a real news server: headers per second of a bare client that only pulls the XOVER
// ranges, against a full scan by the program that also crunches and stores them, at the same
// burst size. Crunching should hide behind the network, so the scan rate stays close to the bare
// one. Also reports how late a 5 ms timer runs during the scan (the window's responsiveness). The
// scan runs plain and with compressed overviews (second argument 1); tools/bench-scan also runs
// both through a bandwidth-limited relay.
//
// Needs a server: TW_BENCH_NNTP_PORT (on 127.0.0.1) and TW_BENCH_GROUP; tools/bench-scan starts
// INN 2 with a large group and runs this program. Without a port every benchmark is skipped.
// TW_BENCH_LOG=1 leaves each run's folder with its OPSLOG.TXT behind.
#include "header_engine.h"

#include "headers/header_file.h"

#include "program/app_context.h"
#include "app/clock.h"
#include "app/system_probe.h"
#include "nntp/connections.h"
#include "support/fakes.h"

#include "bench_main.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

// A whole program context on a temporary folder, pointed at the benchmark server.
struct Program {
    Program(int burst, bool compress)
    {
        context = std::make_unique<AppContext>(ProgramFolder::at(dir.path()), AppServices{clock, prompts, desktop, probe});
        Settings& s = context->settings;
        s.News_Host = QStringLiteral("127.0.0.1");
        s.News_Port = qEnvironmentVariable("TW_BENCH_NNTP_PORT");
        s.chkModeReader = 1;
        // TW_BENCH_LOG=1 keeps the program's OPSLOG.TXT (in a folder that is not deleted) for a look.
        s.chkEnableLogging = s.chkLogFile = qEnvironmentVariableIntValue("TW_BENCH_LOG");
        dir.setAutoRemove(s.chkLogFile == 0);
        s.chkAutodownload = 0;
        s.Cache_Path = dir.path() + QStringLiteral("/cache/");
        s.sldXOVER = burst;
        s.sldTimeout = 600;
        s.chkCompress = compress;
    }
    QTemporaryDir dir;
    SystemClock clock;
    bench::SilentPrompts prompts;
    FakeDesktop desktop;
    HostProbe probe;
    std::unique_ptr<AppContext> context;
};

QByteArray groupName()
{
    const QByteArray g = qgetenv("TW_BENCH_GROUP");
    return g.isEmpty() ? QByteArrayLiteral("alt.binaries.bench.scan") : g;
}

// Runs the event loop until done() holds, checking every millisecond; false after the limit.
bool runUntil(const std::function<bool()>& done, int limitMs)
{
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return done();
}

// Pulls the group's overview in bursts with nothing else to do: the rate the network allows.
class BareClient final : public ConnectionHandler {
public:
    BareClient(Connections& c, int burst)
        : m_connections(c)
        , m_burst(burst)
    {
    }
    void startWork() override { m_connections.SendLine(Conn::Scan, "GROUP " + groupName()); }
    void reply(const Reply& r) override
    {
        if (r.code == 211) {
            const QList<QByteArray> f = r.statusLine.simplified().split(' ');
            m_next = f.value(2).toLongLong();
            m_last = f.value(3).toLongLong();
        } else if (r.code == 224) {
            lines += r.body.count('\n');
        } else {
            failed = true;
        }
        if (m_next > m_last) {
            done = true;
            m_connections.QuitConnection(Conn::Scan);
            return;
        }
        const qint64 end = m_next + m_burst - 1;
        m_connections.SendLine(Conn::Scan, "XOVER " + QByteArray::number(m_next) + '-' + QByteArray::number(end));
        m_next = end + 1;
    }

    qint64 lines = 0;
    bool done = false;
    bool failed = false;

private:
    Connections& m_connections;
    qint64 m_burst;
    qint64 m_next = 1;
    qint64 m_last = 0;
};

bool haveServer(benchmark::State& state)
{
    if (!qEnvironmentVariableIsEmpty("TW_BENCH_NNTP_PORT"))
        return true;
    state.SkipWithError("TW_BENCH_NNTP_PORT not set (run tools/bench-scan)");
    return false;
}

void BM_BareXover(benchmark::State& state)
{
    if (!haveServer(state))
        return;
    qint64 lines = 0;
    for (auto _ : state) {
        Program program(static_cast<int>(state.range(0)), false);
        Connections& c = program.context->connections;
        BareClient client(c, static_cast<int>(state.range(0)));
        c.setHandler(Conn::Scan, &client);
        c.setModeReaderPending(Conn::Scan, true);
        c.OpenConnection(Conn::Scan);
        if (!runUntil([&] { return client.done || client.failed; }, 600'000) || client.failed) {
            state.SkipWithError("the bare client did not finish");
            return;
        }
        lines += client.lines;
        c.setHandler(Conn::Scan, nullptr);
    }
    state.SetItemsProcessed(lines);
    state.counters["headers"] = static_cast<double>(lines) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_BareXover)->Arg(100)->Arg(3000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Scan(benchmark::State& state)
{
    if (!haveServer(state))
        return;
    qint64 worstLateMs = 0;
    for (auto _ : state) {
        Program program(static_cast<int>(state.range(0)), state.range(1) != 0);
        AppContext& ctx = *program.context;
        ctx.groups.ngAddGroup(groupName());
        // A timer of the window: how late it fires tells how long the user waits for a repaint.
        QElapsedTimer sinceTick;
        QTimer tick;
        tick.setInterval(5);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            worstLateMs = std::max(worstLateMs, sinceTick.restart() - 5);
        });
        sinceTick.start();
        tick.start();
        ctx.scanConnection.StartScan();
        const bool finished = runUntil(
            [&] { return !ctx.scanConnection.scanning() && ctx.connections.state(Conn::Scan) == 0; }, 600'000);
        tick.stop();
        if (!finished || ctx.groups.ngReadMarkByKey(ctx.groups.ngFindKeyByGroupName(groupName())) == 0) {
            state.SkipWithError("the scan did not finish");
            return;
        }
        const quint8 key = ctx.groups.ngFindKeyByGroupName(groupName());
        state.counters["items"] = static_cast<double>(twb::RecordReader(ctx.headers.headerPath(key)).count());
        state.counters["read_mark"] = static_cast<double>(ctx.groups.ngReadMarkByKey(key));
    }
    // Every article of the group is one header read: the read mark ends at the last one.
    state.SetItemsProcessed(static_cast<int64_t>(state.counters["read_mark"]) * state.iterations());
    state.counters["worst_timer_late_ms"] = static_cast<double>(worstLateMs);
}
BENCHMARK(BM_Scan)
    ->Args({ 100, 0 })
    ->Args({ 3000, 0 })
    ->Args({ 3000, 1 })
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

TW_BENCHMARK_QT_MAIN()

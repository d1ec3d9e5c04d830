#include "app/stopwatch.h"
#include "app/system_probe.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QDir>
#include <QTest>

using Label = MainWindowState::Label;

namespace {
constexpr qint64 MB = 1048576;
}

class ResourceMonitorTest : public QObject {
    Q_OBJECT
private slots:
    void labelsSwitchFromMBToGBAbove1000()
    {
        TestContext t;
        AppContext& ctx = *t.ctx;
        ctx.settings.Download_Path = QStringLiteral("/dl/");
        ctx.settings.Cache_Path = QStringLiteral("/cache/");
        t.probe.free[QStringLiteral("/dl/")] = 1000 * MB + MB / 2;
        t.probe.free[QStringLiteral("/cache/")] = 1001 * MB;
        t.probe.free[QStringLiteral("/faketmp")] = 1234567 * MB;
        t.probe.mem = {1536 * 1024 + 512, 1024 * 1024 * 3};
        ctx.monitor.UpdateStats(false);
        QCOMPARE(ctx.window.text(Label::StatsDownload), QStringLiteral("/ 1,000MB free (download)"));
        QCOMPARE(ctx.window.text(Label::StatsCache), QStringLiteral("/ 1.00GB free (cache)"));
        QCOMPARE(ctx.window.text(Label::StatsTemp), QStringLiteral("/ 1,234.57GB free (windows temp)"));
        QCOMPARE(ctx.window.text(Label::StatsPhysicalRam), QStringLiteral("1.5MB free physical RAM"));
        QCOMPARE(ctx.window.text(Label::StatsTotalRam), QStringLiteral("4.5MB free total RAM"));
        QCOMPARE(ctx.monitor.FreeMB(QStringLiteral("/dl/")), 1000.0);

        // Without a temporary folder its label keeps its text.
        t.probe.temp.clear();
        t.probe.free[QStringLiteral("/dl/")] = 640 * MB;
        ctx.monitor.UpdateStats(false);
        QCOMPARE(ctx.window.text(Label::StatsTemp), QStringLiteral("/ 1,234.57GB free (windows temp)"));
        QCOMPARE(ctx.window.text(Label::StatsDownload), QStringLiteral("/ 640MB free (download)"));
    }

    void lowResourceCuesOnlyWhenWarned()
    {
        TestContext t;
        AppContext& ctx = *t.ctx;
        t.writeFile(QStringLiteral("sfx/twv005.wav"), "RIFF");
        t.writeFile(QStringLiteral("sfx/twv006.wav"), "RIFF");
        t.writeFile(QStringLiteral("sfx/twv007.wav"), "RIFF");
        ctx.settings.chkSFX = 1;
        ctx.settings.Download_Path = QStringLiteral("/dl/");
        ctx.settings.Cache_Path = QStringLiteral("/cache/");
        t.probe.free[QStringLiteral("/dl/")] = 99 * MB;
        t.probe.free[QStringLiteral("/faketmp")] = 10 * MB;
        t.probe.free[QStringLiteral("/cache/")] = 5000 * MB;
        t.probe.mem = {40 * MB, 40 * MB};
        ctx.monitor.UpdateStats(false);
        QVERIFY(t.desktop.played.isEmpty());
        ctx.monitor.UpdateStats(true);
        QCOMPARE(t.desktop.played, (QStringList{QStringLiteral("twv005.wav"), QStringLiteral("twv006.wav"),
                                                QStringLiteral("twv007.wav")}));
    }

    void disablingStatsHidesLabelsAndStopsTheTimer()
    {
        TestContext t;
        AppContext& ctx = *t.ctx;
        ctx.monitor.applyStatsSetting();
        QVERIFY(ctx.monitor.timerActive());
        QVERIFY(ctx.window.statsVisible());
        ctx.settings.chkDisableStats = 1;
        ctx.monitor.applyStatsSetting();
        QVERIFY(!ctx.monitor.timerActive());
        QVERIFY(!ctx.window.statsVisible());
        ctx.settings.chkDisableStats = 0;
        ctx.window.setText(Label::StatsDownload, QStringLiteral("--wait--"));
        ctx.monitor.applyStatsSetting();
        QVERIFY(ctx.window.statsVisible());
        QVERIFY(ctx.window.text(Label::StatsDownload).endsWith(QStringLiteral("free (download)")));
    }

    void hostProbeReadsTheMachine()
    {
        const HostProbe probe;
        const SystemProbe::Disk disk = probe.disk(QDir::tempPath() + QStringLiteral("/not/yet/made"));
        QVERIFY(disk.freeBytes > 0);
        QVERIFY(!disk.root.isEmpty());
        const SystemProbe::Memory m =
            HostProbe::parseMeminfo("MemTotal:  1000 kB\nMemAvailable:    2048 kB\nSwapTotal: 9 kB\nSwapFree: 16 kB\n");
        QCOMPARE(m.availablePhysicalBytes, 2048 * 1024);
        QCOMPARE(m.availableSwapBytes, 16 * 1024);
        QVERIFY(probe.memory().availablePhysicalBytes > 0);
    }

    void stopwatchCountsPastThe32BitRange()
    {
        FakeClock clock;
        CStopWatch watch(clock);
        clock.advance(5'000'000'000LL);
        QCOMPARE(watch.Elapsed(), 5'000'000'000LL);
        watch.Reset();
        clock.advance(7);
        QCOMPARE(watch.Elapsed(), 7);
    }
};

TW_TEST(ResourceMonitorTest)
#include "resource_monitor_test.moc"

#include "app/stopwatch.h"
#include "app/system_probe.h"
#include "app/cues.h"
#include "app/resource_monitor.h"
#include "support/ground.h"
#include "support/test_registry.h"

#include <QDir>
#include <QTest>

using Label = MainWindowState::Label;

namespace {
constexpr qint64 MB = 1048576;

struct Fixture : Ground {
    ResourceMonitor monitor{settings, window, cues, probe};
};
} // namespace

class ResourceMonitorTest : public QObject {
    Q_OBJECT
private slots:
    void labelsSwitchFromMBToGBAndLowResourcesCue()
    {
        Fixture f;
        f.settings.Download_Path = QStringLiteral("/dl/");
        f.settings.Cache_Path = QStringLiteral("/cache/");
        f.probe.free[QStringLiteral("/dl/")] = 1000 * MB + MB / 2;
        f.probe.free[QStringLiteral("/cache/")] = 1001 * MB;
        f.probe.free[QStringLiteral("/faketmp")] = 1234567 * MB;
        f.probe.mem = {1536 * 1024 + 512, 1024 * 1024 * 3};
        f.monitor.UpdateStats(false);
        QCOMPARE(f.window.text(Label::StatsDownload), QStringLiteral("/ 1,000MB free (download)"));
        QCOMPARE(f.window.text(Label::StatsCache), QStringLiteral("/ 1.00GB free (cache)"));
        QCOMPARE(f.window.text(Label::StatsTemp), QStringLiteral("/ 1,234.57GB free (windows temp)"));
        QCOMPARE(f.window.text(Label::StatsPhysicalRam), QStringLiteral("1.5MB free physical RAM"));
        QCOMPARE(f.window.text(Label::StatsTotalRam), QStringLiteral("4.5MB free total RAM"));
        QCOMPARE(f.monitor.FreeMB(QStringLiteral("/dl/")), 1000.0);

        // Without a temporary folder its label keeps its text.
        f.probe.temp.clear();
        f.probe.free[QStringLiteral("/dl/")] = 640 * MB;
        f.monitor.UpdateStats(false);
        QCOMPARE(f.window.text(Label::StatsTemp), QStringLiteral("/ 1,234.57GB free (windows temp)"));
        QCOMPARE(f.window.text(Label::StatsDownload), QStringLiteral("/ 640MB free (download)"));

        // Low resources cue only when warnings are asked for.
        for (const char* name : { "sfx/twv005.wav", "sfx/twv006.wav", "sfx/twv007.wav" })
            f.writeFile(QString::fromLatin1(name), "RIFF");
        f.settings.chkSFX = 1;
        f.probe.temp = QStringLiteral("/faketmp");
        f.probe.free[QStringLiteral("/dl/")] = 99 * MB;
        f.probe.free[QStringLiteral("/faketmp")] = 10 * MB;
        f.probe.free[QStringLiteral("/cache/")] = 5000 * MB;
        f.probe.mem = {40 * MB, 40 * MB};
        f.monitor.UpdateStats(false);
        QVERIFY(f.desktop.played.isEmpty());
        f.monitor.UpdateStats(true);
        QCOMPARE(f.desktop.played, (QStringList{QStringLiteral("twv005.wav"), QStringLiteral("twv006.wav"),
                                                QStringLiteral("twv007.wav")}));
    }

    void disablingStatsHidesLabelsAndStopsTheTimer()
    {
        Fixture f;
        f.monitor.applyStatsSetting();
        QVERIFY(f.monitor.timerActive());
        QVERIFY(f.window.statsVisible());
        f.settings.chkDisableStats = 1;
        f.monitor.applyStatsSetting();
        QVERIFY(!f.monitor.timerActive());
        QVERIFY(!f.window.statsVisible());
        f.settings.chkDisableStats = 0;
        f.window.setText(Label::StatsDownload, QStringLiteral("--wait--"));
        f.monitor.applyStatsSetting();
        QVERIFY(f.window.statsVisible());
        QVERIFY(f.window.text(Label::StatsDownload).endsWith(QStringLiteral("free (download)")));
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

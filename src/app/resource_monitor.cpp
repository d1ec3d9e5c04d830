#include "app/resource_monitor.h"

#include "app/cues.h"
#include "app/format.h"
#include "app/main_window_state.h"
#include "app/settings.h"
#include "app/system_probe.h"

using Label = MainWindowState::Label;

ResourceMonitor::ResourceMonitor(const Settings& settings, MainWindowState& window, Cues& cues,
                                 const SystemProbe& probe, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_window(window)
    , m_cues(cues)
    , m_probe(probe)
{
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &ResourceMonitor::tick);
}

double ResourceMonitor::FreeMB(const QString& path) const
{
    return static_cast<double>(m_probe.disk(path).freeBytes / 1048576);
}

qint64 ResourceMonitor::showFolder(Label label, const QString& folder, const QString& place)
{
    const SystemProbe::Disk disk = m_probe.disk(folder);
    const qint64 mb = disk.freeBytes / 1048576;
    const QString prefix = disk.root.isEmpty() ? folder.left(2).toUpper() : disk.root;
    const QString amount = mb < 1001 ? fmt::Format(static_cast<double>(mb), u"#,0") + QStringLiteral("MB free (")
                                     : fmt::Format(mb / 1000.0, u"#,0.00") + QStringLiteral("GB free (");
    m_window.setText(label, prefix + u' ' + amount + place + u')');
    return mb;
}

void ResourceMonitor::UpdateStats(bool warn)
{
    if (showFolder(Label::StatsDownload, m_settings.Download_Path, QStringLiteral("download")) < kLowMB && warn)
        m_cues.PlayCue(QStringLiteral("twv005.wav"));

    const QString temp = m_probe.tempFolder();
    if (!temp.isEmpty() && showFolder(Label::StatsTemp, temp, QStringLiteral("windows temp")) < kLowMB && warn)
        m_cues.PlayCue(QStringLiteral("twv006.wav"));

    if (showFolder(Label::StatsCache, m_settings.Cache_Path, QStringLiteral("cache")) < kLowMB && warn)
        m_cues.PlayCue(QStringLiteral("twv005.wav"));

    const SystemProbe::Memory memory = m_probe.memory();
    const qint64 physicalKB = fmt::roundHalfEven(memory.availablePhysicalBytes / 1024.0);
    const qint64 swapKB = fmt::roundHalfEven(memory.availableSwapBytes / 1024.0);
    m_window.setText(Label::StatsPhysicalRam,
                     fmt::Format(physicalKB / 1024.0, u"#,0.0") + QStringLiteral("MB free physical RAM"));
    m_window.setText(Label::StatsTotalRam,
                     fmt::Format((physicalKB + swapKB) / 1024.0, u"#,0.0") + QStringLiteral("MB free total RAM"));
    if (warn && fmt::roundHalfEven(physicalKB / 1024.0) + fmt::roundHalfEven(swapKB / 1024.0) < kLowMB)
        m_cues.PlayCue(QStringLiteral("twv007.wav"));
}

void ResourceMonitor::applyStatsSetting()
{
    if (m_settings.chkDisableStats) {
        m_window.setStatsVisible(false);
        m_timer.stop();
        return;
    }
    m_window.setStatsVisible(true);
    m_timer.start();
    UpdateStats(false);
}

void ResourceMonitor::tick()
{
    if (m_settings.chkDisableStats) {
        m_window.setStatsVisible(false);
        m_timer.stop();
        return;
    }
    UpdateStats(false);
}

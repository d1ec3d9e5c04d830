#pragma once

#include "app/main_window_state.h"

#include <QObject>
#include <QTimer>

class Cues;
class SystemProbe;
struct Settings;

// Keeps the five statistics labels (free space of the download, temporary and cache folders,
// free memory) current and warns when any runs low.
class ResourceMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 10000;
    static constexpr int kLowMB = 100;

    ResourceMonitor(const Settings& settings, MainWindowState& window, Cues& cues, const SystemProbe& probe,
                    QObject* parent = nullptr);

    // warn: also play the low-space and low-memory cues.
    void UpdateStats(bool warn);
    [[nodiscard]] double FreeMB(const QString& path) const;

    // Follows "chkDisableStats": hides the labels and stops the timer, or shows, restarts, refreshes.
    void applyStatsSetting();
    [[nodiscard]] bool timerActive() const { return m_timer.isActive(); }

private:
    void tick();
    // Shows one folder's free space; returns the whole megabytes.
    qint64 showFolder(MainWindowState::Label label, const QString& folder, const QString& place);

    const Settings& m_settings;
    MainWindowState& m_window;
    Cues& m_cues;
    const SystemProbe& m_probe;
    QTimer m_timer;
};

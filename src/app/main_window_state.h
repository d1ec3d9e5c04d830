#pragma once

#include <QHash>
#include <QObject>
#include <QString>

// Everything of the main window the program itself changes. The real window binds to it and
// tests read it, so no behaviour depends on a widget.
class MainWindowState : public QObject {
    Q_OBJECT
public:
    enum class Label {
        Status,
        LastScan,
        StatsDownload,
        StatsTemp,
        StatsCache,
        StatsPhysicalRam,
        StatsTotalRam,
        LoadGroup,
        BatchTotal,
        FileEta,
        BatchEta,
        ViewCount,
    };
    Q_ENUM(Label)

    enum class Bar { EntireScan, ThisGroup, ThisFile, ThisPart, LoadGroup };
    Q_ENUM(Bar)

    enum class Control {
        Scan,
        ScanStop,
        SaveHeaders,
        Refresh,
        BatchDownload,
        BatchDownloadStop,
        Restore,
        GroupSelector,
    };
    Q_ENUM(Control)

    struct Progress {
        int value = 0;
        int maximum = 100;
    };

    explicit MainWindowState(QObject* parent = nullptr);

    [[nodiscard]] QString text(Label label) const { return m_texts.value(label); }
    void setText(Label label, const QString& text);

    [[nodiscard]] Progress progress(Bar bar) const { return m_progress.value(bar); }
    void setProgress(Bar bar, int value);
    void setProgressMaximum(Bar bar, int maximum);

    [[nodiscard]] bool isEnabled(Control control) const { return m_enabled.value(control, true); }
    void setEnabled(Control control, bool enabled);

    [[nodiscard]] bool isVisible(Control control) const { return m_visible.value(control, true); }
    void setVisible(Control control, bool visible);

    [[nodiscard]] bool statsVisible() const { return m_statsVisible; }
    void setStatsVisible(bool visible);

    [[nodiscard]] QString title() const { return m_title; }
    void setTitle(const QString& title);

    [[nodiscard]] bool minimized() const { return m_minimized; }
    void setMinimized(bool minimized);

    // Seconds left of a restart countdown; 0 when none runs.
    [[nodiscard]] int countdown() const { return m_countdown; }
    void setCountdown(int seconds);

    // The status light beside the download buttons: red while a download runs.
    [[nodiscard]] bool indicatorBusy() const { return m_indicatorBusy; }
    void setIndicatorBusy(bool busy);

signals:
    void textChanged(MainWindowState::Label label, const QString& text);
    void progressChanged(MainWindowState::Bar bar, int value, int maximum);
    void enabledChanged(MainWindowState::Control control, bool enabled);
    void visibleChanged(MainWindowState::Control control, bool visible);
    void statsVisibleChanged(bool visible);
    void titleChanged(const QString& title);
    void minimizedChanged(bool minimized);
    void countdownChanged(int seconds);
    void indicatorChanged(bool busy);

private:
    QHash<Label, QString> m_texts;
    QHash<Bar, Progress> m_progress;
    QHash<Control, bool> m_enabled;
    QHash<Control, bool> m_visible;
    bool m_statsVisible = true;
    bool m_minimized = false;
    QString m_title;
    int m_countdown = 0;
    bool m_indicatorBusy = false;
};

#include "app/main_window_state.h"

MainWindowState::MainWindowState(QObject* parent)
    : QObject(parent)
    , m_title(QStringLiteral("TideWhelk"))
{
    m_texts[Label::Status] = QStringLiteral("TideWhelk ready, press SCAN to start");
    m_texts[Label::LastScan] = QStringLiteral("Welcome to TideWhelk, press scan to start!");
    for (Label l : {Label::StatsDownload, Label::StatsTemp, Label::StatsCache, Label::StatsPhysicalRam,
                    Label::StatsTotalRam})
        m_texts[l] = QStringLiteral("--wait--");
    m_texts[Label::LoadGroup] = QStringLiteral("loading group");
    m_texts[Label::BatchTotal] = QStringLiteral("Total batch size: 0.0mb");
    m_texts[Label::FileEta] = QStringLiteral("Current file ETA");
    m_texts[Label::BatchEta] = QStringLiteral("Entire Batch ETA");
    m_enabled[Control::ScanStop] = false;
    m_enabled[Control::BatchDownloadStop] = false;
}

void MainWindowState::setText(Label label, const QString& text)
{
    auto it = m_texts.find(label);
    if (it != m_texts.end() && *it == text)
        return;
    m_texts[label] = text;
    emit textChanged(label, text);
}

void MainWindowState::setProgress(Bar bar, int value)
{
    Progress& p = m_progress[bar];
    if (p.value == value)
        return;
    p.value = value;
    emit progressChanged(bar, p.value, p.maximum);
}

void MainWindowState::setProgressMaximum(Bar bar, int maximum)
{
    Progress& p = m_progress[bar];
    if (p.maximum == maximum)
        return;
    p.maximum = maximum;
    emit progressChanged(bar, p.value, p.maximum);
}

void MainWindowState::setEnabled(Control control, bool enabled)
{
    if (isEnabled(control) == enabled)
        return;
    m_enabled[control] = enabled;
    emit enabledChanged(control, enabled);
}

void MainWindowState::setVisible(Control control, bool visible)
{
    if (isVisible(control) == visible)
        return;
    m_visible[control] = visible;
    emit visibleChanged(control, visible);
}

void MainWindowState::setStatsVisible(bool visible)
{
    if (m_statsVisible == visible)
        return;
    m_statsVisible = visible;
    emit statsVisibleChanged(visible);
}

void MainWindowState::setTitle(const QString& title)
{
    if (m_title == title)
        return;
    m_title = title;
    emit titleChanged(title);
}

void MainWindowState::setMinimized(bool minimized)
{
    if (m_minimized == minimized)
        return;
    m_minimized = minimized;
    // A restored window drops the progress text that was shown in its title.
    if (!minimized)
        setTitle(QStringLiteral("TideWhelk"));
    emit minimizedChanged(minimized);
}

void MainWindowState::setCountdown(int seconds)
{
    if (m_countdown == seconds)
        return;
    m_countdown = seconds;
    emit countdownChanged(seconds);
}

void MainWindowState::setIndicatorBusy(bool busy)
{
    if (m_indicatorBusy == busy)
        return;
    m_indicatorBusy = busy;
    emit indicatorChanged(busy);
}

#include "nntp/scan.h"

#include "app/clock.h"
#include "app/cues.h"
#include "app/format.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/prompts.h"
#include "app/settings.h"
#include "app/text.h"
#include "groups/newsgroups.h"
#include "headers/crunch.h"
#include "headers/header_store.h"
#include "headers/scan_activity.h"
#include "headers/scan_table.h"

#include <algorithm>

using Bar = MainWindowState::Bar;
using Control = MainWindowState::Control;
using Label = MainWindowState::Label;

ScanConnection::ScanConnection(const Services& services, QObject* parent)
    : QObject(parent)
    , m(services)
{
    m_watchdog.setInterval(1000);
    m_countdownTimer.setInterval(1000);
    connect(&m_watchdog, &QTimer::timeout, this, &ScanConnection::watchdogTick);
    connect(&m_countdownTimer, &QTimer::timeout, this, &ScanConnection::countdownTick);
    m.connections.setHandler(Conn::Scan, this);
}

ScanConnection::~ScanConnection() { m.connections.setHandler(Conn::Scan, nullptr); }

bool ScanConnection::scanning() const { return m.activity.running; }

void ScanConnection::setRunning(bool running) { m.activity.running = running; }

void ScanConnection::StartScan()
{
    Settings& s = m.settings;
    Connections& c = m.connections;
    if (s.News_Port.trimmed().isEmpty())
        s.News_Port = defaultPort(s.News_SSL);
    if (s.News_Host.trimmed().isEmpty()) {
        if (m.prompts.askYesNo(QStringLiteral("You have not entered a news server name!\r\n"
                                              "  Would you like to run the setup assistant?"),
                               PromptIcon::Exclamation)) {
            m.prompts.hideWindow(AppWindow::Login);
            m.prompts.openWindow(AppWindow::SetupAssistant, false);
        }
        return;
    }
    if (m.groups.groupCount() == 0) {
        m.prompts.hideWindow(AppWindow::Login);
        m.prompts.message(QStringLiteral("Before scanning, you need to specify some newsgroups.  \r\rUsually you do "
                                         "this from the Options menu / Newsgroups tab / Add button, but this "
                                         "time I'll pop it up for you.\n To get started fast, use the newsgroup "
                                         "search engines or type in a group name."));
        m.prompts.openWindow(AppWindow::OptionsNewsgroups, false);
        m.prompts.openWindow(AppWindow::AddNewsgroup, true);
        return;
    }
    if (c.state(Conn::Scan) != Socket::Closed) {
        m.log.WriteLog(QStringLiteral("Connection Error, please wait..."), true);
        c.CloseSocket(Conn::Scan);
    }
    m_previousBurstStart = 0;
    stopReplies();
    m_saveFailed = false;
    m_countdownArmed = false;
    m.prompts.hideWindow(AppWindow::Login);
    c.setModeReaderPending(Conn::Scan, s.chkModeReader != 0);
    m.window.setEnabled(Control::Scan, false);
    if (!c.OpenConnection(Conn::Scan))
        return;
    m_watchdog.start();
}

void ScanConnection::startWork() { ScanNextGroup(false); }

void ScanConnection::ScanNextGroup(bool advance)
{
    Newsgroups& groups = m.groups;
    if (m_groupIndex == 0) {
        m_groupIndex = 1;
        m.window.setEnabled(Control::SaveHeaders, false);
        m.log.WriteLog(QStringLiteral("Scan Initiated..."), true);
        m.cues.PlayCue(QStringLiteral("twv016.wav"));
        m_scanStart = m.clock.now();
        m.scan.scanHeaderCount = 0;
        m.scan.newItemCount = 0;
        m.window.setProgressMaximum(Bar::EntireScan, groups.groupCount());
    } else if (advance) {
        ++m_groupIndex;
        emit lifeChanged();
        if (!saveCurrentGroup()) {
            AbortScan(false);
            return;
        }
        m.scan.newItemCount = 0;
    }
    // A resumed scan is a running scan again from its first group on.
    setRunning(true);
    const int maximum = m.window.progress(Bar::EntireScan).maximum;
    int row = m_groupIndex;
    // Switched-off groups and rows without a key are passed over.
    while (row <= groups.groupCount() && (groups.rowGreyed(row - 1) || groups.keyAtRow(row - 1) == 0)) {
        if (maximum >= row)
            m.window.setProgress(Bar::EntireScan, row);
        ++row;
    }
    if (row <= groups.groupCount() && maximum >= row)
        m.window.setProgress(Bar::EntireScan, row);
    m_groupIndex = row;
    if (row > groups.groupCount()) {
        completeScan();
        return;
    }
    m_key = groups.keyAtRow(row - 1);
    m_name = groups.ngGroupNameByKey(m_key);
    groups.groupSelected = false;
    m_previousBurstStart = 0;
    m_requested.clear();
    m.headers.GNload(m_key);
    m.connections.SendLine(Conn::Scan, "GROUP " + m_name);
    m_replyMode = ReplyMode::GroupSent;
    groups.ResetGroupIcons();
    groups.setGroupIcon(row - 1, 2);
}

void ScanConnection::stopReplies() { m_requested.clear(); }

// Replies never arrive in the middle of a crunch, although it lets events run: the socket
// delivers what came meanwhile only after this handler has returned.
void ScanConnection::reply(const Reply& r)
{
    m.connections.markActivity(Conn::Scan);
    if (m_replyMode == ReplyMode::Burst) {
        burstArrived(r);
        return;
    }
    switch (r.code) {
    case 211:
        if (m_replyMode == ReplyMode::GroupSent)
            groupReply(r);
        else
            ScanNextGroup(true);
        return;
    case 411:
        m.log.WriteLog(QStringLiteral("Error, no such news group ") + displayText(m_name), true);
        m_replyMode = ReplyMode::NoGroup;
        ScanNextGroup(true);
        return;
    case 421:
        m.groups.set_high_msg(m_key, m_last, false);
        ScanNextGroup(true);
        return;
    case 423:
        m.log.WriteLog(QStringLiteral("423 no such article number in this group"), true);
        ScanNextGroup(true);
        return;
    case 224:
        m.log.WriteLog(QString::fromLatin1(r.statusLine), true);
        return;
    default:
        if (isCriticalCode(r.code))
            criticalError(r);
        return;
    }
}

void ScanConnection::groupReply(const Reply& r)
{
    const QList<QByteArray> fields = r.statusLine.trimmed().simplified().split(' ');
    // A broken or hostile range must not overflow the arithmetic on marks and counts below.
    const auto article = [](const QByteArray& field) {
        return std::clamp<qint64>(field.toLongLong(), 0, qint64(1) << 62);
    };
    m_first = article(fields.value(2));
    m_last = article(fields.value(3));
    m_articleCount = m_last - m_first;
    Newsgroups& groups = m.groups;
    groups.groupSelected = true;
    m_replyMode = ReplyMode::GroupAccepted;
    const qint64 mark = groups.ngReadMarkByKey(m_key);
    qint64 fresh = 0;
    if (m_first - 2 <= mark && mark <= m_last + 2) {
        fresh = m_last - mark;
    } else {
        // The mark stands just below the first article, so the first burst reads that one too.
        groups.set_high_msg(m_key, m_first - 1, true);
        fresh = m_articleCount + 1;
    }
    const QString name = displayText(m_name);
    if (fresh < 1)
        m.log.WriteLog(QStringLiteral("0 new articles in ") + name, true);
    else
        m.log.WriteLog(QString::number(fresh) + QStringLiteral(" new articles in ") + name, true);
    groups.ngUpdateRange(m_key, m_first, m_last);
    const GroupRecord* record = groups.recordByKey(m_key);
    if (!record || record->unread < 1)
        ScanNextGroup(true);
    else
        RequestXoverBurst();
}

void ScanConnection::RequestXoverBurst()
{
    Newsgroups& groups = m.groups;
    m_replyMode = ReplyMode::Burst;
    qint64 start = groups.ngReadMarkByKey(m_key);
    if (start == 0)
        start = std::max<qint64>(0, m_first - 1);
    if (start == m_previousBurstStart && start != 0) {
        // The last burst did not move the mark: the group is done.
        if (m_last <= start)
            groups.set_high_msg(m_key, m_last, true);
        ScanNextGroup(true);
        return;
    }
    sendXover(start, start + m.settings.sldXOVER);
}

void ScanConnection::sendXover(qint64 start, qint64 end)
{
    m_requested.push_back({start, end});
    m.connections.SendLine(Conn::Scan, "XOVER " + QByteArray::number(start + 1) + '-' + QByteArray::number(end));
}

void ScanConnection::receiving(qsizetype pendingBytes)
{
    if (m_replyMode == ReplyMode::Burst)
        m.log.WriteLog(QStringLiteral("Downloading header burst: ") + displayText(m_name) + QStringLiteral(", ")
                           + QString::number(pendingBytes) + QStringLiteral(" bytes"),
                       false);
}

void ScanConnection::requestAhead()
{
    // The crunch leaves the mark at a burst's end, so the ranges that follow are known now; asking
    // for them before crunching keeps the server sending while we file.
    while (m_requested.size() < kRequestsAhead) {
        const qint64 from = m_requested.empty() ? m_burstEnd : m_requested.back().end;
        if (from >= m_last)
            break;
        sendXover(from, from + m.settings.sldXOVER);
    }
}

void ScanConnection::burstArrived(const Reply& r)
{
    // Replies come in the order of the requests.
    if (!m_requested.empty()) {
        m_previousBurstStart = m_requested.front().start;
        m_burstEnd = m_requested.front().end;
        m_requested.pop_front();
    }
    // A failing server must not have its range skipped: that is a critical error like any other.
    if (isCriticalCode(r.code)) {
        m_requested.clear();
        criticalError(r);
        return;
    }
    // Any other error answer ends the burst as an empty one instead of waiting for the watchdog.
    const QByteArray body = r.code == 224 ? r.body : QByteArray();
    if (r.code != 224)
        m.log.WriteLog(QString::fromLatin1(r.statusLine), true);
    else
        requestAhead();
    m.log.WriteLog(QStringLiteral("Header burst downloaded: ") + displayText(m_name) + QStringLiteral(", ")
                       + QString::number(body.size()) + QStringLiteral(" bytes"),
                   true);
    Cruncher::Burst burst{m_key, m_last, m_burstEnd, m_scanStart, m_previousBurstStart + 1};
    m_crunching = true;
    const bool saved = m.cruncher.parse_xoverdata(body, burst);
    m_crunching = false;
    if (!saved) {
        reportFailedSave();
        AbortScan(false);
        return;
    }
    m.connections.markActivity(Conn::Scan);
    // The scan may have been stopped while the crunch let events run.
    if (!scanning() || m.connections.state(Conn::Scan) != Socket::Connected)
        return;
    const GroupRecord* record = m.groups.recordByKey(m_key);
    if (!record || record->unread < 1)
        ScanNextGroup(true);
    else if (m_requested.empty())
        RequestXoverBurst();
}

void ScanConnection::criticalError(const Reply& r)
{
    const QString text = QString::fromLatin1(r.statusLine);
    m.log.WriteLog(text, true);
    m.window.setProgress(Bar::EntireScan, 0);
    m.window.setProgress(Bar::ThisGroup, 0);
    m.window.setEnabled(Control::Scan, true);
    m.connections.CloseSocket(Conn::Scan);
    if (m.settings.chkRestart500) {
        m.log.WriteLog(QStringLiteral("critical server error detected.  Emergency restart pending..."), true);
        EmergencyRestart();
    } else {
        m.prompts.message(QStringLiteral("Error: ") + text);
    }
}

qint64 ScanConnection::secondsSinceStart() const
{
    return m_scanStart.isValid() ? m_scanStart.secsTo(m.clock.now()) : 0;
}

QString ScanConnection::elapsedAndRate(qint64 elapsed) const
{
    const qint64 n = m.scan.scanHeaderCount;
    const double rate = elapsed != 0 ? static_cast<double>(n) / static_cast<double>(elapsed) : 0;
    return QStringLiteral(" %1 headers read in %2 seconds, averaging ").arg(n).arg(elapsed) + fmt::Format(rate, u"0.0")
        + QStringLiteral(" HPS.");
}

void ScanConnection::completeScan()
{
    m.window.setProgress(Bar::EntireScan, 0);
    m.window.setProgress(Bar::ThisGroup, 0);
    m.groups.ResetGroupIcons();
    m_groupIndex = 0;
    const qint64 elapsed = secondsSinceStart();
    if (m.scan.scanHeaderCount >= 1)
        m.log.WriteLog(QStringLiteral("Scan Complete.") + elapsedAndRate(elapsed), true);
    else
        m.log.WriteLog(QStringLiteral("Scan Complete. No new headers read in %1 seconds.").arg(elapsed), true);
    const QDateTime now = m.clock.now();
    m.window.setText(Label::LastScan, QStringLiteral("Last Scan: ") + fmt::shortDate(now.date()) + u' '
                                          + QLocale::system().toString(now.time(), QLocale::ShortFormat)
                                          + QStringLiteral(" (complete)"));
    m.cues.PlayCue(QStringLiteral("twv003.wav"));
    emit lifeChanged();
    // A failure is reported; the marks written below then stop where the file does.
    (void)saveCurrentGroup();
    setRunning(false);
    m.window.setEnabled(Control::SaveHeaders, true);
    m.scan.reset();
    m.connections.QuitConnection(Conn::Scan);
    (void)m.groups.ngSaveFavs(); // a failure is logged; the marks on disk stay behind
    if (m.settings.chkAutodownload)
        emit autoDownloadDue();
    m.window.setEnabled(Control::Scan, true);
}

bool ScanConnection::saveCurrentGroup()
{
    if (m_key == 0 || m.headers.GNsave(m_key))
        return true;
    reportFailedSave();
    return false;
}

void ScanConnection::reportFailedSave()
{
    if (m_saveFailed)
        return;
    m_saveFailed = true;
    const QString text = QStringLiteral("The headers could not be saved: ") + m.headers.lastSaveError()
        + QStringLiteral("\r\rThe scan has stopped; the next scan reads the missing articles again.");
    m.log.WriteLog(text, true);
    m.prompts.message(text);
}

void ScanConnection::markIncomplete()
{
    const QDateTime now = m.clock.now();
    m.window.setText(Label::LastScan, QStringLiteral("Last Scan: ") + fmt::shortDate(now.date()) + u' '
                                          + QLocale::system().toString(now.time(), QLocale::ShortFormat)
                                          + QStringLiteral(" (incomplete)"));
}

void ScanConnection::closedByPeer()
{
    m_watchdog.stop();
    m.log.WriteLog(QStringLiteral("Server closed connection"), true);
    m.cues.PlayCue(QStringLiteral("twv018.wav"));
    if (m.settings.chkRestart500)
        EmergencyRestart();
    else
        AbortScan(false);
}

void ScanConnection::socketError(int, const QString& description)
{
    m.log.WriteLog(description, true);
    EmergencyRestart();
}

void ScanConnection::stopInactivityTimer() { m_watchdog.stop(); }

void ScanConnection::resetScanControls()
{
    m.window.setProgress(Bar::EntireScan, 0);
    m.window.setProgress(Bar::ThisGroup, 0);
    // The download keeps the line busy; Scan waits until it is done.
    m.window.setEnabled(Control::Scan, !downloadBusy());
}

void ScanConnection::socketClosed()
{
    m_replyMode = ReplyMode::None;
    resetScanControls();
}

void ScanConnection::giveUp(bool changeReplyMode)
{
    resetScanControls();
    if (changeReplyMode)
        m_replyMode = ReplyMode::None;
}

void ScanConnection::watchdogTick()
{
    const Connections& c = m.connections;
    if (!c.active(Conn::Scan)) {
        m_watchdog.stop();
        return;
    }
    const qint64 elapsed = (m.clock.monotonicMs() - c.lastActivityMs(Conn::Scan)) / 1000;
    if (elapsed > m.settings.sldTimeout) {
        m.log.WriteLog(QStringLiteral("WARNING: Server not responding -- %1 second timeout triggered, closing "
                                      "connection")
                           .arg(m.settings.sldTimeout),
                       true);
        EmergencyRestart();
    }
}

void ScanConnection::EmergencyRestart()
{
    Connections& c = m.connections;
    if (m_crunching)
        m.cruncher.cancel();
    // A busy download keeps the line; the scan still ends cleanly with its items saved.
    if (downloadBusy()) {
        c.CloseSocket(Conn::Scan);
        AbortScan(false);
        return;
    }
    c.CloseSocket(Conn::Scan);
    stopReplies();
    m_watchdog.stop();
    // Restarting onto a disk that cannot take the headers would only lose them again.
    if (!saveCurrentGroup()) {
        AbortScan(false);
        return;
    }
    m.window.setEnabled(Control::Scan, true);
    if (!m.settings.chkAllowRestart)
        return;
    m.window.setIndicatorBusy(false);
    setRunning(false);
    markIncomplete();
    m.window.setEnabled(Control::SaveHeaders, true);
    for (Bar b : {Bar::EntireScan, Bar::ThisGroup, Bar::ThisFile, Bar::ThisPart})
        m.window.setProgress(b, 0);
    // The countdown now ends in a scan, whatever an earlier download failure asked for.
    m_downloadRestartPending = false;
    armCountdown();
}

void ScanConnection::EmergencyRestartDownload()
{
    if (scanning())
        return;
    m_downloadRestartPending = true;
    if (!m.settings.chkAllowRestart)
        return;
    m.window.setIndicatorBusy(false);
    for (Bar b : {Bar::EntireScan, Bar::ThisGroup, Bar::ThisFile, Bar::ThisPart})
        m.window.setProgress(b, 0);
    armCountdown();
}

void ScanConnection::armCountdown()
{
    m_countdownArmed = true;
    m_countdown = m.settings.Rescan_Time;
    m.window.setCountdown(m_countdown);
    m_countdownTimer.start();
    m.log.WriteLog(QStringLiteral("Emergency Reconnect in %1 seconds.").arg(m_countdown), true);
}

void ScanConnection::CancelCountdown()
{
    m_countdownArmed = false;
    m_countdown = m.settings.Rescan_Time;
    m_countdownTimer.stop();
    m.window.setCountdown(0);
}

void ScanConnection::countdownTick()
{
    const bool download = m_downloadRestartPending;
    if (!m_countdownArmed) {
        m_countdownTimer.stop();
        m.log.WriteLog(download ? QStringLiteral("Download restart coundown cancelled by user.")
                                : QStringLiteral("Re-scan countdown cancelled by user."),
                       true);
        return;
    }
    if (m_countdown <= 0)
        return;
    --m_countdown;
    m.window.setCountdown(m_countdown);
    if (m_countdown > 0)
        m.log.WriteLog((download ? QStringLiteral("Download Restart in %1 seconds (hit stop to abort)")
                                 : QStringLiteral("Rescan in %1 seconds (hit stop to abort)"))
                           .arg(m_countdown),
                       false);
    if (m_countdown == 0) {
        m_countdownTimer.stop();
        m_countdownArmed = false;
        if (download) {
            m.log.WriteLog(QStringLiteral("Download Restart Initiated"), false);
            emit downloadRestartDue();
            return;
        }
        m.log.WriteLog(QStringLiteral("Rescan initiated"), false);
        StartScan();
        return;
    }
    if (m_countdown <= 10)
        m.cues.PlayCue(QString::number(m_countdown) + QStringLiteral(".wav"));
}

void ScanConnection::AbortScan(bool byUser)
{
    if (m_crunching)
        m.cruncher.cancel();
    m.connections.QuitConnection(Conn::Scan);
    m_watchdog.stop();
    stopReplies();
    if (scanning()) {
        setRunning(false);
        m.window.setEnabled(Control::SaveHeaders, true);
        (void)saveCurrentGroup(); // a failure is reported there
        m.scan.reset();
        if (byUser) {
            if (m.scan.scanHeaderCount > 1)
                m.log.WriteLog(QStringLiteral("Scan Aborted by user.") + elapsedAndRate(secondsSinceStart()), true);
            else
                m.log.WriteLog(QStringLiteral("Scan Aborted by user."), true);
        }
        markIncomplete();
    }
    m.groups.ResetGroupIcons();
    m_groupIndex = 0;
    emit lifeChanged();
    m_countdownArmed = false;
    m_countdown = m.settings.Rescan_Time;
    m.window.setCountdown(0);
    m_countdownTimer.stop();
    m_previousBurstStart = 0;
}

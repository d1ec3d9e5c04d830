#include "nntp/scan.h"

#include "app/app_context.h"
#include "app/clock.h"
#include "app/format.h"
#include "app/prompts.h"
#include "app/text.h"

using Bar = MainWindowState::Bar;
using Control = MainWindowState::Control;
using Label = MainWindowState::Label;

ScanConnection::ScanConnection(AppContext& context, QObject* parent)
    : QObject(parent)
    , m_ctx(context)
{
    m_watchdog.setInterval(1000);
    m_countdownTimer.setInterval(1000);
    connect(&m_watchdog, &QTimer::timeout, this, &ScanConnection::watchdogTick);
    connect(&m_countdownTimer, &QTimer::timeout, this, &ScanConnection::countdownTick);
    m_ctx.connections.setHandler(Conn::Scan, this);
}

ScanConnection::~ScanConnection() { m_ctx.connections.setHandler(Conn::Scan, nullptr); }

void ScanConnection::StartScan()
{
    Settings& s = m_ctx.settings;
    Connections& c = m_ctx.connections;
    if (s.News_Port.trimmed().isEmpty())
        s.News_Port = QStringLiteral("119");
    if (s.News_Host.trimmed().isEmpty()) {
        if (m_ctx.prompts.askYesNo(QStringLiteral("You have not entered a news server name!\r\n"
                                                  "  Would you like to run the setup assistant?"),
                                   PromptIcon::Exclamation)) {
            m_ctx.prompts.hideWindow(AppWindow::Login);
            m_ctx.prompts.openWindow(AppWindow::SetupAssistant, false);
        }
        return;
    }
    if (m_ctx.groups.groupCount() == 0) {
        m_ctx.prompts.hideWindow(AppWindow::Login);
        m_ctx.prompts.message(QStringLiteral("Before scanning, you need to specify some newsgroups.  \r\rUsually you do "
                                             "this from the Options menu / Newsgroups tab / Add button, but this "
                                             "time I'll pop it up for you.\n To get started fast, use the newsgroup "
                                             "search engines or type in a group name."));
        m_ctx.prompts.openWindow(AppWindow::OptionsNewsgroups, false);
        m_ctx.prompts.openWindow(AppWindow::AddNewsgroup, true);
        return;
    }
    if (c.state(Conn::Scan) != Socket::Closed) {
        m_ctx.log.WriteLog(QStringLiteral("Connection Error, please wait..."), true);
        c.CloseSocket(Conn::Scan);
    }
    m_previousBurstStart = 0;
    stopReplies();
    c.quitSent = false;
    m_countdownArmed = false;
    m_ctx.prompts.hideWindow(AppWindow::Login);
    c.modeReaderPending = s.chkModeReader != 0;
    m_ctx.window.setEnabled(Control::Scan, false);
    if (!c.OpenConnection(Conn::Scan))
        return;
    m_watchdog.start();
}

void ScanConnection::startWork() { ScanNextGroup(false); }

void ScanConnection::ScanNextGroup(bool advance)
{
    Newsgroups& groups = m_ctx.groups;
    if (m_groupIndex == 0) {
        m_groupIndex = 1;
        m_ctx.window.setEnabled(Control::SaveHeaders, false);
        m_ctx.log.WriteLog(QStringLiteral("Scan Initiated..."), true);
        m_ctx.cues.PlayCue(QStringLiteral("twv016.wav"));
        m_scanStart = m_ctx.clock.now();
        m_ctx.scan.scanHeaderCount = 0;
        m_ctx.scan.newItemCount = 0;
        m_ctx.window.setProgressMaximum(Bar::EntireScan, groups.groupCount());
    } else if (advance) {
        ++m_groupIndex;
        callHook(m_ctx.hooks.refreshBatchLife);
        saveCurrentGroup();
        m_ctx.scan.newItemCount = 0;
    }
    // A resumed scan is a running scan again from its first group on.
    m_scanning = true;
    const int maximum = m_ctx.window.progress(Bar::EntireScan).maximum;
    int row = m_groupIndex;
    // Switched-off groups and rows without a key are passed over.
    while (row <= groups.groupCount() && (groups.rowGreyed(row - 1) || groups.keyAtRow(row - 1) == 0)) {
        if (maximum >= row)
            m_ctx.window.setProgress(Bar::EntireScan, row);
        ++row;
    }
    if (row <= groups.groupCount() && maximum >= row)
        m_ctx.window.setProgress(Bar::EntireScan, row);
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
    m_ctx.headers.GNload(m_key);
    m_ctx.connections.SendLine(Conn::Scan, "GROUP " + m_name);
    m_ctx.connections.replyMode = kGroupSent;
    groups.ResetGroupIcons();
    groups.setGroupIcon(row - 1, 2);
}

void ScanConnection::stopReplies() { m_requested.clear(); }

// Replies never arrive in the middle of a crunch, although it lets events run: the socket
// delivers what came meanwhile only after this handler has returned.
void ScanConnection::reply(const Reply& r)
{
    Connections& c = m_ctx.connections;
    c.lastActivityMs = m_ctx.clock.monotonicMs();
    if (c.replyMode == kBurst) {
        burstArrived(r);
        return;
    }
    switch (r.code) {
    case 211:
        if (c.replyMode == kGroupSent)
            groupReply(r);
        else
            ScanNextGroup(true);
        return;
    case 411:
        m_ctx.log.WriteLog(QStringLiteral("Error, no such news group ") + displayText(m_name), true);
        c.replyMode = kNoGroup;
        ScanNextGroup(true);
        return;
    case 421:
        m_ctx.groups.set_high_msg(m_key, m_last, false);
        ScanNextGroup(true);
        return;
    case 423:
        m_ctx.log.WriteLog(QStringLiteral("423 no such article number in this group"), true);
        ScanNextGroup(true);
        return;
    case 224:
        m_ctx.log.WriteLog(QString::fromLatin1(r.statusLine), true);
        return;
    case 400:
    case 500:
    case 501:
    case 502:
    case 503:
        criticalError(r);
        return;
    default:
        return;
    }
}

void ScanConnection::groupReply(const Reply& r)
{
    const QList<QByteArray> fields = r.statusLine.trimmed().simplified().split(' ');
    m_first = fields.value(2).toLongLong();
    m_last = fields.value(3).toLongLong();
    m_articleCount = m_last - m_first;
    Newsgroups& groups = m_ctx.groups;
    groups.groupSelected = true;
    m_ctx.connections.replyMode = kGroupAccepted;
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
        m_ctx.log.WriteLog(QStringLiteral("0 new articles in ") + name, true);
    else
        m_ctx.log.WriteLog(QString::number(fresh) + QStringLiteral(" new articles in ") + name, true);
    groups.ngUpdateRange(m_key, m_first, m_last);
    const GroupRecord* record = groups.recordByKey(m_key);
    if (!record || record->unread < 1)
        ScanNextGroup(true);
    else
        RequestXoverBurst();
}

void ScanConnection::RequestXoverBurst()
{
    Newsgroups& groups = m_ctx.groups;
    m_ctx.connections.replyMode = kBurst;
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
    sendXover(start, start + m_ctx.settings.sldXOVER);
}

void ScanConnection::sendXover(qint64 start, qint64 end)
{
    m_requested.push_back({start, end});
    m_ctx.connections.SendLine(Conn::Scan, "XOVER " + QByteArray::number(start + 1) + '-' + QByteArray::number(end));
}

void ScanConnection::receiving(qsizetype pendingBytes)
{
    if (m_ctx.connections.replyMode == kBurst)
        m_ctx.log.WriteLog(QStringLiteral("Downloading header burst: ") + displayText(m_name) + QStringLiteral(", ")
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
        sendXover(from, from + m_ctx.settings.sldXOVER);
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
    if (r.code == 400 || (r.code >= 500 && r.code <= 503)) {
        m_requested.clear();
        criticalError(r);
        return;
    }
    // Any other error answer ends the burst as an empty one instead of waiting for the watchdog.
    const QByteArray body = r.code == 224 ? r.body : QByteArray();
    if (r.code != 224)
        m_ctx.log.WriteLog(QString::fromLatin1(r.statusLine), true);
    else
        requestAhead();
    m_ctx.log.WriteLog(QStringLiteral("Header burst downloaded: ") + displayText(m_name) + QStringLiteral(", ")
                           + QString::number(body.size()) + QStringLiteral(" bytes"),
                       true);
    Cruncher::Burst burst{m_key, m_last, m_burstEnd, m_scanStart};
    m_ctx.cruncher.onActivity = [this] { m_ctx.connections.lastActivityMs = m_ctx.clock.monotonicMs(); };
    m_crunching = true;
    m_ctx.cruncher.parse_xoverdata(body, burst);
    m_crunching = false;
    m_ctx.connections.lastActivityMs = m_ctx.clock.monotonicMs();
    // The scan may have been stopped while the crunch let events run.
    if (!m_scanning || m_ctx.connections.state(Conn::Scan) != Socket::Connected)
        return;
    const GroupRecord* record = m_ctx.groups.recordByKey(m_key);
    if (!record || record->unread < 1)
        ScanNextGroup(true);
    else if (m_requested.empty())
        RequestXoverBurst();
}

void ScanConnection::criticalError(const Reply& r)
{
    const QString text = QString::fromLatin1(r.statusLine);
    m_ctx.log.WriteLog(text, true);
    m_ctx.window.setProgress(Bar::EntireScan, 0);
    m_ctx.window.setProgress(Bar::ThisGroup, 0);
    m_ctx.window.setEnabled(Control::Scan, true);
    m_ctx.connections.CloseSocket(Conn::Scan);
    if (m_ctx.settings.chkRestart500) {
        m_ctx.log.WriteLog(QStringLiteral("critical server error detected.  Emergency restart pending..."), true);
        EmergencyRestart();
    } else {
        m_ctx.prompts.message(QStringLiteral("Error: ") + text);
    }
}

qint64 ScanConnection::secondsSinceStart() const
{
    return m_scanStart.isValid() ? m_scanStart.secsTo(m_ctx.clock.now()) : 0;
}

QString ScanConnection::elapsedAndRate(qint64 elapsed) const
{
    const qint64 n = m_ctx.scan.scanHeaderCount;
    const double rate = elapsed != 0 ? static_cast<double>(n) / static_cast<double>(elapsed) : 0;
    return QStringLiteral(" %1 headers read in %2 seconds, averaging ").arg(n).arg(elapsed) + fmt::Format(rate, u"0.0")
        + QStringLiteral(" HPS.");
}

void ScanConnection::completeScan()
{
    m_ctx.window.setProgress(Bar::EntireScan, 0);
    m_ctx.window.setProgress(Bar::ThisGroup, 0);
    m_ctx.groups.ResetGroupIcons();
    m_groupIndex = 0;
    const qint64 elapsed = secondsSinceStart();
    if (m_ctx.scan.scanHeaderCount >= 1)
        m_ctx.log.WriteLog(QStringLiteral("Scan Complete.") + elapsedAndRate(elapsed), true);
    else
        m_ctx.log.WriteLog(QStringLiteral("Scan Complete. No new headers read in %1 seconds.").arg(elapsed), true);
    const QDateTime now = m_ctx.clock.now();
    m_ctx.window.setText(Label::LastScan, QStringLiteral("Last Scan: ") + fmt::shortDate(now.date()) + u' '
                                              + QLocale::system().toString(now.time(), QLocale::ShortFormat)
                                              + QStringLiteral(" (complete)"));
    m_ctx.cues.PlayCue(QStringLiteral("twv003.wav"));
    callHook(m_ctx.hooks.refreshBatchLife);
    saveCurrentGroup();
    m_scanning = false;
    m_ctx.window.setEnabled(Control::SaveHeaders, true);
    m_ctx.scan.reset();
    m_ctx.connections.QuitConnection(Conn::Scan);
    m_ctx.groups.ngSaveFavs();
    if (m_ctx.settings.chkAutodownload && m_ctx.hooks.batchHasWork && m_ctx.hooks.batchHasWork())
        callHook(m_ctx.hooks.downloadBatch);
    m_ctx.window.setEnabled(Control::Scan, true);
}

void ScanConnection::saveCurrentGroup()
{
    if (m_key != 0)
        m_ctx.headers.GNsave(m_key);
}

void ScanConnection::markIncomplete()
{
    const QDateTime now = m_ctx.clock.now();
    m_ctx.window.setText(Label::LastScan, QStringLiteral("Last Scan: ") + fmt::shortDate(now.date()) + u' '
                                              + QLocale::system().toString(now.time(), QLocale::ShortFormat)
                                              + QStringLiteral(" (incomplete)"));
}

void ScanConnection::closedByPeer()
{
    m_watchdog.stop();
    m_ctx.log.WriteLog(QStringLiteral("Server closed connection"), true);
    m_ctx.cues.PlayCue(QStringLiteral("twv018.wav"));
    if (m_ctx.settings.chkRestart500)
        EmergencyRestart();
    else
        AbortScan(false);
}

void ScanConnection::socketError(int, const QString& description)
{
    m_ctx.log.WriteLog(description, true);
    EmergencyRestart();
}

void ScanConnection::stopInactivityTimer() { m_watchdog.stop(); }

void ScanConnection::watchdogTick()
{
    Connections& c = m_ctx.connections;
    if (!c.connectionActive) {
        m_watchdog.stop();
        return;
    }
    const qint64 elapsed = (m_ctx.clock.monotonicMs() - c.lastActivityMs) / 1000;
    if (elapsed > m_ctx.settings.sldTimeout) {
        m_ctx.log.WriteLog(QStringLiteral("WARNING: Server not responding -- %1 second timeout triggered, closing "
                                          "connection")
                               .arg(m_ctx.settings.sldTimeout),
                           true);
        EmergencyRestart();
    }
}

void ScanConnection::EmergencyRestart()
{
    Connections& c = m_ctx.connections;
    if (m_crunching)
        m_ctx.cruncher.cancel();
    // A busy download keeps the line; the scan still ends cleanly with its items saved.
    if (c.downloadBusy && c.downloadBusy()) {
        c.CloseSocket(Conn::Scan);
        AbortScan(false);
        return;
    }
    c.CloseSocket(Conn::Scan);
    stopReplies();
    m_watchdog.stop();
    saveCurrentGroup();
    m_ctx.window.setEnabled(Control::Scan, true);
    if (!m_ctx.settings.chkAllowRestart)
        return;
    m_ctx.window.setIndicatorBusy(false);
    m_scanning = false;
    markIncomplete();
    m_ctx.window.setEnabled(Control::SaveHeaders, true);
    for (Bar b : {Bar::EntireScan, Bar::ThisGroup, Bar::ThisFile, Bar::ThisPart})
        m_ctx.window.setProgress(b, 0);
    m_countdownArmed = true;
    m_countdown = m_ctx.settings.Rescan_Time;
    m_ctx.window.setCountdown(m_countdown);
    m_countdownTimer.start();
    m_ctx.log.WriteLog(QStringLiteral("Emergency Reconnect in %1 seconds.").arg(m_countdown), true);
}

void ScanConnection::countdownTick()
{
    if (!m_countdownArmed) {
        m_countdownTimer.stop();
        m_ctx.log.WriteLog(QStringLiteral("Re-scan countdown cancelled by user."), true);
        return;
    }
    if (m_countdown <= 0)
        return;
    --m_countdown;
    m_ctx.window.setCountdown(m_countdown);
    if (m_countdown > 0)
        m_ctx.log.WriteLog(QStringLiteral("Rescan in %1 seconds (hit stop to abort)").arg(m_countdown), false);
    if (m_countdown == 0) {
        m_ctx.log.WriteLog(QStringLiteral("Rescan initiated"), false);
        m_countdownTimer.stop();
        m_countdownArmed = false;
        StartScan();
        return;
    }
    if (m_countdown <= 10)
        m_ctx.cues.PlayCue(QString::number(m_countdown) + QStringLiteral(".wav"));
}

void ScanConnection::AbortScan(bool byUser)
{
    if (m_crunching)
        m_ctx.cruncher.cancel();
    m_ctx.connections.QuitConnection(Conn::Scan);
    m_watchdog.stop();
    stopReplies();
    if (m_scanning) {
        m_scanning = false;
        m_ctx.window.setEnabled(Control::SaveHeaders, true);
        saveCurrentGroup();
        m_ctx.scan.reset();
        if (byUser) {
            if (m_ctx.scan.scanHeaderCount > 1)
                m_ctx.log.WriteLog(QStringLiteral("Scan Aborted by user.") + elapsedAndRate(secondsSinceStart()), true);
            else
                m_ctx.log.WriteLog(QStringLiteral("Scan Aborted by user."), true);
        }
        markIncomplete();
    }
    m_ctx.groups.ResetGroupIcons();
    m_groupIndex = 0;
    callHook(m_ctx.hooks.refreshBatchLife);
    m_countdownArmed = false;
    m_countdown = m_ctx.settings.Rescan_Time;
    m_ctx.window.setCountdown(0);
    m_countdownTimer.stop();
    m_previousBurstStart = 0;
}

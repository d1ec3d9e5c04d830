// The download connection's side of the batch download: its replies, its watchdog, its failures.
#include "app/clock.h"
#include "app/cues.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/prompts.h"
#include "app/settings.h"
#include "app/text.h"
#include "batch/download.h"

void BatchDownload::connected()
{
    m.cues.PlayCue(QStringLiteral("twv017.wav"));
}

void BatchDownload::startWork()
{
    SelectDownloadGroup();
}

void BatchDownload::SelectDownloadGroup()
{
    m_partStartMs = m.clock.monotonicMs();
    m.connections.markActivity(Conn::Download);
    const QByteArray command = m_fetch.selectGroup();
    m.window.setEnabled(MainWindowState::Control::Scan, false);
    if (!m_fetch.group().isEmpty())
        m.connections.SendLine(Conn::Download, command);
}

void BatchDownload::reply(const Reply& reply)
{
    const QString key = displayText(m_work.record.key);
    switch (reply.code) {
    case 220:
    case 222:
        if (reply.multiLine && m_state != State::Idle) {
            m_received = std::max(m_received, reply.body.size());
            ArticleRetrieved(reply.body);
        }
        return;
    case 211:
        m_state = State::GroupSelected;
        sendArticleRequest(m_fetch.next(reply.code));
        return;
    case 430:
        if (const QByteArray retry = m_fetch.next(reply.code); !retry.isEmpty()) {
            sendArticleRequest(retry);
            return;
        }
        [[fallthrough]];
    case 423:
        skipEntry(QStringLiteral("Article expired!  Skipping ") + key + u'.',
            QStringLiteral("Item no longer available on server"));
        return;
    case 411:
        // The inactivity timer would only restart into the same answer.
        m_fetch.forgetGroup();
        skipEntry(QStringLiteral("No such group: ") + displayText(m_fetch.group()) + QStringLiteral("; skipping ") + key
                + u'.',
            QStringLiteral("Error: the server does not carry ") + displayText(m_fetch.group()));
        return;
    case 412:
        m.connections.QuitConnection(Conn::Download);
        settle();
        return;
    case 202:
        m.log.WriteLog(QString::fromLatin1(reply.statusLine), true);
        SelectDownloadGroup();
        return;
    case 205:
        m.log.WriteLog(QString::fromLatin1(reply.statusLine), true);
        return;
    default:
        if (isCriticalCode(reply.code))
            criticalError(reply);
        return;
    }
}

void BatchDownload::criticalError(const Reply& reply)
{
    const QString text = QString::fromLatin1(reply.statusLine);
    m.log.WriteLog(text, true);
    m.connections.CloseSocket(Conn::Download);
    if (m.settings.chkRestart500) {
        m.log.WriteLog(QStringLiteral("critical server error detected.  Emergency restart pending..."), true);
        emergencyRestart();
        return;
    }
    // Without a restart the download is over; Download starts it again.
    settle();
    m.prompts.message(QStringLiteral("Error: ") + text);
}

void BatchDownload::receiving(qsizetype pendingBytes)
{
    if (m_state == State::Requesting || m_state == State::GroupSelected)
        showProgress(pendingBytes);
}

void BatchDownload::closedByPeer()
{
    m_watchdog.stop();
    // The server ending the connection after our QUIT or Stop is no failure.
    if (!m_running) {
        m.connections.CloseSocket(Conn::Download);
        return;
    }
    m.log.WriteLog(QStringLiteral("Server closed connection"), true);
    m.cues.PlayCue(QStringLiteral("twv018.wav"));
    if (m.settings.chkRestart500) {
        emergencyRestart();
        return;
    }
    m.connections.CloseSocket(Conn::Download);
    settle();
}

void BatchDownload::socketError(int, const QString& description)
{
    if (!m_running)
        return;
    m.log.WriteLog(description, true);
    emergencyRestart();
}

void BatchDownload::stopInactivityTimer()
{
    m_watchdog.stop();
}

void BatchDownload::giveUp(bool)
{
    settle();
}

void BatchDownload::watchdogTick()
{
    const Connections& c = m.connections;
    if (!c.active(Conn::Download)) {
        m_watchdog.stop();
        return;
    }
    const qint64 elapsed = (m.clock.monotonicMs() - c.lastActivityMs(Conn::Download)) / 1000;
    if (elapsed > m.settings.sldTimeout) {
        m.log.WriteLog(QStringLiteral("WARNING: Server not responding -- %1 second timeout triggered, closing "
                                      "connection")
                           .arg(m.settings.sldTimeout),
            true);
        emergencyRestart();
    }
}

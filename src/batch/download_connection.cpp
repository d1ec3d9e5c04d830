// One download connection's side of the batch download: its replies, its watchdog, its failures.
#include "app/clock.h"
#include "app/cues.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/prompts.h"
#include "app/settings.h"
#include "app/text.h"
#include "batch/download.h"
#include "batch/download_line.h"

namespace {

// What a server answers a connection beyond its limit with, at the greeting or the login.
bool isRefusal(int code)
{
    return code == 400 || code == 481 || code == 502;
}

} // namespace

DownloadLine::DownloadLine(BatchDownload& owner, Conn conn)
    : m_owner(owner)
    , m_conn(conn)
{
    m_watchdog.setInterval(1000);
    QObject::connect(&m_watchdog, &QTimer::timeout, &m_watchdog, [this] { watchdogTick(); });
    m_rest.setSingleShot(true);
    QObject::connect(&m_rest, &QTimer::timeout, &m_rest, [this] {
        m_resting = false;
        m_owner.assignParts();
    });
}

DownloadLine::~DownloadLine() = default;

void DownloadLine::reset()
{
    m_state = State::Idle;
    m_loggedIn = false;
    m_watchdog.stop();
    m_rest.stop();
    m_resting = false;
    m_slot = {};
    m_received = 0;
}

void DownloadLine::connected()
{
    if (m_conn == Conn::Download)
        m_owner.m.cues.PlayCue(QStringLiteral("twv017.wav"));
}

void DownloadLine::startWork()
{
    m_loggedIn = true;
    selectGroup();
}

void DownloadLine::selectGroup()
{
    BatchDownload::Services& m = m_owner.m;
    m_partStartMs = m.clock.monotonicMs();
    m.connections.markActivity(m_conn);
    const QByteArray command = m_fetch.selectGroup();
    m.window.setEnabled(MainWindowState::Control::Scan, false);
    if (!m_fetch.group().isEmpty()) {
        m.connections.SendLine(m_conn, command);
    } else if (hasPart()) {
        m_state = State::GroupSelected;
        sendArticleRequest(m_fetch.byId());
    }
}

void DownloadLine::sendArticleRequest(const QByteArray& command)
{
    m_partStartMs = m_owner.m.clock.monotonicMs();
    m_received = 0;
    m_owner.m.connections.SendLine(m_conn, command);
}

void DownloadLine::reply(const Reply& reply)
{
    BatchDownload& d = m_owner;
    if (!m_loggedIn && isRefusal(reply.code)) {
        d.refused(*this, reply);
        return;
    }
    const Slot slot = m_slot;
    // Gives the part up: the connection is free for the next one.
    auto takePart = [this] {
        m_slot = {};
        m_received = 0;
        m_state = State::Ready;
    };
    switch (reply.code) {
    case 220:
    case 222:
        if (reply.multiLine && m_state != State::Idle) {
            m_received = std::max(m_received, reply.body.size());
            d.ArticleRetrieved(*this, reply.body);
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
        takePart();
        d.skipEntry(slot.entry, QStringLiteral("Article expired!  Skipping ") + slot.key + u'.',
            QStringLiteral("Item no longer available on server"));
        return;
    case 411:
        // The inactivity timer would only restart into the same answer.
        m_fetch.forgetGroup();
        takePart();
        d.skipEntry(slot.entry,
            QStringLiteral("No such group: ") + displayText(m_fetch.group()) + QStringLiteral("; skipping ") + slot.key
                + u'.',
            QStringLiteral("Error: the server does not carry ") + displayText(m_fetch.group()));
        return;
    case 412:
        d.settle();
        return;
    case 202:
        d.m.log.WriteLog(QString::fromLatin1(reply.statusLine), true);
        selectGroup();
        return;
    case 205:
        d.m.log.WriteLog(QString::fromLatin1(reply.statusLine), true);
        return;
    default:
        if (isCriticalCode(reply.code))
            d.criticalError(*this, reply);
        return;
    }
}

void BatchDownload::criticalError(DownloadLine& line, const Reply& reply)
{
    const QString text = QString::fromLatin1(reply.statusLine);
    m.log.WriteLog(text, true);
    m.connections.CloseSocket(line.conn());
    if (m.settings.chkRestart500) {
        m.log.WriteLog(QStringLiteral("critical server error detected.  Emergency restart pending..."), true);
        lineFailed(line);
        return;
    }
    // Without a restart the download is over; Download starts it again.
    settle();
    m.prompts.message(QStringLiteral("Error: ") + text);
}

void BatchDownload::refused(DownloadLine& line, const Reply& reply)
{
    if (!m_running) {
        m.connections.CloseSocket(line.conn());
        line.reset();
        return;
    }
    // The last connection refused is a failure like any other.
    if (!otherLineLive(line)) {
        criticalError(line, reply);
        return;
    }
    releasePart(line);
    m.connections.SendLine(line.conn(), "QUIT");
    m.connections.socket(line.conn()).close();
    line.reset();
    line.m_dropped = true;
    m.log.WriteLog(QStringLiteral("The server refused another connection (%1); connections in use: %2.")
                       .arg(QString::fromLatin1(reply.statusLine))
                       .arg(connectionsInUse()),
        true);
    assignParts();
}

void DownloadLine::receiving(qsizetype pendingBytes)
{
    if (hasPart() && (m_state == State::Requesting || m_state == State::GroupSelected))
        m_owner.showProgress(*this, pendingBytes);
}

void DownloadLine::closedByPeer()
{
    m_watchdog.stop();
    m_owner.closedByPeer(*this);
}

void BatchDownload::closedByPeer(DownloadLine& line)
{
    const Conn n = line.conn();
    // The server ending the connection after our QUIT or Stop is no failure, nor is it letting a
    // connection go that had nothing to do: it is opened again when needed.
    if (!m_running || (line.m_state == DownloadLine::State::Ready && !line.hasPart() && otherLineLive(line))) {
        m.connections.CloseSocket(n);
        line.reset();
        return;
    }
    m.log.WriteLog(QStringLiteral("Server closed connection"), true);
    m.cues.PlayCue(QStringLiteral("twv018.wav"));
    if (m.settings.chkRestart500) {
        lineFailed(line);
        return;
    }
    if (otherLineLive(line)) {
        restLine(line, false);
        return;
    }
    m.connections.CloseSocket(n);
    settle();
}

void DownloadLine::socketError(int, const QString& description)
{
    BatchDownload& d = m_owner;
    if (!d.m_running || m_state == State::Idle)
        return;
    d.m.log.WriteLog(description, true);
    d.lineFailed(*this);
}

void DownloadLine::stopInactivityTimer()
{
    m_watchdog.stop();
}

void DownloadLine::giveUp(bool)
{
    m_owner.settle(this);
}

void DownloadLine::watchdogTick()
{
    BatchDownload::Services& m = m_owner.m;
    if (!m.connections.active(m_conn)) {
        m_watchdog.stop();
        return;
    }
    // A connection waiting for a part to fetch is not a silent server.
    if (m_state == State::Ready && !hasPart())
        return;
    const qint64 elapsed = (m.clock.monotonicMs() - m.connections.lastActivityMs(m_conn)) / 1000;
    if (elapsed > m.settings.sldTimeout) {
        m.log.WriteLog(QStringLiteral("WARNING: Server not responding -- %1 second timeout triggered, closing "
                                      "connection")
                           .arg(m.settings.sldTimeout),
            true);
        m_owner.lineFailed(*this);
    }
}

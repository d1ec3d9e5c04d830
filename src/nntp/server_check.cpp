#include "nntp/server_check.h"

#include "app/settings.h"

#include <QAbstractSocket>

namespace {

const QByteArray kGroup = "GROUP alt.test";

QString socketErrorText(int code, const QString& description)
{
    switch (code) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("Oops.  That was not your news server.  The machine at this address is refusing our "
                              "connection.  Note that this is not the same as the news server error '502 connection "
                              "refused' -- we aren't getting that far.  Hit the back button and try again.");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("Oops.  I don't think that's your correct news server name.  Hit the back button and "
                              "try again.  If you keep getting this, contact your ISP admin to find out your news "
                              "server name.");
    case QAbstractSocket::NetworkError:
        return QStringLiteral("Hmm...  Please be sure we are connected to the internet.  Hit the back button and try "
                              "again.  If you keep getting this, contact your ISP admin for help.");
    default:
        return QStringLiteral("Oops.  I don't know about this (") + description
            + QStringLiteral(").  Hit the back button and try again.  I may just be confused.  If you think this is a "
                             "bogus error and believe your server is correct, click next to continue.");
    }
}

bool knownSocketError(int code)
{
    return code == QAbstractSocket::ConnectionRefusedError || code == QAbstractSocket::HostNotFoundError
        || code == QAbstractSocket::NetworkError;
}

} // namespace

ServerCheck::ServerCheck(const Services& services, QObject* parent)
    : QObject(parent)
    , m(services)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(m.replyTimeoutMs);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        // The user is still deciding about the server's certificate.
        if (m.connections.awaitingTrust(Conn::Assistant)) {
            m_timer.start();
            return;
        }
        if (m_step == Step::QuitSent) {
            loggedOff();
            return;
        }
        fail(QStringLiteral("The server did not answer for %1 seconds.  Hit the back button and try again.")
                 .arg(m.replyTimeoutMs / 1000));
    });
    m.connections.setHandler(Conn::Assistant, this);
}

ServerCheck::~ServerCheck()
{
    m.connections.setHandler(Conn::Assistant, nullptr);
}

void ServerCheck::start(const Fields& fields)
{
    cancel();
    m_fields = fields;
    m_fields.server = m_fields.server.trimmed();
    if (m_fields.port.trimmed().isEmpty())
        m_fields.port = defaultPort(m_fields.encryption);
    m_marks = 0;
    emit marksShown(0);
    m_passed = false;
    m_refused = false;
    setNextEnabled(false);
    m_step = Step::Connecting;
    Socket& socket = m.connections.socket(Conn::Assistant);
    if (socket.state() > Socket::Closed) {
        setStatus(QStringLiteral("Connection Error, please wait..."));
        socket.close();
    }
    setStatus(QStringLiteral("Connecting..."));
    m_timer.start();
    if (!m.connections.OpenConnection(Conn::Assistant))
        fail(QStringLiteral("Connection Error..."));
}

void ServerCheck::cancel()
{
    if (m_step == Step::Idle)
        return;
    m_step = Step::Idle;
    m_timer.stop();
    m.connections.SendLine(Conn::Assistant, "QUIT");
    closeConnection();
}

void ServerCheck::greeted()
{
    if (running())
        showMark(LoggedOn);
}

void ServerCheck::startWork()
{
    if (!running())
        return;
    m_step = Step::GroupSent;
    m.connections.SendLine(Conn::Assistant, kGroup);
}

void ServerCheck::reply(const Reply& reply)
{
    if (!running())
        return;
    m_timer.start();
    if (m_step == Step::QuitSent)
        return;
    if (reply.code == 211 && m_step == Step::GroupSent) {
        showMark(GroupJoined);
        m_step = Step::HeadSent;
        m.connections.SendLine(Conn::Assistant, "HEAD");
        return;
    }
    if (reply.code == 221 && m_step == Step::HeadSent) {
        showMark(HeaderRetrieved);
        m_passed = true;
        sendQuit();
        return;
    }
    if (reply.code == 502) {
        fail(QStringLiteral("Authentication Error.  Check Username/Password..."));
        return;
    }
    // An empty or missing test group says nothing against the server: it answered and let us in.
    const bool groupOrArticle = reply.code == 411 || (reply.code >= 420 && reply.code <= 423) || reply.code == 430;
    if (groupOrArticle && (m_step == Step::GroupSent || m_step == Step::HeadSent)) {
        m_passed = true;
        m_refused = true;
    }
    if (reply.code == 423)
        setStatus(QStringLiteral("Article has expired"));
    else if (reply.code == 421)
        setStatus(QStringLiteral("421 end of group"));
    else
        setStatus(QString::fromLatin1(reply.statusLine));
    // Logged on, the server still deserves a proper goodbye.
    if (m_step == Step::GroupSent || m_step == Step::HeadSent)
        sendQuit();
    else
        fail(m_status);
}

void ServerCheck::giveUp(bool changeReplyMode)
{
    (void)changeReplyMode;
    // The login has shown why and closes the connection itself.
    if (running())
        end(false);
}

void ServerCheck::connected()
{
    if (running())
        m_timer.start();
}

void ServerCheck::receiving(qsizetype pendingBytes)
{
    (void)pendingBytes;
    if (running())
        m_timer.start();
}

void ServerCheck::closedByPeer()
{
    if (!running())
        return;
    if (m_step == Step::QuitSent)
        loggedOff();
    else
        fail(QStringLiteral("The server closed the connection.  Hit the back button and try again."));
}

// Reached after the 205 goodbye, once the login has closed the socket.
void ServerCheck::socketClosed()
{
    closedByPeer();
}

void ServerCheck::socketError(int code, const QString& description)
{
    if (!running())
        return;
    // A reset after QUIT is how some servers say goodbye.
    if (m_step == Step::QuitSent) {
        loggedOff();
        return;
    }
    setStatus(socketErrorText(code, description));
    closeConnection();
    if (!knownSocketError(code)) {
        // The user may know better than the error: let them go on with this server.
        copyToLogin();
        setNextEnabled(true);
    }
    end(false);
}

std::optional<ConnectionHandler::Credentials> ServerCheck::ownCredentials() const
{
    return Credentials { m_fields.authRequired, m_fields.userName, m_fields.password };
}

std::optional<ConnectionHandler::Server> ServerCheck::ownServer() const
{
    return Server { m_fields.server, m_fields.port, m_fields.encryption };
}

void ServerCheck::showStatus(const QString& text)
{
    if (!running())
        return;
    m_timer.start();
    setStatus(text);
}

void ServerCheck::showMark(int mark)
{
    if (mark <= m_marks)
        return;
    m_marks = mark;
    emit marksShown(mark);
}

void ServerCheck::setStatus(const QString& text)
{
    m_status = text;
    emit statusChanged(text);
}

void ServerCheck::setNextEnabled(bool enabled)
{
    if (m_nextEnabled == enabled)
        return;
    m_nextEnabled = enabled;
    emit nextEnabledChanged(enabled);
}

void ServerCheck::sendQuit()
{
    m_step = Step::QuitSent;
    m.connections.SendLine(Conn::Assistant, "QUIT");
}

void ServerCheck::loggedOff()
{
    closeConnection();
    if (!m_passed) {
        end(false);
        return;
    }
    // The marks go in order: after a refusal the later ones would claim steps that did not happen.
    if (m_refused) {
        setStatus(m_status
            + QStringLiteral("  The server answers and accepted the login, so you can click Next to continue."));
    } else {
        showMark(LoggedOff);
        setStatus(QStringLiteral("Server verified."));
    }
    emit mascotSays(QStringLiteral("Looks good to me, click Next to continue."));
    copyToLogin();
    setNextEnabled(true);
    end(true);
}

void ServerCheck::fail(const QString& text)
{
    setStatus(text);
    closeConnection();
    end(false);
}

void ServerCheck::closeConnection()
{
    Socket& socket = m.connections.socket(Conn::Assistant);
    if (socket.state() > Socket::Closed)
        socket.close();
}

void ServerCheck::end(bool ok)
{
    m_step = Step::Idle;
    m_timer.stop();
    emit finished(ok);
}

void ServerCheck::copyToLogin()
{
    m.settings.setLogin({ m_fields.server, m_fields.port, m_fields.userName, m_fields.password,
        m_fields.authRequired ? 1 : 0, m_fields.savePassword ? 1 : 0, m_fields.encryption });
}

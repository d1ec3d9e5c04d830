#include "nntp/connections.h"

#include "app/clock.h"
#include "app/format.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/settings.h"

bool ConnectionHandler::multiLine(int code, const QByteArray& lastCommand) const
{
    if (code == 211)
        return lastCommand.startsWith("LISTGROUP");
    return isMultiLineCode(code);
}

Connections::Connections(const Services& services, QObject* parent)
    : QObject(parent)
    , m(services)
{
    for (size_t i = 0; i < m_links.size(); ++i) {
        const Conn n = static_cast<Conn>(i + 1);
        Link& l = m_links[i];
        l.socket = std::make_unique<Socket>();
        connect(l.socket.get(), &Socket::dataArrival, this, [this, n] { dataArrived(n); });
        connect(l.socket.get(), &Socket::connected, this, [this, n] {
            if (ConnectionHandler* h = link(n).handler)
                h->connected();
        });
        connect(l.socket.get(), &Socket::closedByPeer, this, [this, n] {
            if (ConnectionHandler* h = link(n).handler)
                h->closedByPeer();
        });
        connect(l.socket.get(), &Socket::encrypted, this, [this, n] { encrypted(n); });
        connect(l.socket.get(), &Socket::certificateRejected, this,
            [this, n](const QSslCertificate& certificate, const QList<QSslError>& errors) {
                certificateRejected(n, certificate, errors);
            });
        connect(l.socket.get(), &Socket::errorOccurred, this, [this, n](int code, const QString& text) {
            if (ConnectionHandler* h = link(n).handler)
                h->socketError(code, text);
        });
    }
}

Connections::~Connections() = default;

void Connections::setHandler(Conn n, ConnectionHandler* handler)
{
    link(n).handler = handler;
}

Socket& Connections::socket(Conn n)
{
    return *link(n).socket;
}

void Connections::markActivity(Conn n)
{
    link(n).lastActivityMs = m.clock.monotonicMs();
}

qint64 Connections::lastActivityMs(Conn n) const
{
    const Link& l = link(n);
    return l.awaitingTrust ? m.clock.monotonicMs() : l.lastActivityMs;
}

quint16 Connections::port()
{
    Settings& s = m.settings;
    if (s.News_Port.trimmed().isEmpty())
        s.News_Port = defaultPort(s.News_SSL);
    return portNumber(s.News_Port, s.News_SSL);
}

quint16 Connections::portNumber(const QString& text, Encryption encryption)
{
    // A port typed out of range would wrap to some other port: take the default one instead.
    const double value = fmt::Val(text.trimmed().isEmpty() ? defaultPort(encryption) : text);
    return value >= 1 && value <= 65535 ? static_cast<quint16>(value) : defaultPort(encryption).toUShort();
}

bool Connections::OpenConnection(Conn n)
{
    Link& l = link(n);
    const std::optional<ConnectionHandler::Server> own = l.handler ? l.handler->ownServer() : std::nullopt;
    const Encryption encryption = own ? own->encryption : m.settings.News_SSL;
    const quint16 serverPort = own ? portNumber(own->port, encryption) : port();
    const bool background = n == Conn::Scan || isDownload(n);
    if (l.socket->state() > Socket::Closed) {
        m.log.WriteLog(QStringLiteral("Connection Error, please wait..."), true);
        if (background)
            CloseSocket(n);
        else
            l.socket->close();
    }
    const QString host = own ? own->host.trimmed() : m.settings.News_Host.trimmed();
    if (l.socket->state() > Socket::Closed) {
        m.log.WriteLog(QStringLiteral("Connection Error..."), true);
        return false;
    }
    l.active = true;
    markActivity(n);
    l.reader.clear();
    l.lastCommand.clear();
    l.slaveRequested = false;
    l.inflater.reset();
    l.deflater.reset();
    l.compressStep = CompressStep::None;
    l.compressAsked = false;
    l.encryption = encryption;
    l.serverKey = serverKey(host, serverPort);
    l.tlsStep = TlsStep::None;
    l.tlsChecked = false;
    l.resumeWithUser = false;
    l.awaitingTrust = false;
    l.openSerial = ++m_openSerial;
    l.socket->setPinnedFingerprint(m.settings.News_SSL_Pins.value(l.serverKey));
    l.socket->connectToHost(host, serverPort, encryption == Encryption::Tls);
    m.log.WriteLog(QStringLiteral("Connecting..."), true);
    return true;
}

void Connections::CloseSocket(Conn n)
{
    Link& l = link(n);
    l.active = false;
    l.awaitingTrust = false;
    l.socket->close();
    if (l.handler)
        l.handler->stopInactivityTimer();
    LogSocketState(n);
}

void Connections::LogSocketState(Conn n)
{
    Link& l = link(n);
    const int state = l.socket->state();
    const QString text = Socket::stateText(state);
    if (!text.isEmpty())
        m.log.WriteLog(text, true);
    // Our close always reaches state 0, so this repeats at most once.
    if (state > Socket::Closed) {
        l.socket->close();
        m.log.WriteLog(Socket::stateText(l.socket->state()), true);
    }
    if (l.handler)
        l.handler->socketClosed();
}

void Connections::SendLine(Conn n, const QByteArray& text)
{
    Link& l = link(n);
    const QByteArray line = text + "\r\n";
    if (l.socket->send(l.deflater ? l.deflater->deflate(line) : line))
        l.lastCommand = text;
}

void Connections::QuitConnection(Conn n)
{
    Link& l = link(n);
    l.active = false;
    if (n == Conn::Scan) {
        // Closing hands the scan controls back to the scan (socketClosed).
        SendLine(n, "QUIT");
        if (l.handler)
            l.handler->stopInactivityTimer();
        CloseSocket(n);
    } else if (isDownload(n)) {
        SendLine(n, "QUIT");
        if (l.handler)
            l.handler->stopInactivityTimer();
        m.window.setEnabled(MainWindowState::Control::Scan, true);
    }
}

void Connections::dataArrived(Conn n)
{
    Link& l = link(n);
    const QByteArray data = l.socket->takeData();
    markActivity(n);
    if (l.inflater)
        l.inflater->append(data);
    else
        l.reader.append(data);
    // One bounded step at a time, each framed before the next, so the reader's bounds hold for
    // inflated bytes too.
    do {
        if (l.inflater) {
            const QByteArrayView step = l.inflater->inflate();
            if (l.inflater->corrupt()) {
                failConnection(n,
                    QStringLiteral("Compressed data from the server is corrupt (%1), connection closed")
                        .arg(l.inflater->errorText()),
                    false);
                return;
            }
            if (step.isEmpty())
                break;
            l.reader.append(step);
        }
        if (!takeReplies(n))
            return;
        if (l.reader.error() != ReplyReader::Error::None) {
            const bool tooLong = l.reader.error() == ReplyReader::Error::StatusLineTooLong;
            failConnection(n,
                tooLong ? QStringLiteral("Server reply line too long, connection closed")
                        : QStringLiteral("Server reply too large, connection closed"),
                true);
            return;
        }
    } while (l.inflater && l.inflater->hasMore());
    if (l.handler && !l.reader.pending().isEmpty())
        l.handler->receiving(l.reader.pending().size());
}

bool Connections::takeReplies(Conn n)
{
    Link& l = link(n);
    const QByteArray& command = l.lastCommand;
    auto isMultiLine
        = [&l, &command](int code) { return l.handler ? l.handler->multiLine(code, command) : isMultiLineCode(code); };
    while (std::optional<Reply> reply = l.reader.next(isMultiLine)) {
        if (!loginStep(n, *reply) && l.handler)
            l.handler->reply(*reply);
        // A handler may have closed the socket or reset the reader while handling the reply.
        if (l.socket->state() == Socket::Closed)
            return false;
    }
    return true;
}

void Connections::failConnection(Conn n, const QString& why, bool logHere)
{
    Link& l = link(n);
    if (logHere || !l.handler)
        m.log.WriteLog(why, true);
    l.reader.clear();
    if (n == Conn::Scan || isDownload(n))
        CloseSocket(n);
    else
        l.socket->close();
    // The owner treats it like any other failed connection.
    if (l.handler)
        l.handler->socketError(-1, why);
}

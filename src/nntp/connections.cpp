#include "nntp/connections.h"

#include "app/app_context.h"
#include "app/clock.h"
#include "app/format.h"

bool ConnectionHandler::multiLine(int code, const QByteArray& lastCommand) const
{
    if (code == 211)
        return lastCommand.startsWith("LISTGROUP");
    return isMultiLineCode(code);
}

Connections::Connections(AppContext& context, QObject* parent)
    : QObject(parent)
    , m_ctx(context)
{
    for (int i = 0; i < 6; ++i) {
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
        connect(l.socket.get(), &Socket::errorOccurred, this, [this, n](int code, const QString& text) {
            if (ConnectionHandler* h = link(n).handler)
                h->socketError(code, text);
        });
    }
}

Connections::~Connections() = default;

void Connections::setHandler(Conn n, ConnectionHandler* handler) { link(n).handler = handler; }

Socket& Connections::socket(Conn n) { return *link(n).socket; }

bool Connections::OpenConnection(Conn n)
{
    Settings& s = m_ctx.settings;
    if (s.News_Port.trimmed().isEmpty())
        s.News_Port = QStringLiteral("119");
    Link& l = link(n);
    const bool background = n == Conn::Scan || n == Conn::Download;
    if (l.socket->state() > Socket::Closed) {
        m_ctx.log.WriteLog(QStringLiteral("Connection Error, please wait..."), true);
        if (background)
            CloseSocket(n);
        else
            l.socket->close();
    }
    const auto port = static_cast<quint16>(fmt::Val(s.News_Port));
    const QString host = s.News_Host.trimmed();
    if (l.socket->state() > Socket::Closed) {
        m_ctx.log.WriteLog(QStringLiteral("Connection Error..."), true);
        return false;
    }
    if (n == Conn::Scan) {
        lastActivityMs = m_ctx.clock.monotonicMs();
        connectionActive = true;
    }
    l.reader.clear();
    l.lastCommand.clear();
    l.slaveRequested = false;
    l.socket->connectToHost(host, port);
    m_ctx.log.WriteLog(QStringLiteral("Connecting..."), true);
    return true;
}

void Connections::CloseSocket(Conn n)
{
    connectionActive = false;
    Link& l = link(n);
    l.socket->close();
    if (l.handler)
        l.handler->stopInactivityTimer();
    LogSocketState(n);
}

void Connections::LogSocketState(Conn n)
{
    Link& l = link(n);
    const int state = l.socket->state();
    replyMode = -1;
    const QString text = Socket::stateText(state);
    if (!text.isEmpty())
        m_ctx.log.WriteLog(text, true);
    // Our close always reaches state 0, so this repeats at most once.
    if (state > Socket::Closed) {
        l.socket->close();
        m_ctx.log.WriteLog(Socket::stateText(l.socket->state()), true);
    }
    if (n == Conn::Scan)
        resetScanControls();
}

void Connections::resetScanControls()
{
    m_ctx.window.setProgress(MainWindowState::Bar::EntireScan, 0);
    m_ctx.window.setProgress(MainWindowState::Bar::ThisGroup, 0);
    m_ctx.window.setEnabled(MainWindowState::Control::Scan, true);
}

void Connections::SendLine(Conn n, const QByteArray& text)
{
    Link& l = link(n);
    if (l.socket->send(text + "\r\n"))
        l.lastCommand = text;
}

void Connections::QuitConnection(Conn n)
{
    connectionActive = false;
    Link& l = link(n);
    if (n == Conn::Scan) {
        quitSent = true;
        SendLine(n, "QUIT");
        resetScanControls();
        if (downloadBusy && downloadBusy())
            m_ctx.window.setEnabled(MainWindowState::Control::Scan, false);
        if (l.handler)
            l.handler->stopInactivityTimer();
        CloseSocket(n);
    } else if (n == Conn::Download) {
        SendLine(n, "QUIT");
        if (l.handler)
            l.handler->stopInactivityTimer();
        m_ctx.window.setEnabled(MainWindowState::Control::Scan, true);
    }
}

void Connections::dataArrived(Conn n)
{
    Link& l = link(n);
    l.reader.append(l.socket->takeData());
    if (n == Conn::Scan)
        lastActivityMs = m_ctx.clock.monotonicMs();
    const QByteArray& command = l.lastCommand;
    auto isMultiLine = [&l, &command](int code) {
        return l.handler ? l.handler->multiLine(code, command) : isMultiLineCode(code);
    };
    while (std::optional<Reply> reply = l.reader.next(isMultiLine)) {
        if (!loginStep(n, *reply) && l.handler)
            l.handler->reply(*reply);
        // A handler may have closed the socket or reset the reader while handling the reply.
        if (l.socket->state() == Socket::Closed)
            return;
    }
    if (l.handler && !l.reader.pending().isEmpty())
        l.handler->receiving(l.reader.pending().size());
    if (l.reader.error() != ReplyReader::Error::None) {
        const bool tooLong = l.reader.error() == ReplyReader::Error::StatusLineTooLong;
        const QString why = tooLong ? QStringLiteral("Server reply line too long, connection closed")
                                    : QStringLiteral("Server reply too large, connection closed");
        m_ctx.log.WriteLog(why, true);
        l.reader.clear();
        if (n == Conn::Scan || n == Conn::Download)
            CloseSocket(n);
        else
            l.socket->close();
        // The owner treats it like any other failed connection.
        if (l.handler)
            l.handler->socketError(-1, why);
    }
}

#include "app/ops_log.h"
#include "app/prompts.h"
#include "app/settings.h"
#include "nntp/connections.h"

namespace {

struct Features {
    bool modeReader;
    bool slave;
};

// A capability line such as "COMPRESS DEFLATE GZIP" names the algorithms after the keyword.
bool offersDeflate(const QByteArray& capabilities)
{
    for (const QByteArray& line : capabilities.split('\n')) {
        const QList<QByteArray> words = line.simplified().toUpper().split(' ');
        if (words.first() == "COMPRESS" && words.contains("DEFLATE"))
            return true;
    }
    return false;
}

Features featuresOf(Conn n)
{
    switch (n) {
    case Conn::GroupList:
        return {false, true};
    case Conn::Assistant:
        return {false, false};
    default:
        return {true, true};
    }
}

// The assistant asks for both fields on one page, so one text serves both.
const QString kAssistantMissing = QStringLiteral("Error, server wanted password, but you have not supplied it.  "
                                                 "Hit the back button and enter this information.");

} // namespace

void Connections::announce(Conn n, const QString& text)
{
    ConnectionHandler* h = link(n).handler;
    if (n == Conn::Assistant && h)
        h->showStatus(text);
    else
        m.log.WriteLog(text, true);
}

ConnectionHandler::Credentials Connections::credentials(Conn n) const
{
    const Link& l = link(n);
    if (l.handler) {
        if (std::optional<ConnectionHandler::Credentials> own = l.handler->ownCredentials())
            return *own;
    }
    const Settings& s = m.settings;
    return {s.chkAuth != 0, s.User_Name, s.password};
}

bool Connections::loginStep(Conn n, const Reply& reply)
{
    // A server going away is heard as always; any other answer settles compression.
    if (link(n).compressStep != CompressStep::None && reply.code != 205 && reply.code != 400) {
        compressStep(n, reply);
        return true;
    }
    switch (reply.code) {
    case 200:
    case 201:
        greeting(n, reply);
        return true;
    case 480:
        SendUser(n);
        return true;
    case 381:
        SendPassword(n);
        return true;
    case 281:
        // Anything that came with the acceptance is dropped with it.
        link(n).reader.clear();
        announce(n, QStringLiteral("Authinfo cleared, login complete..."));
        afterAuthentication(n);
        return true;
    case 202:
        if (!link(n).slaveRequested)
            return false;
        link(n).slaveRequested = false;
        beginWork(n);
        return true;
    case 205:
        m.log.WriteLog(QString::fromLatin1(reply.statusLine) + QStringLiteral("  (disconnected)"), true);
        if (n == Conn::Scan || isDownload(n)) {
            CloseSocket(n);
        } else {
            link(n).socket->close();
            // Our own close is not the server's, so only this tells the owner the connection ended.
            if (link(n).handler)
                link(n).handler->socketClosed();
        }
        return true;
    default:
        return false;
    }
}

void Connections::greeting(Conn n, const Reply& reply)
{
    Link& l = link(n);
    if (featuresOf(n).modeReader && l.modeReaderPending) {
        m.log.WriteLog(QStringLiteral("Sending MODE READER request"), true);
        SendLine(n, "MODE READER");
        l.modeReaderPending = false;
        return;
    }
    m.log.WriteLog(QString::fromLatin1(reply.statusLine), true);
    markActivity(n);
    l.active = true;
    if (ConnectionHandler* h = link(n).handler)
        h->greeted();
    if (credentials(n).authRequired)
        SendUser(n);
    else
        afterAuthentication(n);
}

void Connections::afterAuthentication(Conn n)
{
    const Settings& s = m.settings;
    if (featuresOf(n).slave && s.chkSlave) {
        m.log.WriteLog(QStringLiteral("Requesting slave status"), true);
        link(n).slaveRequested = true;
        SendLine(n, "SLAVE");
        return;
    }
    beginWork(n);
}

void Connections::beginWork(Conn n)
{
    Link& l = link(n);
    // Only the scan's overviews are worth it; a login repeated mid-work asks no second time.
    if (n == Conn::Scan && m.settings.chkCompress && !l.compressAsked) {
        l.compressAsked = true;
        l.compressStep = CompressStep::Capabilities;
        SendLine(n, "CAPABILITIES");
        return;
    }
    if (l.handler)
        l.handler->startWork();
}

void Connections::compressStep(Conn n, const Reply& reply)
{
    Link& l = link(n);
    if (l.compressStep == CompressStep::Capabilities) {
        if (reply.code == 101 && offersDeflate(reply.body)) {
            l.compressStep = CompressStep::Compress;
            SendLine(n, "COMPRESS DEFLATE");
            return;
        }
    } else if (reply.code == 206) {
        l.inflater = std::make_unique<Inflater>();
        l.deflater = std::make_unique<Deflater>();
        // Whatever came after the 206 is compressed already.
        l.inflater->append(l.reader.pending());
        l.reader.clear();
        m.log.WriteLog(QStringLiteral("Compression on"), true);
    } else {
        m.log.WriteLog(QString::fromLatin1(reply.statusLine) + QStringLiteral("  (no compression)"), true);
    }
    l.compressStep = CompressStep::None;
    if (l.handler)
        l.handler->startWork();
}

void Connections::SendUser(Conn n)
{
    announce(n, QStringLiteral("Authenticating User Name..."));

    const ConnectionHandler::Credentials c = credentials(n);
    if (!c.userName.isEmpty()) {
        SendLine(n, "AUTHINFO USER " + c.userName.toUtf8());
        // The password request may already be here, sent with the text before it.
        ReplyReader& reader = link(n).reader;
        if (reader.pendingStartsLineWith("381")) {
            reader.clear();
            SendPassword(n);
        }
        return;
    }
    if (n == Conn::Assistant) {
        announce(n, kAssistantMissing);
    } else {
        const QString text = QStringLiteral("Error, server wanted username, but you have not supplied it.");
        m.prompts.message(text);
        m.log.WriteLog(text, true);
    }
    abandon(n, true);
}

void Connections::SendPassword(Conn n)
{
    announce(n, QStringLiteral("Authenticating Password..."));

    const ConnectionHandler::Credentials c = credentials(n);
    if (!c.password.isEmpty()) {
        SendLine(n, "AUTHINFO PASS " + c.password);
        return;
    }
    if (n == Conn::Assistant) {
        announce(n, kAssistantMissing);
    } else {
        m.prompts.message(QStringLiteral("Error, server wanted password, but you have not supplied it."));
    }
    abandon(n, false);
    m.prompts.openWindow(AppWindow::Login, false);
}

void Connections::abandon(Conn n, bool changeReplyMode)
{
    ConnectionHandler* h = link(n).handler;
    switch (isDownload(n) ? Conn::Download : n) {
    case Conn::Scan:
    case Conn::Download:
        if (h)
            h->giveUp(changeReplyMode);
        QuitConnection(n);
        break;
    default:
        if (h)
            h->giveUp(changeReplyMode);
        SendLine(n, "QUIT");
        link(n).socket->close();
        break;
    }
}

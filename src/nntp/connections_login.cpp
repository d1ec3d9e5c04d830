#include "app/clock.h"
#include "app/ops_log.h"
#include "app/prompts.h"
#include "app/settings.h"
#include "nntp/connections.h"

#include <QTimer>

namespace {

struct Features {
    bool modeReader;
    bool slave;
};

// A capability line such as "COMPRESS DEFLATE GZIP" names its arguments after the keyword.
bool offers(const QByteArray& capabilities, QByteArrayView keyword, QByteArrayView argument = {})
{
    for (const QByteArray& line : capabilities.split('\n')) {
        const QList<QByteArray> words = line.simplified().toUpper().split(' ');
        if (words.first() == keyword && (argument.isEmpty() || words.contains(argument)))
            return true;
    }
    return false;
}

QString certificateNames(const QSslCertificate& certificate, bool issuer)
{
    const QString text = issuer ? certificate.issuerDisplayName() : certificate.subjectDisplayName();
    return text.isEmpty() ? QStringLiteral("(none)") : text;
}

// Pairs of hex digits, as browsers show a fingerprint.
QString spacedFingerprint(const QByteArray& hex)
{
    QString text;
    for (qsizetype i = 0; i < hex.size(); i += 2)
        text += (i ? QStringLiteral(":") : QString()) + QString::fromLatin1(hex.mid(i, 2)).toUpper();
    return text;
}

QString trustQuestion(
    const QString& server, const QSslCertificate& certificate, const QList<QSslError>& errors, bool changed)
{
    QStringList reasons;
    for (const QSslError& e : errors)
        reasons.append(e.errorString());
    reasons.removeDuplicates();
    const QString opening = changed
        ? QStringLiteral("The certificate of %1 has changed since you trusted it, and the new one could not be "
                         "verified:")
        : QStringLiteral("The certificate of %1 could not be verified:");
    return opening.arg(server) + u'\n' + reasons.join(u'\n') + QStringLiteral("\n\nSubject: ")
        + certificateNames(certificate, false) + QStringLiteral("\nIssuer: ") + certificateNames(certificate, true)
        + QStringLiteral("\nSHA-256: ") + spacedFingerprint(Socket::fingerprint(certificate))
        + QStringLiteral("\n\nTrust this certificate for this server from now on?");
}

Features featuresOf(Conn n)
{
    switch (n) {
    case Conn::GroupList:
        return { false, true };
    case Conn::Assistant:
        return { false, false };
    default:
        return { true, true };
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
    return { s.chkAuth != 0, s.User_Name, s.password };
}

bool Connections::loginStep(Conn n, const Reply& reply)
{
    if (link(n).tlsStep != TlsStep::None && reply.code != 205 && reply.code != 400) {
        tlsStep(n, reply);
        return true;
    }
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
        if (wantsUpgrade(n, true))
            askForStartTls(n, true);
        else
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
    // A server that asks for the password with its greeting has to be answered as it is.
    if (wantsUpgrade(n, credentials(n).authRequired) && !l.reader.pendingStartsLineWith("381"))
        askForStartTls(n, false);
    else
        login(n);
}

void Connections::login(Conn n)
{
    if (credentials(n).authRequired)
        SendUser(n);
    else
        afterAuthentication(n);
}

bool Connections::wantsUpgrade(Conn n, bool forPassword) const
{
    const Link& l = link(n);
    if (l.tlsChecked || l.socket->isEncrypted())
        return false;
    return l.encryption == Encryption::StartTls || (l.encryption == Encryption::None && forPassword);
}

void Connections::askForStartTls(Conn n, bool thenUser)
{
    Link& l = link(n);
    l.tlsChecked = true;
    l.resumeWithUser = thenUser;
    l.tlsStep = TlsStep::Capabilities;
    SendLine(n, "CAPABILITIES");
}

void Connections::tlsStep(Conn n, const Reply& reply)
{
    Link& l = link(n);
    switch (l.tlsStep) {
    case TlsStep::Capabilities:
        if (reply.code == 101 && offers(reply.body, "STARTTLS")) {
            l.tlsStep = TlsStep::StartTls;
            SendLine(n, "STARTTLS");
            return;
        }
        l.tlsStep = TlsStep::None;
        withoutTls(n, QStringLiteral("the server does not offer STARTTLS"));
        return;
    case TlsStep::StartTls:
        if (reply.code == 382) {
            l.tlsStep = TlsStep::Handshake;
            // Nothing may follow the go-ahead in plain text.
            l.reader.clear();
            announce(n, QStringLiteral("Starting TLS..."));
            l.socket->startTls();
            return;
        }
        l.tlsStep = TlsStep::None;
        withoutTls(n, QString::fromLatin1(reply.statusLine));
        return;
    case TlsStep::Handshake:
        // Plain bytes in the middle of a handshake cannot be trusted.
        failConnection(n, QStringLiteral("Unexpected reply during the TLS handshake, connection closed"), true);
        return;
    case TlsStep::None:
        return;
    }
}

void Connections::withoutTls(Conn n, const QString& why)
{
    Link& l = link(n);
    if (l.encryption == Encryption::StartTls) {
        refuse(n,
            QStringLiteral("Error, STARTTLS is not available (%1), so the connection was not made.  "
                           "Choose another encryption in the login window.")
                .arg(why),
            true);
        return;
    }
    if (!m_plainPasswordLogged) {
        m_plainPasswordLogged = true;
        m.log.WriteLog(QStringLiteral("Warning: the password is sent unencrypted (%1).").arg(why), true);
    }
    if (l.resumeWithUser)
        SendUser(n);
    else
        login(n);
}

void Connections::encrypted(Conn n)
{
    Link& l = link(n);
    announce(n, QStringLiteral("Connection encrypted"));
    if (l.tlsStep != TlsStep::Handshake)
        return;
    l.tlsStep = TlsStep::None;
    if (l.resumeWithUser)
        SendUser(n);
    else
        login(n);
}

void Connections::certificateRejected(Conn n, const QSslCertificate& certificate, const QList<QSslError>& errors)
{
    Link& l = link(n);
    l.awaitingTrust = true;
    l.tlsStep = TlsStep::None;
    // Out of the socket's own signal before the line is closed and a question waits for the user.
    QTimer::singleShot(0, this, [this, n, certificate, errors] { askTrust(n, certificate, errors); });
}

void Connections::askTrust(Conn n, const QSslCertificate& certificate, const QList<QSslError>& errors)
{
    Link& l = link(n);
    l.socket->close();
    if (!l.awaitingTrust)
        return;
    const QByteArray fingerprint = Socket::fingerprint(certificate);
    // Opened before the user answered about this certificate: the answer holds for it too.
    if (m.settings.News_SSL_Pins.value(l.serverKey) == fingerprint) {
        l.awaitingTrust = false;
        OpenConnection(n);
        return;
    }
    if (m_declined.value(fingerprint, 0) >= l.openSerial) {
        l.awaitingTrust = false;
        refuse(n, QStringLiteral("Certificate not trusted, connection closed"), false);
        return;
    }
    QList<Conn>& waiting = m_trustWaiting[fingerprint];
    waiting.append(n);
    if (waiting.size() > 1)
        return;
    const QString key = l.serverKey;
    const bool changed = m.settings.News_SSL_Pins.contains(key);
    m.log.WriteLog(QStringLiteral("The certificate of %1 could not be verified").arg(key), true);
    const bool trusted = m.prompts.askYesNo(trustQuestion(key, certificate, errors, changed), PromptIcon::Exclamation);
    if (!trusted)
        m_declined.insert(fingerprint, m_openSerial);
    if (trusted) {
        m.settings.News_SSL_Pins.insert(key, fingerprint);
        m.log.WriteLog(
            QStringLiteral("Certificate trusted for %1 (SHA-256 %2)").arg(key, QString::fromLatin1(fingerprint)), true);
        emit certificateTrusted();
    }
    for (const Conn c : m_trustWaiting.take(fingerprint)) {
        Link& w = link(c);
        // Whoever stopped the connection meanwhile wants no new one.
        if (!std::exchange(w.awaitingTrust, false) || !w.active)
            continue;
        markActivity(c);
        if (trusted)
            OpenConnection(c);
        else
            refuse(c, QStringLiteral("Certificate not trusted, connection closed"), false);
    }
}

void Connections::refuse(Conn n, const QString& why, bool tellUser)
{
    Link& l = link(n);
    ConnectionHandler* h = l.handler;
    if (n == Conn::Assistant) {
        announce(n, why);
    } else {
        m.log.WriteLog(why, true);
        if (tellUser)
            m.prompts.message(why);
    }
    // Retrying would meet the same refusal: the owner stops instead.
    if (h)
        h->giveUp(true);
    if (n == Conn::Scan || isDownload(n)) {
        CloseSocket(n);
        return;
    }
    l.active = false;
    l.socket->close();
    if (h)
        h->socketError(-1, why);
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
        if (reply.code == 101 && offers(reply.body, "COMPRESS", "DEFLATE")) {
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

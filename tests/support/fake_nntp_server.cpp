#include "support/fake_nntp_server.h"

#include "nntp/inflater.h"
#include "support/test_certificates.h"

#include <QFile>
#include <QHostAddress>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <utility>

namespace {

// How long a piece waits for the client to read the one before it, in 1 ms steps.
constexpr int kMaxReadWaits = 2000;

QByteArray loopbackAddress(quint16 port)
{
    return "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
}

// Bytes the client has not yet taken off its end of the connection, from the kernel's socket
// table; -1 when that is unknown.
qint64 unreadByPeer(const QTcpSocket& socket)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray client = loopbackAddress(socket.peerPort());
    const QByteArray server = loopbackAddress(socket.localPort());
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 4 && fields[1] == client && fields[2] == server) {
            bool ok = false;
            const qint64 unread = fields[4].mid(fields[4].indexOf(':') + 1).toLongLong(&ok, 16);
            return ok ? unread : -1;
        }
    }
    return -1;
}

// Hands out TLS-capable sockets that stay plain until told otherwise.
class TlsCapableServer : public QTcpServer {
public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QSslSocket(this);
        if (socket->setSocketDescriptor(descriptor))
            addPendingConnection(socket);
        else
            delete socket;
    }
};

} // namespace

struct FakeNntpServer::Job {
    QByteArray bytes;
    FakeNntpRule::Action action = FakeNntpRule::Action::Reply;
    Delivery delivery;
    bool close = false;
    bool compress = false;
    bool startTls = false;
};

struct FakeNntpServer::Connection {
    QTcpSocket* socket = nullptr;
    QByteArray input;
    QStringList commands;
    std::deque<Job> jobs;
    // A reply still going out in pieces holds back the ones behind it.
    bool busy = false;
    bool stalled = false;
    QByteArray held;
    bool startTlsAfterWrite = false;
    std::unique_ptr<Inflater> inflater;
    std::unique_ptr<Deflater> deflater;

    [[nodiscard]] bool open() const { return socket->state() == QAbstractSocket::ConnectedState; }
};

FakeNntpServer::FakeNntpServer(QObject* parent)
    : QObject(parent)
    , m_server(new TlsCapableServer(this))
{
    m_greeting.reply("200 fake news server ready\r\n");
    m_unmatched.reply("500 command not recognized\r\n");
    connect(m_server, &QTcpServer::newConnection, this, &FakeNntpServer::accept);
    if (!m_server->listen(QHostAddress::LocalHost, 0))
        qFatal("FakeNntpServer: cannot listen on 127.0.0.1: %s", qPrintable(m_server->errorString()));
}

FakeNntpServer::~FakeNntpServer()
{
    m_server->close();
    for (auto& c : m_connections) {
        c->socket->disconnect(this);
        c->socket->abort();
    }
}

quint16 FakeNntpServer::port() const
{
    return m_server->serverPort();
}

FakeNntpRule& FakeNntpServer::on(const QString& command)
{
    FakeNntpRule& rule = m_rules.emplace_back();
    rule.m_matches = [command](const QString& line) { return line == command; };
    return rule;
}

FakeNntpRule& FakeNntpServer::onPrefix(const QString& prefix)
{
    FakeNntpRule& rule = m_rules.emplace_back();
    rule.m_matches = [prefix](const QString& line) { return line.startsWith(prefix); };
    return rule;
}

void FakeNntpServer::useCertificate(const TestCertificate& certificate, bool implicit)
{
    m_certificate = certificate.certificate;
    m_key = certificate.key;
    m_implicitTls = implicit;
}

void FakeNntpServer::push(const QByteArray& bytes)
{
    Connection* c = newest();
    if (!c || !c->open())
        return;
    c->socket->write(std::exchange(c->held, {}) + bytes);
    c->socket->flush();
}

QStringList FakeNntpServer::commands() const
{
    const Connection* c = newest();
    return c ? c->commands : QStringList();
}

QList<QStringList> FakeNntpServer::commandsByConnection() const
{
    QList<QStringList> all;
    for (const auto& c : m_connections)
        all.append(c->commands);
    return all;
}

void FakeNntpServer::accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        auto& c = *m_connections.emplace_back(std::make_unique<Connection>());
        c.socket = socket;
        // Nagle would glue a piece to the next one while the client delays its ACK.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, [this, &c] { readCommands(c); });
        connect(socket, &QTcpSocket::disconnected, this, [&c] { c.jobs.clear(); });
        if (auto* tls = qobject_cast<QSslSocket*>(socket); tls && !m_certificate.isEmpty()) {
            tls->setLocalCertificate(QSslCertificate(m_certificate));
            tls->setPrivateKey(QSslKey(m_key, QSsl::Ec));
            // A client that refuses the certificate ends the handshake; that is its business.
            connect(tls, &QSslSocket::sslErrors, tls, [] {});
            if (m_implicitTls)
                tls->startServerEncryption();
        }
        enqueue(c, m_greeting, QString());
    }
}

void FakeNntpServer::readCommands(Connection& c)
{
    const QByteArray data = c.socket->readAll();
    if (c.inflater) {
        c.inflater->append(data);
        while (c.inflater->hasMore())
            c.input += c.inflater->inflate();
    } else {
        c.input += data;
    }
    qsizetype end;
    while ((end = c.input.indexOf('\n')) >= 0) {
        QByteArray line = c.input.left(end);
        c.input.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        const QString command = QString::fromLatin1(line);
        c.commands.append(command);
        FakeNntpRule* match = &m_unmatched;
        for (FakeNntpRule& rule : m_rules) {
            if ((!rule.m_once || !rule.m_used) && rule.m_matches(command)) {
                rule.m_used = true;
                match = &rule;
                break;
            }
        }
        enqueue(c, *match, command);
    }
}

void FakeNntpServer::enqueue(Connection& c, FakeNntpRule& rule, const QString& command)
{
    Job job;
    job.bytes = rule.m_make ? rule.m_make(command) : rule.m_bytes;
    job.action = rule.m_action;
    job.delivery = rule.m_delivery.value_or(m_delivery);
    job.close = rule.m_close;
    job.compress = rule.m_compress;
    job.startTls = rule.m_startTls;
    c.jobs.push_back(std::move(job));
    pump(c);
}

void FakeNntpServer::pump(Connection& c)
{
    while (!c.busy && !c.stalled && !c.jobs.empty() && c.open()) {
        Job job = std::move(c.jobs.front());
        c.jobs.pop_front();
        switch (job.action) {
        case FakeNntpRule::Action::Stall:
            c.stalled = true;
            c.jobs.clear();
            return;
        case FakeNntpRule::Action::Drop:
            c.socket->abort();
            return;
        case FakeNntpRule::Action::Reply:
            send(c, std::move(job));
            break;
        }
    }
}

void FakeNntpServer::send(Connection& c, Job job)
{
    const Delivery& d = job.delivery;
    if (d.mode == Delivery::Mode::Coalesce && c.held.isEmpty()) {
        c.held = job.bytes;
        return;
    }
    QByteArray bytes = std::exchange(c.held, {}) + job.bytes;
    if (c.deflater)
        bytes = c.deflater->deflate(bytes);
    if (job.compress) {
        c.inflater = std::make_unique<Inflater>();
        c.deflater = std::make_unique<Deflater>();
    }
    c.startTlsAfterWrite = job.startTls;
    QList<QByteArray> pieces;
    if (d.mode == Delivery::Mode::Chunks && d.chunkSize > 0) {
        for (qsizetype at = 0; at < bytes.size(); at += d.chunkSize)
            pieces.append(bytes.mid(at, d.chunkSize));
    } else {
        pieces.append(bytes);
    }
    writePieces(c, std::move(pieces), job.close, 0);
}

void FakeNntpServer::writePieces(Connection& c, QList<QByteArray> pieces, bool close, int waits)
{
    if (!c.open()) {
        c.busy = false;
        return;
    }
    // A timer alone cannot keep pieces apart when the process is descheduled: wait for the read.
    if (c.busy && waits < kMaxReadWaits && unreadByPeer(*c.socket) > 0) {
        QTimer::singleShot(1, c.socket,
            [this, &c, pieces = std::move(pieces), close, waits] { writePieces(c, pieces, close, waits + 1); });
        return;
    }
    if (!pieces.isEmpty()) {
        const QByteArray piece = pieces.takeFirst();
        if (!piece.isEmpty()) {
            c.socket->write(piece);
            c.socket->flush();
        }
    }
    if (!pieces.isEmpty()) {
        c.busy = true;
        QTimer::singleShot(
            1, c.socket, [this, &c, pieces = std::move(pieces), close] { writePieces(c, pieces, close, 0); });
        return;
    }
    if (close)
        c.socket->disconnectFromHost();
    if (std::exchange(c.startTlsAfterWrite, false)) {
        if (auto* tls = qobject_cast<QSslSocket*>(c.socket))
            tls->startServerEncryption();
    }
    if (std::exchange(c.busy, false))
        pump(c);
}

FakeNntpServer::Connection* FakeNntpServer::newest() const
{
    return m_connections.empty() ? nullptr : m_connections.back().get();
}

#include "nntp/socket.h"

#include <QCryptographicHash>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

Socket::Socket(QObject* parent)
    : QObject(parent)
{
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        // Servers write a status line and its body separately; without these every reply
        // would wait out the peer's delayed ACK.
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        armQuickAck();
        emit connected();
    });
    connect(&m_socket, &QSslSocket::encrypted, this, [this] {
        armQuickAck();
        emit encrypted();
    });
    connect(&m_socket, &QSslSocket::sslErrors, this, &Socket::verify);
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] {
        // A handler that lets events run (crunching does) hears of bytes arriving meanwhile only
        // here, after it returns: replies must be handled one after another, and a TLS socket,
        // unlike a plain one, would report them again from inside the running handler.
        if (m_delivering)
            return;
        m_delivering = true;
        do {
            armQuickAck();
            emit dataArrival();
        } while (m_socket.state() == QAbstractSocket::ConnectedState && m_socket.bytesAvailable() > 0);
        m_delivering = false;
    });
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        if (!m_closingOurselves && !m_rejecting)
            emit closedByPeer();
    });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (m_closingOurselves)
            return;
        if (m_rejecting) {
            // The handshake failed because we refused the certificate: that is not a fault to retry.
            if (error == QAbstractSocket::SslHandshakeFailedError && !m_failed) {
                m_failed = true;
                emit certificateRejected(m_rejected, m_rejectedErrors);
            }
            return;
        }
        // The server closing the line is a Close event, not an error.
        if (error == QAbstractSocket::RemoteHostClosedError)
            return;
        m_failed = true;
        emit errorOccurred(static_cast<int>(error), m_socket.errorString());
    });
}

Socket::~Socket()
{
    // The socket reports its own destruction as a disconnect; nobody may hear of it by then.
    m_socket.disconnect(this);
    m_socket.abort();
}

int Socket::state() const
{
    if (m_failed)
        return Error;
    switch (m_socket.state()) {
    case QAbstractSocket::UnconnectedState:
        return Closed;
    case QAbstractSocket::HostLookupState:
        return ResolvingHost;
    case QAbstractSocket::ConnectingState:
        return Connecting;
    case QAbstractSocket::ConnectedState:
        return Connected;
    case QAbstractSocket::BoundState:
        return Open;
    case QAbstractSocket::ListeningState:
        return Listening;
    case QAbstractSocket::ClosingState:
        return PeerClosing;
    }
    return Closed;
}

QString Socket::stateText(int state)
{
    static const char* const kTexts[] = {
        "Connection Closed",
        "Open",
        "Listening",
        "Connection pending",
        "Resolving Host",
        "Host resolved",
        "Connecting",
        "Connected",
        "Peer is closing the connection",
        "TCP Error",
    };
    if (state < 0 || state > 9)
        return {};
    return QLatin1String(kTexts[state]);
}

void Socket::connectToHost(const QString& host, quint16 port, bool tls)
{
    m_failed = false;
    m_closingOurselves = false;
    forgetRejection();
    if (tls)
        m_socket.connectToHostEncrypted(host, port);
    else
        m_socket.connectToHost(host, port);
}

void Socket::startTls()
{
    forgetRejection();
    m_socket.startClientEncryption();
}

QByteArray Socket::fingerprint(const QSslCertificate& certificate)
{
    return certificate.digest(QCryptographicHash::Sha256).toHex();
}

void Socket::verify(const QList<QSslError>& errors)
{
    const QSslCertificate peer = m_socket.peerCertificate();
    if (!m_pinned.isEmpty() && !peer.isNull() && fingerprint(peer) == m_pinned) {
        m_socket.ignoreSslErrors(errors);
        return;
    }
    // Left unignored, the socket ends the handshake itself once this returns.
    m_rejecting = true;
    m_rejected = peer;
    m_rejectedErrors = errors;
}

void Socket::close()
{
    m_closingOurselves = true;
    // A QUIT written just before must still leave, and unread input would turn the close into a
    // reset that can overtake it.
    if (m_socket.state() == QAbstractSocket::ConnectedState) {
        m_socket.flush();
        m_socket.readAll();
        m_socket.disconnectFromHost();
    }
    if (m_socket.state() != QAbstractSocket::UnconnectedState)
        m_socket.abort();
    m_failed = false;
    m_closingOurselves = false;
    forgetRejection();
}

bool Socket::send(const QByteArray& bytes)
{
    if (state() != Connected)
        return false;
    armQuickAck();
    m_socket.write(bytes);
    // Out now, not when the event loop next turns: a request sent ahead must reach the server
    // before we start crunching.
    m_socket.flush();
    return true;
}

QByteArray Socket::takeData()
{
    QByteArray data = m_socket.readAll();
    armQuickAck();
    return data;
}

void Socket::armQuickAck()
{
    const qintptr fd = m_socket.socketDescriptor();
    if (fd < 0)
        return;
    int on = 1;
    ::setsockopt(static_cast<int>(fd), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

void Socket::forgetRejection()
{
    m_rejecting = false;
    m_rejected = QSslCertificate();
    m_rejectedErrors.clear();
}

#pragma once

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <QSslSocket>

// A TCP connection to the news server, plain or inside TLS, that reports the classic socket
// states 0-9 and the Connect, DataArrival, Close and Error events. close() always reaches state 0,
// and only a close the server started is reported as closedByPeer.
//
// Certificates are verified against the system's CA store; one that does not verify is accepted
// only when its SHA-256 fingerprint is the pinned one. Otherwise the connection ends with
// certificateRejected instead of an error, so the owner can ask the user rather than retry.
class Socket : public QObject {
    Q_OBJECT
public:
    enum State {
        Closed = 0,
        Open = 1,
        Listening = 2,
        ConnectionPending = 3,
        ResolvingHost = 4,
        HostResolved = 5,
        Connecting = 6,
        Connected = 7,
        PeerClosing = 8,
        Error = 9,
    };

    explicit Socket(QObject* parent = nullptr);
    ~Socket() override;

    [[nodiscard]] int state() const;
    [[nodiscard]] static QString stateText(int state);

    // With tls the handshake starts as soon as the line is up (NNTPS); the greeting comes after it.
    void connectToHost(const QString& host, quint16 port, bool tls = false);
    // Upgrades the open line in place (after "382"); encrypted follows once the handshake is done.
    void startTls();
    [[nodiscard]] bool isEncrypted() const { return m_socket.isEncrypted(); }
    // Hex SHA-256 of the one certificate to accept though it does not verify; empty for none.
    void setPinnedFingerprint(const QByteArray& sha256Hex) { m_pinned = sha256Hex; }
    [[nodiscard]] static QByteArray fingerprint(const QSslCertificate& certificate);
    void close();
    // Queues the bytes; returns false when not connected (the bytes are dropped).
    bool send(const QByteArray& bytes);
    // All bytes received so far.
    [[nodiscard]] QByteArray takeData();

signals:
    void connected();
    void dataArrival();
    void closedByPeer();
    void errorOccurred(int code, const QString& description);
    void encrypted();
    // The server's certificate did not verify and is not the pinned one; the line is closed.
    void certificateRejected(const QSslCertificate& certificate, const QList<QSslError>& errors);

private:
    void armQuickAck();

    void verify(const QList<QSslError>& errors);
    void forgetRejection();

    QSslSocket m_socket;
    QByteArray m_pinned;
    QSslCertificate m_rejected;
    QList<QSslError> m_rejectedErrors;
    bool m_rejecting = false;
    bool m_delivering = false;
    bool m_failed = false;
    bool m_closingOurselves = false;
};

#pragma once

#include <QObject>
#include <QTcpSocket>

// A TCP connection to the news server that reports the classic socket states 0-9 and the
// Connect, DataArrival, Close and Error events. close() always reaches state 0, and only a
// close the server started is reported as closedByPeer.
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

    void connectToHost(const QString& host, quint16 port);
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

private:
    void armQuickAck();

    QTcpSocket m_socket;
    bool m_failed = false;
    bool m_closingOurselves = false;
};

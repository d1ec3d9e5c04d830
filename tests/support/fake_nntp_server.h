#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTcpServer;
class QTcpSocket;
struct TestCertificate;

// How the bytes of a reply reach the client. Pieces go out in separate writes, each only once
// the client has read the one before, so it reads them apart.
struct Delivery {
    enum class Mode { Whole, Chunks, Coalesce };
    Mode mode = Mode::Whole;
    int chunkSize = 0;

    static Delivery whole() { return {}; }
    // Pieces of `size` bytes; 1 sends byte by byte.
    static Delivery chunks(int size) { return { Mode::Chunks, size }; }
    // Held back, then written in one write with the pushed bytes.
    static Delivery coalesced() { return { Mode::Coalesce, 0 }; }
};

// What the server does with a matching command. Setters chain:
//   server.onPrefix("XOVER ").reply(lines).deliver(Delivery::chunks(7)).once();
class FakeNntpRule {
    enum class Action { Reply, Drop, Stall };

public:
    FakeNntpRule& reply(const QByteArray& bytes)
    {
        m_bytes = bytes;
        m_make = nullptr;
        return set(&FakeNntpRule::m_action, Action::Reply);
    }
    FakeNntpRule& reply(std::function<QByteArray(const QString& command)> make)
    {
        m_make = std::move(make);
        return set(&FakeNntpRule::m_action, Action::Reply);
    }
    FakeNntpRule& thenClose() { return set(&FakeNntpRule::m_close, true); }
    // After this reply both directions are raw deflate streams, as after "206".
    FakeNntpRule& thenCompress() { return set(&FakeNntpRule::m_compress, true); }
    // After this reply the server starts its TLS handshake, as after "382".
    FakeNntpRule& thenStartTls() { return set(&FakeNntpRule::m_startTls, true); }
    // Closes the connection instead of answering.
    FakeNntpRule& drop() { return set(&FakeNntpRule::m_action, Action::Drop); }
    // Leaves this command and every later one on the connection unanswered.
    FakeNntpRule& stall() { return set(&FakeNntpRule::m_action, Action::Stall); }
    FakeNntpRule& once() { return set(&FakeNntpRule::m_once, true); }
    FakeNntpRule& deliver(const Delivery& delivery) { return set(&FakeNntpRule::m_delivery, delivery); }

private:
    friend class FakeNntpServer;
    template <class Field, class Value> FakeNntpRule& set(Field FakeNntpRule::*field, const Value& value)
    {
        this->*field = value;
        return *this;
    }

    std::function<bool(const QString&)> m_matches;
    std::function<QByteArray(const QString&)> m_make;
    QByteArray m_bytes;
    Action m_action = Action::Reply;
    bool m_close = false;
    bool m_compress = false;
    bool m_startTls = false;
    bool m_once = false;
    bool m_used = false;
    std::optional<Delivery> m_delivery;
};

// A scripted NNTP server on 127.0.0.1 for protocol tests. Commands are matched against the rules
// in the order they were added; the first unused match answers, otherwise a 500 reply does.
class FakeNntpServer : public QObject {
    Q_OBJECT
public:
    explicit FakeNntpServer(QObject* parent = nullptr);
    ~FakeNntpServer() override;

    [[nodiscard]] quint16 port() const;

    // Sent on every new connection; reply(QByteArray()) sends nothing, stall() also ignores every command.
    FakeNntpRule& greeting() { return m_greeting; }
    FakeNntpRule& on(const QString& command);
    FakeNntpRule& onPrefix(const QString& prefix);
    // The certificate shown in TLS handshakes; with implicit every connection starts with one (NNTPS).
    void useCertificate(const TestCertificate& certificate, bool implicit);
    // Applies to every reply whose rule sets no delivery of its own.
    void setDelivery(const Delivery& delivery) { m_delivery = delivery; }

    // Writes to the newest connection now, together with a held coalesced reply, as they are even
    // on a compressed connection.
    void push(const QByteArray& bytes);

    [[nodiscard]] int connectionCount() const { return static_cast<int>(m_connections.size()); }
    // Commands of the newest connection.
    [[nodiscard]] QStringList commands() const;
    // Commands of every connection, in the order the connections came.
    [[nodiscard]] QList<QStringList> commandsByConnection() const;

private:
    struct Job;
    struct Connection;

    void accept();
    void readCommands(Connection& c);
    void enqueue(Connection& c, FakeNntpRule& rule, const QString& command);
    void pump(Connection& c);
    void send(Connection& c, Job job);
    void writePieces(Connection& c, QList<QByteArray> pieces, bool close, int waits);
    [[nodiscard]] Connection* newest() const;

    QTcpServer* m_server;
    FakeNntpRule m_greeting;
    FakeNntpRule m_unmatched;
    std::deque<FakeNntpRule> m_rules;
    Delivery m_delivery;
    std::vector<std::unique_ptr<Connection>> m_connections;
    QByteArray m_certificate;
    QByteArray m_key;
    bool m_implicitTls = false;
};

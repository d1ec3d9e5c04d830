#pragma once

#include "nntp/inflater.h"
#include "nntp/reply_reader.h"
#include "nntp/socket.h"

#include "app/settings.h"

#include <QHash>
#include <QObject>

#include <array>
#include <memory>
#include <optional>

class Clock;
class MainWindowState;
class OpsLog;
class Prompts;

// The six connections to the news server, by number.
enum class Conn : int { Scan = 1, Download = 2, GroupList = 3, Viewer = 4, Preview = 5, Assistant = 6 };

// The download may use several connections: the first is Conn::Download, the others take the
// numbers after the six.
constexpr int kMaxDownloadConnections = 20;
[[nodiscard]] constexpr Conn downloadConn(int index)
{
    return index == 0 ? Conn::Download : static_cast<Conn>(static_cast<int>(Conn::Assistant) + index);
}
[[nodiscard]] constexpr bool isDownload(Conn n)
{
    return n == Conn::Download || static_cast<int>(n) > static_cast<int>(Conn::Assistant);
}

// What one connection's owner (the scan, the download, the viewer, ...) adds to the shared login.
class ConnectionHandler {
public:
    struct Credentials {
        bool authRequired = false;
        QString userName;
        QByteArray password;
    };
    struct Server {
        QString host;
        QString port; // empty means the encryption's default port
        Encryption encryption = Encryption::None;
    };

    virtual ~ConnectionHandler() = default;
    // Login is done (greeting, authentication and slave status as configured): start the work.
    virtual void startWork() = 0;
    // A reply the login sequence does not handle.
    virtual void reply(const Reply& reply) = 0;
    // The server asked for a user name or password we do not have: stop the connection's work.
    // changeReplyMode is false when only the password was missing.
    virtual void giveUp(bool changeReplyMode) { (void)changeReplyMode; }
    // The greeting arrived: the connection is talking to the server.
    virtual void greeted() { }
    virtual void connected() { }
    virtual void closedByPeer() { }
    virtual void socketError(int code, const QString& description) { (void)code, (void)description; }
    virtual void stopInactivityTimer() { }
    // The connection was closed (by us or after a failure) and its state logged.
    virtual void socketClosed() { }
    // Bytes of a reply still arriving, after each read.
    virtual void receiving(qsizetype pendingBytes) { (void)pendingBytes; }
    // Replies with a body, given the command last sent.
    [[nodiscard]] virtual bool multiLine(int code, const QByteArray& lastCommand) const;
    // The setup assistant brings its own server fields and message label.
    [[nodiscard]] virtual std::optional<Credentials> ownCredentials() const { return std::nullopt; }
    // The server to connect to when it is not the login window's.
    [[nodiscard]] virtual std::optional<Server> ownServer() const { return std::nullopt; }
    virtual void showStatus(const QString& text) { (void)text; }
};

// Sockets, reply framing and the login shared by every connection. Each connection keeps its own
// state, so one connection closing or failing never disturbs another.
class Connections : public QObject {
    Q_OBJECT
public:
    struct Services {
        Settings& settings;
        OpsLog& log;
        const Clock& clock;
        Prompts& prompts;
        MainWindowState& window;
    };

    explicit Connections(const Services& services, QObject* parent = nullptr);
    ~Connections() override;

    void setHandler(Conn n, ConnectionHandler* handler);
    [[nodiscard]] Socket& socket(Conn n);
    [[nodiscard]] int state(Conn n) { return socket(n).state(); }

    // Starts connecting to the server of the login window (or the handler's own). False when the old
    // socket would not close.
    bool OpenConnection(Conn n);
    void CloseSocket(Conn n);
    void LogSocketState(Conn n);
    // Drops the line silently unless the socket is connected.
    void SendLine(Conn n, const QByteArray& text);
    void SendUser(Conn n);
    void SendPassword(Conn n);
    void QuitConnection(Conn n);

    // The next greeting on this connection is answered with MODE READER first.
    void setModeReaderPending(Conn n, bool pending) { link(n).modeReaderPending = pending; }
    // Greeted (or connecting) and not yet quit or closed.
    [[nodiscard]] bool active(Conn n) const { return link(n).active; }
    // When bytes last arrived on the connection (or its owner saw it alive), on the monotonic clock.
    // While the user decides about a certificate the connection counts as alive.
    [[nodiscard]] qint64 lastActivityMs(Conn n) const;
    [[nodiscard]] bool awaitingTrust(Conn n) const { return link(n).awaitingTrust; }
    void markActivity(Conn n);

signals:
    // The user trusted a certificate; the pin is in the settings, not yet on disk.
    void certificateTrusted();

private:
    // Turning compression on, between login and the work.
    enum class CompressStep { None, Capabilities, Compress };
    // Upgrading a plain line with STARTTLS before anything secret is sent.
    enum class TlsStep { None, Capabilities, StartTls, Handshake };

    struct Link {
        std::unique_ptr<Socket> socket;
        ReplyReader reader;
        // Both set once the server agreed to compress; the reader then sees inflated bytes only.
        std::unique_ptr<Inflater> inflater;
        std::unique_ptr<Deflater> deflater;
        CompressStep compressStep = CompressStep::None;
        bool compressAsked = false;
        Encryption encryption = Encryption::None;
        QString serverKey;
        TlsStep tlsStep = TlsStep::None;
        // Asked once per line whether STARTTLS is offered.
        bool tlsChecked = false;
        // After the upgrade: a 480 wants the user name; otherwise the greeting's login goes on.
        bool resumeWithUser = false;
        bool awaitingTrust = false;
        quint64 openSerial = 0;
        ConnectionHandler* handler = nullptr;
        QByteArray lastCommand;
        bool slaveRequested = false;
        bool modeReaderPending = false;
        bool active = false;
        qint64 lastActivityMs = 0;
    };

    Link& link(Conn n) { return m_links[static_cast<size_t>(n) - 1]; }
    const Link& link(Conn n) const { return m_links[static_cast<size_t>(n) - 1]; }
    void dataArrived(Conn n);
    // False once the socket was closed while a reply was handled.
    bool takeReplies(Conn n);
    // Ends a connection whose stream cannot go on, as a failed one; the handler is told why.
    void failConnection(Conn n, const QString& why, bool logHere);
    bool loginStep(Conn n, const Reply& reply);
    void greeting(Conn n, const Reply& reply);
    void afterAuthentication(Conn n);
    // Login is complete: compression first where it is wanted, then the handler's work.
    void beginWork(Conn n);
    void compressStep(Conn n, const Reply& reply);
    void abandon(Conn n, bool changeReplyMode);
    // Authentication (when configured) or the work, once the line is as secure as it will be.
    void login(Conn n);
    [[nodiscard]] bool wantsUpgrade(Conn n, bool forPassword) const;
    void askForStartTls(Conn n, bool thenUser);
    void tlsStep(Conn n, const Reply& reply);
    // STARTTLS is not to be had: plain only when the user did not ask for encryption.
    void withoutTls(Conn n, const QString& why);
    void encrypted(Conn n);
    void certificateRejected(Conn n, const QSslCertificate& certificate, const QList<QSslError>& errors);
    void askTrust(Conn n, const QSslCertificate& certificate, const QList<QSslError>& errors);
    // Ends a connection the user or the server's offer does not allow, without a retry; tellUser
    // shows why in a message as well (not when the user just said no).
    void refuse(Conn n, const QString& why, bool tellUser);
    // Progress of the login: the assistant's label, else the log.
    void announce(Conn n, const QString& text);
    ConnectionHandler::Credentials credentials(Conn n) const;
    [[nodiscard]] quint16 port();
    [[nodiscard]] static quint16 portNumber(const QString& text, Encryption encryption);

    Services m;
    // Connections waiting for the answer about one certificate, by fingerprint: one question each.
    QHash<QByteArray, QList<Conn>> m_trustWaiting;
    // Connections opened so far, and how many there were when the user last refused each
    // certificate: those opened before then are not asked again.
    quint64 m_openSerial = 0;
    QHash<QByteArray, quint64> m_declined;
    bool m_plainPasswordLogged = false;
    std::array<Link, static_cast<size_t>(Conn::Assistant) + kMaxDownloadConnections - 1> m_links;
};

#pragma once

#include "nntp/connections.h"

#include <QObject>
#include <QTimer>

struct Settings;

// The setup assistant's test of a news server over connection 6: log on, join "alt.test", fetch
// one header and log off, with the server, port and login the user typed rather than the login
// window's. A server that passes is copied into the login settings. The assistant's page only
// shows what the signals report.
class ServerCheck : public QObject, public ConnectionHandler {
    Q_OBJECT
public:
    static constexpr int kReplyTimeoutMs = 30'000;

    struct Services {
        Settings& settings;
        Connections& connections;
        // With no byte from the server for this long the check ends.
        int replyTimeoutMs = kReplyTimeoutMs;
    };

    // What the user typed on the server and login pages.
    struct Fields {
        QString server;
        QString port; // empty means the encryption's default port
        QString userName;
        QByteArray password;
        bool authRequired = false;
        bool savePassword = false;
        Encryption encryption = Encryption::None;
    };

    // The progress marks, shown one after another.
    enum Mark { LoggedOn = 1, GroupJoined = 2, HeaderRetrieved = 3, LoggedOff = 4 };

    explicit ServerCheck(const Services& services, QObject* parent = nullptr);
    ~ServerCheck() override;

    // Starts a new check, dropping one still running.
    void start(const Fields& fields);
    // Ends a running check quietly: the user left the page.
    void cancel();

    [[nodiscard]] bool running() const { return m_step != Step::Idle; }
    [[nodiscard]] QString status() const { return m_status; }
    [[nodiscard]] bool nextEnabled() const { return m_nextEnabled; }

    // ConnectionHandler
    void startWork() override;
    void reply(const Reply& reply) override;
    void giveUp(bool changeReplyMode) override;
    void greeted() override;
    void connected() override;
    void closedByPeer() override;
    void socketError(int code, const QString& description) override;
    void socketClosed() override;
    void receiving(qsizetype pendingBytes) override;
    [[nodiscard]] std::optional<Credentials> ownCredentials() const override;
    [[nodiscard]] std::optional<Server> ownServer() const override;
    void showStatus(const QString& text) override;

signals:
    // Marks 1 to `count` are shown, the rest hidden.
    void marksShown(int count);
    void statusChanged(const QString& text);
    void mascotSays(const QString& text);
    void nextEnabledChanged(bool enabled);
    void finished(bool ok);

private:
    enum class Step { Idle, Connecting, GroupSent, HeadSent, QuitSent };

    void showMark(int mark);
    void setStatus(const QString& text);
    void setNextEnabled(bool enabled);
    void sendQuit();
    // The connection ended after QUIT (205, closed, reset or silence): a pass if every step passed.
    void loggedOff();
    void fail(const QString& text);
    void closeConnection();
    void end(bool ok);
    void copyToLogin();

    Services m;
    Fields m_fields;
    QTimer m_timer;
    Step m_step = Step::Idle;
    int m_marks = 0;
    bool m_passed = false;
    bool m_refused = false;
    QString m_status;
    bool m_nextEnabled = false;
};

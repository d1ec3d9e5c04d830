#pragma once

#include "nntp/article_fetch.h"
#include "nntp/connections.h"

#include <QString>
#include <QTimer>

class BatchDownload;

// One of the batch download's connections: its own fetch state, watchdog and failures. It holds at
// most one part at a time; the download hands it the next part and takes back what it fetched.
class DownloadLine : public ConnectionHandler {
public:
    // What the connection is doing.
    enum class State { Idle, Requesting, GroupSelected, Ready };

    // The part a line is fetching; entry 0 when none.
    struct Slot {
        int entry = 0;
        qsizetype part = 0;
        QString path;
        qint32 bytes = 0;
        QString key; // the entry's, for log lines
    };

    DownloadLine(BatchDownload& owner, Conn conn);
    ~DownloadLine() override;
    DownloadLine(const DownloadLine&) = delete;
    DownloadLine& operator=(const DownloadLine&) = delete;

    [[nodiscard]] Conn conn() const { return m_conn; }
    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] bool hasPart() const { return m_slot.entry != 0; }
    [[nodiscard]] const Slot& slot() const { return m_slot; }
    [[nodiscard]] qint64 received() const { return m_received; }
    // Connecting, logging in or logged in: a line that can still do work in this run.
    [[nodiscard]] bool live() const { return m_state != State::Idle; }

    // ConnectionHandler
    void startWork() override;
    void reply(const Reply& reply) override;
    void connected() override;
    void closedByPeer() override;
    void socketError(int code, const QString& description) override;
    void stopInactivityTimer() override;
    void giveUp(bool changeReplyMode) override;
    void receiving(qsizetype pendingBytes) override;

private:
    friend class BatchDownload;

    void selectGroup();
    void sendArticleRequest(const QByteArray& command);
    void watchdogTick();
    // Ends the line's work without a socket event following: the download's own stop.
    void reset();

    BatchDownload& m_owner;
    Conn m_conn;
    State m_state = State::Idle;
    // Login completed on the current connection; a refusal before it means "too many connections".
    bool m_loggedIn = false;
    // Refused by the server: not used again until the download ends.
    bool m_dropped = false;
    // Failed while other lines went on: waits out the restart time before it is used again.
    bool m_resting = false;
    ArticleFetch m_fetch;
    Slot m_slot;
    QString m_partName;
    qint64 m_received = 0;
    qint64 m_partStartMs = 0;
    QTimer m_watchdog; // Timerbot2
    QTimer m_rest;
};

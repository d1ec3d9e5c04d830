#pragma once

#include "groups/host_group_list.h"
#include "groups/host_group_model.h"
#include "nntp/connections.h"

#include <QObject>

#include <array>
#include <functional>

class Clock;
class Newsgroups;
class OpsLog;
class Prompts;
struct Settings;

// The group manager: the server's whole group list fetched with LIST over connection 3 into
// "HOSTGRPS.TXT", searched by name and added to the newsgroup list. Its window binds to the
// status texts, the enabled controls and the result model; the setup assistant hears of the
// first status text and of its own buttons through signals while it drives the download.
class HostGroups : public QObject, public ConnectionHandler {
    Q_OBJECT
public:
    static constexpr const char* kFileName = "HOSTGRPS.TXT";
    // A larger file is no group list; loading it would only exhaust memory.
    static constexpr qint64 kMaxFileBytes = 1024LL * 1024 * 1024;

    enum class Control { Retrieve, Reload, SearchText, SearchType, Search, Add };
    Q_ENUM(Control)

    // "Show only groups with more than N articles".
    struct Filter {
        bool enabled = false;
        qint64 moreThan = 0;
    };

    struct Services {
        Settings& settings;
        OpsLog& log;
        Prompts& prompts;
        const Clock& clock;
        Connections& connections;
        Newsgroups& groups;
        // Lets pending events run during a search (at most every few milliseconds).
        std::function<void()> yield;
        QString filePath;
    };

    explicit HostGroups(const Services& services, QObject* parent = nullptr);
    ~HostGroups() override;

    void RetrieveHostGroups();
    void LoadHostGroupFile();
    // The "Search" button, "&Stop Search" while a search runs.
    void SearchButton(const QByteArray& query, HostSearchType type, const Filter& filter);
    void SearchHostGroups(const QByteArray& query, HostSearchType type, const Filter& filter);
    // Adds the groups of these result rows to the newsgroup list.
    void AddSelections(const QList<int>& rows);
    // Writes the LIST reply as received over the old file, which stays when the write fails.
    // Answers the bytes written, or -1.
    [[nodiscard]] qint64 FlushHostGroups(const Reply& reply);
    void SaveHostGroups(const Reply& reply);
    void SetGroupStatus(const QString& text, int panel);

    [[nodiscard]] HostGroupModel& model() { return m_model; }
    [[nodiscard]] const HostGroupList& list() const { return m_list; }
    [[nodiscard]] QString status(int panel) const { return m_status[panel == 0 ? 0 : 1]; }
    [[nodiscard]] bool isEnabled(Control control) const { return m_enabled[static_cast<size_t>(control)]; }
    [[nodiscard]] bool searching() const { return m_searching; }
    [[nodiscard]] bool downloading() const { return m_downloading; }
    [[nodiscard]] QString filePath() const { return m.filePath; }

    // The setup assistant drives the window: the first status text is mirrored to it.
    void setAssistantDriven(bool driven) { m_assistantDriven = driven; }
    [[nodiscard]] bool assistantDriven() const { return m_assistantDriven; }
    // A list download has been saved during this run.
    [[nodiscard]] bool hostListDownloaded() const { return m_downloaded; }

    // ConnectionHandler
    void startWork() override;
    void reply(const Reply& reply) override;
    void closedByPeer() override;
    void socketClosed() override;
    void socketError(int code, const QString& description) override;
    void giveUp(bool changeReplyMode) override;
    void receiving(qsizetype pendingBytes) override;

signals:
    void statusChanged(int panel, const QString& text);
    void controlsChanged();
    void searchingChanged(bool searching);
    void progressChanged(int value, int maximum);
    // Panel 0's text while the assistant drives the window.
    void assistantStatus(const QString& text);
    // The assistant's navigation and download buttons are locked while the window works for it.
    void assistantButtonsEnabled(bool enabled);
    void listDownloaded();

private:
    void SendList();
    void setEnabled(std::initializer_list<Control> controls, bool enabled);
    void enableSearchControls();
    // Ends a download that went wrong: the connection is dropped and the window usable again.
    void failDownload(const QString& status);
    void finishDownload();
    [[nodiscard]] QString elapsedText(qint64 ms, bool final) const;

    Services m;
    HostGroupList m_list;
    HostGroupModel m_model;
    std::array<QString, 2> m_status;
    std::array<bool, 6> m_enabled { true, true, false, false, false, true };
    qint64 m_bytesReceived = 0;
    bool m_listSent = false;
    bool m_downloading = false;
    bool m_downloaded = false;
    bool m_searching = false;
    bool m_abort = false;
    bool m_assistantDriven = false;
};

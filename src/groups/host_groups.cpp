#include "groups/host_groups.h"

#include "app/clock.h"
#include "app/format.h"
#include "app/ops_log.h"
#include "app/prompts.h"
#include "app/settings.h"
#include "groups/newsgroups.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

HostGroups::HostGroups(const Services& services, QObject* parent)
    : QObject(parent)
    , m(services)
    , m_model(m_list)
{
    m.connections.setHandler(Conn::GroupList, this);
}

HostGroups::~HostGroups()
{
    m.connections.setHandler(Conn::GroupList, nullptr);
}

void HostGroups::SetGroupStatus(const QString& text, int panel)
{
    const size_t i = panel == 0 ? 0 : 1;
    m_status[i] = text;
    emit statusChanged(static_cast<int>(i), text);
    if (i == 0 && m_assistantDriven)
        emit assistantStatus(text);
}

void HostGroups::setEnabled(std::initializer_list<Control> controls, bool enabled)
{
    bool changed = false;
    for (Control c : controls) {
        bool& flag = m_enabled[static_cast<size_t>(c)];
        changed = changed || flag != enabled;
        flag = enabled;
    }
    if (changed)
        emit controlsChanged();
}

void HostGroups::enableSearchControls()
{
    const bool loaded = !m_list.text().isEmpty();
    setEnabled({ Control::SearchText, Control::SearchType, Control::Search }, loaded);
}

void HostGroups::RetrieveHostGroups()
{
    if (m_downloading || m_searching)
        return;
    // The old file is replaced only once the new list has arrived whole.
    if (QFileInfo::exists(m.filePath)
        && !m.prompts.askYesNo(QStringLiteral("Ok to delete existing HOSTGRPS.TXT? \r\r Answer no to abort if you "
                                              "want to back up the file first."),
            PromptIcon::Question))
        return;
    SetGroupStatus(QString(), 0);
    SetGroupStatus(QString(), 1);
    m_downloading = true;
    m_listSent = false;
    if (m_assistantDriven)
        emit assistantButtonsEnabled(false);
    setEnabled(
        { Control::Retrieve, Control::SearchText, Control::SearchType, Control::Search, Control::Reload }, false);
    m_model.clear();
    if (m.settings.News_Port.trimmed().isEmpty())
        m.settings.News_Port = defaultPort(m.settings.News_SSL);
    if (m.settings.News_Host.trimmed().isEmpty()) {
        m.prompts.message(QStringLiteral("Enter News Server name by pressing SCAN on main screen, and then try again."
                                         "\r\r  This is usually 'news.(hostname).net' or something similar.  "
                                         "Contact your system admin if you are unsure."));
        finishDownload();
        return;
    }
    if (!m.connections.OpenConnection(Conn::GroupList))
        finishDownload();
}

void HostGroups::startWork()
{
    SendList();
}

void HostGroups::SendList()
{
    m_bytesReceived = 0;
    m_listSent = true;
    m.connections.SendLine(Conn::GroupList, "LIST");
}

void HostGroups::reply(const Reply& reply)
{
    if (!m_downloading)
        return;
    const QString line = QString::fromLatin1(reply.statusLine);
    switch (reply.code) {
    case 502:
        m.log.WriteLog(line + QStringLiteral("(disconnected)"), true);
        m.prompts.message(QStringLiteral("Authentication Error.  Check Username/Password..."));
        failDownload(QString());
        return;
    case 500:
        m.log.WriteLog(line, true);
        failDownload(QStringLiteral("Login Error, setup login from scan window"));
        return;
    default:
        break;
    }
    if (m_listSent) {
        // Whatever answers LIST other than the list itself is an error, never group data.
        if (reply.code == 215 && reply.multiLine) {
            SaveHostGroups(reply);
            m.connections.SendLine(Conn::GroupList, "QUIT");
            m.connections.socket(Conn::GroupList).close();
        } else {
            m.log.WriteLog(line, true);
            failDownload(QStringLiteral("Error: ") + line);
        }
        return;
    }
    switch (reply.code) {
    case 202:
        m.log.WriteLog(line, true);
        SendList();
        break;
    case 223:
        m.log.WriteLog(QStringLiteral("223 article retrieved - request text separately"), true);
        break;
    default:
        break;
    }
}

void HostGroups::receiving(qsizetype pendingBytes)
{
    if (!m_listSent)
        return;
    m_bytesReceived = pendingBytes;
    SetGroupStatus(QStringLiteral("Download in progress...  %1 bytes received").arg(pendingBytes), 0);
}

void HostGroups::closedByPeer()
{
    if (m_downloading)
        failDownload(QStringLiteral("Error: The server closed the connection."));
}

void HostGroups::socketClosed() { closedByPeer(); }

void HostGroups::socketError(int code, const QString& description)
{
    (void)code;
    if (m_downloading)
        failDownload(QStringLiteral("Error: ") + description);
}

void HostGroups::giveUp(bool changeReplyMode)
{
    (void)changeReplyMode;
    // The login tells the user and closes the connection itself.
    finishDownload();
}

void HostGroups::failDownload(const QString& status)
{
    if (!status.isEmpty())
        SetGroupStatus(status, 0);
    m.connections.SendLine(Conn::GroupList, "QUIT");
    m.connections.socket(Conn::GroupList).close();
    finishDownload();
}

void HostGroups::finishDownload()
{
    m_downloading = false;
    m_listSent = false;
    setEnabled({ Control::Retrieve, Control::Reload }, true);
    enableSearchControls();
    if (m_assistantDriven)
        emit assistantButtonsEnabled(true);
}

qint64 HostGroups::FlushHostGroups(const Reply& reply)
{
    QSaveFile file(m.filePath);
    qint64 written = 0;
    const bool ok = file.open(QIODevice::WriteOnly)
        && writeListReply(reply.statusLine, reply.body,
            [&](QByteArrayView piece) {
                written += piece.size();
                return file.write(piece.data(), piece.size()) == piece.size();
            })
        && file.commit();
    if (!ok) {
        m.log.WriteLog(QStringLiteral("FlushHostGroups Error: ") + file.errorString(), true);
        return -1;
    }
    return written;
}

void HostGroups::SaveHostGroups(const Reply& reply)
{
    const qint64 written = FlushHostGroups(reply);
    if (written < 0) {
        SetGroupStatus(QStringLiteral("Error: HOSTGRPS.TXT could not be written."), 0);
        finishDownload();
        return;
    }
    m_bytesReceived = written;
    // "###,###" would print nothing at all for a list under a kilobyte.
    const QString kb = fmt::Format(static_cast<double>(m_bytesReceived) / 1024.0, u"###,##0");
    SetGroupStatus(
        QStringLiteral("Download complete!  HOSTGRPS.TXT (") + kb + QStringLiteral(" Kb) Saved and ready."), 0);
    m.log.WriteLog(
        QStringLiteral("Groups download complete: HOSTGRPS.TXT (") + kb + QStringLiteral(" Kb) Saved and ready."),
        true);
    // What was saved is what a reload would read: it can be searched at once.
    m_model.clear();
    m_list.setReplyBody(reply.body);
    m_downloaded = true;
    finishDownload();
    emit listDownloaded();
}

void HostGroups::LoadHostGroupFile()
{
    if (m_downloading || m_searching)
        return;
    m_model.clear();
    SetGroupStatus(QStringLiteral("Loading..."), 0);
    QFile file(m.filePath);
    if (!file.exists()) {
        m_list.clear();
        enableSearchControls();
        SetGroupStatus(QStringLiteral("HOSTGRPS.TXT file not found.  Download to create."), 0);
        return;
    }
    const qint64 size = file.size();
    if (size > kMaxFileBytes || !file.open(QIODevice::ReadOnly)) {
        const QString why = size > kMaxFileBytes ? QStringLiteral("file too large") : file.errorString();
        m.log.WriteLog(QStringLiteral("LoadHostGroupFile Error: ") + why, true);
        m_list.clear();
        enableSearchControls();
        SetGroupStatus(QStringLiteral("LoadHostGroupFile Error: ") + why, 0);
        return;
    }
    m_list.setText(file.readAll());
    if (m_list.skippedLines() > 0)
        m.log.WriteLog(
            QStringLiteral("HOSTGRPS.TXT: %1 lines that are no group lines were skipped").arg(m_list.skippedLines()),
            true);
    SetGroupStatus(QStringLiteral("HOSTGRPS.TXT ready; ")
            + fmt::Format(static_cast<double>(size) / 1024.0, u"###,###.0") + QStringLiteral(" kb "),
        0);
    enableSearchControls();
}

void HostGroups::SearchButton(const QByteArray& query, HostSearchType type, const Filter& filter)
{
    if (query.isEmpty()) {
        m.prompts.message(QStringLiteral("Enter some text and press search to find groups.\r\n\r\n...or click 'starts "
                                         "with' and search for group trees like 'alt.binaries.'"));
        return;
    }
    if (m_searching) {
        m_abort = true;
        setEnabled({ Control::SearchText, Control::SearchType }, true);
        return;
    }
    if (m_downloading)
        return;
    setEnabled({ Control::SearchText, Control::SearchType, Control::Retrieve, Control::Reload }, false);
    if (m_assistantDriven)
        emit assistantButtonsEnabled(false);
    SearchHostGroups(query, type, filter);
}

QString HostGroups::elapsedText(qint64 ms, bool final) const
{
    if (final && ms < 1000)
        return QStringLiteral("  Time: Less than 1 second");
    return QStringLiteral("  Time:%1 seconds").arg(ms / 1000);
}

void HostGroups::SearchHostGroups(const QByteArray& query, HostSearchType type, const Filter& filter)
{
    if (m_searching || m_downloading)
        return;
    m_searching = true;
    m_abort = false;
    emit searchingChanged(true);
    m_model.clear();
    setEnabled({ Control::Add }, false);
    const qint64 start = m.clock.monotonicMs();
    const int maximum = static_cast<int>(m_list.size());
    emit progressChanged(0, maximum);

    auto keepGoing = [&](qsizetype examined, qsizetype matched) {
        emit progressChanged(static_cast<int>(examined), maximum);
        SetGroupStatus(QStringLiteral("Searching... (%1 matching groups found)").arg(matched)
                + elapsedText(m.clock.monotonicMs() - start, false),
            0);
        if (m.yield)
            m.yield();
        return !m_abort;
    };
    std::vector<quint32> hits = m_list.search(query, type, keepGoing);
    const auto found = static_cast<qsizetype>(hits.size());
    if (filter.enabled)
        std::erase_if(hits, [&](quint32 g) { return m_list.total(g) <= filter.moreThan; });
    m_model.setGroups(std::move(hits));

    const QString outcome = m_abort ? QStringLiteral("Search Aborted. (") : QStringLiteral("Done! (");
    SetGroupStatus(outcome + QStringLiteral("%1 matching groups found)").arg(found)
            + elapsedText(m.clock.monotonicMs() - start, true),
        0);
    m_searching = false;
    m_abort = false;
    emit searchingChanged(false);
    setEnabled(
        { Control::SearchText, Control::SearchType, Control::Search, Control::Reload, Control::Add, Control::Retrieve },
        true);
    if (m_assistantDriven)
        emit assistantButtonsEnabled(true);
    emit progressChanged(0, maximum);
}

void HostGroups::AddSelections(const QList<int>& rows)
{
    if (rows.isEmpty()) {
        SetGroupStatus(QStringLiteral("Error, no group(s) selected."), 0);
        return;
    }
    for (int row : rows) {
        const QByteArray name = m_model.groupName(row);
        if (!name.isEmpty())
            m.groups.ngAddGroup(name);
    }
    m_model.markAdded(rows);
}

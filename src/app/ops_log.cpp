#include "app/ops_log.h"

#include "app/clock.h"
#include "app/format.h"
#include "app/main_window_state.h"
#include "app/settings.h"

#include <QFile>

OpsLog::OpsLog(const Settings& settings, MainWindowState& window, const Clock& clock,
               const ProgramFolder& folder, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_window(window)
    , m_clock(clock)
    , m_folder(folder)
{
}

QString OpsLog::logFilePath() const { return m_folder.file(QStringLiteral("OPSLOG.TXT")); }

void OpsLog::WriteLog(const QString& message, bool record)
{
    // Only the first line of a multi-line server reply is ever shown or kept.
    QString text = message;
    const qsizetype cr = text.indexOf(u'\r');
    if (cr >= 0)
        text = text.left(cr).trimmed();

    m_window.setText(MainWindowState::Label::Status, text);
    if (m_window.minimized())
        m_window.setTitle(m_folder.folderName + QStringLiteral(" [") + m_settings.News_Host + QStringLiteral("] ")
                          + text);

    if (!m_settings.chkEnableLogging)
        return;
    const QDateTime now = m_clock.now();
    if (record) {
        m_entries.insertRows(0, 1);
        m_entries.setData(m_entries.index(0), fmt::hhmmss(now.time()) + QStringLiteral("  ") + text);
        emit entryAdded();
    }
    if (m_entries.rowCount() > kMaxEntries)
        m_entries.removeRows(kMaxEntries, m_entries.rowCount() - kMaxEntries);
    if (m_settings.chkLogFile && record)
        appendToFile(fmt::shortDate(now.date()) + u' ' + fmt::hhmmss(now.time()) + QStringLiteral("  ") + text);
}

void OpsLog::appendToFile(const QString& line) const
{
    QFile file(logFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(line.toUtf8() + "\r\n");
}

void OpsLog::clear() { m_entries.setStringList({}); }

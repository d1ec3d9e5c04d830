#pragma once

#include "app/program_folder.h"

#include <QObject>
#include <QStringListModel>

class Clock;
class MainWindowState;
struct Settings;

// The status line, the on-screen log (newest first, at most 99 entries) and "OPSLOG.TXT".
class OpsLog : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxEntries = 99;

    OpsLog(const Settings& settings, MainWindowState& window, const Clock& clock, const ProgramFolder& folder,
           QObject* parent = nullptr);

    // record: keep the message in the log list and file; false for passing progress text.
    void WriteLog(const QString& message, bool record);

    [[nodiscard]] QStringListModel& entries() { return m_entries; }
    void clear();
    [[nodiscard]] QString logFilePath() const;

signals:
    // A recorded entry was put at the top of the list.
    void entryAdded();

private:
    void appendToFile(const QString& message) const;

    const Settings& m_settings;
    MainWindowState& m_window;
    const Clock& m_clock;
    const ProgramFolder& m_folder;
    QStringListModel m_entries;
};

#include "headers/header_store.h"

#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/prompts.h"
#include "app/settings.h"
#include "app/text.h"
#include "groups/newsgroups.h"
#include "headers/header_file.h"
#include "headers/scan_activity.h"
#include "headers/scan_table.h"

#include <QDir>
#include <QFileInfo>

using Control = MainWindowState::Control;

HeaderStore::HeaderStore(const Services& services, ScanTable& scan, ViewTable& view, QObject* parent)
    : QObject(parent)
    , m(services)
    , m_scan(scan)
    , m_view(view)
{
}

QString HeaderStore::headerPath(quint8 key) const
{
    return m.settings.Cache_Path + displayText(m.groups.ngGroupNameByKey(key)) + QStringLiteral("/headers.twb");
}

void HeaderStore::restamp(ItemTable& table, int slot, quint8 key) { table.item(slot).groupKey = key; }

void HeaderStore::GNload(quint8 key)
{
    const QString name = displayText(m.groups.ngGroupNameByKey(key));
    m.log.WriteLog(QStringLiteral("Loading ") + name + QStringLiteral("...(please wait)"), false);
    m_scan.reset();
    m_scan.groupKey = key;
    m_fileMark = m.groups.ngReadMarkByKey(key);
    m_scan.setCapacity(ScanTable::kCapacityStep);
    const QString path = headerPath(key);
    twb::RecordReader reader(path);
    switch (reader.status()) {
    case twb::RecordReader::Status::Missing:
        m.log.WriteLog(name + QStringLiteral(" ready (no stored headers)"), false);
        return;
    case twb::RecordReader::Status::UnknownFormat:
        m.log.WriteLog(path + QStringLiteral(": is unknown format."), true);
        return;
    default:
        break;
    }
    if (reader.count() == 0 && reader.status() == twb::RecordReader::Status::Ok) {
        m.log.WriteLog(QStringLiteral("No saved headers to load"), false);
        return;
    }
    m_scan.setCapacity(reader.plausibleCount() + ScanTable::kCapacityStep);
    m_scan.table.reserve(reader.plausibleCount(), 0, 0);
    while (reader.readNext(m_scan.table)) {
        const int slot = m_scan.table.count();
        restamp(m_scan.table, slot, key);
        Item& it = m_scan.table.item(slot);
        if (it.isDeleted()) {
            // deleteSlot frees live slots only: hand it the item as live so it becomes a free slot.
            it.deleted = 0;
            m_scan.deleteSlot(slot);
        } else {
            m_scan.AddHash(slot);
        }
        if (m.yield)
            m.yield();
    }
    if (reader.status() == twb::RecordReader::Status::Corrupt)
        m.log.WriteLog(QStringLiteral("GNload Error:") + path + QStringLiteral(" is damaged; kept the first %1 items")
                                                                  .arg(m_scan.table.count()),
                       true);
    m_scan.table.changed = false;
    m.log.WriteLog(QStringLiteral("Loaded ") + name + QStringLiteral(" -- ") + QString::number(m_scan.table.count())
                       + QStringLiteral(" items"),
                   false);
}

bool HeaderStore::saveTable(const ItemTable& table, quint8 key, const char* tag)
{
    const QString path = headerPath(key);
    const QString folder = QFileInfo(path).path();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder)) {
        m.log.WriteLog(QLatin1String(tag) + QStringLiteral("cannot create ") + folder, true);
        m_lastSaveError = path + QStringLiteral(": cannot create the folder");
        return false;
    }
    QString error;
    if (!twb::writeTable(path, table, &error, m.yield)) {
        m.log.WriteLog(QLatin1String(tag) + error, true);
        m_lastSaveError = path + QStringLiteral(": ") + error;
        return false;
    }
    return true;
}

bool HeaderStore::GNsave(quint8 key)
{
    if (!m_scan.table.changed)
        return true;
    if (m_scan.table.count() == 0) {
        // Nothing left of the group: its old file goes.
        QFile::remove(headerPath(key));
        return true;
    }
    if (!saveTable(m_scan.table, key, "GNsave Error:")) {
        // A read mark past the file would skip the unsaved articles for good.
        if (m_scan.groupKey == key && m.groups.ngReadMarkByKey(key) > m_fileMark)
            m.groups.ngSetReadMarkManual(key, m_fileMark, true);
        return false;
    }
    m_scan.table.changed = false;
    m_fileMark = m.groups.ngReadMarkByKey(key);
    // A failed write is logged and leaves the marks on disk behind the headers: they are read again.
    (void)m.groups.ngSaveFavs();
    return true;
}

void HeaderStore::GTload(quint8 key)
{
    const QString name = displayText(m.groups.ngGroupNameByKey(key));
    m.log.WriteLog(QStringLiteral("Loading ") + name + QStringLiteral("...(please wait)"), false);
    m_view.table.clear();
    m_view.table.changed = false;
    const QString path = headerPath(key);
    twb::RecordReader reader(path);
    if (reader.status() == twb::RecordReader::Status::Missing) {
        m.log.WriteLog(name + QStringLiteral(" ready (no stored headers)"), false);
        emit viewCountChanged();
        return;
    }
    if (reader.status() == twb::RecordReader::Status::UnknownFormat) {
        m.log.WriteLog(path + QStringLiteral(": is unknown format."), true);
        return;
    }
    if (reader.count() == 0 && reader.status() == twb::RecordReader::Status::Ok) {
        m.log.WriteLog(name + QStringLiteral(" ready (no stored headers)"), false);
        return;
    }
    using Bar = MainWindowState::Bar;
    m_view.table.reserve(reader.plausibleCount(), 0, 0);
    m.window.setProgressMaximum(Bar::LoadGroup, reader.count());
    while (reader.readNext(m_view.table)) {
        const int slot = m_view.table.count();
        restamp(m_view.table, slot, key);
        if ((slot & 1023) == 0)
            m.window.setProgress(Bar::LoadGroup, slot);
        if (m.yield)
            m.yield();
    }
    m.window.setProgress(Bar::LoadGroup, 0);
    if (reader.status() == twb::RecordReader::Status::Corrupt)
        m.log.WriteLog(QStringLiteral("GTload Error:") + path + QStringLiteral(" is damaged; kept the first %1 items")
                                                                  .arg(m_view.table.count()),
                       true);
    m.log.WriteLog(QStringLiteral("Loaded ") + name + QStringLiteral(" -- ") + QString::number(m_view.table.count())
                       + QStringLiteral(" items"),
                   false);
    m.window.setVisible(Control::SaveHeaders, false);
    m.window.setEnabled(Control::Restore, false);
}

bool HeaderStore::GTsave()
{
    if (m_view.table.count() == 0 || m_view.viewedKey < 0)
        return true;
    if (!saveTable(m_view.table, static_cast<quint8>(m_view.viewedKey), "GTsave Error:"))
        return false;
    m.window.setVisible(Control::SaveHeaders, false);
    return true;
}

void HeaderStore::SaveViewChanges()
{
    if (!m_view.table.changed || m.activity.running || m_view.viewedKey < 0)
        return;
    const QString name = displayText(m.groups.ngGroupNameByKey(static_cast<quint8>(m_view.viewedKey)));
    if (!m.prompts.askYesNo(QStringLiteral("Save changes to ") + name + u'?', PromptIcon::Question))
        return;
    m_view.table.changed = false;
    m.window.setEnabled(Control::Restore, false);
    // Unsaved deletions stay pending, to be offered again.
    if (!GTsave())
        m_view.table.changed = true;
    emit viewCountChanged();
}

void HeaderStore::CopyScanToView()
{
    m_view.table.clear();
    m_view.table.changed = false;
    const ItemTable& scan = m_scan.table;
    for (int slot = 1; slot <= scan.count(); ++slot) {
        if (!scan.item(slot).isDeleted())
            m_view.table.appendRecord(scan.record(slot));
    }
}

#include "watch/watch_list.h"

#include "app/ops_log.h"
#include "app/prompts.h"
#include "app/settings.h"
#include "app/text.h"
#include "headers/item_table.h"
#include "watch/filters_file.h"

#include <QFile>
#include <QSaveFile>

WatchList::WatchList(const Services& services, QObject* parent)
    : QObject(parent)
    , m(services)
{
}

bool WatchList::enabled() const
{
    return m.settings.watchEnabled();
}

void WatchList::replaceEntries(QList<WatchEntry> entries)
{
    m_entries = std::move(entries);
    m_matcher.build(m_entries);
}

void WatchList::WatchList_Get()
{
    QFile file(m.filePath);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        m.log.WriteLog(QStringLiteral("WatchList_Get Error:") + file.errorString(), true);
        return;
    }
    filters::ReadResult read = filters::parse(file.readAll());
    if (!read.error.isEmpty())
        m.log.WriteLog(QStringLiteral("WatchList_Get Error:") + read.error, true);
    replaceEntries(std::move(read.entries));
}

bool WatchList::WatchList_Save()
{
    if (m_entries.isEmpty()) {
        if (QFile::exists(m.filePath) && !QFile::remove(m.filePath)) {
            m.log.WriteLog(QStringLiteral("WatchList_Save Error:could not remove ") + m.filePath, true);
            return false;
        }
        return true;
    }
    const QByteArray bytes = filters::serialize(m_entries);
    QSaveFile file(m.filePath);
    const bool opened = file.open(QIODevice::WriteOnly);
    // A full disk can cut a write short without reporting it: the size on disk tells.
    const bool written = opened && file.write(bytes) == bytes.size() && file.flush() && file.size() == bytes.size();
    if (!written || !file.commit()) {
        const QString why = written || file.error() != QFileDevice::NoError ? file.errorString()
                                                                            : QStringLiteral("the file was cut short");
        file.cancelWriting();
        m.log.WriteLog(QStringLiteral("WatchList_Save Error:") + why, true);
        return false;
    }
    return true;
}

bool WatchList::WatchList_Add(QList<QByteArray> phrases, WatchField where, bool matchCase, WatchAction action)
{
    bool anyText = false;
    for (QByteArray& p : phrases) {
        // The file holds one phrase per line.
        p.replace('\r', ' ').replace('\n', ' ');
        anyText = anyText || !p.isEmpty();
    }
    if (!anyText)
        return false;
    QList<WatchEntry> entries = m_entries;
    entries.append({ std::move(phrases), where, matchCase, action });
    replaceEntries(std::move(entries));
    WatchList_Fill();
    (void)WatchList_Save();
    return true;
}

void WatchList::WatchList_RemoveItem(int index)
{
    if (index < 1 || index > m_entries.size()) {
        m.log.WriteLog(QStringLiteral("WatchList_RemoveItem Error:Subscript out of range"), true);
        return;
    }
    const WatchEntry& e = m_entries[index - 1];
    const QByteArray first = e.phrases.value(0);
    if (!m.prompts.askYesNo(QStringLiteral("Are you sure you want to remove:") + displayText(first)))
        return;
    QList<WatchEntry> entries = m_entries;
    entries.removeAt(index - 1);
    replaceEntries(std::move(entries));
    (void)WatchList_Save();
    WatchList_Fill();
}

void WatchList::WatchList_Fill()
{
    m_model.fill(m_entries);
}

bool WatchList::WatchList_Check_KILL(QByteArrayView subject, QByteArrayView poster)
{
    if (!enabled() || m_entries.isEmpty())
        return false;
    return m_matcher.matches(WatchAction::Kill, WatchField::Subject, subject)
        || m_matcher.matches(WatchAction::Kill, WatchField::From, poster);
}

bool WatchList::WatchList_Check_ADD(const ItemTable& table, int slot)
{
    if (!enabled() || m_entries.isEmpty() || slot < 1 || slot > table.count())
        return false;
    // Both texts end with a blank, so a phrase can name a whole last word.
    const Item& it = table.item(slot);
    return m_matcher.matches(WatchAction::AddToBatch, WatchField::Subject, table.str(it.key), " ")
        || m_matcher.matches(WatchAction::AddToBatch, WatchField::From, table.str(it.poster), " ");
}

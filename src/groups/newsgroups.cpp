#include "groups/newsgroups.h"

#include "app/format.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/prompts.h"
#include "app/text.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <bitset>
#include <optional>

namespace {

constexpr int kMaxKey = 255;

// Article numbers and keys as favs.txt holds them; nothing for text a 64-bit article number cannot be.
std::optional<qint64> readNumber(const QByteArray& text)
{
    const double v = fmt::Val(text);
    // 2^63 is the first value past the 64-bit range; the negated test also refuses NaN.
    if (!(v >= 0 && v < 9223372036854775808.0))
        return std::nullopt;
    return static_cast<qint64>(v);
}

QString number(qint64 v) { return QString::number(v); }

// The text before the first comma and the text after it, both trimmed.
std::pair<QByteArray, std::optional<QByteArray>> splitComma(const QByteArray& text)
{
    const qsizetype comma = text.indexOf(',');
    if (comma < 0)
        return {text.trimmed(), std::nullopt};
    return {text.left(comma).trimmed(), text.mid(comma + 1).trimmed()};
}

} // namespace

bool isSafeGroupName(const QByteArray& name)
{
    if (name.isEmpty() || name.contains("..") || name.contains(','))
        return false;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127 || c == '/' || c == '\\' || c == ':')
            return false;
    }
    return name != ".";
}

Newsgroups::Newsgroups(const Services& services, QObject* parent)
    : QAbstractTableModel(parent)
    , m(services)
{
}

// --- table and lookups -----------------------------------------------------------------------

GroupRecord* Newsgroups::findRecord(quint8 key)
{
    for (GroupRecord& r : m_records) {
        if (r.key == key)
            return &r;
    }
    return nullptr;
}

const GroupRecord* Newsgroups::recordByKey(quint8 key) const
{
    return const_cast<Newsgroups*>(this)->findRecord(key);
}

int Newsgroups::rowOfKey(quint8 key) const
{
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_records[m_rows[row].record].key == key)
            return row;
    }
    return -1;
}

quint8 Newsgroups::ngFindFreeKey()
{
    // One pass over the table: a list loaded with its keys used up asks for every line after.
    std::bitset<kMaxKey + 1> used;
    for (const GroupRecord& r : std::as_const(m_records))
        used.set(r.key);
    for (int k = 1; k <= kMaxKey; ++k) {
        if (!used.test(k))
            return static_cast<quint8>(k);
    }
    m.log.WriteLog(QStringLiteral("error finding unused key! (ngFindFreeKey)"), true);
    return 0;
}

quint8 Newsgroups::ngFindKeyByGroupName(const QByteArray& name)
{
    for (const GroupRecord& r : std::as_const(m_records)) {
        if (r.name == name)
            return r.key;
    }
    m.log.WriteLog(QStringLiteral("error in ngFindKeyByGroupName"), true);
    return 0;
}

QByteArray Newsgroups::ngGroupNameByKey(quint8 key) const
{
    const GroupRecord* r = recordByKey(key);
    return r ? r->name : QByteArray("error!");
}

qint64 Newsgroups::ngReadMarkByKey(quint8 key) const
{
    const GroupRecord* r = recordByKey(key);
    return r ? r->lastRead : 0;
}

int Newsgroups::ngIndexByKey(quint8 key) const
{
    for (int i = 0; i < m_records.size(); ++i) {
        if (m_records[i].key == key)
            return i + 1;
    }
    return -1;
}

quint8 Newsgroups::keyAtRow(int row) const { return m_records[m_rows[row].record].key; }
bool Newsgroups::rowGreyed(int row) const { return m_records[m_rows[row].record].off; }

// --- favs.txt --------------------------------------------------------------------------------

void Newsgroups::appendRow(const QByteArray& name, GroupRecord record)
{
    record.name = name;
    Row row;
    row.record = static_cast<int>(m_records.size());
    row.cells[NameColumn] = displayText(name);
    m_records.append(record);
    beginInsertRows({}, static_cast<int>(m_rows.size()), static_cast<int>(m_rows.size()));
    m_rows.append(row);
    endInsertRows();
}

void Newsgroups::ngLoadFavs()
{
    QFile file(m.favsPath);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> lines = file.readAll().split('\n');
    file.close();
    bool reported = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() && i == lines.size() - 1)
            break;
        // A bad line is reported once and skipped, so the groups after it are not lost.
        if (!loadLine(line) && !reported) {
            reported = true;
            m.prompts.message(line.contains(',') ? QStringLiteral("Error reading favs.txt, expected another comma.")
                                                  : QStringLiteral("Error reading favs.txt, unexpected space."));
        }
    }
}

bool Newsgroups::loadLine(const QByteArray& line)
{
    const auto [name, afterName] = splitComma(line);
    if (!afterName || !afterName->contains(','))
        return false;
    if (!isSafeGroupName(name)) {
        m.log.WriteLog(QStringLiteral("favs.txt: skipped unusable group name ") + displayText(name), true);
        return true;
    }
    const QString shownName = displayText(name);
    auto article = [&](const QByteArray& text) {
        if (const std::optional<qint64> v = readNumber(text))
            return *v;
        m.log.WriteLog(QStringLiteral("favs.txt: group %1 had article number %2 out of range; 0 used")
                           .arg(shownName, displayText(text)),
                       true);
        return qint64(0);
    };
    GroupRecord rec;
    const auto [lastRead, afterLastRead] = splitComma(*afterName);
    rec.lastRead = article(lastRead);
    const auto [offText, afterOff] = splitComma(*afterLastRead);
    rec.off = fmt::parseBoolean(offText).value_or(false);

    std::optional<QByteArray> keyText;
    bool withRange = false;
    if (afterOff) {
        const auto [keyField, afterKey] = splitComma(*afterOff);
        keyText = keyField;
        if (afterKey) {
            const auto [firstText, afterFirst] = splitComma(*afterKey);
            rec.first = article(firstText);
            rec.last = article(splitComma(afterFirst.value_or(QByteArray())).first);
            rec.unread = std::max<qint64>(0, rec.last - rec.lastRead);
            rec.total = std::max<qint64>(0, rec.last - rec.first);
            withRange = true;
        }
    }
    const qint64 key = keyText ? readNumber(*keyText).value_or(0) : 0;
    const bool keyUsable = key >= 1 && key <= kMaxKey && !findRecord(static_cast<quint8>(key));
    if (keyText && !keyUsable)
        m.log.WriteLog(QStringLiteral("favs.txt: group %1 had key %2 twice or out of range; given a new key")
                           .arg(shownName, displayText(*keyText)),
                       true);
    rec.key = keyUsable ? static_cast<quint8>(key) : ngFindFreeKey();
    appendRow(name, rec);
    Row& row = m_rows.last();
    row.cells[LastReadColumn] = number(rec.lastRead);
    if (withRange) {
        row.cells[UnreadColumn] = number(rec.unread);
        row.cells[FirstColumn] = number(rec.first);
        row.cells[LastColumn] = number(rec.last);
        row.cells[TotalColumn] = number(rec.total);
    }
    emitRowChanged(static_cast<int>(m_rows.size()) - 1);
    return true;
}

bool Newsgroups::ngSaveFavs()
{
    if (m_rows.isEmpty()) {
        QFile::remove(m.favsPath);
        return true;
    }
    QByteArray content;
    for (const Row& row : std::as_const(m_rows)) {
        const GroupRecord& r = m_records[row.record];
        content += r.name + ',' + QByteArray::number(r.lastRead) + ',' + (r.off ? "True" : "False") + ','
            + QByteArray::number(r.key) + ',' + QByteArray::number(r.first) + ',' + QByteArray::number(r.last)
            + "\r\n";
    }
    QSaveFile file(m.favsPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        m.log.WriteLog(QStringLiteral("ngSaveFavs Error: ") + file.errorString(), true);
        return false;
    }
    return true;
}

void Newsgroups::ngAddGroup(const QByteArray& name)
{
    const QByteArray wanted = name.trimmed().toLower();
    for (const Row& row : std::as_const(m_rows)) {
        if (m_records[row.record].name.trimmed().toLower() == wanted)
            return;
    }
    if (!isSafeGroupName(name.trimmed())) {
        m.log.WriteLog(QStringLiteral("Newsgroup name not usable: ") + displayText(name), true);
        m.prompts.message(QStringLiteral("Newsgroup name not usable: ") + displayText(name));
        return;
    }
    GroupRecord rec;
    rec.key = ngFindFreeKey();
    appendRow(name, rec);
    ngSyncGroupCombo();
    saveFavs();
}

// --- read marks ------------------------------------------------------------------------------

void Newsgroups::ngUpdateRange(quint8 key, qint64 first, qint64 last)
{
    if (!findRecord(key))
        return;
    emit rangeArrived(key, first);
    GroupRecord* r = findRecord(key);
    r->first = first;
    r->last = last;
    r->unread = std::max<qint64>(0, last - r->lastRead);
    m.window.setProgress(MainWindowState::Bar::ThisGroup, 0);
    m.window.setProgressMaximum(MainWindowState::Bar::ThisGroup,
                                static_cast<int>(std::min<qint64>(r->unread + 1, std::numeric_limits<int>::max())));
    emit newArticles(key, r->unread);
    r->total = std::max<qint64>(0, last - first);
    ngRefreshRow(key);
}

void Newsgroups::set_high_msg(quint8 key, qint64 article, bool force)
{
    if (!groupSelected)
        return;
    updateReadMark(key, article, force);
}

void Newsgroups::ngSetReadMarkManual(quint8 key, qint64 article, bool force) { updateReadMark(key, article, force); }

void Newsgroups::updateReadMark(quint8 key, qint64 article, bool force)
{
    GroupRecord* r = findRecord(key);
    if (!r) {
        m.log.WriteLog(QStringLiteral("error in set_high_msg"), true);
        return;
    }
    if (force) {
        r->lastRead = article;
    } else if (article > r->lastRead) {
        r->lastRead = article;
        if (article > r->last)
            r->last = article;
    }
    if (r->first == 0) {
        ngRefreshRow(key);
        return;
    }
    // A mark forced above the range would show a negative count; nothing is unread then.
    r->unread = std::max<qint64>(0, r->last - r->lastRead);
    const MainWindowState::Progress bar = m.window.progress(MainWindowState::Bar::ThisGroup);
    const qint64 done = bar.maximum - r->unread;
    if (done >= 1 && done <= bar.maximum)
        m.window.setProgress(MainWindowState::Bar::ThisGroup, static_cast<int>(done));
    ngRefreshRow(key);
}

void Newsgroups::ngRefreshRow(quint8 key)
{
    const int row = rowOfKey(key);
    if (row < 0)
        return;
    const GroupRecord& r = m_records[m_rows[row].record];
    auto& cells = m_rows[row].cells;
    cells[UnreadColumn] = number(r.unread);
    cells[LastReadColumn] = number(r.lastRead);
    cells[FirstColumn] = number(r.first);
    cells[LastColumn] = number(r.last);
    cells[TotalColumn] = fmt::Format(static_cast<double>(r.total), u"00000");
    emitRowChanged(row);
}

void Newsgroups::ngSetOff(quint8 key, bool off)
{
    if (GroupRecord* r = findRecord(key))
        r->off = off;
}

void Newsgroups::ngResetReadMark(quint8 key)
{
    if (GroupRecord* r = findRecord(key))
        r->lastRead = 0;
}

// --- list commands ---------------------------------------------------------------------------

QList<int> Newsgroups::sortedUnique(QList<int> rows) const
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(), [this](int r) { return r < 0 || r >= m_rows.size(); }),
               rows.end());
    return rows;
}

void Newsgroups::deleteRows(QList<int> rows)
{
    rows = sortedUnique(rows);
    if (rows.isEmpty()) {
        m.prompts.message(QStringLiteral("Error, no group selected."));
        return;
    }
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        beginRemoveRows({}, *it, *it);
        m_rows.removeAt(*it);
        endRemoveRows();
    }
    ngRebuildGroupCombo();
    saveFavs();
}

QList<int> Newsgroups::moveUp(const QList<int>& selection)
{
    const QList<int> rows = sortedUnique(selection);
    if (rows.isEmpty() || rows.first() == 0)
        return rows;
    QList<int> moved;
    for (int r : rows) {
        beginMoveRows({}, r, r, {}, r - 1);
        m_rows.swapItemsAt(r, r - 1);
        endMoveRows();
        moved.append(r - 1);
    }
    saveFavs();
    return moved;
}

QList<int> Newsgroups::moveDown(const QList<int>& selection)
{
    const QList<int> rows = sortedUnique(selection);
    if (rows.isEmpty() || rows.last() == m_rows.size() - 1)
        return rows;
    QList<int> moved;
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        beginMoveRows({}, *it, *it, {}, *it + 2);
        m_rows.swapItemsAt(*it, *it + 1);
        endMoveRows();
        moved.prepend(*it + 1);
    }
    saveFavs();
    return moved;
}

QList<int> Newsgroups::moveTop(const QList<int>& selection)
{
    const QList<int> rows = sortedUnique(selection);
    if (rows.isEmpty())
        return rows;
    // The selected rows end at the top in their previous relative order.
    beginResetModel();
    QList<Row> reordered;
    QList<Row> rest;
    for (int i = 0; i < m_rows.size(); ++i)
        (rows.contains(i) ? reordered : rest).append(m_rows[i]);
    reordered.append(rest);
    m_rows = reordered;
    endResetModel();
    saveFavs();
    QList<int> moved;
    for (int i = 0; i < rows.size(); ++i)
        moved.append(i);
    return moved;
}

void Newsgroups::resetRows(const QList<int>& selection)
{
    const QList<int> rows = sortedUnique(selection);
    if (rows.isEmpty()) {
        m.prompts.message(QStringLiteral("Error, no group selected."));
        return;
    }
    for (int r : rows) {
        m_rows[r].cells[LastReadColumn].clear();
        m_rows[r].cells[UnreadColumn].clear();
        ngResetReadMark(keyAtRow(r));
        emitRowChanged(r);
    }
}

void Newsgroups::toggleRows(const QList<int>& selection)
{
    const QList<int> rows = sortedUnique(selection);
    if (rows.isEmpty()) {
        m.prompts.message(QStringLiteral("Error, no group selected."));
        return;
    }
    for (int r : rows) {
        ngSetOff(keyAtRow(r), !rowGreyed(r));
        emitRowChanged(r);
    }
    ngRebuildGroupCombo();
    saveFavs();
}

// --- group chooser ---------------------------------------------------------------------------

void Newsgroups::ngSyncGroupCombo()
{
    QStringList names = m_viewGroups.stringList();
    for (int row = 0; row < m_rows.size(); ++row) {
        if (rowGreyed(row))
            continue;
        const QString name = m_rows[row].cells[NameColumn].trimmed();
        if (!names.contains(name))
            names.append(name);
    }
    if (names != m_viewGroups.stringList())
        m_viewGroups.setStringList(names);
}

void Newsgroups::ngRebuildGroupCombo()
{
    QStringList names{QLatin1String(kNoGroup)};
    for (int row = 0; row < m_rows.size(); ++row) {
        if (!rowGreyed(row))
            names.append(m_rows[row].cells[NameColumn]);
    }
    m_viewGroups.setStringList(names);
}

// --- model -----------------------------------------------------------------------------------

void Newsgroups::emitRowChanged(int row) { emit dataChanged(index(row, 0), index(row, ColumnCount - 1)); }

int Newsgroups::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int Newsgroups::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

void Newsgroups::ResetGroupIcons()
{
    for (int i = 0; i < m_rows.size(); ++i)
        setGroupIcon(i, 1);
}

void Newsgroups::setGroupIcon(int row, int icon)
{
    if (row < 0 || row >= m_rows.size() || m_rows[row].icon == icon)
        return;
    m_rows[row].icon = icon;
    emit dataChanged(index(row, 0), index(row, 0), {IconRole});
}

QVariant Newsgroups::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row& row = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return row.cells[index.column()];
    case KeyRole:
        return m_records[row.record].key;
    case GreyedRole:
        return m_records[row.record].off;
    case IconRole:
        return row.icon;
    default:
        return {};
    }
}

QVariant Newsgroups::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const kCaptions[] = {"Newsgroup Name", "Unread", "Last Read", "First", "Last", "Total"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return QLatin1String(kCaptions[section]);
}

void Newsgroups::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    emit layoutAboutToBeChanged();
    std::stable_sort(m_rows.begin(), m_rows.end(), [&](const Row& a, const Row& b) {
        return order == Qt::AscendingOrder ? a.cells[column] < b.cells[column] : b.cells[column] < a.cells[column];
    });
    emit layoutChanged();
}

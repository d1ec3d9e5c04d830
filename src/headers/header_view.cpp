#include "headers/header_view.h"

#include "app/event_yield.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/settings.h"
#include "groups/newsgroups.h"
#include "headers/header_store.h"
#include "headers/queue_lookup.h"
#include "headers/scan_activity.h"
#include "headers/scan_table.h"
#include "app/prompts.h"
#include "app/text.h"
#include "app/view_layout.h"
#include "headers/header_columns.h"
#include "headers/life.h"

#include <QHashFunctions>

#include <algorithm>
#include <bitset>

using Control = MainWindowState::Control;
using Label = MainWindowState::Label;
using Bar = MainWindowState::Bar;

namespace {

struct ToggleKey {
    QByteArrayView key;
    ItemState state;
    bool ViewToggles::*field;
};
constexpr ToggleKey kToggles[] = {
    { "btnsComplete", ItemState::Complete, &ViewToggles::togtsComplete },
    { "btnsIncomplete", ItemState::Incomplete, &ViewToggles::togtsIncomplete },
    { "btnsUnknown", ItemState::Unknown, &ViewToggles::togtsUnknown },
    { "btnsText", ItemState::Text, &ViewToggles::togtsText },
    { "btnsComplete_bp", ItemState::InBatch, &ViewToggles::togtsInBatch },
};
constexpr QByteArrayView kNewToggle = "btnsNew";

// Events get a chance after every this many items of a pass.
constexpr int kYieldMask = 255;

quint64 keyHash(QByteArrayView key)
{
    return qHash(key, 0x7e11);
}

} // namespace

HeaderView::HeaderView(const Services& services, QObject* parent)
    : QAbstractTableModel(parent)
    , m(services)
    , m_parts({ services.groups, services.log, services.settings })
{
    // Nothing is shown yet, so nothing is stale or unsaved.
    m.window.setVisible(Control::Refresh, false);
    m.window.setVisible(Control::SaveHeaders, false);
    m.window.setEnabled(Control::Restore, false);
}

HeaderView::~HeaderView() = default;

bool HeaderView::InBatch(qint64 article, quint8 groupKey) const
{
    return m.queue.InBatch(article, groupKey);
}

qint64 HeaderView::firstArticle(const Item& item) const
{
    return item.firstPart ? m.view.table.part(item.firstPart).article : 0;
}

ItemState HeaderView::itemState(int slot) const
{
    const ItemTable& table = m.view.table;
    const Item& it = table.item(slot);
    return InBatch(firstArticle(it), it.groupKey) ? ItemState::InBatch : partsState(table, slot);
}

bool HeaderView::shows(ItemState state) const
{
    for (const ToggleKey& t : kToggles) {
        if (t.state == state)
            return m.settings.toggles.*t.field;
    }
    return false;
}

void HeaderView::setToggle(QByteArrayView key, bool pressed)
{
    if (key == kNewToggle) {
        m_newOnly = pressed;
    } else {
        const auto t
            = std::find_if(std::begin(kToggles), std::end(kToggles), [&](const ToggleKey& k) { return k.key == key; });
        if (t == std::end(kToggles))
            return;
        m.settings.toggles.*t->field = pressed;
    }
    ShowCats();
}

bool HeaderView::toggle(QByteArrayView key) const
{
    if (key == kNewToggle)
        return m_newOnly;
    for (const ToggleKey& t : kToggles) {
        if (t.key == key)
            return m.settings.toggles.*t.field;
    }
    return false;
}

void HeaderView::selectGroupEntry(const QString& text)
{
    // The search fills the view table; a group loaded meanwhile would mix with its results.
    if (m_searchRunning)
        return;
    if (text == QLatin1String(Newsgroups::kNoGroup)) {
        m_selected = -1;
        m.log.WriteLog({}, false);
    } else {
        int key = -1;
        for (int row = 0; row < m.groups.groupCount() && key < 0; ++row) {
            const quint8 k = m.groups.keyAtRow(row);
            if (displayText(m.groups.ngGroupNameByKey(k)) == text)
                key = k;
        }
        m_selected = key >= 0 ? key : m.groups.ngFindKeyByGroupName(text.toUtf8());
    }
    m_searchResults = false;
    emit selectedGroupChanged(m_selected);
    ShowCats();
}

void HeaderView::ShowCats()
{
    // A change made while a rebuild lets events run is not lost: the rebuild runs once more.
    if (m_rebuilding) {
        m_rebuildAgain = true;
        return;
    }
    m_rebuilding = true;
    do {
        m_rebuildAgain = false;
        try {
            rebuild();
        } catch (const std::exception& e) {
            m.log.WriteLog(QStringLiteral("ShowCatsError:") + QString::fromLocal8Bit(e.what()), true);
        }
    } while (m_rebuildAgain);
    m_rebuilding = false;
    m.window.setEnabled(Control::GroupSelector, true);
}

void HeaderView::rebuild()
{
    MainWindowState& window = m.window;
    window.setEnabled(Control::GroupSelector, false);
    m.yield.yieldToEvents();
    setRows({});
    if (m_selected < 0 && !m_searchResults) {
        window.setText(Label::ViewCount, QStringLiteral("View Filter:"));
        if (!m.activity.running)
            m.headers.SaveViewChanges();
        window.setVisible(Control::SaveHeaders, false);
        window.setEnabled(Control::Restore, false);
        m.view.viewedKey = -1;
        m.view.table.clear();
        viewTableReplaced();
        window.setVisible(Control::Refresh, false);
        return;
    }
    if (m_selected >= 0)
        loadSelectedGroup();
    listViewTable();
}

void HeaderView::loadSelectedGroup()
{
    m_searchResults = false;
    const int key = m_selected;
    if (key == m.view.viewedKey)
        return;
    MainWindowState& window = m.window;
    const bool scanning = m.activity.running;
    if (!scanning)
        m.headers.SaveViewChanges();
    window.setVisible(Control::SaveHeaders, false);
    window.setEnabled(Control::Restore, false);
    m.view.viewedKey = key;
    if (scanning && m.scan.groupKey == key) {
        m.headers.CopyScanToView();
    } else {
        window.setVisible(Control::Refresh, false);
        m.headers.GTload(static_cast<quint8>(key));
    }
    viewTableReplaced();
}

void HeaderView::viewTableReplaced()
{
    setRows({});
    m_states.clear();
    m_keyIndex.clear();
    m_keyIndexValid = false;
}

void HeaderView::listViewTable()
{
    MainWindowState& window = m.window;
    const ItemTable& table = m.view.table;
    const int count = table.count();
    if (count > 0) {
        window.setProgressMaximum(Bar::LoadGroup, count);
        window.setProgress(Bar::LoadGroup, 0);
        m.yield.yieldToEvents();
        if (m_rebuildAgain)
            return;
        const GroupRanges ranges = groupRanges();
        m_states.assign(static_cast<size_t>(count) + 1, ItemState::Unknown);
        std::vector<int> rows;
        rows.reserve(static_cast<size_t>(count));
        std::bitset<256> groupsListed;
        // The table is re-read every round: events run inside the pass.
        for (int slot = 1; slot <= count && slot <= table.count(); ++slot) {
            const Item& it = table.item(slot);
            if (!it.isDeleted() && (!m_newOnly || lifeOf(it, ranges) >= kNewLife)) {
                const ItemState state = itemState(slot);
                m_states[static_cast<size_t>(slot)] = state;
                if (shows(state)) {
                    rows.push_back(slot);
                    groupsListed.set(it.groupKey);
                    if (rows.size() % kProgressRows == 0)
                        window.setProgress(Bar::LoadGroup, slot);
                }
            }
            if ((slot & kYieldMask) == 0 && m.yield.yieldToEvents() && m_rebuildAgain)
                return;
        }
        setRows(std::move(rows));
        applySort();
        // Every listed row shows its life; a group without a range gets one line, not one per row.
        bool logged = false;
        for (int key = 0; key < 256 && !logged; ++key) {
            if (groupsListed.test(static_cast<size_t>(key)))
                (void)LifeRemaining(m.groups, m.log, 0, static_cast<quint8>(key), logged);
        }
    }
    window.setProgress(Bar::LoadGroup, 0);
    if (m_rows.size() >= 3)
        emit currentRowRequested(0);
    UpdateViewLabel();
}

HeaderView::GroupRanges HeaderView::groupRanges() const
{
    GroupRanges ranges;
    for (int key = 0; key < 256; ++key) {
        if (const GroupRecord* r = m.groups.recordByKey(static_cast<quint8>(key)))
            ranges[static_cast<size_t>(key)] = { r->first, r->total, true };
    }
    return ranges;
}

int HeaderView::lifeOf(const Item& item, const GroupRanges& ranges) const
{
    const GroupRange& r = ranges[item.groupKey];
    return r.known ? lifeInRange(firstArticle(item), r.first, r.span).value : 0;
}

int HeaderView::lifeNow(const Item& item) const
{
    const GroupRecord* r = m.groups.recordByKey(item.groupKey);
    return r ? lifeInRange(firstArticle(item), r->first, r->total).value : 0;
}

void HeaderView::UpdateViewLabel()
{
    const int count = m.view.table.count();
    QString text = QStringLiteral("View Filter:");
    if (count > 0) {
        text = QStringLiteral("Viewing:") + QString::number(m_rows.size()) + QStringLiteral(" of")
            + QString::number(count);
        if (m_deletedRows >= 1)
            text += QStringLiteral(" items (") + QString::number(m_deletedRows) + QStringLiteral(" deleted)");
        else
            text += QStringLiteral(" items");
    }
    m.window.setText(Label::ViewCount, text);
}

void HeaderView::RefreshItemRow(const QByteArray& itemKey)
{
    if (m_rebuilding) {
        m_rebuildAgain = true; // the pass may have classified these items already
        return;
    }
    const ItemTable& table = m.view.table;
    for (const int slot : slotsWithKey(itemKey)) {
        const Item& it = table.item(slot);
        const ItemState state = itemState(slot);
        ensureState(slot);
        m_states[static_cast<size_t>(slot)] = state;
        // Search results come from every group.
        const bool inView = m_searchResults || it.groupKey == m_selected;
        const bool listed = !it.isDeleted() && (!m_newOnly || lifeNow(it) >= kNewLife) && inView && shows(state);
        const int row = rowOfSlot(slot);
        if (listed && row >= 0)
            emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
        else if (listed)
            appendRow(slot);
        else if (row >= 0)
            dropRows({ row });
    }
    m.window.setText(Label::ViewCount,
        QStringLiteral("View Filter:") + QString::number(m_rows.size()) + QStringLiteral(" items showing"));
}

std::vector<int> HeaderView::slotsWithKey(const QByteArray& key)
{
    const ItemTable& table = m.view.table;
    if (!m_keyIndexValid || m_keyIndex.size() != static_cast<size_t>(table.count())) {
        m_keyIndex.clear();
        m_keyIndex.reserve(static_cast<size_t>(table.count()));
        for (int slot = 1; slot <= table.count(); ++slot)
            m_keyIndex.emplace_back(keyHash(table.str(table.item(slot).key)), slot);
        std::sort(m_keyIndex.begin(), m_keyIndex.end());
        m_keyIndexValid = true;
    }
    std::vector<int> found;
    const quint64 h = keyHash(key);
    auto it = std::lower_bound(m_keyIndex.begin(), m_keyIndex.end(), std::pair<quint64, int>(h, 0));
    for (; it != m_keyIndex.end() && it->first == h; ++it) {
        if (table.str(table.item(it->second).key) == key)
            found.push_back(it->second);
    }
    return found;
}

void HeaderView::ensureState(int slot)
{
    if (m_states.size() <= static_cast<size_t>(slot))
        m_states.resize(static_cast<size_t>(slot) + 1, ItemState::Unknown);
}

int HeaderView::rowOfSlot(int slot) const
{
    if (!m_rowIndexValid) {
        m_rowOfSlot.assign(static_cast<size_t>(m.view.table.count()) + 1, -1);
        for (size_t row = 0; row < m_rows.size(); ++row) {
            const auto s = static_cast<size_t>(m_rows[row]);
            if (s < m_rowOfSlot.size())
                m_rowOfSlot[s] = static_cast<int>(row);
        }
        m_rowIndexValid = true;
    }
    if (slot < 1 || static_cast<size_t>(slot) >= m_rowOfSlot.size())
        return -1;
    return m_rowOfSlot[static_cast<size_t>(slot)];
}

void HeaderView::setRows(std::vector<int> rows)
{
    if (rows.empty() && m_rows.empty())
        return;
    beginResetModel();
    m_rows = std::move(rows);
    rowsChanged();
    endResetModel();
}

void HeaderView::appendRow(int slot)
{
    const int row = static_cast<int>(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.push_back(slot);
    if (m_rowIndexValid && static_cast<size_t>(slot) < m_rowOfSlot.size())
        m_rowOfSlot[static_cast<size_t>(slot)] = row;
    else
        rowsChanged();
    endInsertRows();
}

void HeaderView::dropRows(const std::vector<int>& rows)
{
    if (rows.empty())
        return;
    // Contiguous runs, last first, so the earlier runs keep their row numbers.
    std::vector<std::pair<int, int>> runs;
    for (const int row : rows) {
        if (!runs.empty() && runs.back().second + 1 == row)
            runs.back().second = row;
        else
            runs.emplace_back(row, row);
    }
    // Each removal signal costs a view a pass over its rows: many scattered runs become one reset.
    constexpr size_t kMaxRunSignals = 32;
    if (runs.size() > kMaxRunSignals) {
        beginResetModel();
        std::vector<char> gone(m_rows.size(), 0);
        for (const int row : rows)
            gone[static_cast<size_t>(row)] = 1;
        size_t kept = 0;
        for (size_t row = 0; row < m_rows.size(); ++row) {
            if (!gone[row])
                m_rows[kept++] = m_rows[row];
        }
        m_rows.resize(kept);
        rowsChanged();
        endResetModel();
        return;
    }
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        beginRemoveRows({}, run->first, run->second);
        m_rows.erase(m_rows.begin() + run->first, m_rows.begin() + run->second + 1);
        rowsChanged();
        endRemoveRows();
    }
}

int HeaderView::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int HeaderView::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString HeaderView::text(int slot, int column) const
{
    const ItemTable& table = m.view.table;
    const Item& it = table.item(slot);
    switch (column) {
    case SubjectColumn:
        return columns::subject(table.str(it.key));
    case PartsColumn:
        return columns::parts(it.partCount, it.totalParts);
    case MegabytesColumn:
        return columns::megabytes(table.ItemBytes(slot));
    case FromColumn:
        return displayText(table.str(it.poster).toByteArray());
    case LifeColumn:
        return columns::life(lifeNow(it));
    case NewsgroupColumn:
        return displayText(m.groups.ngGroupNameByKey(it.groupKey));
    case DateColumn:
        return columns::date(it.date);
    default:
        return {};
    }
}

QVariant HeaderView::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int slot = m_rows[static_cast<size_t>(index.row())];
    // Rows never outlive their table, but a view may ask while a reload is under way.
    if (slot > m.view.table.count())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return text(slot, index.column());
    case SlotRole:
        return slot;
    case StatusRole:
        return QString::fromLatin1(statusKey(
            static_cast<size_t>(slot) < m_states.size() ? m_states[static_cast<size_t>(slot)] : itemState(slot)));
    default:
        return {};
    }
}

QVariant HeaderView::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return ColumnLayouts::captions(ColumnLayouts::HeaderView).value(section);
}

void HeaderView::groupExpired(quint8 groupKey)
{
    if (m_selected == -1 || m.view.viewedKey != groupKey)
        return;
    m.window.setVisible(Control::Refresh, true);
    m.window.setVisible(Control::SaveHeaders, false);
    m.window.setEnabled(Control::Restore, false);
}

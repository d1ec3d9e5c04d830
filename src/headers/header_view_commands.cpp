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

#include <algorithm>

using Control = MainWindowState::Control;

void HeaderView::DeleteHeaders(const QList<int>& tags)
{
    Prompts& prompts = m.prompts;
    MainWindowState& window = m.window;
    if (m.activity.running) {
        prompts.message(QStringLiteral("Can't delete items while a scan is in progress."), PromptIcon::Information);
        return;
    }
    if (window.isVisible(Control::Refresh)) {
        prompts.message(QStringLiteral("You are not viewing the most recent set of headers, this group was updated "
                                       "during a scan.  Update your view by pressing the refresh button to enable the "
                                       "delete command."));
        return;
    }
    if (m_selected < 0 && !m_rows.empty()) {
        prompts.message(QStringLiteral("Can't delete find results."));
        return;
    }
    std::vector<int> rows;
    rows.reserve(static_cast<size_t>(tags.size()));
    for (const int slot : tags) {
        const int row = rowOfSlot(slot);
        if (row >= 0)
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.empty()) {
        prompts.message(QStringLiteral("Nothing selected."));
        return;
    }
    m_deletedRows += static_cast<qint64>(rows.size());
    ItemTable& table = m.view.table;
    for (const int row : rows)
        table.item(m_rows[static_cast<size_t>(row)]).deleted = -1;
    dropRows(rows);
    UpdateViewLabel();
    if (!table.changed) {
        table.changed = true;
        window.setVisible(Control::SaveHeaders, true);
    }
    if (!window.isEnabled(Control::Restore))
        window.setEnabled(Control::Restore, true);
}

void HeaderView::RestoreHeaders()
{
    if (!m.prompts.askYesNo(QStringLiteral("Restore deleted headers?"), PromptIcon::Question))
        return;
    // Forgetting the viewed group makes the rebuild load it again, without the deletions.
    m.view.viewedKey = -1;
    ShowCats();
    m.view.table.changed = false;
    m.window.setEnabled(Control::Restore, false);
}

void HeaderView::RefreshHeaders()
{
    m.view.viewedKey = -1;
    ShowCats();
}

#include "headers/expiry.h"

#include "app/app_context.h"
#include "app/text.h"

void AutoExpire(AppContext& ctx, quint8 groupKey, qint64 first)
{
    if (ctx.settings.chkAutoExpire == 0)
        return;
    const QString name = displayText(ctx.groups.ngGroupNameByKey(groupKey));
    ctx.log.WriteLog(QStringLiteral("Auto-expire: ") + name, false);
    qint64 expired = 0;
    try {
        ScanTable& scan = ctx.scan;
        ItemTable& table = scan.table;
        for (int slot = 1; slot <= table.count(); ++slot) {
            const Item& it = table.item(slot);
            if (it.isDeleted() || it.firstPart == 0)
                continue;
            bool gone = false;
            table.forEachPart(it, [&](const ItemPart& p) { gone = gone || p.article < first; });
            if (!gone)
                continue;
            // The batch knows an entry by its part 1, whichever part left the server.
            const qint64 partOne = table.part(it.firstPart).article;
            const quint8 itemGroup = it.groupKey;
            scan.deleteSlot(slot);
            ++expired;
            if (ctx.hooks.removeExpiredFromBatch)
                ctx.hooks.removeExpiredFromBatch(partOne, itemGroup);
        }
    } catch (const std::exception& e) {
        ctx.log.WriteLog(QStringLiteral("Auto-Expire Error: ") + QString::fromLocal8Bit(e.what()), true);
    }
    if (expired == 0) {
        ctx.log.WriteLog(QStringLiteral("Auto-expire: ") + name + QStringLiteral(", nothing expired"), true);
        return;
    }
    ctx.scan.table.changed = true;
    if (expired == 1)
        ctx.log.WriteLog(QStringLiteral("Auto-expire: ") + name + QStringLiteral(", 1 article expired"), true);
    else
        ctx.log.WriteLog(QStringLiteral("Auto-expire: ") + name + u',' + QString::number(expired)
                + QStringLiteral(" articles expired"),
            true);
    if (ctx.headerView.selectedGroup() != -1 && ctx.view.viewedKey == groupKey) {
        ctx.window.setVisible(MainWindowState::Control::Refresh, true);
        ctx.window.setVisible(MainWindowState::Control::SaveHeaders, false);
        ctx.window.setEnabled(MainWindowState::Control::Restore, false);
    }
}

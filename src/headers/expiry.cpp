#include "headers/expiry.h"

#include "app/ops_log.h"
#include "app/settings.h"
#include "app/text.h"
#include "groups/newsgroups.h"
#include "headers/scan_table.h"

AutoExpiry::AutoExpiry(const Services& services, QObject* parent)
    : QObject(parent)
    , m(services)
{
}

void AutoExpiry::AutoExpire(quint8 groupKey, qint64 first)
{
    if (m.settings.chkAutoExpire == 0)
        return;
    const QString name = displayText(m.groups.ngGroupNameByKey(groupKey));
    m.log.WriteLog(QStringLiteral("Auto-expire: ") + name, false);
    qint64 expired = 0;
    try {
        ScanTable& scan = m.scan;
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
            emit itemExpired(partOne, itemGroup);
        }
    } catch (const std::exception& e) {
        m.log.WriteLog(QStringLiteral("Auto-Expire Error: ") + QString::fromLocal8Bit(e.what()), true);
    }
    if (expired == 0) {
        m.log.WriteLog(QStringLiteral("Auto-expire: ") + name + QStringLiteral(", nothing expired"), true);
        return;
    }
    m.scan.table.changed = true;
    if (expired == 1)
        m.log.WriteLog(QStringLiteral("Auto-expire: ") + name + QStringLiteral(", 1 article expired"), true);
    else
        m.log.WriteLog(QStringLiteral("Auto-expire: ") + name + u',' + QString::number(expired)
                + QStringLiteral(" articles expired"),
            true);
    emit groupExpired(groupKey);
}

#include "support/test_context.h"

TestContext::TestContext()
{
    restart();
}

AppContext& TestContext::restart()
{
    ctx.reset();
    ctx = std::make_unique<AppContext>(ProgramFolder::at(dir.path()), AppServices { clock, prompts, desktop, probe });
    return *ctx;
}

AppContext& TestContext::reload()
{
    AppContext& fresh = restart();
    fresh.settingsFile.LoadOptions();
    fresh.groups.ngLoadFavs();
    fresh.batch.LoadBatch();
    return fresh;
}

quint8 TestContext::showItems(const QByteArray& group, QList<ItemRecord> records)
{
    ctx->groups.ngAddGroup(group);
    const quint8 key = ctx->groups.ngFindKeyByGroupName(group);
    for (ItemRecord& r : records) {
        r.groupKey = key;
        ctx->view.table.appendRecord(r);
    }
    ctx->view.viewedKey = key;
    ctx->groups.ngRebuildGroupCombo();
    ctx->headerView.selectGroupEntry(QString::fromLatin1(group));
    return key;
}

int TestContext::logCount(const QString& text) const
{
    return static_cast<int>(ctx->log.entries().stringList().filter(text).size());
}

bool TestContext::logged(const QString& text) const
{
    const QStringList entries = ctx->log.entries().stringList();
    return std::any_of(entries.cbegin(), entries.cend(), [&](const QString& l) { return l.endsWith(text); });
}

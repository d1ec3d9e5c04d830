#include "app/app_context.h"

#include "headers/expiry.h"

AppContext::AppContext(const ProgramFolder& programFolder, const AppServices& services)
    : folder(programFolder)
    , clock(services.clock)
    , prompts(services.prompts)
    , desktop(services.desktop)
    , probe(services.probe)
    , log(settings, window, clock, folder)
    , cues(settings, desktop, folder)
    , profile(folder.file(QStringLiteral("TWHELK.INI")))
    , settingsFile({profile, settings, log, prompts, window, folder.path})
    , monitor(settings, window, cues, probe)
    , groups({log, prompts, window, folder.file(QStringLiteral("favs.txt"))})
    , connections(*this)
    , yield(clock)
    , scan(log)
    , headers({log, settings, groups, window, prompts, [this] { yield.yieldToEvents(); },
               [this] { return scanInProgress(); },
               [this] { headerView.UpdateViewLabel(); }},
              scan, view)
    , cruncher({log, settings, groups, window, clock, headers, scan, view, yield})
    , scanConnection(*this)
    , batch(*this)
    , headerView(*this)
    , headerSearch(*this)
{
    hooks.startScan = [this] { scanConnection.StartScan(); };
    hooks.scanInProgress = [this] { return scanConnection.scanning(); };
    hooks.loadNewsgroups = [this] { groups.ngLoadFavs(); };
    hooks.fillViewGroups = [this] { groups.ngRebuildGroupCombo(); };
    hooks.createHashIndex = [this] { scan.ClearHash(); };
    hooks.saveViewedGroupHeaders = [this] { headers.SaveViewChanges(); };
    hooks.loadBatch = [this] { batch.LoadBatch(); };
    hooks.batchHasWork = [this] { return batch.hasWork(); };
    hooks.inBatch = [this](qint64 article, quint8 groupKey) { return batch.InBatch(article, groupKey); };
    hooks.removeExpiredFromBatch
        = [this](qint64 article, quint8 groupKey) { batch.RemoveExpiredFromBatch(article, groupKey); };
    hooks.refreshBatchLife = [this] { batch.RefreshBatchLife(); };
    hooks.showCats = [this] { headerView.ShowCats(); };
    hooks.refreshItemRow = [this](const QByteArray& itemKey) { headerView.RefreshItemRow(itemKey); };
    groups.autoExpire = [this](quint8 key, qint64 first) { AutoExpire(*this, key, first); };
    hooks.releaseTables = [this] {
        scan.reset();
        view.table.clear();
        headerView.viewTableReplaced();
    };
}

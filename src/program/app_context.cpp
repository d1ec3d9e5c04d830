#include "program/app_context.h"

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
    , connections({settings, log, clock, prompts, window})
    , yield(clock)
    , watch({log, settings, prompts, folder.file(QLatin1String(WatchList::kFileName))})
    , scan(log, &watch)
    , headers({log, settings, groups, window, prompts, [this] { yield.yieldToEvents(); }, activity}, scan, view)
    , cruncher({log, settings, groups, window, clock, headers, scan, view, yield, &watch})
    , batch({log, window, prompts, groups, view, scan, folder.file(QLatin1String(Batch::kFileName))})
    , nzb({log, prompts, groups, batch})
    , decoder({log, settings, cues, window, groups, batch, yield})
    , sets({settings, log, window, batch, view, {}})
    , download({settings, log, window, prompts, cues, clock, groups, batch, decoder, connections, activity})
    , viewer({settings, log, cues, prompts, groups, connections})
    , preview({settings, log, cues, prompts, groups, connections})
    , scanConnection({settings, log, window, prompts, cues, clock, groups, scan, headers, cruncher, connections,
                      activity, &download})
    , expiry({log, settings, groups, scan})
    , headerView({log, settings, window, prompts, yield, groups, headers, view, scan, activity, batch})
    , headerSearch({log, prompts, cues, yield, groups, headers, view, headerView, activity})
    , hostGroups({settings, log, prompts, clock, connections, groups, [this] { yield.yieldToEvents(); },
                  folder.file(QLatin1String(HostGroups::kFileName))})
    , serverCheck({settings, connections})
{
    wire();
}

void AppContext::wire()
{
    QObject::connect(&headers, &HeaderStore::viewCountChanged, &headerView, &HeaderView::UpdateViewLabel);
    // A long crunch is no silent server.
    QObject::connect(&cruncher, &Cruncher::stillCrunching, &connections, [this] { connections.markActivity(Conn::Scan); });
    QObject::connect(&groups, &Newsgroups::rangeArrived, &expiry, &AutoExpiry::AutoExpire);
    // A trusted certificate is kept at once: a program killed later must not ask again.
    QObject::connect(
        &connections, &Connections::certificateTrusted, &connections, [this] { settingsFile.SaveOptions(); });
    QObject::connect(&expiry, &AutoExpiry::itemExpired, &batch, &Batch::RemoveExpiredFromBatch);
    QObject::connect(&expiry, &AutoExpiry::groupExpired, &headerView, &HeaderView::groupExpired);
    QObject::connect(&scanConnection, &ScanConnection::lifeChanged, &batch, &Batch::RefreshBatchLife);
    QObject::connect(&scanConnection, &ScanConnection::autoDownloadDue, &batch, [this] {
        if (batch.hasWork())
            startDownload();
    });
    QObject::connect(
        &watch, &WatchList::addToBatchRequested, &batch, [this](int slot) { batch.AddToBatch(slot, false); });
    QObject::connect(&batch, &Batch::itemChanged, &headerView, &HeaderView::RefreshItemRow);
    QObject::connect(&batch, &Batch::viewStale, &headerView, &HeaderView::ShowCats);
    QObject::connect(&batch, &Batch::downloadRequested, &batch, [this] { startDownload(); });
    QObject::connect(&headerSearch, &HeaderSearch::searchingChanged, &headerView, &HeaderView::setSearchRunning);
    // A long decode is no silent server either.
    QObject::connect(&decoder, &EntryDecoder::stillDecoding, &download, &BatchDownload::markAlive);
    QObject::connect(&download, &BatchDownload::restartNeeded, &scanConnection, &ScanConnection::EmergencyRestartDownload);
    QObject::connect(&download, &BatchDownload::finished, &scanConnection, &ScanConnection::downloadRestartDone);
    QObject::connect(&decoder, &EntryDecoder::decoded, &sets, &SetFinisher::fileDecoded);
    QObject::connect(&download, &BatchDownload::finished, &sets, &SetFinisher::runFinished);
    QObject::connect(&sets, &SetFinisher::downloadWanted, &download, [this] { startDownload(); });
    QObject::connect(&scanConnection, &ScanConnection::downloadRestartDue, &download, &BatchDownload::DownloadBatch);
}

void AppContext::startDownload() { download.DownloadBatch(); }

void AppContext::stopDownload()
{
    if (download.running())
        download.Stop();
    else
        scanConnection.CancelCountdown();
    window.setEnabled(MainWindowState::Control::BatchDownloadStop, false);
}

void AppContext::releaseTables()
{
    scan.reset();
    view.table.clear();
    headerView.viewTableReplaced();
}

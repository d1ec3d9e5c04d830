#include "app/app_context.h"

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
{
    hooks.loadNewsgroups = [this] { groups.ngLoadFavs(); };
    hooks.fillViewGroups = [this] { groups.ngRebuildGroupCombo(); };
}

#include "program/startup.h"

#include "program/app_context.h"
#include "app/prompts.h"

#include <QDir>
#include <QFileInfo>

QString versionText() { return QStringLiteral("v%1.%2").arg(TW_VERSION_MAJOR).arg(TW_VERSION_MINOR); }

QList<SkinIcon> LoadSkinIcons(const ProgramFolder& folder)
{
    static constexpr std::pair<const char*, const char*> kSkin[] = {
        {"incomplete.ico", "incomplete"}, {"unknown.ico", "unknown"},       {"complete.ico", "complete"},
        {"text.ico", "text"},             {"batch.ico", "iteminbatch"},     {"proc_true.ico", "proc_true"},
        {"proc_false.ico", "proc_false"}, {"new.ico", "new"},
    };
    QList<SkinIcon> icons;
    for (const auto& [file, key] : kSkin) {
        const QString path = folder.file(QStringLiteral("whelkskin/") + QLatin1String(file));
        icons.append({QLatin1String(key), QFileInfo(path).isFile() ? path : QString()});
    }
    return icons;
}

void Main(AppContext& ctx, StartupWindows& ui, const QString& commandLine)
{
    ui.splashSetMaximum(10);
    ctx.folder.enter();
    ui.splashSetValue(1);
    ui.splashShow();

    auto step = [&ui](const char* caption) { ui.splashSetCaption(QLatin1String(caption)); };
    step("Loading Main Window");
    ui.loadMainWindow();
    ui.splashSetValue(1);
    step("Loading Options Window");
    ui.loadOptionsWindow();
    ui.splashSetValue(2);
    step("Loading INI settings");
    ctx.settingsFile.LoadOptions();
    ctx.watch.WatchList_Get();
    ctx.watch.WatchList_Fill();
    ui.splashSetValue(3);
    step("Loading Graphics");
    ui.applySkinIcons(LoadSkinIcons(ctx.folder));
    ui.splashSetValue(4);
    step("Loading Newsgroups");
    ui.splashSetValue(5);
    ctx.groups.ngLoadFavs();
    step("Loading Window Sizes");
    ctx.placement = ctx.settingsFile.LoadWindowPlacement();
    ui.applyPlacement(ctx.placement);
    ui.splashSetValue(7);
    step("Loading Column Sizes");
    ctx.columns = ctx.settingsFile.LoadColumnWidths();
    ui.applyColumnWidths(ctx.columns);
    ui.splashSetValue(9);
    ctx.scan.ClearHash();
    step("Loading Batch");
    ctx.batch.LoadBatch();
    ui.splashSetMaximum(10);
    ui.splashSetValue(9);

    ctx.groups.ngRebuildGroupCombo();
    if (!ctx.settings.firstRun) {
        ui.showMainWindow();
        ui.splashClose();
    } else {
        ui.splashClose();
        ui.showMainWindow();
        ui.showSetupAssistant();
    }
    ctx.cues.checkSoundFolder();
    ctx.cues.PlayCue(QStringLiteral("twv001.wav"));
    ctx.monitor.UpdateStats(true);
    ctx.monitor.applyStatsSetting();
    ui.repaintToolbar();
    if (!commandLine.isEmpty())
        ParseCommandLine(ctx, commandLine);
}

void ParseCommandLine(AppContext& ctx, const QString& commandLine)
{
    const QString option = commandLine.trimmed().toUpper();
    if (option == QLatin1String("/SCAN")) {
        ctx.scanConnection.StartScan();
    } else if (option == QLatin1String("/DOWNLOAD")) {
        ctx.startDownload();
    } else {
        ctx.prompts.message(QStringLiteral("Command line option not valid: ") + commandLine
                            + QStringLiteral("\r\rValid options are /SCAN or /DOWNLOAD"));
    }
}

namespace {

void deletePreviews(const QString& cacheFolder)
{
    QDir previews(cacheFolder + QStringLiteral("previews"));
    const QStringList files = previews.entryList({QStringLiteral("TW*")}, QDir::Files);
    for (const QString& name : files)
        previews.remove(name);
}

} // namespace

void SaveAllAndExit(AppContext& ctx, StartupWindows& ui)
{
    ui.hideOptionsWindow();
    ctx.settingsFile.SaveOptions();
    ctx.placement = ui.currentPlacement();
    ctx.settingsFile.SaveWindowPlacement(ctx.placement);
    ctx.columns = ui.currentColumnWidths();
    ctx.settingsFile.SaveColumnWidths(ctx.columns);
    (void)ctx.watch.WatchList_Save();
    // A running scan owns the header files; saving the viewed group now could clash with it.
    if (!ctx.scanInProgress())
        ctx.headers.SaveViewChanges();
    deletePreviews(ctx.settings.Cache_Path);
    ctx.releaseTables();
    ui.hideMainWindow();
    ui.endProcess();
}

#include "ui/app_windows.h"

#include "program/app_context.h"
#include "app/prompts.h"
#include "ui/folder_chooser.h"
#include "ui/help_window.h"
#include "ui/host_groups_window.h"
#include "ui/log_window.h"
#include "ui/login_window.h"
#include "ui/main_window.h"
#include "ui/newsgroups_page.h"
#include "ui/options_window.h"
#include "ui/qt_prompts.h"
#include "ui/setup_assistant.h"
#include "ui/splash_window.h"
#include "ui/watch_window.h"

#include "app/event_yield.h"

#include <QApplication>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

AppWindows::AppWindows(AppContext& context, QtPrompts& prompts)
    : m_ctx(context)
    , m_prompts(prompts)
    , m_splash(std::make_unique<SplashWindow>())
{
    m_prompts.setWindowOpener([this](AppWindow w, bool modal) { openWindow(w, modal); });
    m_prompts.setWindowHider([this](AppWindow w) {
        if (w == AppWindow::Login && m_login)
            m_login->hide();
        else if ((w == AppWindow::Options || w == AppWindow::OptionsNewsgroups) && m_options)
            m_options->hide();
    });
}

AppWindows::~AppWindows()
{
    m_prompts.setWindowOpener({});
    m_prompts.setWindowHider({});
}

void AppWindows::splashSetMaximum(int maximum) { m_splash->setMaximum(maximum); }
void AppWindows::splashSetValue(int value) { m_splash->setValue(value); }
void AppWindows::splashSetCaption(const QString& caption) { m_splash->setCaption(caption); }

void AppWindows::splashShow()
{
    m_splash->show();
    QApplication::processEvents();
}

void AppWindows::splashClose() { m_splash->close(); }

void AppWindows::loadMainWindow()
{
    m_main = std::make_unique<MainWindow>(m_ctx);
    m_prompts.setParentWidget(m_main.get());
    QObject::connect(m_main.get(), &MainWindow::shutdownRequested, [this] { shutdown(); });
    QObject::connect(m_main.get(), &MainWindow::optionsRequested, [this] { openWindow(AppWindow::Options, false); });
    QObject::connect(m_main.get(), &MainWindow::logRequested, [this] { openWindow(AppWindow::Log, false); });
    QObject::connect(m_main.get(), &MainWindow::loginRequested, [this] { openWindow(AppWindow::Login, false); });
    QObject::connect(m_main.get(), &MainWindow::watchListRequested,
                     [this] { openWindow(AppWindow::WatchList, false); });
    QObject::connect(m_main.get(), &MainWindow::helpRequested, [this] { showHelp(); });
    QObject::connect(m_main.get(), &MainWindow::aboutRequested, [this] {
        m_ctx.cues.PlayCue(QStringLiteral("hi.wav"));
        m_ctx.prompts.message(QStringLiteral("TideWhelk ") + versionText()
                                  + QStringLiteral("\r\rA Usenet binary grabber.\rProgram folder: ") + m_ctx.folder.path,
                              PromptIcon::Information);
    });
}

void AppWindows::loadOptionsWindow()
{
    m_options = std::make_unique<OptionsWindow>(m_ctx);
    QObject::connect(m_options.get(), &OptionsWindow::downloadFolderChooserRequested,
                     [this] { openFolderChooser(true, false); });
    QObject::connect(m_options.get(), &OptionsWindow::cacheFolderChooserRequested,
                     [this] { openFolderChooser(false, false); });
    QObject::connect(m_options.get(), &OptionsWindow::helpRequested, [this] { showHelp(); });
    QObject::connect(m_options.get(), &OptionsWindow::watchListRequested,
                     [this] { openWindow(AppWindow::WatchList, false); });
    QObject::connect(m_options->newsgroupsPage(), &NewsgroupsPage::hostGroupsRequested,
                     [this] { openWindow(AppWindow::HostGroups, false); });
    m_login = std::make_unique<LoginWindow>(m_ctx);
    QObject::connect(m_login.get(), &LoginWindow::connectRequested, [this] { m_ctx.scanConnection.StartScan(); });
    m_log = std::make_unique<LogWindow>(m_ctx);
}

void AppWindows::applySkinIcons(const QList<SkinIcon>& icons) { m_main->applySkinIcons(icons); }
void AppWindows::applyPlacement(const WindowPlacement& placement) { m_main->applyPlacement(placement); }
void AppWindows::applyColumnWidths(const ColumnLayouts& layouts) { m_main->applyColumnWidths(layouts); }

void AppWindows::showMainWindow()
{
    m_options->syncFromSettings();
    m_login->syncFromSettings();
    m_log->syncFromSettings();
    if (m_ctx.placement.windowState == WindowPlacement::Maximized)
        m_main->showMaximized();
    else
        m_main->show();
}

void AppWindows::showSetupAssistant() { openWindow(AppWindow::SetupAssistant, true); }

void AppWindows::repaintToolbar() { m_main->repaintToolbar(); }
void AppWindows::hideOptionsWindow() { m_options->hide(); }
WindowPlacement AppWindows::currentPlacement() const { return m_main->currentPlacement(); }
ColumnLayouts AppWindows::currentColumnWidths() const { return m_main->currentColumnWidths(); }
void AppWindows::hideMainWindow() { m_main->hide(); }

void AppWindows::endProcess()
{
    m_ended = true;
    if (m_recordEndOnly)
        return;
    QCoreApplication::exit(0);
}

void AppWindows::shutdown()
{
    if (m_shuttingDown)
        return;
    // Asked for while the program is still starting: once its windows are there.
    if (!m_main || !m_options) {
        QTimer::singleShot(kShutdownRetryMs, qApp, [this] { shutdown(); });
        return;
    }
    // Crunching, loading, a search or a decode lets events run from inside its loop, and a question
    // runs a loop of its own: saving and freeing the tables under them would pull their data away.
    // The shutdown runs once the program is back in its main loop.
    if (EventYield::insideLoop() || QThread::currentThread()->loopLevel() > 1) {
        if (!m_shutdownPending)
            m_ctx.log.WriteLog(QStringLiteral("Shutting down when the running operation ends..."), true);
        m_shutdownPending = true;
        QTimer::singleShot(kShutdownRetryMs, m_main.get(), [this] { shutdown(); });
        return;
    }
    m_shuttingDown = true;
    SaveAllAndExit(m_ctx, *this);
}

void AppWindows::showHelp()
{
    // A help file the user keeps in the program folder wins over the built-in guide.
    if (QFileInfo::exists(m_ctx.folder.helpFile)) {
        m_ctx.cues.ShellOpen(m_ctx.folder.helpFile);
        return;
    }
    if (!m_help)
        m_help = std::make_unique<HelpWindow>(m_main.get());
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void AppWindows::openFolderChooser(bool download, bool modal)
{
    auto* chooser = new FolderChooser(m_ctx, download ? FolderChooser::Target::Download : FolderChooser::Target::Cache,
                                      m_options.get());
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(chooser, &QDialog::accepted, [this] { m_options->syncFromSettings(); });
    if (modal) {
        chooser->exec();
    } else {
        chooser->setWindowModality(Qt::NonModal);
        chooser->show();
    }
}

SetupAssistant* AppWindows::setupAssistant() const { return m_assistant; }

void AppWindows::openSetupAssistant()
{
    if (m_assistant) {
        m_assistant->raise();
        m_assistant->activateWindow();
        return;
    }
    m_assistant
        = new SetupAssistant({ m_ctx.settings, m_ctx.prompts, m_ctx.serverCheck, m_ctx.hostGroups }, m_main.get());
    m_assistant->setAttribute(Qt::WA_DeleteOnClose);
    // It writes the login fields and the download folder behind the windows that show them.
    QObject::connect(m_assistant, &QDialog::finished, [this](int result) {
        // What the user set up is on disk at once, not only at a clean shutdown.
        if (result == QDialog::Accepted)
            m_ctx.settingsFile.SaveOptions();
        if (m_login)
            m_login->syncFromSettings();
        if (m_options)
            m_options->syncFromSettings();
    });
    // Whoever asks, it is the one thing to answer before anything else.
    m_assistant->setWindowModality(Qt::ApplicationModal);
    m_assistant->show();
}

void AppWindows::openWindow(AppWindow window, bool modal)
{
    auto present = [this, modal](QWidget* w) {
        if (!w)
            return;
        // A window opens over the main window the first time; after that where the user left it.
        if (m_main && !w->property("tw_placed").toBool()) {
            w->setProperty("tw_placed", true);
            w->move(m_main->geometry().center() - w->rect().center());
        }
        w->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
        w->show();
        w->raise();
        w->activateWindow();
    };
    switch (window) {
    case AppWindow::Options:
        present(m_options.get());
        break;
    case AppWindow::SetupAssistant:
        openSetupAssistant();
        break;
    case AppWindow::OptionsNewsgroups:
        if (m_options)
            m_options->showPage(OptionsWindow::NewsgroupsPage);
        present(m_options.get());
        break;
    case AppWindow::Login:
        present(m_login.get());
        break;
    case AppWindow::Log:
        present(m_log.get());
        break;
    case AppWindow::DownloadFolderChooser:
        openFolderChooser(true, modal);
        break;
    case AppWindow::CacheFolderChooser:
        openFolderChooser(false, modal);
        break;
    case AppWindow::AddNewsgroup:
        if (m_options)
            m_options->newsgroupsPage()->openAddDialog(modal);
        break;
    case AppWindow::WatchList:
        if (!m_watch)
            m_watch = std::make_unique<WatchWindow>(m_ctx.watch, m_ctx.settings, m_ctx.prompts);
        present(m_watch.get());
        break;
    case AppWindow::HostGroups:
        if (!m_hostGroups)
            m_hostGroups = std::make_unique<HostGroupsWindow>(m_ctx.hostGroups);
        present(m_hostGroups.get());
        break;
    }
}

#include "program/app_context.h"
#include "app/clock.h"
#include "program/startup.h"
#include "app/system_probe.h"
#include "app/termination.h"
#include "ui/app_windows.h"
#include "ui/qt_desktop.h"
#include "ui/qt_prompts.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QStandardPaths>
#include <QUrl>

namespace {

// A file (or file: URL) ending in ".nzb", as the desktop entry's %F hands them over.
bool isNzbPath(const QString& argument)
{
    return argument.endsWith(QStringLiteral(".nzb"), Qt::CaseInsensitive);
}

// The switches, without the NZB files the desktop hands over.
QString rawCommandLine(const QStringList& arguments)
{
    QStringList options;
    for (const QString& a : arguments.mid(1)) {
        if (!isNzbPath(a))
            options.append(a);
    }
    return options.join(u' ');
}

QStringList nzbPaths(const QStringList& arguments)
{
    QStringList paths;
    for (const QString& a : arguments.mid(1)) {
        if (isNzbPath(a))
            paths.append(a.startsWith(QStringLiteral("file:")) ? QUrl(a).toLocalFile() : QFileInfo(a).absoluteFilePath());
    }
    return paths;
}

// The icon the desktop entry names, drawn at each size rather than scaled.
QIcon programIcon()
{
    QIcon icon;
    for (int size : { 16, 32, 48, 64, 128, 256 })
        icon.addFile(QStringLiteral(":/icons/%1x%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TideWhelk"));
    QApplication::setQuitOnLastWindowClosed(false);
    // Ties the windows to the installed desktop entry (Wayland's app id).
    QApplication::setDesktopFileName(QStringLiteral("io.github.tidewhelk.TideWhelk"));
    QApplication::setWindowIcon(programIcon());

    const ProgramFolder folder = ProgramFolder::resolve(
        qEnvironmentVariable("TIDEWHELK_HOME"), QCoreApplication::applicationDirPath(),
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));

    SystemClock clock;
    QtPrompts prompts;
    QtDesktop desktop;
    HostProbe probe;
    AppContext context(folder, {clock, prompts, desktop, probe});
    AppWindows windows(context, prompts);

    // Ending the session or Ctrl+C saves and quits like closing the window.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &app,
                     [&windows](int) { windows.requestShutdown(); });

    Main(context, windows, rawCommandLine(QCoreApplication::arguments()));
    for (const QString& path : nzbPaths(QCoreApplication::arguments()))
        context.nzb.importFile(path);
    return QApplication::exec();
}

#include "program/app_context.h"
#include "app/clock.h"
#include "program/startup.h"
#include "app/system_probe.h"
#include "app/termination.h"
#include "ui/app_windows.h"
#include "ui/qt_desktop.h"
#include "ui/qt_prompts.h"

#include <QApplication>
#include <QIcon>
#include <QStandardPaths>

namespace {

// Everything after the program name, as one text.
QString rawCommandLine(const QStringList& arguments)
{
    return arguments.mid(1).join(u' ');
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
    return QApplication::exec();
}

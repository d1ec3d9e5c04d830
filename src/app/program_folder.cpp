#include "app/program_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace {

bool writableFolder(const QString& folder)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return false;
    // Permission bits lie for root and on some mounts; try it.
    QTemporaryFile probe(folder + QStringLiteral("/.tw-write-probe-XXXXXX"));
    return probe.open();
}

// Only a build tree or a folder its user marked portable keeps its files beside the executable:
// an installed program's folder may well be writable (root can write /usr/bin) but is no place
// for them.
bool keepsOwnFiles(const QString& folder)
{
    if (folder.isEmpty())
        return false;
    const QDir dir(folder);
    return dir.exists(QLatin1String(ProgramFolder::kPortableMarker)) || dir.exists(QStringLiteral("CMakeCache.txt"))
        || dir.exists(QStringLiteral("../CMakeCache.txt"));
}

} // namespace

ProgramFolder ProgramFolder::at(const QString& path)
{
    ProgramFolder f;
    f.path = QDir::cleanPath(QDir(path).absolutePath());
    QString trimmed = f.path;
    while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
        trimmed.chop(1);
    f.folderName = trimmed.section(u'/', -1);
    f.helpFile = f.file(QStringLiteral("TWHELK.hlp"));
    return f;
}

ProgramFolder ProgramFolder::resolve(const QString& homeVariable, const QString& executableFolder,
                                     const QString& appDataFolder)
{
    if (!homeVariable.isEmpty())
        return at(homeVariable);
    if (keepsOwnFiles(executableFolder) && writableFolder(executableFolder))
        return at(executableFolder);
    return at(appDataFolder);
}

bool ProgramFolder::enter() const { return QDir().mkpath(path) && QDir::setCurrent(path); }

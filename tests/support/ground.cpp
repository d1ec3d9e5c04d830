#include "support/ground.h"

#include <QDir>
#include <QFile>

#include <algorithm>

Ground::Ground()
    : folder(ProgramFolder::at(dir.path()))
{
    settings.chkEnableLogging = 1;
    settings.Cache_Path = dir.path() + QStringLiteral("/cache/");
}

void Ground::writeFile(const QString& name, const QByteArray& content) const
{
    const QString full = path(name);
    QDir().mkpath(QFileInfo(full).path());
    QFile f(full);
    if (f.open(QIODevice::WriteOnly))
        f.write(content);
}

QByteArray Ground::readFile(const QString& name) const
{
    QFile f(path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int Ground::logCount(const QString& text) const
{
    const QStringList entries = log.entries().stringList();
    return static_cast<int>(
        std::count_if(entries.cbegin(), entries.cend(), [&](const QString& l) { return l.contains(text); }));
}

bool Ground::logged(const QString& text) const
{
    const QStringList entries = log.entries().stringList();
    return std::any_of(entries.cbegin(), entries.cend(), [&](const QString& l) { return l.endsWith(text); });
}

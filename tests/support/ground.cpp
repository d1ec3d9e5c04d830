#include "support/ground.h"

#include <QDir>
#include <QFile>

#include <algorithm>

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

bool Ground::logged(const QString& text)
{
    const QStringList lines = logLines();
    return std::any_of(lines.cbegin(), lines.cend(), [&](const QString& l) { return l.endsWith(text); });
}

int Ground::logCount(const QString& text)
{
    const QStringList lines = logLines();
    return static_cast<int>(
        std::count_if(lines.cbegin(), lines.cend(), [&](const QString& l) { return l.contains(text); }));
}

#include "app/system_probe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

SystemProbe::Disk HostProbe::disk(const QString& path) const
{
    // A folder that does not exist yet still lives on the file system of its nearest parent.
    QFileInfo info(path);
    QString existing = info.absoluteFilePath();
    while (!existing.isEmpty() && !QFileInfo::exists(existing)) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            break;
        existing = parent;
    }
    const QStorageInfo storage(existing);
    if (!storage.isValid())
        return {};
    return {storage.bytesAvailable(), storage.rootPath()};
}

QString HostProbe::tempFolder() const { return QDir::tempPath(); }

SystemProbe::Memory HostProbe::memory() const
{
    QFile file(QStringLiteral("/proc/meminfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseMeminfo(file.readAll());
}

SystemProbe::Memory HostProbe::parseMeminfo(const QByteArray& text)
{
    Memory m;
    for (const QByteArray& line : text.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray key = line.left(colon);
        const qint64 kb = line.mid(colon + 1).trimmed().split(' ').value(0).toLongLong();
        if (key == "MemAvailable")
            m.availablePhysicalBytes = kb * 1024;
        else if (key == "SwapFree")
            m.availableSwapBytes = kb * 1024;
    }
    return m;
}

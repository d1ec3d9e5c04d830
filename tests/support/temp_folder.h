#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

// A fresh temporary directory, with files read and written by their names inside it.
struct TempFolder {
    QTemporaryDir dir;

    [[nodiscard]] QString path(const QString& name) const { return dir.filePath(name); }
    void writeFile(const QString& name, const QByteArray& content) const
    {
        QDir().mkpath(QFileInfo(path(name)).path());
        QFile f(path(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(content);
    }
    [[nodiscard]] QByteArray readFile(const QString& name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

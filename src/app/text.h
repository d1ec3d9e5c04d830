#pragma once

#include <QByteArray>
#include <QString>

// Bytes from files and the server, shown as UTF-8 when they are valid UTF-8, else as Latin-1.
[[nodiscard]] inline QString displayText(const QByteArray& bytes)
{
    const QString utf8 = QString::fromUtf8(bytes);
    return utf8.toUtf8() == bytes ? utf8 : QString::fromLatin1(bytes);
}

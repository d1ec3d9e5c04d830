#include "app/settings.h"

QString rescanLabel(int seconds)
{
    return QStringLiteral("Emergency restart wait: %1 seconds").arg(seconds);
}

QString timeoutLabel(int seconds)
{
    return QStringLiteral("Restart connection if inactive more than %1 seconds").arg(seconds);
}

QString xoverLabel(int headers) { return QStringLiteral("XOVER burst receive %1 headers at a time").arg(headers); }

QString connectionsLabel(int connections)
{
    return connections == 1 ? QStringLiteral("Download over 1 connection")
                            : QStringLiteral("Download over %1 connections at once").arg(connections);
}

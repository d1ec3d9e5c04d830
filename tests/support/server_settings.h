#pragma once

#include "app/settings.h"
#include "support/temp_folder.h"

// Points the program at a news server of the test's own on 127.0.0.1, logging on, with the
// download and cache folders inside the test's folder.
inline void pointAtServer(Settings& s, quint16 port, const TempFolder& folder)
{
    s.News_Host = QStringLiteral("127.0.0.1");
    s.News_Port = QString::number(port);
    s.chkEnableLogging = 1;
    // Scripted servers answer only what a test scripts; the tests of compression switch it on.
    s.chkCompress = 0;
    s.Download_Path = folder.path(QStringLiteral("download/"));
    s.Cache_Path = folder.path(QStringLiteral("cache/"));
}

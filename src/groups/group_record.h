#pragma once

#include <QByteArray>
#include <QtGlobal>

// A newsgroup of the user's list. Article numbers are 64-bit: large servers are past 2^31.
struct GroupRecord {
    QByteArray name;
    quint8 key = 0; // 1-255, unique within the list; 0 only when no key was free
    bool off = false;
    qint64 lastRead = 0; // highest article already taken; 0 = nothing read
    qint64 first = 0;    // server range at the last GROUP reply; 0 = never scanned
    qint64 last = 0;
    qint64 total = 0;
    qint64 unread = 0;
};

// Whether a group name can safely become a folder name under the cache and download folders.
[[nodiscard]] bool isSafeGroupName(const QByteArray& name);

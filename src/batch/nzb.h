#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

class QIODevice;

// NZB files: the XML list of a post's articles that other programs write and read.

struct NzbSegment {
    qint64 bytes = 0;
    int number = 0;
    QByteArray messageId; // without the angle brackets

    bool operator==(const NzbSegment&) const = default;
};

struct NzbFile {
    QString poster;
    qint64 date = 0; // seconds since the epoch
    QString subject;
    QStringList groups;
    std::vector<NzbSegment> segments; // by number, each number once

    bool operator==(const NzbFile&) const = default;
};

struct NzbDocument {
    QList<std::pair<QString, QString>> meta; // type, text
    std::vector<NzbFile> files; // each with segments

    bool operator==(const NzbDocument&) const = default;
};

struct NzbLimits {
    qint64 maxBytes = 256 * 1024 * 1024;
    qint64 maxSegments = 1'000'000;
};

// Either the whole document or why there is none.
struct NzbReadResult {
    std::optional<NzbDocument> document;
    QString error;
};

// Reads until the device gives no more bytes, so a pipe must be complete or blocking.
[[nodiscard]] NzbReadResult readNzb(QIODevice& device, const NzbLimits& limits = {});
[[nodiscard]] NzbReadResult readNzb(const QString& path, const NzbLimits& limits = {});

// False when the device fails; the path overload leaves an existing file untouched then.
[[nodiscard]] bool writeNzb(QIODevice& device, const NzbDocument& document);
[[nodiscard]] bool writeNzb(const QString& path, const NzbDocument& document);

[[nodiscard]] qint64 nzbFileBytes(const NzbFile& file);

#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class Batch;
class Cues;
class EventYield;
class MainWindowState;
class Newsgroups;
class OpsLog;
struct ItemRecord;
struct Settings;

// Turns the cached articles of a batch entry into the posted files in the download folder: yEnc
// posts through our own decoder, everything else through the classic-encodings library. Reports
// the result in the Processed View and the log, removes the cache files unless the settings keep
// them, and takes the entry out of the batch.
class EntryDecoder : public QObject {
    Q_OBJECT
public:
    struct Services {
        OpsLog& log;
        const Settings& settings;
        Cues& cues;
        MainWindowState& window;
        const Newsgroups& groups;
        Batch& batch;
        EventYield& yield;
    };

    struct Result {
        bool success = false;
        QString outputPath;
        QString error;
    };

    explicit EntryDecoder(const Services& services, QObject* parent = nullptr);

    // `partPaths` are the cache files of the entry's parts in order.
    Result DecodeBatchEntry(int entry, const QStringList& partPaths);

    // The folder decoded files of a group go to, created when missing; empty when it cannot be.
    [[nodiscard]] QString outputFolder(quint8 groupKey);

    // The text of a library return code; some codes also play a cue.
    QString DecoderMessage(int code);

signals:
    // A long decode is still going; the download connection's watchdog should not fire.
    void stillDecoding();
    // A file was decoded into place.
    void decoded(const QString& path);

private:
    void decodeYEnc(const ItemRecord& entry, const QStringList& paths, const QString& folder, Result& result);
    void decodeWithLibrary(const ItemRecord& entry, const QStringList& paths, const QString& folder, Result& result);
    // The output path for a name from the network: safe, and never an existing file.
    [[nodiscard]] std::optional<QString> placeFor(const QString& folder, const QString& name);
    void removeCacheFiles(const QStringList& paths);
    void finish(int entry, const QStringList& paths, const Result& result);
    void alive();

    Services m;
};

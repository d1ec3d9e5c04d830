#pragma once

#include "batch/viewer.h"
#include "nntp/article_fetch.h"
#include "nntp/connections.h"

#include <QObject>
#include <QString>

class Cues;
class Newsgroups;
class OpsLog;
class Prompts;
struct ItemRecord;
struct Settings;

// The part a preview fetches: the first whose counter reads "001/", else "01/", else "1/", and that
// holds more than a few bytes; failing those, the first part. -1 for an item without parts.
[[nodiscard]] qsizetype previewPart(const ItemRecord& item);

// The partial-file preview on connection 5: the first part of an item is fetched into the cache
// (unless it is there already), decoded into the "previews" folder as "TW preview of <name>" and
// handed to the desktop.
class Mp3Preview : public QObject, public ConnectionHandler {
    Q_OBJECT
public:
    struct Services {
        Settings& settings;
        OpsLog& log;
        Cues& cues;
        Prompts& prompts;
        const Newsgroups& groups;
        Connections& connections;
    };

    // File types opened without asking.
    static constexpr const char* kSafeTypes[]
        = { ".mpg", "mpeg", ".jpg", "jpeg", ".nfo", ".txt", ".mp3", ".wmf", ".asf", ".sfv", ".wav", ".csv" };

    explicit Mp3Preview(const Services& services, QObject* parent = nullptr);
    ~Mp3Preview() override;

    void PreviewItem(const ItemRecord& item);
    // Decodes the cached part into the previews folder and opens it; the path of the opened
    // file, empty when nothing was opened.
    QString PreviewCachedPart(const QString& cachePath);
    // The window was closed: the download ends.
    void close();

    [[nodiscard]] const QString& label() const { return m_label; }

    // ConnectionHandler
    void startWork() override;
    void reply(const Reply& reply) override;
    void closedByPeer() override;
    void socketError(int code, const QString& description) override;
    void receiving(qsizetype pendingBytes) override;

signals:
    void windowRequested(const QString& caption);
    void windowHidden();
    void labelChanged(const QString& text);

private:
    void setLabel(const QString& text);
    void send(const QByteArray& command);
    void articleArrived(QByteArray article);
    void fail(const QString& text);
    [[nodiscard]] QString cachePath() const;
    [[nodiscard]] QString previewsFolder() const;
    // The decoded file's path, empty after a logged failure.
    QString decodeYEnc(const QByteArray& article, const QString& folder);
    QString decodeWithLibrary(const QString& cachePath, const QString& folder);

    Services m;
    ArticleRequest m_request;
    QString m_label;
    ArticleFetch m_fetch;
    bool m_done = false;
};

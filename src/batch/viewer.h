#pragma once

#include "nntp/article_fetch.h"
#include "nntp/connections.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class Cues;
class Newsgroups;
class OpsLog;
class Prompts;
class QTemporaryDir;
struct ItemRecord;
struct Settings;

// One article the viewer or the preview fetches outside the batch.
struct ArticleRequest {
    quint8 groupKey = 0;
    QByteArray subject;
    qint64 article = 0; // for the retry by number
    QByteArray messageId; // with angle brackets, for the first try
    qint64 partSize = 0;
    bool saveMode = false; // store the article as its cache file instead of showing it
};

// The request for part `part` (0-based) of an item.
[[nodiscard]] ArticleRequest articleRequest(const ItemRecord& item, qsizetype part);

namespace viewer {
// A part above this size is never fetched for display.
constexpr qint64 kMaxPartBytes = 100000;
// Longer text is cut with a note.
constexpr qsizetype kMaxDisplay = 31000;
// A decode shorter than this found nothing worth showing.
constexpr qsizetype kMinDecoded = 26;
} // namespace viewer

// What decoding an article's attachment gave: its bytes, or the reason there are none.
struct DecodedAttachment {
    QByteArray bytes;
    QString error;
};

// Decodes the attachment of a cleaned article through "TWTEMP.UUE" and "TWTEMP.TXT" in `folder`,
// both rewritten from scratch: yEnc with the internal decoder, anything else with the library.
[[nodiscard]] DecodedAttachment DecodeAttachment(QByteArrayView article, const QString& folder);

// Every LF not preceded by CR becomes CR LF.
[[nodiscard]] QByteArray UnixToDos(QByteArrayView text);

// The charset the article's Content-Type names; empty when none.
[[nodiscard]] QByteArray articleCharset(QByteArrayView article);
// Bytes in the named charset; an unknown or missing one reads as Latin-1.
[[nodiscard]] QString decodeCharset(QByteArrayView bytes, QByteArrayView charset);

struct RenderedArticle {
    QString text;
    bool convertedFromUnix = false;
};
// The viewer's text: the header from its "From:" line, then the decoded attachment under a marker
// or, when there is none, the body; cut at viewer::kMaxDisplay characters.
[[nodiscard]] RenderedArticle RenderArticle(QByteArrayView article, const DecodedAttachment& decoded);

// The window caption for a subject: its multipart suffix dropped.
[[nodiscard]] QString viewerCaption(QByteArrayView subject);

enum class Opened { NoServer, Failed, Connecting };
// Connects an article connection to the login window's server, asking for a server name first
// when there is none.
Opened openArticleConnection(Conn n, const Settings& settings, Connections& connections, Prompts& prompts);

// What a double click on a header-view row opens, by its status icon key and its item key.
enum class OpenAction { ViewText, Preview, Parts };
[[nodiscard]] OpenAction OpenItem(QByteArrayView statusKey, QByteArrayView itemKey);

// The article viewer on connection 4: fetches one article and shows it as text, decoding an
// attachment when it holds one, or stores one part as its cache file.
class ArticleViewer : public QObject, public ConnectionHandler {
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

    explicit ArticleViewer(const Services& services, QObject* parent = nullptr);
    ~ArticleViewer() override;

    // "view text/nfo": the item's first part, when it is small enough.
    void ViewArticle(const ItemRecord& item);
    // A double click in the parts window: that part is stored as its cache file.
    void SaveArticle(const ItemRecord& item, qsizetype part);
    // Shows the window for the request and connects.
    void open(const ArticleRequest& request);
    // The window was closed: the connection goes with it.
    void close();

    [[nodiscard]] const QString& text() const { return m_text; }
    [[nodiscard]] const ArticleRequest& request() const { return m_request; }

    // ConnectionHandler
    void startWork() override;
    void reply(const Reply& reply) override;
    void connected() override;
    void closedByPeer() override;
    void socketError(int code, const QString& description) override;
    void receiving(qsizetype pendingBytes) override;

signals:
    void windowRequested(const QString& caption);
    // The whole text box changed.
    void textReset(const QString& text);
    void textAppended(const QString& text);

private:
    void status(const QString& line);
    void setText(const QString& text);
    void append(const QString& text);
    void send(const QByteArray& command);
    void articleArrived(const QByteArray& article);
    void render(const QByteArray& article);
    void SaveArticleUue(QByteArray article);
    // The server's answer ends the wait: shown, and the connection ends.
    void fail(const QString& line);
    void quit();

    Services m;
    ArticleRequest m_request;
    QString m_text;
    ArticleFetch m_fetch;
    bool m_done = false; // the wait is over: later closes are expected
    std::unique_ptr<QTemporaryDir> m_work;
};

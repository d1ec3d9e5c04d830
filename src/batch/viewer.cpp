#include "batch/viewer.h"

#include "app/ascii_case.h"
#include "app/cues.h"
#include "app/ops_log.h"
#include "app/prompts.h"
#include "app/settings.h"
#include "app/text.h"
#include "batch/article_text.h"
#include "batch/placement.h"
#include "batch/uu_library.h"
#include "batch/yenc.h"
#include "groups/newsgroups.h"
#include "headers/item_table.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTemporaryDir>

namespace {

const QString kNoServer = QStringLiteral("Enter News Server name by pressing SCAN on main screen, and then try again.")
    + QStringLiteral("\r\r  This is usually 'news.(hostname).net' or something similar.  Contact your system "
                     "admin if you are unsure.");

QString decodeError(const QString& why)
{
    return QStringLiteral("<Attachment Decode Error: ") + why + u'>';
}

bool writeWhole(const QString& path, QByteArrayView bytes, QString* why)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes.data(), bytes.size()) == bytes.size() && file.commit())
        return true;
    *why = file.errorString();
    return false;
}

DecodedAttachment decodeWithLibrary(const QString& input, const QString& output)
{
    UuLibrary library;
    if (!library.ok())
        return { {}, decodeError(QStringLiteral("the decoding library is busy")) };
    if (const int code = library.loadFile(input); code != UuLibrary::Ok)
        return { {}, decodeError(UuLibrary::returnCodeText(code)) };
    // Plain text is no attachment: the body already shows it.
    if (library.itemCount() == 0 || library.item(0).encoding == UuLibrary::Encoding::PlainText)
        return { {}, decodeError(UuLibrary::returnCodeText(UuLibrary::NoData)) };
    if (const int code = library.decode(0, output); code != UuLibrary::Ok)
        return { {}, decodeError(UuLibrary::returnCodeText(code)) };
    QFile file(output);
    if (!file.open(QIODevice::ReadOnly))
        return { {}, decodeError(file.errorString()) };
    return { file.readAll(), {} };
}

// A header field's value, continuation lines joined; empty when the field is missing.
QByteArray headerField(QByteArrayView head, QByteArrayView name)
{
    qsizetype at = 0;
    while (at < head.size()) {
        qsizetype end = head.indexOf('\n', at);
        if (end < 0)
            end = head.size();
        const QByteArrayView line = head.sliced(at, end - at);
        if (line.size() > name.size() && line[name.size()] == ':' && ascii::startsWithFolded(line, name)) {
            QByteArray value = line.sliced(name.size() + 1).toByteArray();
            for (at = end + 1; at < head.size() && (head[at] == ' ' || head[at] == '\t'); at = end + 1) {
                end = head.indexOf('\n', at);
                if (end < 0)
                    end = head.size();
                value += ' ' + head.sliced(at, end - at).trimmed().toByteArray();
            }
            return value.trimmed();
        }
        at = end + 1;
    }
    return {};
}

} // namespace

ArticleRequest articleRequest(const ItemRecord& item, qsizetype part)
{
    const ItemRecord::Part& p = item.parts.at(part);
    ArticleRequest r;
    r.groupKey = item.groupKey;
    r.subject = item.key;
    r.article = p.article;
    r.messageId = FullMessageId(item.parts.first().messageId, p.messageId);
    r.partSize = p.bytes;
    return r;
}

DecodedAttachment DecodeAttachment(QByteArrayView article, const QString& folder)
{
    const QString input = folder + QStringLiteral("/TWTEMP.UUE");
    const QString output = folder + QStringLiteral("/TWTEMP.TXT");
    // The decoders add to an existing output, so the last article's text must go first.
    QFile::remove(output);
    QString why;
    if (!writeWhole(input, article, &why))
        return { {}, decodeError(why) };
    if (!yenc::IsYEnc(article))
        return decodeWithLibrary(input, output);
    QFile out(output);
    if (!out.open(QIODevice::ReadWrite | QIODevice::Truncate))
        return { {}, decodeError(out.errorString()) };
    const yenc::Written written = yenc::YDecodeFile(article, out);
    if (!written.error.isEmpty())
        return { {}, decodeError(written.error) };
    // Only this article's bytes: a later part's begin= would put them far into a sparse file.
    if (!out.seek(written.offset))
        return { {}, decodeError(out.errorString()) };
    return { out.read(written.bytes), {} };
}

QByteArray UnixToDos(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

QByteArray articleCharset(QByteArrayView article)
{
    const QByteArray type = headerField(articleHead(article), "Content-Type");
    const QByteArray lower = type.toLower();
    const qsizetype at = lower.indexOf("charset=");
    if (at < 0)
        return {};
    QByteArray value = type.sliced(at + 8).trimmed();
    if (value.startsWith('"')) {
        const qsizetype close = value.indexOf('"', 1);
        return value.mid(1, close < 0 ? -1 : close - 1).trimmed();
    }
    qsizetype end = 0;
    while (end < value.size() && value[end] != ';' && value[end] != ' ' && value[end] != '\t')
        ++end;
    return value.first(end);
}

QString decodeCharset(QByteArrayView bytes, QByteArrayView charset)
{
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.toByteArray().constData());
        if (decoder.isValid())
            return decoder.decode(bytes);
    }
    return QString::fromLatin1(bytes);
}

RenderedArticle RenderArticle(QByteArrayView article, const DecodedAttachment& decoded)
{
    const qsizetype blank = article.indexOf("\r\n\r\n");
    QByteArrayView head = blank < 0 ? article : article.first(blank);
    const QByteArrayView body = blank < 0 ? QByteArrayView() : article.sliced(blank + 4);
    const qsizetype from = head.startsWith("From:") ? 0 : head.indexOf("\r\nFrom:");
    if (from > 0)
        head = head.sliced(from + 2);

    const QByteArray charset = articleCharset(article);
    RenderedArticle r;
    r.text = decodeCharset(head, charset) + QStringLiteral("\r\n\r\n");
    if (!decoded.error.isEmpty() || decoded.bytes.size() < viewer::kMinDecoded) {
        r.text += decodeCharset(body, charset);
    } else {
        QByteArray text = decoded.bytes;
        QString marker = QStringLiteral("<decoded attachment below>");
        if (!text.contains("\r\n") && text.contains('\n')) {
            r.convertedFromUnix = true;
            text = UnixToDos(text);
            marker = QStringLiteral("<decoded attachment below (converted from unix format)>");
        }
        r.text += marker + QStringLiteral("\r\n\r\n") + decodeCharset(text, charset);
    }
    if (r.text.size() > viewer::kMaxDisplay) {
        r.text.truncate(viewer::kMaxDisplay);
        r.text += QStringLiteral("\r\n\r\n... <file too large for full display>");
    }
    return r;
}

Opened openArticleConnection(Conn n, const Settings& settings, Connections& connections, Prompts& prompts)
{
    if (settings.News_Host.trimmed().isEmpty()) {
        prompts.message(kNoServer);
        return Opened::NoServer;
    }
    connections.setModeReaderPending(n, settings.chkModeReader != 0);
    return connections.OpenConnection(n) ? Opened::Connecting : Opened::Failed;
}

QString viewerCaption(QByteArrayView subject)
{
    QByteArrayView caption = subject.trimmed();
    if (caption.size() > 16 && caption.last(12).startsWith("[xx/00"))
        caption = caption.first(caption.size() - 12).trimmed();
    return displayText(caption.toByteArray());
}

OpenAction OpenItem(QByteArrayView statusKey, QByteArrayView itemKey)
{
    if (statusKey == "text")
        return OpenAction::ViewText;
    QByteArrayView name = itemKey;
    if (name.endsWith(']') && name.size() >= 14)
        name.chop(13);
    const QByteArray upper = name.toByteArray().toUpper().trimmed();
    if (upper.size() <= 6)
        return OpenAction::Parts;
    const QByteArray type = upper.right(4);
    if (type == ".MP3" || type == ".MPG")
        return OpenAction::Preview;
    if (type == ".TXT" || type == ".NFO" || type == ".DIZ")
        return OpenAction::ViewText;
    return OpenAction::Parts;
}

ArticleViewer::ArticleViewer(const Services& services, QObject* parent)
    : QObject(parent)
    , m(services)
{
    m.connections.setHandler(Conn::Viewer, this);
}

ArticleViewer::~ArticleViewer()
{
    m.connections.setHandler(Conn::Viewer, nullptr);
}

void ArticleViewer::ViewArticle(const ItemRecord& item)
{
    if (item.parts.isEmpty())
        return;
    const ArticleRequest request = articleRequest(item, 0);
    if (request.partSize > viewer::kMaxPartBytes) {
        m.prompts.message(
            QStringLiteral("This article is too large for internal text viewer."), PromptIcon::Information);
        return;
    }
    open(request);
}

void ArticleViewer::SaveArticle(const ItemRecord& item, qsizetype part)
{
    if (part < 0 || part >= item.parts.size())
        return;
    ArticleRequest request = articleRequest(item, part);
    request.saveMode = true;
    open(request);
}

void ArticleViewer::open(const ArticleRequest& request)
{
    m_request = request;
    m_fetch.setArticle(m.groups.ngGroupNameByKey(request.groupKey), request.messageId, request.article);
    m_fetch.forgetGroup();
    m_done = false;
    setText({});
    emit windowRequested(viewerCaption(request.subject));
    switch (openArticleConnection(Conn::Viewer, m.settings, m.connections, m.prompts)) {
    case Opened::NoServer:
        m_done = true;
        break;
    case Opened::Failed:
        fail(QStringLiteral("Connection Error..."));
        break;
    case Opened::Connecting:
        status(QStringLiteral("Connecting..."));
        break;
    }
}

void ArticleViewer::close()
{
    m_done = true;
    if (m.connections.state(Conn::Viewer) != 0) {
        m.connections.SendLine(Conn::Viewer, "QUIT");
        m.connections.CloseSocket(Conn::Viewer);
    }
}

void ArticleViewer::status(const QString& line)
{
    append(m_text.isEmpty() ? line : QStringLiteral("\r\n") + line);
}

void ArticleViewer::setText(const QString& text)
{
    m_text = text;
    emit textReset(m_text);
}

void ArticleViewer::append(const QString& text)
{
    m_text += text;
    emit textAppended(text);
}

void ArticleViewer::connected()
{
    m.cues.PlayCue(QStringLiteral("twv017.wav"));
}

void ArticleViewer::startWork()
{
    send(m_fetch.selectGroup());
}

void ArticleViewer::send(const QByteArray& command)
{
    m.connections.SendLine(Conn::Viewer, command);
}

void ArticleViewer::reply(const Reply& reply)
{
    if (m_done)
        return;
    const QString line = QString::fromLatin1(reply.statusLine);
    switch (reply.code) {
    case 220:
    case 222:
        if (reply.multiLine)
            articleArrived(reply.body);
        return;
    case 202:
    case 500:
        status(line);
        // A server that knows no GROUP either would answer 500 for ever.
        if (!m_fetch.groupSelected())
            send(m_fetch.selectGroup());
        else if (reply.code == 500)
            fail(QStringLiteral("Error: ") + line);
        return;
    case 211:
        status(QStringLiteral("Downloading..."));
        send(m_fetch.next(reply.code));
        return;
    case 430:
        if (const QByteArray retry = m_fetch.next(reply.code); !retry.isEmpty()) {
            send(retry);
            return;
        }
        fail(QStringLiteral("Article expired.  This article has been deleted from server."));
        return;
    case 423:
        fail(QStringLiteral("Bad article number!  This article has been deleted from server."));
        return;
    case 223:
        status(QStringLiteral("223 article retrieved - request text separately"));
        return;
    case 502:
        fail(QStringLiteral("Authentication Error.  Check Username/Password..."));
        return;
    case 221:
    case 421:
        return;
    default:
        // No such group and the like: the article will not come.
        if (reply.code >= 400)
            fail(QStringLiteral("Error: ") + line);
        return;
    }
}

void ArticleViewer::receiving(qsizetype pendingBytes)
{
    if (m_done)
        return;
    if (m_request.saveMode)
        setText(QStringLiteral("Downloading: \r\n%1 of %2 bytes").arg(pendingBytes).arg(m_request.partSize));
    else
        append(QStringLiteral("."));
}

void ArticleViewer::articleArrived(const QByteArray& article)
{
    m_done = true;
    m.cues.PlayCue(QStringLiteral("twv015.wav"));
    if (m_request.saveMode) {
        m_request.saveMode = false;
        SaveArticleUue(article);
        return;
    }
    quit();
    render(article);
}

void ArticleViewer::render(const QByteArray& article)
{
    DecodedAttachment decoded;
    if (article.isEmpty()) {
        m.log.WriteLog(QStringLiteral("Server sent an empty article.  This may be an indication of a problem with "
                                      "the news server software."),
            true);
        decoded.error = decodeError(UuLibrary::returnCodeText(UuLibrary::NoData));
    } else {
        if (!m_work || !m_work->isValid())
            m_work = std::make_unique<QTemporaryDir>();
        decoded = m_work->isValid() ? DecodeAttachment(article, m_work->path())
                                    : DecodedAttachment { {}, decodeError(m_work->errorString()) };
    }
    const RenderedArticle rendered = RenderArticle(article, decoded);
    if (rendered.convertedFromUnix)
        status(QStringLiteral("Converting to dos text from unix..."));
    setText(rendered.text);
}

void ArticleViewer::SaveArticleUue(QByteArray article)
{
    const GroupRecord* group = m.groups.recordByKey(m_request.groupKey);
    const QString path = CachePartPath(
        m.settings.Cache_Path, group ? QByteArrayView(group->name) : QByteArrayView(), m_request.article);
    // Stored like a part the batch fetched, so a later decode reads it the same way.
    FixSubjectParentheses(article);
    QString why;
    if (!EnsureFolder(QFileInfo(path).path()))
        why = QStringLiteral("the folder cannot be created");
    if (why.isEmpty() && writeWhole(path, article, &why)) {
        status(QStringLiteral("Saved as:") + path);
    } else {
        m.log.WriteLog(QStringLiteral("SaveArticleUue Error: ") + path + QStringLiteral(": ") + why, true);
        status(QStringLiteral("Error: ") + path + QStringLiteral(" was not saved: ") + why);
    }
    quit();
}

void ArticleViewer::fail(const QString& line)
{
    status(line);
    m_done = true;
    quit();
}

void ArticleViewer::quit()
{
    m.connections.SendLine(Conn::Viewer, "QUIT");
}

void ArticleViewer::closedByPeer()
{
    if (!m_done) {
        m_done = true;
        m.log.WriteLog(QStringLiteral("Server closed connection"), true);
        status(QStringLiteral("Server closed connection before the article arrived."));
    }
    m.connections.CloseSocket(Conn::Viewer);
}

void ArticleViewer::socketError(int, const QString& description)
{
    if (!m_done) {
        m_done = true;
        status(QStringLiteral("Error: ") + description);
    }
    m.connections.CloseSocket(Conn::Viewer);
}

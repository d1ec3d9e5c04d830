#include "batch/preview.h"

#include "app/cues.h"
#include "app/ops_log.h"
#include "app/prompts.h"
#include "app/settings.h"
#include "batch/article_text.h"
#include "batch/placement.h"
#include "batch/uu_library.h"
#include "batch/yenc.h"
#include "groups/newsgroups.h"
#include "headers/item_table.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr qint32 kMinPartBytes = 10;

// The name the preview is stored under: one plain component starting with "TW", so shutdown finds it.
QString previewName(const QByteArray& decodedName)
{
    return safeFileName("TW preview of " + (decodedName.isEmpty() ? QByteArray("file") : decodedName));
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

qsizetype previewPart(const ItemRecord& item)
{
    for (const char* counter : { "001/", "01/", "1/" }) {
        for (qsizetype i = 0; i < item.parts.size(); ++i) {
            if (item.parts[i].tail.contains(counter) && item.parts[i].bytes > kMinPartBytes)
                return i;
        }
    }
    return item.parts.isEmpty() ? -1 : 0;
}

Mp3Preview::Mp3Preview(const Services& services, QObject* parent)
    : QObject(parent)
    , m(services)
{
    m.connections.setHandler(Conn::Preview, this);
}

Mp3Preview::~Mp3Preview()
{
    m.connections.setHandler(Conn::Preview, nullptr);
}

QString Mp3Preview::cachePath() const
{
    const GroupRecord* group = m.groups.recordByKey(m_request.groupKey);
    return CachePartPath(
        m.settings.Cache_Path, group ? QByteArrayView(group->name) : QByteArrayView(), m_request.article);
}

QString Mp3Preview::previewsFolder() const
{
    QString folder = m.settings.Cache_Path;
    if (!folder.isEmpty() && !folder.endsWith(u'/'))
        folder += u'/';
    return folder + QStringLiteral("previews/");
}

void Mp3Preview::PreviewItem(const ItemRecord& item)
{
    const qsizetype part = previewPart(item);
    if (part < 0)
        return;
    m_request = articleRequest(item, part);
    const QString path = cachePath();
    if (QFileInfo::exists(path)) {
        PreviewCachedPart(path);
        return;
    }
    m_fetch.setArticle(m.groups.ngGroupNameByKey(m_request.groupKey), m_request.messageId, m_request.article);
    m_fetch.forgetGroup();
    m_done = false;
    setLabel({});
    emit windowRequested(viewerCaption(m_request.subject));
    switch (openArticleConnection(Conn::Preview, m.settings, m.connections, m.prompts)) {
    case Opened::NoServer:
        m_done = true;
        break;
    case Opened::Failed:
        fail(QStringLiteral("Connection Error..."));
        break;
    case Opened::Connecting:
        setLabel(QStringLiteral("Connecting..."));
        break;
    }
}

void Mp3Preview::close()
{
    m_done = true;
    if (m.connections.state(Conn::Preview) != 0) {
        m.connections.SendLine(Conn::Preview, "QUIT");
        m.connections.CloseSocket(Conn::Preview);
    }
}

void Mp3Preview::setLabel(const QString& text)
{
    m_label = text;
    emit labelChanged(text);
}

void Mp3Preview::startWork()
{
    send(m_fetch.selectGroup());
}

void Mp3Preview::send(const QByteArray& command)
{
    m.connections.SendLine(Conn::Preview, command);
}

void Mp3Preview::reply(const Reply& reply)
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
        setLabel(line);
        if (!m_fetch.groupSelected())
            send(m_fetch.selectGroup());
        else if (reply.code == 500)
            fail(QStringLiteral("Error: ") + line);
        return;
    case 211:
        setLabel(QStringLiteral("Please wait (downloading)...  "));
        send(m_fetch.next(reply.code));
        return;
    case 430:
        if (const QByteArray retry = m_fetch.next(reply.code); !retry.isEmpty()) {
            send(retry);
            return;
        }
        fail(QStringLiteral("Article has expired!  "));
        return;
    case 423:
        fail(QStringLiteral("Article has expired!  "));
        return;
    case 502:
        fail(QStringLiteral("Authentication Error.  Check Username/Password..."));
        return;
    case 221:
    case 223:
    case 421:
        return;
    default:
        if (reply.code >= 400)
            fail(QStringLiteral("Error: ") + line);
        return;
    }
}

void Mp3Preview::receiving(qsizetype pendingBytes)
{
    if (!m_done)
        setLabel(QStringLiteral("Downloading: %1 of %2 bytes").arg(pendingBytes).arg(m_request.partSize));
}

void Mp3Preview::fail(const QString& text)
{
    setLabel(text);
    m_done = true;
    m.connections.SendLine(Conn::Preview, "QUIT");
}

void Mp3Preview::closedByPeer()
{
    if (!m_done) {
        m_done = true;
        m.log.WriteLog(QStringLiteral("Server closed connection"), true);
        setLabel(QStringLiteral("Server closed connection before the article arrived."));
    }
    m.connections.CloseSocket(Conn::Preview);
}

void Mp3Preview::socketError(int, const QString& description)
{
    if (!m_done) {
        m_done = true;
        setLabel(QStringLiteral("Error: ") + description);
    }
    m.connections.CloseSocket(Conn::Preview);
}

void Mp3Preview::articleArrived(QByteArray article)
{
    m_done = true;
    m.connections.SendLine(Conn::Preview, "QUIT");
    if (article.isEmpty()) {
        m.log.WriteLog(QStringLiteral("PreviewMP3: Error, no data for preview."), false);
        setLabel(QStringLiteral("Error, no data for preview."));
        return;
    }
    const QString path = cachePath();
    FixSubjectParentheses(article);
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!EnsureFolder(QFileInfo(path).path()) || !file.open(QIODevice::WriteOnly)
        || file.write(article) != article.size() || !file.commit()) {
        m.log.WriteLog(QStringLiteral("PreviewMP3 Error: ") + path + QStringLiteral(": ") + file.errorString(), true);
        setLabel(QStringLiteral("Error: the part could not be saved."));
        return;
    }
    m.log.WriteLog(QStringLiteral("File saved: ") + path, true);
    emit windowHidden();
    PreviewCachedPart(path);
}

QString Mp3Preview::PreviewCachedPart(const QString& path)
{
    const QString folder = previewsFolder();
    EnsureFolder(folder);
    if (!QFileInfo::exists(path)) {
        m.log.WriteLog(QStringLiteral("Error, ") + path + QStringLiteral(" not found."), true);
        return {};
    }
    const QByteArray article = readAll(path);
    const QString output = yenc::IsYEnc(article) ? decodeYEnc(article, folder) : decodeWithLibrary(path, folder);
    if (output.isEmpty())
        return {};
    const QString name = QFileInfo(output).fileName();
    const QString type = name.right(4).toLower();
    const bool safe = std::any_of(
        std::begin(kSafeTypes), std::end(kSafeTypes), [&type](const char* t) { return type == QLatin1String(t); });
    if (!safe
        && !m.prompts.askYesNo(QStringLiteral("Filename:") + name
            + QStringLiteral(" indicates possibly dangerous file, launch preview anyway?")))
        return {};
    m.log.WriteLog(QStringLiteral("Launching partial file preview..."), true);
    m.cues.ShellOpen(output);
    return output;
}

QString Mp3Preview::decodeYEnc(const QByteArray& article, const QString& folder)
{
    const QString output = folder + previewName(yenc::yEncGetFilename(article));
    // A preview of the same name from before must not lend the new one its tail.
    QFile::remove(output);
    QFile out(output);
    if (!out.open(QIODevice::ReadWrite | QIODevice::NewOnly)) {
        m.log.WriteLog(QStringLiteral("Internal yEnc Decoder: Error ") + out.errorString(), true);
        return {};
    }
    const yenc::Written written = yenc::YDecodePart(article, out);
    if (!written.error.isEmpty()) {
        m.log.WriteLog(QStringLiteral("Internal yEnc Decoder: Error ") + written.error, true);
        out.remove();
        return {};
    }
    return output;
}

QString Mp3Preview::decodeWithLibrary(const QString& cachePath, const QString& folder)
{
    UuLibrary library;
    if (const int code = library.ok() ? library.loadFile(cachePath) : UuLibrary::IllegalValue; code != UuLibrary::Ok) {
        m.log.WriteLog(QStringLiteral("decode err (UULoadFile) ") + QString::number(code), true);
        return {};
    }
    if (library.itemCount() == 0) {
        m.log.WriteLog(QStringLiteral("Error: decoder didn't find any data"), true);
        return {};
    }
    const QString output = folder + previewName(library.filterName(library.item(0).fileName));
    QFile::remove(output);
    if (const int code = library.decode(0, output); code != UuLibrary::Ok) {
        m.log.WriteLog(QStringLiteral("Error: ") + UuLibrary::returnCodeText(code), true);
        return {};
    }
    return output;
}

#include "batch/unpack_job.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

bool escapes(const QString& path)
{
    static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
    // "C:..." is absolute to the tools that honour drive letters.
    if (path.startsWith(u'/') || path.startsWith(u'\\') || (path.size() >= 2 && path[0].isLetter() && path[1] == u':'))
        return true;
    return path.split(separators).contains(QStringLiteral(".."));
}

// A link target resolved against the link's own folder inside the archive.
bool linkEscapes(const QString& entry, const QString& target)
{
    if (target.startsWith(u'/') || target.startsWith(u'\\'))
        return true;
    const QString inside = QDir::cleanPath(QStringLiteral("/root/") + QFileInfo(entry).path() + u'/' + target);
    return !inside.startsWith(QLatin1String("/root/"));
}

bool passwordMessage(const QByteArray& text)
{
    const QByteArray lower = text.toLower();
    return lower.contains("requires a password") || lower.contains("wrong password")
        || lower.contains("incorrect password");
}

// "name (2).ext", "name (3).ext", ... beside `path`, for the first one not taken.
QString freeName(const QString& path, bool folder)
{
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return path;
    const QFileInfo info(path);
    const QString suffix = folder || info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    const QString stem = info.fileName().chopped(suffix.size());
    for (int n = 2;; ++n) {
        const QString candidate
            = info.dir().filePath(QStringLiteral("%1 (%2)%3").arg(stem, QString::number(n), suffix));
        if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink())
            return candidate;
    }
}

// Moves `from` into the folder `to`, merging folders that exist there already.
bool moveInto(const QString& from, const QString& to, QStringList& files)
{
    const QFileInfo source(from);
    const QString target = QDir(to).filePath(source.fileName());
    const QFileInfo existing(target);
    if (source.isDir() && !source.isSymLink() && existing.isDir() && !existing.isSymLink()) {
        const QStringList names
            = QDir(from).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& name : names) {
            if (!moveInto(QDir(from).filePath(name), target, files))
                return false;
        }
        return true;
    }
    const bool folder = source.isDir() && !source.isSymLink();
    const QString free = freeName(target, folder);
    if (!QDir().rename(from, free))
        return false;
    if (folder) {
        QDirIterator it(free, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
    } else {
        files << free;
    }
    return true;
}

} // namespace

QString unsafeListing(const QByteArray& lsarJson)
{
    const QJsonArray entries
        = QJsonDocument::fromJson(lsarJson).object().value(QLatin1String("lsarContents")).toArray();
    QStringList links;
    QStringList names;
    for (const QJsonValue& v : entries) {
        const QJsonObject e = v.toObject();
        const QString name = e.value(QLatin1String("XADFileName")).toString();
        if (name.isEmpty() || escapes(name))
            return QStringLiteral("unsafe entry \"%1\"").arg(name);
        const QString target = e.value(QLatin1String("XADLinkDestination")).toString();
        const bool hardLink = e.value(QLatin1String("XADIsHardLink")).toInt() != 0;
        if (!target.isEmpty() && (hardLink ? escapes(target) : linkEscapes(name, target)))
            return QStringLiteral("unsafe link \"%1\"").arg(name);
        if (hardLink || e.value(QLatin1String("XADIsLink")).toInt() != 0)
            links << QDir::cleanPath(name) + u'/';
        names << QDir::cleanPath(name);
    }
    // Zip keeps a link's target in the entry's data, out of the listing's sight: it may point
    // anywhere, so nothing may be written through a link.
    for (const QString& link : std::as_const(links)) {
        for (const QString& name : std::as_const(names)) {
            if (name.startsWith(link))
                return QStringLiteral("unsafe entry \"%1\" inside link \"%2\"").arg(name, link.chopped(1));
        }
    }
    return {};
}

UnpackJob::UnpackJob(const PostTools& tools, QObject* parent)
    : QObject(parent)
    , m_tools(tools)
{
    connect(&m_process, &ToolProcess::standardOutput, this, &UnpackJob::take);
    connect(&m_process, &ToolProcess::finished, this, &UnpackJob::ended);
}

UnpackJob::~UnpackJob() = default;

void UnpackJob::start(const QString& archivePath, const QString& destination)
{
    m_archive = archivePath;
    m_destination = destination;
    m_result = {};
    m_output.clear();
    m_tail.clear();
    m_entries = m_done = 0;
    m_temp.reset();
    m_stage = Stage::Listing;
    m_process.start(m_tools.lsar, { QStringLiteral("-j"), QStringLiteral("--"), archivePath },
        QFileInfo(archivePath).absolutePath(), m_tools.timeoutMs);
}

void UnpackJob::take(const QByteArray& chunk)
{
    if (m_stage == Stage::Listing) {
        m_output += chunk;
        return;
    }
    // unar ends each entry's line with "OK." once it is written; only the tail is kept for messages.
    m_output += chunk;
    int done = 0;
    qsizetype newline;
    while ((newline = m_output.indexOf('\n')) >= 0) {
        done += m_output.first(newline).trimmed().endsWith("OK.");
        m_tail = (m_tail + m_output.first(newline + 1)).right(4096);
        m_output.remove(0, newline + 1);
    }
    if (done > 0 && m_entries > 0) {
        m_done += done;
        emit progress(std::min(100, m_done * 100 / m_entries));
    }
}

void UnpackJob::ended(int exitCode, const QByteArray& standardError, const QString& failure)
{
    if (!failure.isEmpty())
        finish(UnpackResult::Kind::Failed, failure);
    else if (m_stage == Stage::Listing)
        listed(exitCode, standardError);
    else
        unpacked(exitCode, standardError);
}

void UnpackJob::listed(int exitCode, const QByteArray& standardError)
{
    const QJsonObject listing = QJsonDocument::fromJson(m_output).object();
    const QJsonArray entries = listing.value(QLatin1String("lsarContents")).toArray();
    bool encrypted
        = listing.value(QLatin1String("lsarProperties")).toObject().value(QLatin1String("XADIsEncrypted")).toInt();
    for (const QJsonValue& v : entries)
        encrypted = encrypted || v.toObject().value(QLatin1String("XADIsEncrypted")).toInt();
    if (encrypted || (exitCode != 0 && passwordMessage(standardError)))
        return finish(UnpackResult::Kind::PasswordProtected, QStringLiteral("password protected"));
    if (exitCode != 0 || listing.value(QLatin1String("lsarError")).toInt() != 0 || entries.isEmpty()) {
        const QString message = QString::fromLocal8Bit(standardError).trimmed();
        return finish(UnpackResult::Kind::Failed,
            message.isEmpty() ? QStringLiteral("not a readable archive") : message.split(u'\n').last());
    }
    if (const QString unsafe = unsafeListing(m_output); !unsafe.isEmpty())
        return finish(UnpackResult::Kind::Failed, unsafe);

    m_entries = int(entries.size());
    QDir().mkpath(m_destination);
    m_temp = std::make_unique<QTemporaryDir>(QDir(m_destination).filePath(QStringLiteral(".unpack-XXXXXX")));
    if (!m_temp->isValid())
        return finish(UnpackResult::Kind::Failed, QStringLiteral("cannot create a folder in ") + m_destination);
    m_stage = Stage::Unpacking;
    m_output.clear();
    m_tail.clear();
    m_process.start(m_tools.unar,
        { QStringLiteral("-o"), m_temp->path(), QStringLiteral("-f"), QStringLiteral("-D"), QStringLiteral("-k"),
            QStringLiteral("skip"), QStringLiteral("--"), m_archive },
        QFileInfo(m_archive).absolutePath(), m_tools.timeoutMs);
}

void UnpackJob::unpacked(int exitCode, const QByteArray& standardError)
{
    if (exitCode != 0) {
        const QByteArray said = m_tail + m_output + standardError;
        if (passwordMessage(said))
            return finish(UnpackResult::Kind::PasswordProtected, QStringLiteral("password protected"));
        const QStringList lines = QString::fromLocal8Bit(said).trimmed().split(u'\n');
        return finish(UnpackResult::Kind::Failed, lines.last().trimmed());
    }
    const QString root = m_temp->path() + u'/';
    QDirIterator it(m_temp->path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry = it.nextFileInfo();
        if (entry.isSymLink() && !QDir::cleanPath(entry.symLinkTarget()).startsWith(root))
            return finish(UnpackResult::Kind::Failed,
                QStringLiteral("unsafe link \"%1\"").arg(entry.filePath().sliced(root.size())));
    }
    const QStringList top
        = QDir(m_temp->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : top) {
        if (!moveInto(QDir(m_temp->path()).filePath(name), m_destination, m_result.files))
            return finish(
                UnpackResult::Kind::Failed, QStringLiteral("cannot move \"%1\" into %2").arg(name, m_destination));
    }
    finish(UnpackResult::Kind::Unpacked);
}

void UnpackJob::finish(UnpackResult::Kind kind, const QString& reason)
{
    m_temp.reset();
    m_result.kind = kind;
    m_result.reason = reason;
    if (kind != UnpackResult::Kind::Unpacked)
        m_result.files.clear();
    emit finished(m_result);
}

#include "batch/placement.h"

#include "app/cues.h"
#include "app/prompts.h"
#include "app/text.h"

#include <QDir>
#include <QFileInfo>

namespace {

constexpr qsizetype kMaxNameBytes = 255;
constexpr int kMaxNumber = 90000;

QString cleanComponent(QByteArrayView raw)
{
    QString name = displayText(raw.toByteArray());
    for (QChar& c : name) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || u == '/' || u == '\\' || (u >= 0x80 && u < 0xa0))
            c = u'_';
    }
    name = name.trimmed();
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return {};
    // Keep the extension when a long name must be cut, so the file still opens with its program.
    if (name.toUtf8().size() > kMaxNameBytes) {
        const qsizetype dot = name.lastIndexOf(u'.');
        const QString extension = dot > 0 && name.size() - dot <= 16 ? name.sliced(dot) : QString();
        QString base = name.first(name.size() - extension.size());
        while (!base.isEmpty() && (base + extension).toUtf8().size() > kMaxNameBytes)
            base.chop(base.size() > 1 && base.back().isLowSurrogate() ? 2 : 1);
        name = base + extension;
    }
    return name;
}

} // namespace

QString safeFileName(QByteArrayView name, QByteArrayView fallback)
{
    QString clean = cleanComponent(name);
    if (clean.isEmpty())
        clean = cleanComponent(fallback);
    return clean.isEmpty() ? QStringLiteral("unnamed") : clean;
}

std::optional<QString> UniqueName(const QString& path, bool oldStyle)
{
    const qsizetype n = path.size();
    const bool hasExtension = n >= 4 && path[n - 4] == u'.' && !path.sliced(n - 3).contains(u'/');
    if (!oldStyle && hasExtension) {
        const QString base = path.first(n - 4);
        const QString extension = path.sliced(n - 4);
        for (int k = 2; k <= kMaxNumber; ++k) {
            QString candidate = base + u'.' + QString::number(k) + extension;
            if (!QFileInfo::exists(candidate))
                return candidate;
        }
    }
    for (int k = 2; k <= kMaxNumber; ++k) {
        QString candidate = path + u'.' + QString::number(k);
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
    return std::nullopt;
}

QString StripUnderscores(const QString& name)
{
    if (!name.endsWith(u'_'))
        return name;
    QString out = name.chopped(1);
    if (out.startsWith(u'_'))
        out.remove(0, 1);
    return out;
}

bool EnsureFolder(const QString& path)
{
    return QDir().mkpath(path) && QFileInfo(path).isDir();
}

QString CachePartPath(QString cacheFolder, QByteArrayView groupName, qint64 article)
{
    if (!cacheFolder.isEmpty() && !cacheFolder.endsWith(u'/'))
        cacheFolder += u'/';
    return cacheFolder + safeFileName(groupName) + u'/' + QString::number(article) + QStringLiteral(".UUE");
}

void LaunchDecodedFile(const QString& path, Prompts& prompts, Cues& cues)
{
    const QString file = path.trimmed();
    if (file.isEmpty()) {
        prompts.message(QStringLiteral("No file to launch, it failed to decode."), PromptIcon::Exclamation);
        return;
    }
    static const std::pair<const char*, const char*> kDangerous[] = {
        { ".REG", "WARNING: File Type .REG = Registration Entries, this could be very dangerous.  Launch anyway?" },
        { ".EXE", "This file is a executable program, this could be dangerous.  Launch anyway?" },
        { ".COM", "This file is a program, launching this could be dangerous.  Launch anyway?" },
        { ".BAT", "This is a batch file. Launching this could be dangerous. Launch anyway?" },
    };
    const QString extension = file.right(4).toUpper();
    for (const auto& [type, question] : kDangerous) {
        if (extension == QLatin1String(type)
            && !prompts.askYesNo(QString::fromLatin1(question), PromptIcon::Exclamation))
            return;
    }
    cues.ShellOpen(file);
}

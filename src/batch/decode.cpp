#include "batch/decode.h"

#include "app/cues.h"
#include "app/event_yield.h"
#include "app/main_window_state.h"
#include "app/ops_log.h"
#include "app/settings.h"
#include "batch/batch.h"
#include "batch/placement.h"
#include "batch/uu_library.h"
#include "batch/yenc.h"
#include "groups/newsgroups.h"
#include "headers/item_key.h"

#include <QFile>
#include <QFileInfo>

namespace {

using Bar = MainWindowState::Bar;

constexpr qint64 kHeaderWindow = 60000;

QString withSlash(QString folder)
{
    if (!folder.isEmpty() && !folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

QByteArray readHead(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(kHeaderWindow) : QByteArray();
}

// An extra part "0" (a text part beside the announced ones) carries a zero counter.
bool zeroCounter(QByteArrayView tail)
{
    for (const char* counter : { "(0/", "(00/", "(000/", "[0/", "[00/" }) {
        if (tail.contains(counter))
            return true;
    }
    return false;
}

// An extra part "0" held beside the announced parts (a text part, say) is left out of a yEnc decode.
bool extraPart(const ItemRecord& entry, qsizetype i, qsizetype n)
{
    return i < entry.parts.size() && entry.totalParts < n && zeroCounter(entry.parts[i].tail);
}

// The part that tells the encoding and the name: the first one that is not such an extra part.
qsizetype firstRealPart(const ItemRecord& entry, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i) {
        if (!extraPart(entry, i, n))
            return i;
    }
    return 0;
}

// The entry's name when the post does not give one: its key without the multipart suffix.
QByteArray keyName(const ItemRecord& entry)
{
    return itemkey::baseName(entry.key.trimmed()).toByteArray().trimmed();
}

// CRC32 of a whole file, read in slices so memory stays small.
std::optional<quint32> fileCrc(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    quint32 crc = 0;
    QByteArray slice(4 << 20, Qt::Uninitialized);
    while (true) {
        const qint64 got = f.read(slice.data(), slice.size());
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return crc;
        crc = yenc::crc32(crc, slice.constData(), static_cast<size_t>(got));
    }
}

} // namespace

EntryDecoder::EntryDecoder(const Services& services, QObject* parent)
    : QObject(parent)
    , m(services)
{
}

void EntryDecoder::alive()
{
    emit stillDecoding();
    m.yield.yieldToEvents();
}

QString EntryDecoder::outputFolder(quint8 groupKey)
{
    QString folder = withSlash(m.settings.Download_Path);
    if (m.settings.chkMakeSubDirs) {
        const GroupRecord* group = m.groups.recordByKey(groupKey);
        if (group)
            folder += safeFileName(group->name) + u'/';
    }
    if (folder.isEmpty() || !EnsureFolder(folder))
        return {};
    return folder;
}

std::optional<QString> EntryDecoder::placeFor(const QString& folder, const QString& name)
{
    const QString path = folder + name;
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return path;
    return UniqueName(path, m.settings.chkOldRenameStyle != 0);
}

EntryDecoder::Result EntryDecoder::DecodeBatchEntry(int entry, const QStringList& partPaths)
{
    Result result;
    const std::optional<ItemRecord> record = m.batch.entryRecord(entry);
    if (!record || partPaths.isEmpty()) {
        result.error = QStringLiteral("nothing to decode");
        finish(entry, partPaths, result);
        return result;
    }
    const QString folder = outputFolder(record->groupKey);
    const qsizetype first = firstRealPart(*record, partPaths.size());
    if (folder.isEmpty()) {
        result.error = QStringLiteral("the download folder could not be created");
    } else if (yenc::IsYEnc(readHead(partPaths[first]))) {
        m.log.WriteLog(QStringLiteral("yEnc Internal Decoder: yEnc Encoding detected..."), true);
        decodeYEnc(*record, partPaths, folder, result);
    } else {
        decodeWithLibrary(*record, partPaths, folder, result);
    }
    finish(entry, partPaths, result);
    return result;
}

void EntryDecoder::decodeYEnc(const ItemRecord& entry, const QStringList& paths, const QString& folder, Result& result)
{
    const qsizetype n = paths.size();
    const QString name = safeFileName(yenc::yEncGetFilename(readHead(paths[firstRealPart(entry, n)])), keyName(entry));
    const std::optional<QString> output = placeFor(folder, name);
    if (!output) {
        result.error = QStringLiteral("every numbered name for ") + name + QStringLiteral(" is taken");
        return;
    }
    result.outputPath = *output;
    QFile out(*output);
    if (!out.open(QIODevice::ReadWrite)) {
        result.error = out.errorString();
        return;
    }
    const bool keepBad = m.settings.chkSaveDecodes || m.settings.chkSaveDecodes2;
    m.window.setProgressMaximum(Bar::ThisFile, static_cast<int>(n));
    std::optional<quint32> wholeCrc;
    qint64 wholeSize = -1;
    for (qsizetype i = 0; i < n; ++i) {
        m.window.setProgress(Bar::ThisFile, static_cast<int>(i + 1));
        if (extraPart(entry, i, n))
            continue;
        QFile in(paths[i]);
        if (!in.open(QIODevice::ReadOnly)) {
            m.log.WriteLog(QStringLiteral("decode error, uue file does not exist!"), true);
            if (result.error.isEmpty())
                result.error = QStringLiteral("needed uue file not found");
            // A kept bad decode still gets every part there is; the missing one stays a zero gap.
            if (!keepBad)
                break;
            continue;
        }
        const QByteArray article = in.readAll();
        m.log.WriteLog(QStringLiteral("yEnc Internal Decoder: loading..."), false);
        const yenc::Written written = yenc::YDecodePart(article, out);
        if (!written.error.isEmpty()) {
            m.log.WriteLog(written.error, true);
            if (result.error.isEmpty())
                result.error = written.error;
            if (!keepBad)
                break;
        }
        const yenc::Parsed parsed = yenc::parse(article);
        if (parsed.error.isEmpty()) {
            if (parsed.part.crc32)
                wholeCrc = parsed.part.crc32;
            if (parsed.part.size >= 0)
                wholeSize = parsed.part.size;
        }
        alive();
    }
    out.close();
    if (result.error.isEmpty() && wholeSize >= 0 && QFileInfo(*output).size() != wholeSize) {
        result.error = QStringLiteral("yEnc decoder Error: the file has %1 bytes, the post announced %2")
                           .arg(QFileInfo(*output).size())
                           .arg(wholeSize);
    }
    if (result.error.isEmpty() && wholeCrc) {
        const std::optional<quint32> crc = fileCrc(*output);
        if (crc != wholeCrc)
            result.error = QStringLiteral("yEnc decoder Error: CRC mismatch in the whole file (expected %1, got %2)")
                               .arg(*wholeCrc, 8, 16, QLatin1Char('0'))
                               .arg(crc.value_or(0), 8, 16, QLatin1Char('0'));
    }
    result.success = result.error.isEmpty();
    if (!result.success && !keepBad)
        QFile::remove(*output);
}

void EntryDecoder::decodeWithLibrary(
    const ItemRecord& entry, const QStringList& paths, const QString& folder, Result& result)
{
    UuLibrary library;
    if (!library.ok()) {
        result.error = QStringLiteral("the decoding library is busy");
        return;
    }
    for (const QString& path : paths) {
        if (!QFileInfo::exists(path)) {
            m.log.WriteLog(QStringLiteral("decode error, uue file does not exist!"), true);
            result.error = QStringLiteral("needed uue file not found");
            return;
        }
        m.log.WriteLog(QStringLiteral("loading ") + path + QStringLiteral(" into decoder..."), true);
        alive();
        if (const int code = library.loadFile(path); code != 0) {
            m.log.WriteLog(QStringLiteral("decode err (UULoadFile) ") + QString::number(code), true);
            result.error = DecoderMessage(code);
            return;
        }
    }
    if (library.itemCount() == 0) {
        m.log.WriteLog(QStringLiteral("Decode error: uud reports nothing to decode"), true);
        result.error = QStringLiteral("nothing to decode");
        return;
    }
    m.log.WriteLog(QStringLiteral("Decoder ready, attachment found."), true);
    for (int index = 0; index < library.itemCount(); ++index) {
        if (index > 0)
            m.log.WriteLog(QStringLiteral("another file attachment found..."), true);
        QByteArray raw = library.item(index).fileName;
        if (raw.isEmpty() || raw == "(NULL)")
            raw = keyName(entry);
        raw = library.filterName(raw);
        const QString stripped = StripUnderscores(QString::fromLatin1(raw));
        const QString name = safeFileName(library.filterName(stripped.toLatin1()), keyName(entry));
        const std::optional<QString> output = placeFor(folder, name);
        if (!output) {
            result.success = false;
            result.error = QStringLiteral("every numbered name for ") + name + QStringLiteral(" is taken");
            return;
        }
        result.outputPath = *output;
        const int code = library.decode(index, *output);
        alive();
        if (code == 0) {
            result.success = true;
            continue;
        }
        result.success = false;
        m.log.WriteLog(QStringLiteral("decode err (uuret:%1  mvret:0)").arg(code), true);
        const UuLibrary::Message message = library.lastMessage();
        if (code == 1 && !message.text.isEmpty()) {
            result.error = message.text + QStringLiteral(" (severity:%1)").arg(message.severity);
            m.log.WriteLog(result.error, true);
        } else {
            result.error = DecoderMessage(code);
        }
        return;
    }
}

QString EntryDecoder::DecoderMessage(int code)
{
    switch (code) {
    case 2:
        m.cues.PlayCue(QStringLiteral("twv011.wav"));
        break;
    case 4:
        m.cues.PlayCue(QStringLiteral("twv012.wav"));
        break;
    case 5:
        m.cues.PlayCue(QStringLiteral("twv013.wav"));
        break;
    default:
        break;
    }
    return UuLibrary::returnCodeText(code);
}

void EntryDecoder::removeCacheFiles(const QStringList& paths)
{
    for (const QString& path : paths) {
        m.log.WriteLog(QStringLiteral("Removing uue file: ") + path, true);
        QFile::remove(path);
    }
}

void EntryDecoder::finish(int entry, const QStringList& paths, const Result& result)
{
    m.window.setProgress(Bar::ThisFile, 0);
    const bool keepAll = m.settings.chkSaveDecodes2 != 0;
    if (result.success) {
        if (!keepAll)
            removeCacheFiles(paths);
        m.log.WriteLog(result.outputPath + QStringLiteral(" Decode successful... "), true);
        m.batch.AddProcessedRow(entry, QStringLiteral("Decode successful"), result.outputPath, true);
        m.cues.PlayCue(QStringLiteral("twv010.wav"));
        emit decoded(result.outputPath);
    } else {
        if (!keepAll && !m.settings.chkSaveDecodes)
            removeCacheFiles(paths);
        m.log.WriteLog(result.outputPath + QStringLiteral(" Decode error: ") + result.error, true);
        m.batch.AddProcessedRow(entry, QStringLiteral("Error: ") + result.error, QString(), false);
    }
    m.batch.FinishBatchEntry(entry);
    (void)m.batch.SaveBatch(); // a failed save is logged and retried with the next change
}

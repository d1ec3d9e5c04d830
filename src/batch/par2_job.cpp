#include "batch/par2_job.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace {

// par2 prints whole reports for thousands of files; the verdict is in the last lines.
constexpr qsizetype kKeptLines = 400;

const QRegularExpression& progressLine()
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z ]+: *(\\d{1,3})(?:\\.\\d+)?%$"));
    return re;
}

int capturedInt(const QString& line, const QRegularExpression& re, int group = 1)
{
    const QRegularExpressionMatch m = re.match(line);
    return m.hasMatch() ? m.captured(group).toInt() : -1;
}

QString lastLine(const QStringList& lines)
{
    for (qsizetype i = lines.size(); i-- > 0;) {
        if (!lines[i].trimmed().isEmpty())
            return lines[i].trimmed();
    }
    return {};
}

} // namespace

Par2Result parsePar2Report(const QStringList& lines, int exitCode)
{
    static const QRegularExpression dataBlocks(QStringLiteral("^You have (\\d+) out of (\\d+) data blocks available"));
    static const QRegularExpression recoveryBlocks(QStringLiteral("^You have (\\d+) recovery blocks? available"));
    static const QRegularExpression moreBlocks(QStringLiteral("^You need (\\d+) more recovery blocks?"));
    Par2Result r;
    int have = -1, total = -1;
    bool damaged = false;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1String("All files are correct")))
            r.kind = Par2Result::Kind::Verified;
        else if (line == QLatin1String("Repair complete."))
            r.kind = Par2Result::Kind::Repaired;
        else if (line == QLatin1String("Repair is possible."))
            damaged = r.repairable = true;
        else if (line == QLatin1String("Repair is not possible."))
            damaged = true;
        else if (const QRegularExpressionMatch m = dataBlocks.match(line); m.hasMatch()) {
            have = m.captured(1).toInt();
            total = m.captured(2).toInt();
        } else if (const int n = capturedInt(line, recoveryBlocks); n >= 0)
            r.blocksAvailable = n;
        else if (const int more = capturedInt(line, moreBlocks); more >= 0)
            r.moreBlocksNeeded = more;
    }
    if (have >= 0)
        r.blocksNeeded = total - have;
    // A repair that ends without "Repair complete." failed, whatever it said on the way.
    const bool verdict = r.kind == Par2Result::Kind::Verified || r.kind == Par2Result::Kind::Repaired;
    if (!verdict && damaged && (exitCode == 1 || exitCode == 2)) {
        r.kind = Par2Result::Kind::Damaged;
        if (!r.repairable && r.moreBlocksNeeded == 0)
            r.moreBlocksNeeded = std::max(1, r.blocksNeeded - r.blocksAvailable);
    } else if (!verdict || exitCode != 0) {
        r = {};
        r.reason = lastLine(lines);
        if (r.reason.isEmpty())
            r.reason = QStringLiteral("par2 ended with code %1").arg(exitCode);
    }
    return r;
}

Par2Job::Par2Job(const PostTools& tools, QObject* parent)
    : QObject(parent)
    , m_tools(tools)
{
    connect(&m_process, &ToolProcess::standardOutput, this, &Par2Job::take);
    connect(&m_process, &ToolProcess::finished, this, &Par2Job::end);
}

void Par2Job::start(Mode mode, const QString& indexPath)
{
    m_pending.clear();
    m_lines.clear();
    m_percent = -1;
    m_result = {};
    const QFileInfo index(indexPath);
    const QString verb = mode == Mode::Repair ? QStringLiteral("repair") : QStringLiteral("verify");
    m_process.start(
        m_tools.par2, { verb, QStringLiteral("--"), index.fileName() }, index.absolutePath(), m_tools.timeoutMs);
}

void Par2Job::take(const QByteArray& chunk)
{
    m_pending += chunk;
    qsizetype from = 0;
    // Progress is rewritten in place with carriage returns; reports end in newlines.
    for (qsizetype i = 0; i < m_pending.size(); ++i) {
        const char c = m_pending[i];
        if (c != '\r' && c != '\n')
            continue;
        const QString line = QString::fromLocal8Bit(m_pending.sliced(from, i - from));
        from = i + 1;
        if (const int percent = capturedInt(line, progressLine()); percent >= 0) {
            if (percent != m_percent && percent <= 100)
                emit progress(m_percent = percent);
        } else if (!line.isEmpty()) {
            m_lines << line;
            if (m_lines.size() > kKeptLines)
                m_lines.removeFirst();
        }
    }
    m_pending.remove(0, from);
}

void Par2Job::end(int exitCode, const QByteArray& standardError, const QString& failure)
{
    take(QByteArrayLiteral("\n"));
    if (!failure.isEmpty()) {
        m_result = {};
        m_result.reason = failure;
    } else {
        m_result = parsePar2Report(m_lines, exitCode);
        const QString errorLine = lastLine(QString::fromLocal8Bit(standardError).split(u'\n'));
        if (m_result.kind == Par2Result::Kind::Failed && !errorLine.isEmpty())
            m_result.reason = errorLine;
    }
    emit finished(m_result);
}

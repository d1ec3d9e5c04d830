#include "batch/post_set.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>
#include <vector>

namespace {

enum class Role { Archive, Index, Recovery };

struct Pattern {
    QRegularExpression re;
    Role role;
};

const std::vector<Pattern>& patterns()
{
    // Order matters: the narrower name wins (".vol00+01.par2" before ".par2", ".part01.rar" before ".rar").
    static const auto opts = QRegularExpression::CaseInsensitiveOption;
    static const std::vector<Pattern> list {
        { QRegularExpression(QStringLiteral("^(.+)\\.vol\\d+[+-](\\d+)\\.par2$"), opts), Role::Recovery },
        { QRegularExpression(QStringLiteral("^(.+)\\.par2$"), opts), Role::Index },
        { QRegularExpression(QStringLiteral("^(.+)\\.part\\d+\\.rar$"), opts), Role::Archive },
        { QRegularExpression(QStringLiteral("^(.+)\\.(?:rar|r\\d{2,3})$"), opts), Role::Archive },
        { QRegularExpression(QStringLiteral("^(.+)\\.7z(?:\\.\\d{3})?$"), opts), Role::Archive },
        { QRegularExpression(QStringLiteral("^(.+)\\.(?:zip(?:\\.\\d{3})?|z\\d{2})$"), opts), Role::Archive },
    };
    return list;
}

// Index files are often named after the archive they cover ("name.7z.par2", "name.part01.par2").
QString par2Base(QString base)
{
    static const QRegularExpression archiveTail(
        QStringLiteral("\\.(?:part\\d+|(?:7z|zip|rar)(?:\\.\\d{3})?)$"), QRegularExpression::CaseInsensitiveOption);
    base.remove(archiveTail);
    return base;
}

} // namespace

QList<PostSet> groupPostSets(const QString& folder, const QStringList& names)
{
    QMap<QString, PostSet> sets;
    QStringList unmatched;
    for (const QString& name : names) {
        bool matched = false;
        for (const Pattern& p : patterns()) {
            const QRegularExpressionMatch m = p.re.match(name);
            if (!m.hasMatch())
                continue;
            const QString base = p.role == Role::Archive ? m.captured(1) : par2Base(m.captured(1));
            PostSet& set = sets[base];
            set.folder = folder;
            set.baseName = base;
            (p.role == Role::Archive        ? set.archives
                    : p.role == Role::Index ? set.par2Index
                                            : set.recoveryVolumes)
                << name;
            matched = true;
            break;
        }
        if (!matched)
            unmatched << name;
    }
    for (const QString& name : unmatched) {
        PostSet* best = nullptr;
        for (PostSet& set : sets) {
            const bool belongs = name == set.baseName || name.startsWith(set.baseName + u'.');
            if (belongs && (!best || set.baseName.size() > best->baseName.size()))
                best = &set;
        }
        if (best)
            best->others << name;
    }
    QList<PostSet> out;
    for (PostSet& set : sets) {
        for (QStringList* list : { &set.archives, &set.par2Index, &set.recoveryVolumes, &set.others })
            list->sort(Qt::CaseInsensitive);
        out << set;
    }
    return out;
}

QList<PostSet> scanPostSets(const QString& folder)
{
    return groupPostSets(folder, QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name));
}

QStringList firstVolumes(const PostSet& set)
{
    static const auto opts = QRegularExpression::CaseInsensitiveOption;
    static const QRegularExpression partRar(QStringLiteral("\\.part0*1\\.rar$"), opts);
    static const QRegularExpression anyPart(QStringLiteral("\\.part\\d+\\.rar$"), opts);
    static const QRegularExpression rar(QStringLiteral("\\.rar$"), opts);
    static const QRegularExpression sevenFirst(QStringLiteral("\\.7z(?:\\.0*1)?$"), opts);
    static const QRegularExpression zip(QStringLiteral("\\.zip$"), opts);
    static const QRegularExpression zipFirst(QStringLiteral("\\.zip\\.0*1$"), opts);

    QStringList out;
    bool haveZip = false;
    for (const QString& name : set.archives)
        haveZip = haveZip || zip.match(name).hasMatch();
    for (const QString& name : set.archives) {
        const bool isPart = anyPart.match(name).hasMatch();
        if ((isPart && partRar.match(name).hasMatch()) || (!isPart && rar.match(name).hasMatch())
            || sevenFirst.match(name).hasMatch() || zip.match(name).hasMatch()
            || (!haveZip && zipFirst.match(name).hasMatch()))
            out << name;
    }
    return out;
}

int par2VolumeBlocks(const QString& name)
{
    const QRegularExpressionMatch m = patterns().front().re.match(name);
    return m.hasMatch() ? m.captured(2).toInt() : -1;
}

QStringList fewestRecoveryVolumes(int blocksNeeded, const QMap<QString, int>& volumes)
{
    if (blocksNeeded <= 0)
        return {};
    std::vector<std::pair<QString, int>> items;
    int largest = 0;
    qint64 total = 0;
    for (auto it = volumes.cbegin(); it != volumes.cend(); ++it) {
        if (it.value() <= 0)
            continue;
        items.emplace_back(it.key(), it.value());
        largest = std::max(largest, it.value());
        total += it.value();
    }
    if (total < blocksNeeded)
        return {};
    // A least cover never exceeds need + largest volume: dropping its smallest member would fall short.
    const int limit = blocksNeeded + largest;
    constexpr int kUnreachable = 1 << 30;
    std::vector<int> files(limit + 1, kUnreachable);
    std::vector<std::vector<bool>> took(items.size(), std::vector<bool>(limit + 1, false));
    files[0] = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const int w = items[i].second;
        for (int s = limit; s >= w; --s) {
            if (files[s - w] != kUnreachable && files[s - w] + 1 < files[s]) {
                files[s] = files[s - w] + 1;
                took[i][s] = true;
            }
        }
    }
    int sum = blocksNeeded;
    while (sum <= limit && files[sum] == kUnreachable)
        ++sum;
    if (sum > limit)
        return {};
    QStringList out;
    for (size_t i = items.size(); i-- > 0;) {
        if (took[i][sum]) {
            out << items[i].first;
            sum -= items[i].second;
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

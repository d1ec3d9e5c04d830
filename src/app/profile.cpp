#include "app/profile.h"

#include <QFile>
#include <QSaveFile>

namespace {

bool sameName(QByteArrayView a, QByteArrayView b) { return a.trimmed().compare(b, Qt::CaseInsensitive) == 0; }

// The name of a "[Section]" line, or a null view when the line is something else.
QByteArrayView sectionName(QByteArrayView line)
{
    const QByteArrayView t = line.trimmed();
    if (!t.startsWith('['))
        return {};
    const qsizetype close = t.indexOf(']');
    return close < 0 ? QByteArrayView() : t.sliced(1, close - 1);
}

bool defaultWriter(QIODevice& device, const QByteArray& content)
{
    return device.write(content) == content.size();
}

QByteArray singleLine(QByteArrayView value)
{
    QByteArray out = value.toByteArray();
    out.replace('\r', ' ').replace('\n', ' ');
    return out;
}

} // namespace

Profile::Profile(QString path, Writer writer)
    : m_path(std::move(path))
    , m_writer(writer ? std::move(writer) : Writer(defaultWriter))
{
}

void Profile::ensureLoaded() const
{
    if (m_loaded)
        return;
    m_loaded = true;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray content = file.readAll();
    m_lines = content.split('\n');
    for (QByteArray& line : m_lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
}

qsizetype Profile::findSection(QByteArrayView section) const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QByteArrayView name = sectionName(m_lines[i]);
        if (!name.isNull() && sameName(name, section))
            return i;
    }
    return -1;
}

qsizetype Profile::sectionEnd(qsizetype sectionLine) const
{
    qsizetype i = sectionLine + 1;
    while (i < m_lines.size() && sectionName(m_lines[i]).isNull())
        ++i;
    return i;
}

qsizetype Profile::findKey(qsizetype sectionLine, QByteArrayView key) const
{
    const qsizetype end = sectionEnd(sectionLine);
    for (qsizetype i = sectionLine + 1; i < end; ++i) {
        const QByteArrayView line = m_lines[i];
        const qsizetype eq = line.indexOf('=');
        if (eq > 0 && sameName(line.first(eq), key))
            return i;
    }
    return -1;
}

QByteArray Profile::value(QByteArrayView section, QByteArrayView key) const
{
    ensureLoaded();
    const qsizetype s = findSection(section);
    if (s < 0)
        return {};
    const qsizetype k = findKey(s, key);
    if (k < 0)
        return {};
    const QByteArray& line = m_lines[k];
    // The cut may end on a blank, which a reader drops as well.
    return line.sliced(line.indexOf('=') + 1).trimmed().left(Profile::kMaxValueBytes).trimmed();
}

void Profile::setValue(QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    ensureLoaded();
    const QByteArray newLine = key.toByteArray() + '=' + singleLine(value);
    m_dirty = true;
    const qsizetype s = findSection(section);
    if (s < 0) {
        m_lines.append('[' + section.toByteArray() + ']');
        m_lines.append(newLine);
        return;
    }
    const qsizetype k = findKey(s, key);
    if (k >= 0) {
        // Keep the key's spelling as the file has it.
        const QByteArray& old = m_lines[k];
        m_lines[k] = old.first(old.indexOf('=') + 1) + singleLine(value);
        return;
    }
    // New keys go after the section's last non-blank line, before any gap to the next section.
    qsizetype at = sectionEnd(s);
    while (at > s + 1 && m_lines[at - 1].trimmed().isEmpty())
        --at;
    m_lines.insert(at, newLine);
}

bool Profile::save()
{
    if (!m_dirty)
        return true;
    QByteArray content;
    for (const QByteArray& line : std::as_const(m_lines))
        content += line + "\r\n";

    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = file.errorString();
        return false;
    }
    if (!m_writer(file, content)) {
        m_error = file.errorString().isEmpty() ? QStringLiteral("write failed") : file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        m_error = file.errorString();
        return false;
    }
    m_dirty = false;
    m_error.clear();
    return true;
}

#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class QIODevice;

// A private-profile settings file: "[Section]" lines followed by "key=value" lines. Sections and
// keys match without regard to case, values come back trimmed and cut to 255 bytes. Changing a
// value edits that one line in place, so every other line, comment and section survives, and a
// save replaces the file atomically.
class Profile {
public:
    static constexpr qsizetype kMaxValueBytes = 255;

    // Writes the whole file content to the device; tests swap it for one that fails half way.
    using Writer = std::function<bool(QIODevice& device, const QByteArray& content)>;

    explicit Profile(QString path, Writer writer = {});

    [[nodiscard]] const QString& path() const { return m_path; }

    // Empty when the key, its section or the file is missing.
    [[nodiscard]] QByteArray value(QByteArrayView section, QByteArrayView key) const;

    // Creates the section or key when missing; the file is written by save().
    void setValue(QByteArrayView section, QByteArrayView key, QByteArrayView value);

    // Writes pending changes through a temporary file and a rename. On failure the old file
    // stays as it was and errorText says why.
    [[nodiscard]] bool save();
    [[nodiscard]] const QString& errorText() const { return m_error; }

private:
    void ensureLoaded() const;
    [[nodiscard]] qsizetype findSection(QByteArrayView section) const;
    [[nodiscard]] qsizetype findKey(qsizetype sectionLine, QByteArrayView key) const;
    [[nodiscard]] qsizetype sectionEnd(qsizetype sectionLine) const;

    QString m_path;
    Writer m_writer;
    mutable QList<QByteArray> m_lines;
    mutable bool m_loaded = false;
    bool m_dirty = false;
    QString m_error;
};

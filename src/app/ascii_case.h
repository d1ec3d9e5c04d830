#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Case folding for bytes from the server and from files. Only ASCII letters fold: other bytes may be
// any 8-bit charset or part of a UTF-8 sequence, and are compared as they are.
namespace ascii {

[[nodiscard]] constexpr char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

[[nodiscard]] inline bool equalFolded(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (upper(a[i]) != upper(b[i]))
            return false;
    }
    return true;
}

[[nodiscard]] inline bool startsWithFolded(QByteArrayView text, QByteArrayView prefix)
{
    return text.size() >= prefix.size() && equalFolded(text.first(prefix.size()), prefix);
}

[[nodiscard]] inline bool endsWithFolded(QByteArrayView text, QByteArrayView suffix)
{
    return text.size() >= suffix.size() && equalFolded(text.last(suffix.size()), suffix);
}

// `text` with its ASCII letters in upper case, written into `out`'s buffer.
inline void upperInto(QByteArrayView text, QByteArray& out)
{
    out.resize(text.size());
    for (qsizetype i = 0; i < text.size(); ++i)
        out.data()[i] = upper(text[i]);
}

} // namespace ascii

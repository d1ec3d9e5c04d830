#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The key that gathers an item's parts. A post with a part counter is keyed by its base name, a blank
// and a fixed-length suffix holding the announced count ("My file.rar [xx/0000012]"); any other post by
// its trimmed subject. Header and batch files hold keys and part tails exactly as made here.
namespace itemkey {

inline constexpr qsizetype kSuffixLength = 13; // " [xx/0000012]"

// `name` followed by the suffix for `count` (its last seven digits), written into `key`'s buffer.
void make(QByteArray& key, QByteArrayView name, qint64 count);

// Whether the key ends in the suffix after a base name of at least one byte.
[[nodiscard]] bool hasSuffix(QByteArrayView key);
// The key without its suffix; a key without one is its own base name.
[[nodiscard]] QByteArrayView baseName(QByteArrayView key);

// Where a part's stored tail starts in its subject: the key's length less the suffix's, for any key
// longer than the suffix. Keys without a suffix are cut the same way, because stored tails and the
// repost check depend on it; the subject is whole again from the key's first bytes and the tail.
[[nodiscard]] qsizetype tailStart(QByteArrayView key);
// The tail a part stores: the subject from tailStart, or all of it when it is no longer than that.
[[nodiscard]] QByteArrayView partTail(QByteArrayView key, QByteArrayView subject);
// The subject the parts window shows for a part: the base name and the tail, or the key itself when
// it has no suffix.
[[nodiscard]] QByteArray partSubject(QByteArrayView key, QByteArrayView tail);

} // namespace itemkey

#include "headers/item_key.h"

#include <cstring>

namespace itemkey {

namespace {

constexpr QByteArrayView kSuffixStart = " [xx/";
constexpr int kCountDigits = 7;
static_assert(kSuffixStart.size() + kCountDigits + 1 == kSuffixLength);

} // namespace

void make(QByteArray& key, QByteArrayView name, qint64 count)
{
    key.resize(name.size() + kSuffixLength);
    char* p = key.data();
    if (!name.isEmpty())
        std::memcpy(p, name.data(), static_cast<size_t>(name.size()));
    p += name.size();
    std::memcpy(p, kSuffixStart.data(), static_cast<size_t>(kSuffixStart.size()));
    p += kSuffixStart.size();
    for (int k = kCountDigits - 1; k >= 0; --k, count /= 10)
        p[k] = static_cast<char>('0' + count % 10);
    p[kCountDigits] = ']';
}

bool hasSuffix(QByteArrayView key)
{
    if (key.size() <= kSuffixLength)
        return false;
    const QByteArrayView suffix = key.last(kSuffixLength);
    if (!suffix.startsWith(kSuffixStart) || suffix.back() != ']')
        return false;
    for (qsizetype i = kSuffixStart.size(); i < kSuffixLength - 1; ++i) {
        if (suffix[i] < '0' || suffix[i] > '9')
            return false;
    }
    return true;
}

QByteArrayView baseName(QByteArrayView key)
{
    return hasSuffix(key) ? key.chopped(kSuffixLength) : key;
}

qsizetype tailStart(QByteArrayView key)
{
    return key.size() > kSuffixLength ? key.size() - kSuffixLength : 0;
}

QByteArrayView partTail(QByteArrayView key, QByteArrayView subject)
{
    const qsizetype start = tailStart(key);
    return start > 0 && subject.size() > start ? subject.sliced(start) : subject;
}

QByteArray partSubject(QByteArrayView key, QByteArrayView tail)
{
    if (!hasSuffix(key))
        return key.toByteArray();
    const QByteArrayView base = baseName(key);
    // A short subject without a counter is its own base name, and too short to be cut: its tail is all of it.
    if (tail == base)
        return tail.toByteArray();
    QByteArray subject;
    subject.reserve(base.size() + tail.size());
    subject.append(base);
    subject.append(tail);
    return subject;
}

} // namespace itemkey

#include "app/password.h"

#include <QRandomGenerator>

namespace {

constexpr int kShift = 3;
// Plain fillers stay printable and never blank, so trimming cannot eat the first byte.
constexpr int kFillerMin = 33;
constexpr int kFillerMax = 149;
constexpr int kEscapeFillerMin = 200;
constexpr int kEscapeFillerMax = 249;

bool unsafeStored(int code)
{
    return code > 255 || code == 0 || (code >= 9 && code <= 13) || code == 32;
}

char randomIn(int lo, int hi) { return static_cast<char>(QRandomGenerator::global()->bounded(lo, hi + 1)); }

} // namespace

QByteArray ScramblePassword(const QByteArray& plain)
{
    QByteArray out;
    out.reserve(plain.size() * 2);
    for (char ch : plain) {
        const int code = static_cast<unsigned char>(ch);
        const int shifted = code + kShift;
        if (unsafeStored(shifted)) {
            out += randomIn(kEscapeFillerMin, kEscapeFillerMax);
            out += static_cast<char>(code ^ 0x80);
        } else {
            out += randomIn(kFillerMin, kFillerMax);
            out += static_cast<char>(shifted);
        }
    }
    return out;
}

QByteArray UnscramblePassword(const QByteArray& stored)
{
    QByteArray out;
    out.reserve(stored.size() / 2);
    for (qsizetype i = 0; i + 1 < stored.size(); i += 2) {
        const int filler = static_cast<unsigned char>(stored[i]);
        const int code = static_cast<unsigned char>(stored[i + 1]);
        out += static_cast<char>(filler >= kEscapeFillerMin ? code ^ 0x80 : code - kShift);
    }
    return out;
}

#pragma once

#include <QByteArray>

// Hides the news server password from a casual reader of the settings file; no protection.
// Each byte becomes a filler byte followed by the byte shifted up. Bytes whose shifted form
// could break the file (line ends, NUL, trimmable blanks, overflow past 255) are flipped in
// their high bit instead and flagged by a filler from a range of its own, so every byte 1-255
// survives the file's trimming.
[[nodiscard]] QByteArray ScramblePassword(const QByteArray& plain);
[[nodiscard]] QByteArray UnscramblePassword(const QByteArray& stored);

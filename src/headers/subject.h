#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Result of analysing one overview subject (the part of add_articleheader before it files the article).
struct SubjectAnalysis {
    QByteArray key; // item key (see item_key.h); empty when rejected
    QByteArray countText; // announced number of parts as text ("5"), "1" for "(1/1)", or empty
    QByteArray fullSubject; // the subject trimmed of blanks
    bool rejected = false; // too many parts (> 2600): the article is not stored
    QString rejectLog; // the log line for a rejected subject, empty otherwise
};

// Reuses `out`'s buffers so a crunch of millions of lines allocates as little as possible.
// `subject` must not point into `out`.
void analyseSubject(QByteArrayView subject, SubjectAnalysis& out);

// Display name of a From field: the name beside an address, else the address's local part.
[[nodiscard]] QByteArray parseFrom(QByteArrayView from);
// parseFrom without a copy: the name is always a piece of the field.
[[nodiscard]] QByteArrayView fromName(QByteArrayView from);

// Date text of an overview line -> OLE date (days since 1899-12-30, time as fraction), never adjusted for a time
// zone: the time is kept as written, but a date with a zone word or an unreadable time keeps only its day.
// `now` is returned for text that never parses, such as a date after "Wednesday, ".
[[nodiscard]] double ParseHeaderDate(QByteArrayView date, double now);

// `text` with every occurrence of `pattern` removed, ASCII letters compared without case.
[[nodiscard]] QByteArray RemoveAll(QByteArrayView text, QByteArrayView pattern);

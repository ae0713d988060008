#pragma once
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QTimeZone>

namespace quillon {

// Dates in the usage file: local date and time with six fractional digits and the
// zone's offset, e.g. "2026-01-31T14:05:09.250000+05:30", or "...Z" at offset 0.
QString formatStoredDate(const QDateTime &date, const QTimeZone &zone);

// Lenient ISO 8601: "yyyy-MM-dd", optionally "T" (or a space) and "HH:mm[:ss[.fraction]]",
// optionally "Z" or an offset "+hh", "+hhmm" or "+hh:mm". A missing offset means
// localZone. Answers an invalid QDateTime for anything else.
QDateTime parseStoredDate(const QString &text, const QTimeZone &localZone);

// The number at the start of the text, as C's strtoll reads it: leading blanks,
// an optional sign, digits; 0 when there is none; clamped to the 64-bit range.
qint64 leadingInteger(QStringView text);

} // namespace quillon

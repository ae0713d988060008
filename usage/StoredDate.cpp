#include "usage/StoredDate.h"

#include <QRegularExpression>

#include <cstdlib>
#include <limits>

namespace quillon {

QString formatStoredDate(const QDateTime &date, const QTimeZone &zone)
{
    if (!date.isValid())
        return QString();
    const QDateTime local = date.toTimeZone(zone);
    const int offset = zone.offsetFromUtc(date);
    QString text = local.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) + QStringLiteral("000");
    const int minutes = offset / 60;
    if (minutes == 0)
        return text + QLatin1Char('Z');
    // Hours and minutes both from the magnitude: a zone at -03:30 must not give "-03:-30".
    const int magnitude = std::abs(minutes);
    text += QLatin1Char(minutes < 0 ? '-' : '+');
    text += QStringLiteral("%1:%2").arg(magnitude / 60, 2, 10, QLatin1Char('0')).arg(magnitude % 60, 2, 10, QLatin1Char('0'));
    return text;
}

QDateTime parseStoredDate(const QString &text, const QTimeZone &localZone)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^\\s*(\\d{4})-(\\d{2})-(\\d{2})"
        "(?:[T ](\\d{2}):(\\d{2})(?::(\\d{2})(?:[.,](\\d+))?)?)?"
        "\\s*(Z|z|[+-]\\d{2}(?::?\\d{2})?)?\\s*$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return QDateTime();
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    int msec = 0;
    const QString fraction = m.captured(7);
    if (!fraction.isEmpty())
        msec = (fraction + QStringLiteral("00")).left(3).toInt();
    const QTime time = m.capturedLength(4) ? QTime(m.captured(4).toInt(), m.captured(5).toInt(),
                                                   m.capturedLength(6) ? m.captured(6).toInt() : 0, msec)
                                           : QTime(0, 0);
    if (!date.isValid() || !time.isValid())
        return QDateTime();

    const QString zone = m.captured(8);
    if (zone.isEmpty())
        return QDateTime(date, time, localZone);
    if (zone.compare(QLatin1String("Z"), Qt::CaseInsensitive) == 0)
        return QDateTime(date, time, QTimeZone::utc());
    const QString digits = QString(zone.mid(1)).remove(QLatin1Char(':'));
    const int hours = digits.left(2).toInt();
    const int minutes = digits.size() > 2 ? digits.mid(2, 2).toInt() : 0;
    if (hours > 23 || minutes > 59)
        return QDateTime();
    const int seconds = (hours * 60 + minutes) * 60 * (zone.startsWith(QLatin1Char('-')) ? -1 : 1);
    return QDateTime(date, time, QTimeZone(seconds));
}

qint64 leadingInteger(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t') ||
                               text[i] == QLatin1Char('\n') || text[i] == QLatin1Char('\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    qint64 value = 0;
    bool overflow = false;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        const int digit = text[i].unicode() - '0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10) {
            overflow = true;
            break;
        }
        value = value * 10 + digit;
    }
    if (overflow)
        return negative ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
    return negative ? -value : value;
}

} // namespace quillon

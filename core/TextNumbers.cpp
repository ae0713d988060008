#include "core/TextNumbers.h"

#include <climits>

namespace quillon {

int leadingInt(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    qint64 value = 0;
    while (i < n && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9')) {
        value = value * 10 + (text.at(i).unicode() - u'0');
        if (value > qint64(INT_MAX) + 1)
            value = qint64(INT_MAX) + 1;
        ++i;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return int(value);
}

int intValueOf(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return 0;
    if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray)
        return leadingInt(value.toString());
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
        const double d = value.toDouble();
        if (d >= double(INT_MAX))
            return INT_MAX;
        if (d <= double(INT_MIN))
            return INT_MIN;
        return int(d);
    }
    bool ok = false;
    const qlonglong v = value.toLongLong(&ok);
    if (!ok)
        return 0;
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : int(v);
}

bool boolValueOf(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return false;
    if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray) {
        const QString s = value.toString().trimmed();
        qsizetype i = 0;
        if (i < s.size() && (s.at(i) == QLatin1Char('+') || s.at(i) == QLatin1Char('-')))
            ++i;
        while (i < s.size() && s.at(i) == QLatin1Char('0'))
            ++i;
        if (i >= s.size())
            return false;
        const QChar c = s.at(i).toUpper();
        return c == QLatin1Char('Y') || c == QLatin1Char('T') || (c >= QLatin1Char('1') && c <= QLatin1Char('9'));
    }
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    return intValueOf(value) != 0;
}

} // namespace quillon

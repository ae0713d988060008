#include "core/SelectionRange.h"

#include <QCoreApplication>

namespace quillon {

QString SelectionRange::description() const
{
    switch (pageRangeType) {
    case ByRanges:
        return QCoreApplication::translate("SelectionRange", "By Range(s)(%1)").arg(pageRange);
    case BySteps:
        return QCoreApplication::translate("SelectionRange", "By Steps %1 every nth page.").arg(pageSteps);
    case ByReversedSteps:
        return QCoreApplication::translate("SelectionRange", "By Reversed Steps %1 every nth page.").arg(pageStepsReversed);
    default:
        return QCoreApplication::translate("SelectionRange", "All Page(s)");
    }
}

bool SelectionRange::isEqual(const SelectionRange &other) const
{
    if (this == &other)
        return true;
    if (pageRangeType != other.pageRangeType)
        return false;
    switch (pageRangeType) {
    case AllPages:
        return true;
    case ByRanges:
        return pageRange == other.pageRange;
    case BySteps:
        return pageSteps == other.pageSteps;
    case ByReversedSteps:
        return pageStepsReversed == other.pageStepsReversed;
    default:
        return false;
    }
}

QList<RangePair> SelectionRange::parseRange() const
{
    QList<RangePair> pairs;
    if (pageRange.isEmpty())
        return pairs;
    const QStringList pieces = pageRange.split(QLatin1Char(','));
    for (const QString &piece : pieces) {
        const QStringList parts = piece.split(QLatin1Char('-'));
        if (parts.size() == 2)
            pairs.append({parts.at(0), parts.at(1)});
    }
    return pairs;
}

void SelectionRange::setRange(const QList<RangePair> &pairs)
{
    QStringList pieces;
    pieces.reserve(pairs.size());
    for (const RangePair &p : pairs)
        pieces.append(p.start + QLatin1Char('-') + p.end);
    pageRange = pieces.join(QLatin1Char(','));
}

QList<QMap<QString, QString>> SelectionRange::toDictionaries(const QList<RangePair> &pairs)
{
    QList<QMap<QString, QString>> out;
    for (const RangePair &p : pairs)
        out.append({{QStringLiteral("start"), p.start}, {QStringLiteral("end"), p.end}});
    return out;
}

} // namespace quillon

#pragma once
#include <QList>
#include <QMap>
#include <QString>

namespace quillon {

// A page range as stored in the range text: start and end kept exactly as
// written (they are read as numbers only when the page list is built).
struct RangePair {
    QString start;
    QString end;
    bool operator==(const RangePair &) const = default;
};

// Which pages of one source go into the output. A value type: copies never
// share their range text.
class SelectionRange {
public:
    enum Type { AllPages = 0, ByRanges = 1, BySteps = 2, ByReversedSteps = 3 };

    int pageRangeType = AllPages;
    QString pageRange;
    int pageSteps = 1;
    int pageStepsReversed = 1;

    // The list's selection column, in the installed translator's language.
    QString description() const;
    bool isEqual(const SelectionRange &other) const;
    bool operator==(const SelectionRange &other) const { return isEqual(other); }

    // The well-formed "start-end" pieces of pageRange, in text order.
    QList<RangePair> parseRange() const;
    // Replaces pageRange with the pairs joined as "a-b,c-d".
    void setRange(const QList<RangePair> &pairs);

    // The "start"/"end" dictionary form of a pair list.
    static QList<QMap<QString, QString>> toDictionaries(const QList<RangePair> &pairs);
};

} // namespace quillon

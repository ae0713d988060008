// The page-range parsers: the command line's --pages text, the stored range
// text of a selection, and the page list a selection gives for a page count.
#include "cli/CliRunner.h"
#include "core/OutputPlan.h"
#include "core/SelectionRange.h"

#include <QSet>

#include <cstdlib>

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    // Two bytes of page count (below 5000, as the list is walked whole), one of
    // selection type, the rest is the text.
    const int pageCount = (data[0] | (data[1] << 8)) % 5000;
    const int type = data[2] % 5;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data + 3), qsizetype(size - 3));

    SelectionRange parsed;
    QString error;
    if (parsePageSelection(text, &parsed, &error)) {
        if (!error.isEmpty())
            abort();
    } else if (error.isEmpty()) {
        abort(); // a refusal always says why
    }

    SelectionRange sel;
    sel.pageRangeType = type;
    sel.pageRange = text;
    sel.pageSteps = int(text.size() % 7) - 1;
    sel.pageStepsReversed = int(text.size() % 5) - 1;
    for (const SelectionRange &s : {sel, parsed}) {
        const QList<int> pages = pageListFor(s, pageCount);
        QSet<int> seen;
        for (int n : pages) {
            if (n < 1 || n > pageCount || seen.contains(n))
                abort(); // every page exists and is taken once
            seen.insert(n);
        }
    }

    // The pairs written back read as the same pairs.
    const QList<RangePair> pairs = sel.parseRange();
    SelectionRange again;
    again.setRange(pairs);
    bool simple = true;
    for (const RangePair &p : pairs)
        simple = simple && !p.start.contains(QLatin1Char(',')) && !p.end.contains(QLatin1Char(','));
    if (simple && again.parseRange() != pairs)
        abort();
    return 0;
}

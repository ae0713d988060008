#include "core/OutputPlan.h"

#include "core/Settings.h"
#include "core/SystemLog.h"
#include "core/TextNumbers.h"

#include <QCoreApplication>
#include <QSet>

#include <exception>
#include <iterator>

namespace quillon {

namespace {

const char *const kCombineModeNames[] = {
    QT_TRANSLATE_NOOP("OutputPlan", "Single image to single TIFF"),
    QT_TRANSLATE_NOOP("OutputPlan", "Multiple images to single multi-Page TIFF"),
    QT_TRANSLATE_NOOP("OutputPlan", "Group of multiple images to multi-page TIFF in group"),
};

const char *combineModeSource(int index)
{
    return index >= 0 && index < int(std::size(kCombineModeNames)) ? kCombineModeNames[index] : nullptr;
}

} // namespace

QString combineModeName(int index)
{
    const char *name = combineModeSource(index);
    return name ? QString::fromLatin1(name) : QString();
}

QString combineModeTitle(int index)
{
    const char *name = combineModeSource(index);
    return name ? QCoreApplication::translate("OutputPlan", name) : QString();
}

QString joinPath(const QString &folder, const QString &name)
{
    if (folder.isEmpty())
        return name;
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

namespace {
QString withTiffExtension(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? fileName.left(dot) : fileName;
    return base + QStringLiteral(".tiff");
}
} // namespace

OutputPlan planOutputFiles(const QList<FileItemPtr> &files, const Settings &settings, const QString &outputFolder)
{
    OutputPlan plan;
    QList<FileItemPtr> checked;
    for (const FileItemPtr &f : files) {
        if (f && f->isSelected)
            checked.append(f);
    }
    switch (settings.combineOptionIndex()) {
    case SingleImageFiles:
        for (const FileItemPtr &f : checked)
            plan.outputFiles.append({joinPath(outputFolder, withTiffExtension(f->name())), {f}});
        break;
    case OneMultiPageFile:
        plan.outputFiles.append({joinPath(outputFolder, settings.singleMultiPageTIFFName() + QStringLiteral(".tiff")), checked});
        break;
    case GroupedFiles: {
        const qsizetype g = qMax(1, settings.groupMultiPageTIFFCount());
        const qsizetype groups = (checked.size() + g - 1) / g;
        for (qsizetype k = 0; k < groups; ++k) {
            OutputFile out;
            out.filename = joinPath(outputFolder, settings.groupMultiPageTIFFName() + QString::number(k + 1) + QStringLiteral(".tiff"));
            out.fileItems = checked.mid(k * g, g);
            plan.outputFiles.append(out);
        }
        break;
    }
    default:
        // An unknown mode plans nothing and leaves the count as it was.
        return plan;
    }
    plan.totalFileSelected = int(checked.size());
    return plan;
}

int outputFileCount(int checkedItems, int combineOptionIndex, int groupSize)
{
    const qint64 checked = qMax(0, checkedItems);
    switch (combineOptionIndex) {
    case SingleImageFiles:
        return int(checked);
    case OneMultiPageFile:
        return checked > 0 ? 1 : 0;
    case GroupedFiles: {
        const qint64 n = qMax(1, groupSize);
        return int((checked + n - 1) / n);
    }
    default:
        return 0;
    }
}

QList<int> pageListFor(const SelectionRange &selection, int pageCount)
{
    QList<int> pages;
    const int P = pageCount;
    switch (selection.pageRangeType) {
    case SelectionRange::AllPages:
        for (int n = 1; n <= P; ++n)
            pages.append(n);
        break;
    case SelectionRange::ByRanges: {
        QSet<int> taken;
        const QStringList pieces = selection.pageRange.split(QLatin1Char(','));
        for (const QString &piece : pieces) {
            const QStringList parts = piece.split(QLatin1Char('-'));
            if (parts.size() != 2)
                continue;
            const int a = leadingInt(parts.at(0));
            const int b = leadingInt(parts.at(1));
            if (a <= 0 || b <= 0)
                continue;
            auto take = [&](int n) {
                if (!taken.contains(n)) {
                    taken.insert(n);
                    pages.append(n);
                }
            };
            if (a <= b) {
                for (qint64 n = a; n <= qMin<qint64>(b, P); ++n)
                    take(int(n));
            } else {
                for (qint64 n = qMin<qint64>(a, P); n >= b; --n)
                    take(int(n));
            }
        }
        break;
    }
    case SelectionRange::BySteps: {
        const int s = selection.pageSteps;
        if (s >= 1 && s <= P) {
            for (qint64 n = s; n <= P; n += s)
                pages.append(int(n));
        }
        break;
    }
    case SelectionRange::ByReversedSteps: {
        const int s = selection.pageStepsReversed;
        if (s >= 1 && s <= P) {
            for (qint64 n = qint64(P) - s + 1; n > 0; n -= s)
                pages.append(int(n));
        }
        break;
    }
    default:
        break;
    }
    return pages;
}

QList<int> getPageRanges(const FileItem *item)
{
    if (!item)
        return {};
    try {
        return pageListFor(item->selection(), item->pages());
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in (getPageRanges:fileItem:) : %1").arg(QString::fromLocal8Bit(e.what())));
        return {};
    }
}

} // namespace quillon

#include "core/OutputPlan.h"

#include "core/Settings.h"
#include "core/SystemLog.h"
#include "core/TextNumbers.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QSet>

#include <utility>

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

int shardOf(const QString &relativePath, int count)
{
    if (count <= 1)
        return 1;
    const QByteArray digest = QCryptographicHash::hash(relativePath.toUtf8(), QCryptographicHash::Sha256);
    quint64 n = 0;
    for (int i = 0; i < 8; ++i)
        n = (n << 8) | quint8(digest.at(i));
    return int(n % quint64(count)) + 1;
}

OutputPlanner::OutputPlanner(const Settings &settings, const QString &outputFolder, const PlanScope &scope)
    : m_mode(settings.combineOptionIndex())
    , m_groupSize(qMax(1, settings.groupMultiPageTIFFCount()))
    , m_outputFolder(outputFolder)
    , m_name(m_mode == OneMultiPageFile ? settings.singleMultiPageTIFFName() : settings.groupMultiPageTIFFName())
    , m_scope(scope)
{
    if (!scope.mirrorRoot.isEmpty())
        m_root = QDir::cleanPath(scope.mirrorRoot);
    if (m_mode == OneMultiPageFile)
        m_open.filename = m_name + QStringLiteral(".tiff");
}

void OutputPlanner::keepIfOurs(OutputFile &&out, const QString &relativePath)
{
    if (shardOf(relativePath, m_scope.shardCount) != m_scope.shardIndex)
        return;
    m_selected += int(out.fileItems.size());
    out.filename = joinPath(m_outputFolder, relativePath);
    m_plan.outputFiles.append(std::move(out));
}

void OutputPlanner::add(const FileItemPtr &item)
{
    if (!item || !item->isSelected)
        return;
    ++m_seen;
    switch (m_mode) {
    case SingleImageFiles: {
        OutputFile out{QString(), {item}, QString()};
        QString relative = withTiffExtension(item->name());
        if (!m_root.isEmpty()) {
            const QString source = QDir::cleanPath(item->path());
            const QString prefix = m_root.endsWith(QLatin1Char('/')) ? m_root : m_root + QLatin1Char('/');
            if (!source.startsWith(prefix)) {
                out.refusal = kOutsideMirrorRoot;
            } else {
                const QString below = source.mid(prefix.size());
                const qsizetype slash = below.lastIndexOf(QLatin1Char('/'));
                if (slash > 0)
                    relative = below.left(slash) + QLatin1Char('/') + relative;
            }
        }
        keepIfOurs(std::move(out), relative);
        break;
    }
    case OneMultiPageFile:
        m_open.fileItems.append(item);
        break;
    case GroupedFiles:
        m_open.fileItems.append(item);
        if (m_open.fileItems.size() == m_groupSize) {
            const qint64 group = (m_seen - 1) / m_groupSize + 1;
            keepIfOurs(std::exchange(m_open, OutputFile()), m_name + QString::number(group) + QStringLiteral(".tiff"));
        }
        break;
    default:
        break;
    }
}

OutputPlan OutputPlanner::finish()
{
    switch (m_mode) {
    case SingleImageFiles:
        break;
    case OneMultiPageFile: {
        // Always planned, even empty: the run then reports it made no pages.
        const QString name = m_open.filename;
        keepIfOurs(std::exchange(m_open, OutputFile()), name);
        break;
    }
    case GroupedFiles:
        if (!m_open.fileItems.isEmpty()) {
            const qint64 group = (m_seen - 1) / m_groupSize + 1;
            keepIfOurs(std::exchange(m_open, OutputFile()), m_name + QString::number(group) + QStringLiteral(".tiff"));
        }
        break;
    default:
        // An unknown mode plans nothing and leaves the count as it was.
        return std::exchange(m_plan, OutputPlan());
    }
    m_plan.totalFileSelected = m_selected;
    return std::exchange(m_plan, OutputPlan());
}

OutputPlan planOutputFiles(const QList<FileItemPtr> &files, const Settings &settings, const QString &outputFolder,
                           const PlanScope &scope)
{
    OutputPlanner planner(settings, outputFolder, scope);
    for (const FileItemPtr &f : files)
        planner.add(f);
    return planner.finish();
}

OutputPlan planOutputFiles(const QList<FileItemPtr> &files, const Settings &settings, const QString &outputFolder)
{
    return planOutputFiles(files, settings, outputFolder, PlanScope());
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

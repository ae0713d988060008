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

namespace {
int shardOfUtf8(QByteArrayView relativePath, int count)
{
    // Asked once per listed path: one hasher per thread, not one per call.
    thread_local QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.reset();
    hash.addData(relativePath);
    const QByteArrayView digest = hash.resultView();
    quint64 n = 0;
    for (int i = 0; i < 8; ++i)
        n = (n << 8) | quint8(digest.at(i));
    return int(n % quint64(count)) + 1;
}
} // namespace

int shardOf(const QString &relativePath, int count)
{
    return count <= 1 ? 1 : shardOfUtf8(relativePath.toUtf8(), count);
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

QString OutputPlanner::singleRelativePath(const QString &sourcePath, bool *outside) const
{
    // The item's name (FileItem::name): the last component, trailing slashes aside.
    QStringView p(sourcePath);
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
    QString relative = withTiffExtension((slash < 0 ? p : p.mid(slash + 1)).toString());
    *outside = false;
    if (!m_root.isEmpty()) {
        const QString source = QDir::cleanPath(sourcePath);
        const QString prefix = m_root.endsWith(QLatin1Char('/')) ? m_root : m_root + QLatin1Char('/');
        if (!source.startsWith(prefix)) {
            *outside = true;
        } else {
            const QString below = source.mid(prefix.size());
            const qsizetype at = below.lastIndexOf(QLatin1Char('/'));
            if (at > 0)
                relative = below.left(at) + QLatin1Char('/') + relative;
        }
    }
    return relative;
}

bool OutputPlanner::keeps(const QString &path) const
{
    if (m_mode != SingleImageFiles || m_scope.shardCount <= 1)
        return true;
    if (m_root.isEmpty()) {
        // The common case of a million-line list, without a string made per
        // line: an ASCII name's UTF-8 is its own bytes.
        QStringView name(path);
        while (name.size() > 1 && name.endsWith(QLatin1Char('/')))
            name.chop(1);
        name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        const QStringView base = dot > 0 ? name.left(dot) : name;
        thread_local std::string bytes;
        bytes.clear();
        bool ascii = true;
        for (QChar c : base) {
            ascii = ascii && c.unicode() < 0x80;
            bytes.push_back(char(c.unicode()));
        }
        if (ascii) {
            bytes.append(".tiff");
            return shardOfUtf8(QByteArrayView(bytes.data(), qsizetype(bytes.size())), m_scope.shardCount)
                == m_scope.shardIndex;
        }
    }
    bool outside = false;
    return shardOf(singleRelativePath(path, &outside), m_scope.shardCount) == m_scope.shardIndex;
}

void OutputPlanner::add(const FileItemPtr &item)
{
    if (!item || !item->isSelected)
        return;
    ++m_seen;
    switch (m_mode) {
    case SingleImageFiles: {
        OutputFile out{QString(), {item}, QString()};
        bool outside = false;
        const QString relative = singleRelativePath(item->path(), &outside);
        if (outside)
            out.refusal = kOutsideMirrorRoot;
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

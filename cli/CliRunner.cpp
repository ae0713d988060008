#include "cli/CliRunner.h"

#include "core/AppFolders.h"
#include "core/FolderScan.h"
#include "core/OutputPlan.h"
#include "core/RetryList.h"
#include "core/Settings.h"
#include "core/TimeLeft.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryFile>

#include <algorithm>
#include <unistd.h>

namespace quillon {

static const char kUsage[] =
    "Usage: quillon-convert [OPTIONS] PATH...\n"
    "Converts BMP, JPEG, PNG, GIF, TIFF, HEIF/HEIC, AVIF, WebP and JPEG XL images\n"
    "into TIFF files.\n"
    "\n"
    "  PATH                 image files or folders; a file is taken as it is, a folder\n"
    "                       is scanned for bmp, jpg, jpeg, png, gif, tif and tiff files\n"
    "                       (extension in lower or upper case) and heic, heif, hif,\n"
    "                       avif, webp and jxl files (any letter case); hidden entries\n"
    "                       skipped. Each image of a HEIF/AVIF file is a page\n"
    "  -o, --output DIR     output folder (must exist and be writable)\n"
    "  -m, --mode MODE      single | combine | group   (default single)\n"
    "  -n, --name NAME      file name (combine) or base name (group)\n"
    "  -g, --group-size N   images per file in group mode (default 2; below 2 becomes 2)\n"
    "  -c, --compression C  none | g3 | g4 | lzw | packbits | auto | deflate | zstd\n"
    "                       | jpeg   (default none); auto: G4 for black-and-white\n"
    "                       pages, LZW for the others; jpeg: palette, 1/2/4-bit and\n"
    "                       alpha pages are written as deflate\n"
    "      --level N        deflate 1-9 (default 6) or zstd 1-19 (default 9) level\n"
    "      --quality N      jpeg quality 1-100 (default 90)\n"
    "      --metadata WHAT  keep | strip   (default strip): keep carries each source's\n"
    "                       EXIF, XMP and IPTC to its pages\n"
    "      --dpi N          write N dots per inch (1-10000) on every page, without\n"
    "                       resampling   (default: each source's own)\n"
    "      --bilevel MODE   how g3 and g4 make pages black and white: auto (Otsu\n"
    "                       threshold) | threshold:N (1-254; N and darker turn black)\n"
    "                       | dither:ordered | dither:diffusion   (default auto)\n"
    "      --existing WHAT  when an output name is taken: replace | keep-both\n"
    "                       (adds \" (2)\", \" (3)\" ...) | skip   (default replace)\n"
    "      --failed-list F  write the sources to convert again to F: all sources of\n"
    "                       each file that lost any, one path per line (the import\n"
    "                       format; empty when none)\n"
    "  -r, --recursive      include subfolders when scanning folders\n"
    "  -p, --pages SEL      pages of every TIFF or HEIF source: all | RANGES (e.g. 1-3,7-5)\n"
    "                       | step:N (every Nth page) | rstep:N (every Nth from the end)\n"
    "  -j, --jobs N         output files converted at once, and threads coding each\n"
    "                       page (default: one per core; 1 = one after another)\n"
    "      --memory MiB     decoded pages held at once, over all jobs (default: a\n"
    "                       quarter of the memory); a larger page is converted alone\n"
    "  -q, --quiet          no progress lines\n"
    "  -h, --help           this text\n"
    "  -v, --version        the version\n"
    "\n"
    "Exit status: 0 when every planned file was created from all its sources and\n"
    "pages (or skipped by --existing skip), 1 otherwise (also when cancelled with\n"
    "Ctrl-C), 2 for a usage error.\n";

bool parsePageSelection(const QString &text, SelectionRange *out, QString *error)
{
    SelectionRange sel;
    const QString t = text.trimmed();
    static const QRegularExpression stepRe(QStringLiteral("^(r?step):(\\d+)$"));
    static const QRegularExpression rangesRe(QStringLiteral("^\\d+-\\d+(,\\d+-\\d+)*$"));
    if (t.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0) {
        *out = sel;
        return true;
    }
    const auto m = stepRe.match(t);
    if (m.hasMatch()) {
        bool ok = false;
        const int n = m.captured(2).toInt(&ok);
        if (!ok || n < 1) {
            *error = QStringLiteral("the step of --pages must be a whole number of 1 or more");
            return false;
        }
        if (m.captured(1) == QLatin1String("step")) {
            sel.pageRangeType = SelectionRange::BySteps;
            sel.pageSteps = n;
        } else {
            sel.pageRangeType = SelectionRange::ByReversedSteps;
            sel.pageStepsReversed = n;
        }
        *out = sel;
        return true;
    }
    if (rangesRe.match(t).hasMatch()) {
        sel.pageRangeType = SelectionRange::ByRanges;
        sel.pageRange = t;
        for (const RangePair &p : sel.parseRange()) {
            if (p.start.toInt() < 1 || p.end.toInt() < 1) {
                *error = QStringLiteral("page numbers of --pages start at 1");
                return false;
            }
        }
        *out = sel;
        return true;
    }
    *error = QStringLiteral("--pages takes all, ranges such as 1-3,7-5, step:N or rstep:N");
    return false;
}

bool parseCommandLine(const QStringList &arguments, CliOptions *o, QString *error, QString *help, bool *helpShown)
{
    *helpShown = false;
    QString modeText = QStringLiteral("single");
    bool nameGiven = false;
    int levelGiven = 0;
    int qualityGiven = 0;
    for (int i = 1; i < arguments.size(); ++i) {
        QString arg = arguments.at(i);
        QString value;
        bool hasInlineValue = false;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            value = arg.mid(arg.indexOf(QLatin1Char('=')) + 1);
            arg = arg.left(arg.indexOf(QLatin1Char('=')));
            hasInlineValue = true;
        }
        auto takeValue = [&](QString *into) {
            if (hasInlineValue) {
                *into = value;
                return true;
            }
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("%1 needs a value").arg(arg);
                return false;
            }
            *into = arguments.at(++i);
            return true;
        };
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            *help = QString::fromLatin1(kUsage);
            *helpShown = true;
            return true;
        }
        if (arg == QLatin1String("-v") || arg == QLatin1String("--version")) {
            *help = QStringLiteral("quillon-convert %1\n").arg(QStringLiteral(QUILLON_VERSION));
            *helpShown = true;
            return true;
        }
        if (arg == QLatin1String("-o") || arg == QLatin1String("--output")) {
            if (!takeValue(&o->outputFolder))
                return false;
        } else if (arg == QLatin1String("-m") || arg == QLatin1String("--mode")) {
            if (!takeValue(&modeText))
                return false;
        } else if (arg == QLatin1String("-n") || arg == QLatin1String("--name")) {
            if (!takeValue(&o->name))
                return false;
            nameGiven = true;
        } else if (arg == QLatin1String("-g") || arg == QLatin1String("--group-size")) {
            QString v;
            if (!takeValue(&v))
                return false;
            bool ok = false;
            o->groupSize = v.toInt(&ok);
            if (!ok) {
                *error = QStringLiteral("--group-size takes a whole number");
                return false;
            }
        } else if (arg == QLatin1String("-c") || arg == QLatin1String("--compression")) {
            QString v;
            if (!takeValue(&v))
                return false;
            if (!image::parseCompression(v, &o->compression)) {
                *error = QStringLiteral("unknown compression \"%1\" (none, g3, g4, lzw, packbits, auto, deflate, zstd, jpeg)").arg(v);
                return false;
            }
            QString why;
            if (!image::compressionAvailable(o->compression, &why)) {
                *error = why;
                return false;
            }
        } else if (arg == QLatin1String("--level") || arg == QLatin1String("--quality") || arg == QLatin1String("--dpi")) {
            QString v;
            if (!takeValue(&v))
                return false;
            bool ok = false;
            const int n = v.trimmed().toInt(&ok);
            const int max = arg == QLatin1String("--quality") ? 100 : arg == QLatin1String("--dpi") ? Settings::kMaxDpi : 19;
            if (!ok || n < 1 || n > max) {
                *error = QStringLiteral("%1 takes a whole number from 1 to %2").arg(arg).arg(max);
                return false;
            }
            if (arg == QLatin1String("--level"))
                levelGiven = n;
            else if (arg == QLatin1String("--quality"))
                qualityGiven = n;
            else
                o->dpi = n;
        } else if (arg == QLatin1String("--metadata")) {
            QString v;
            if (!takeValue(&v))
                return false;
            const QString t = v.trimmed().toLower();
            if (t != QLatin1String("keep") && t != QLatin1String("strip")) {
                *error = QStringLiteral("--metadata takes keep or strip, not \"%1\"").arg(v);
                return false;
            }
            o->keepMetadata = t == QLatin1String("keep");
        } else if (arg == QLatin1String("--bilevel")) {
            QString v;
            QString why;
            if (!takeValue(&v))
                return false;
            if (!image::parseBilevelOptions(v, &o->bilevel, &why)) {
                *error = QStringLiteral("--bilevel: %1").arg(why);
                return false;
            }
        } else if (arg == QLatin1String("--existing")) {
            QString v;
            if (!takeValue(&v))
                return false;
            if (!parseExistingFilePolicy(v, &o->existing)) {
                *error = QStringLiteral("--existing takes replace, keep-both or skip, not \"%1\"").arg(v);
                return false;
            }
        } else if (arg == QLatin1String("--failed-list")) {
            if (!takeValue(&o->failedListPath))
                return false;
            if (o->failedListPath.isEmpty()) {
                *error = QStringLiteral("--failed-list needs a file name");
                return false;
            }
        } else if (arg == QLatin1String("-j") || arg == QLatin1String("--jobs")) {
            QString v;
            if (!takeValue(&v))
                return false;
            bool ok = false;
            o->jobs = v.toInt(&ok);
            if (!ok || o->jobs < 1 || o->jobs > Settings::kMaxJobs) {
                *error = QStringLiteral("--jobs takes a whole number from 1 to %1").arg(Settings::kMaxJobs);
                return false;
            }
        } else if (arg == QLatin1String("--memory")) {
            QString v;
            if (!takeValue(&v))
                return false;
            bool ok = false;
            const qulonglong mib = v.toULongLong(&ok);
            if (!ok || mib < 1 || mib > (quint64(1) << 30)) {
                *error = QStringLiteral("--memory takes a whole number of MiB, at least 1");
                return false;
            }
            o->memoryBytes = quint64(mib) << 20;
        } else if (arg == QLatin1String("-r") || arg == QLatin1String("--recursive")) {
            o->recursive = true;
        } else if (arg == QLatin1String("-q") || arg == QLatin1String("--quiet")) {
            o->quiet = true;
        } else if (arg == QLatin1String("-p") || arg == QLatin1String("--pages")) {
            QString v;
            if (!takeValue(&v) || !parsePageSelection(v, &o->pages, error))
                return false;
        } else if (arg == QLatin1String("--")) {
            o->paths.append(arguments.mid(i + 1));
            break;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            *error = QStringLiteral("unknown option %1").arg(arg);
            return false;
        } else {
            o->paths.append(arg);
        }
    }

    // Checked once the compression is known, wherever it was given.
    if (levelGiven) {
        const image::LevelRange r = image::levelRange(o->compression);
        if (!r.max) {
            *error = QStringLiteral("--level applies to deflate and zstd only");
            return false;
        }
        if (levelGiven > r.max) {
            *error = QStringLiteral("--level for %1 takes a whole number from %2 to %3")
                         .arg(image::compressionText(o->compression)).arg(r.min).arg(r.max);
            return false;
        }
        o->coding.level = levelGiven;
    }
    if (qualityGiven) {
        if (o->compression != image::Compression::Jpeg) {
            *error = QStringLiteral("--quality applies to jpeg only");
            return false;
        }
        o->coding.quality = qualityGiven;
    }

    static const QStringList modes = {QStringLiteral("single"), QStringLiteral("combine"), QStringLiteral("group")};
    o->mode = int(modes.indexOf(modeText.toLower()));
    if (o->mode < 0) {
        *error = QStringLiteral("unknown mode \"%1\" (single, combine, group)").arg(modeText);
        return false;
    }
    if (o->paths.isEmpty()) {
        *error = QStringLiteral("no image file or folder given");
        return false;
    }
    if (o->outputFolder.isEmpty()) {
        *error = QStringLiteral("no output folder given (-o DIR)");
        return false;
    }
    const QFileInfo out(o->outputFolder);
    if (!out.exists() || !out.isDir()) {
        *error = QStringLiteral("output folder %1 does not exist").arg(o->outputFolder);
        return false;
    }
    if (::access(QFile::encodeName(out.absoluteFilePath()).constData(), W_OK | X_OK) != 0) {
        *error = QStringLiteral("output folder %1 is not writable").arg(o->outputFolder);
        return false;
    }
    o->outputFolder = out.absoluteFilePath();
    if (o->mode != 0 && (!nameGiven || o->name.trimmed().isEmpty())) {
        *error = o->mode == 1 ? QStringLiteral("combine mode needs a file name (-n NAME)")
                              : QStringLiteral("group mode needs a base name (-n NAME)");
        return false;
    }
    if (o->name.contains(QLatin1Char('/'))) {
        *error = QStringLiteral("the name must not contain \"/\"");
        return false;
    }
    if (!o->failedListPath.isEmpty()) {
        const QFileInfo list(o->failedListPath);
        const QFileInfo folder(list.absolutePath());
        if (list.isDir() || !folder.isDir()
            || ::access(QFile::encodeName(folder.absoluteFilePath()).constData(), W_OK | X_OK) != 0) {
            *error = QStringLiteral("cannot write the failed list %1").arg(o->failedListPath);
            return false;
        }
        o->failedListPath = list.absoluteFilePath();
    }
    if (o->groupSize < 2)
        o->groupSize = 2;
    return true;
}

CliRunner::CliRunner(const CliOptions &options, QTextStream &out, QTextStream &err)
    : m_options(options)
    , m_out(out)
    , m_err(err)
{
}

QList<FileItemPtr> CliRunner::collectItems()
{
    QList<FileItemPtr> items;
    auto addPath = [&](const QString &path) {
        FileItemPtr item = FileItem::initWithURL(QUrl::fromLocalFile(path));
        if (!item)
            return;
        const bool duplicate = std::any_of(items.cbegin(), items.cend(), [&](const FileItemPtr &f) { return f->isEqual(item.get()); });
        if (duplicate)
            return;
        if (item->isMultiPageFile())
            item->setSelection(m_options.pages);
        items.append(item);
    };
    for (const QString &p : std::as_const(m_options.paths)) {
        const QFileInfo info(p);
        if (!info.exists()) {
            m_err << "quillon-convert: " << p << ": no such file or folder\n";
            m_err.flush();
            continue;
        }
        if (info.isDir()) {
            QStringList found;
            scanFolder(info.absoluteFilePath(), m_options.recursive, {}, [&](const QString &f) { found.append(f); });
            // The walk has no order of its own; people expect names in counting order.
            std::sort(found.begin(), found.end(), naturalLess);
            for (const QString &f : std::as_const(found))
                addPath(f);
        } else {
            addPath(info.absoluteFilePath());
        }
    }
    return items;
}

int CliRunner::run()
{
    QString folderError;
    if (!createApplicationUsersFolder(QString(), &folderError) || !createApplicationUsersFolder(QStringLiteral("Logs"), &folderError))
        m_err << "quillon-convert: cannot create the log folder: " << folderError << "\n";

    const QList<FileItemPtr> items = collectItems();

    // The run reads its options from a settings record; this one is never
    // stored (a synchronize would replace /dev/null itself when run as root).
    QSettings scratch(QStringLiteral("/dev/null"), QSettings::IniFormat);
    Settings settings(&scratch);
    settings.setCombineOptionIndex(m_options.mode);
    settings.setGroupMultiPageTIFFCount(m_options.groupSize);
    settings.setCompression(m_options.compression);
    settings.setCompressionLevel(m_options.coding.level);
    settings.setJpegQuality(m_options.coding.quality);
    settings.setKeepMetadata(m_options.keepMetadata);
    settings.setOutputDpi(m_options.dpi);
    settings.setBilevelOptions(m_options.bilevel);
    settings.setExistingFilePolicy(m_options.existing);
    settings.setSingleMultiPageTIFFName(m_options.name);
    settings.setGroupMultiPageTIFFName(m_options.name);
    settings.setOutputFolderPath(m_options.outputFolder);
    settings.setIsOpenFolderAfterConversion(false);

    Process process;
    m_process = &process;
    process.setOwner(this, this);
    setUpRun(process, items, settings, m_options.outputFolder, m_options.jobs);
    process.memoryBudget = m_options.memoryBytes;

    QElapsedTimer clock;
    TimeLeftEstimate estimate;
    estimate.reset(process.sourceBytesTotal());
    if (!m_options.quiet) {
        // Everything a line names comes with the signal: with workers the run has
        // moved on by the time it is printed.
        connect(&process, &Process::sourceBegun, this,
                [this, &process, &clock, &estimate](int index, int total, const QString &source, const QString &output) {
            m_err << "[" << index << "/" << total << "] " << QFileInfo(source).fileName() << " -> " << output;
            estimate.update(process.sourceBytesProcessed(), process.totalFileProcessed(), clock.elapsed());
            const qint64 left = estimate.msecsLeft(clock.elapsed());
            if (left >= 0)
                m_err << " (" << timeLeftText(left) << " left)";
            m_err << "\n";
            m_err.flush();
        });
    }

    QEventLoop loop;
    connect(&process, &Process::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    clock.start();
    process.startInBackground();
    if (!process.isCompleted())
        loop.exec();
    process.waitForFinished();
    m_process = nullptr;

    m_out << process.message().replace(QStringLiteral("\r\n"), QStringLiteral("\n")) << "\n";
    m_out << "Log: " << process.log().logFilePath() << "\n";
    m_out << "Source files processed: " << process.totalFileProcessed() << " of " << process.totalFileSelected() << "\n";
    m_out << "Files created: " << process.totalFileCreated() << " of " << process.outputFiles.size() << "\n";
    // A combined file can be created while some of its sources failed; a
    // script must not take that for a clean run.
    const int pagesMissed = process.log().pagesNotConverted();
    if (pagesMissed > 0)
        m_out << "Sources or pages not converted: " << pagesMissed << "\n";
    if (process.totalFileSkipped() > 0)
        m_out << "Files skipped (name taken): " << process.totalFileSkipped() << "\n";
    m_out.flush();

    bool listed = true;
    if (!m_options.failedListPath.isEmpty())
        listed = writeFailedList(failedSources(process.log()));

    // Skipped files were asked for: they spoil nothing.
    const bool cancelled = process.wasCancelled();
    const bool allMade = process.totalFileCreated() + process.totalFileSkipped() == process.outputFiles.size();
    return (!cancelled && listed && pagesMissed == 0 && allMade) ? 0 : 1;
}

bool CliRunner::writeFailedList(const QStringList &paths)
{
    QStringList left;
    const QByteArray text = importListText(paths, &left);
    for (const QString &path : std::as_const(left))
        m_err << "quillon-convert: not in the failed list (its name holds a line break): " << path << "\n";
    QSaveFile file(m_options.failedListPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        m_err << "quillon-convert: cannot write the failed list " << m_options.failedListPath << ": "
              << file.errorString() << "\n";
        m_err.flush();
        return false;
    }
    m_err.flush();
    if (!paths.isEmpty())
        m_out << "Failed sources listed in: " << m_options.failedListPath << "\n";
    m_out.flush();
    return true;
}

void CliRunner::cancel()
{
    if (m_process)
        m_process->stop();
}

void CliRunner::updateTimeTakenLabel(const QString &text)
{
    if (m_options.quiet)
        return;
    m_err << text << "\n";
    m_err.flush();
}

void CliRunner::openOutputFolder(const QString &)
{
    // A terminal has no file manager to show; the output folder was named on the command line.
}

} // namespace quillon

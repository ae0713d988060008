#include "cli/CliRunner.h"

#include "core/AppFolders.h"
#include "core/FolderScan.h"
#include "core/ImportList.h"
#include "core/Manifest.h"
#include "core/OutputPlan.h"
#include "core/RetryList.h"
#include "core/Settings.h"
#include "core/TimeLeft.h"

#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <QSysInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <unistd.h>

namespace quillon {

static const char kUsage[] =
    "Usage: quillon-convert [OPTIONS] PATH...\n"
    "       quillon-convert [OPTIONS] --files-from LIST [PATH...]\n"
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
    "      --files-from F   also convert the paths listed in F (- for standard\n"
    "                       input), one per line as the Import sheet reads them;\n"
    "                       a listed folder is scanned like a PATH\n"
    "      --mirror-from D  single mode: a source below D goes to the same folder\n"
    "                       below the output folder (made as needed); a source\n"
    "                       outside D is not converted\n"
    "      --shard K/N      make only part K of N of the output files (by a hash of\n"
    "                       each file's path below the output folder); env: K and\n"
    "                       N from a Slurm array task, or from a Kubernetes indexed\n"
    "                       job with --shard-count N\n"
    "      --shard-count N  the number of parts for --shard env outside Slurm\n"
    "      --log-dir D      save the run's log in D instead of the user's Logs folder\n"
    "      --checksums      record the SHA-256 of each created file in the log\n"
    "      --manifest F     write the outputs' SHA-256 in sha256sum format to F\n"
    "                       (paths below the output folder; implies --checksums;\n"
    "                       an earlier F is updated, not lost)\n"
    "  -r, --recursive      include subfolders when scanning folders\n"
    "  -p, --pages SEL      pages of every TIFF or HEIF source: all | RANGES (e.g. 1-3,7-5)\n"
    "                       | step:N (every Nth page) | rstep:N (every Nth from the end)\n"
    "  -j, --jobs N         output files converted at once, and threads coding each\n"
    "                       page (default: one per core; 1 = one after another)\n"
    "      --memory MiB     decoded pages held at once, over all jobs (default: a\n"
    "                       quarter of the memory); a larger page is converted alone\n"
    "      --progress HOW   bar | lines | none   (default: bar when stderr is a\n"
    "                       terminal, lines otherwise); bar: one line redrawn in\n"
    "                       place (sources done, percent, source MB/s read, time\n"
    "                       left, the latest source); lines: one \"[K/N] SOURCE ->\n"
    "                       OUTPUT\" line per source as it is begun\n"
    "  -q, --quiet          no progress (--progress none)\n"
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

namespace {
bool wholeNumber(const QString &text, qint64 *out)
{
    bool ok = false;
    *out = text.trimmed().toLongLong(&ok);
    return ok;
}
} // namespace

bool parseShard(const QString &text, const QString &countText, CliOptions *o, QString *error)
{
    qint64 k = 0;
    qint64 n = 0;
    if (text == QLatin1String("env")) {
        const QString task = qEnvironmentVariable("SLURM_ARRAY_TASK_ID");
        const QString index = qEnvironmentVariable("JOB_COMPLETION_INDEX");
        if (!task.isEmpty()) {
            qint64 id = 0;
            qint64 min = 0;
            qint64 step = 1;
            const QString stepText = qEnvironmentVariable("SLURM_ARRAY_TASK_STEP");
            if (!wholeNumber(task, &id) || !wholeNumber(qEnvironmentVariable("SLURM_ARRAY_TASK_MIN"), &min)
                || !wholeNumber(qEnvironmentVariable("SLURM_ARRAY_TASK_COUNT"), &n)
                || (!stepText.isEmpty() && !wholeNumber(stepText, &step)) || step < 1) {
                *error = QStringLiteral("--shard env: the Slurm array variables are incomplete");
                return false;
            }
            k = (id - min) / step + 1;
        } else if (!index.isEmpty()) {
            if (!wholeNumber(index, &k) || countText.isEmpty() || !wholeNumber(countText, &n)) {
                *error = QStringLiteral("--shard env in an indexed job needs --shard-count N");
                return false;
            }
            k += 1;
        } else {
            *error = QStringLiteral("--shard env: neither SLURM_ARRAY_TASK_ID nor JOB_COMPLETION_INDEX is set");
            return false;
        }
    } else {
        const qsizetype slash = text.indexOf(QLatin1Char('/'));
        if (slash < 0 || !wholeNumber(text.left(slash), &k) || !wholeNumber(text.mid(slash + 1), &n)) {
            *error = QStringLiteral("--shard takes K/N (e.g. 2/8) or env, not \"%1\"").arg(text);
            return false;
        }
    }
    if (n < 1 || n > 1000000 || k < 1 || k > n) {
        *error = QStringLiteral("--shard: part %1 of %2 does not exist (1 <= K <= N)").arg(k).arg(n);
        return false;
    }
    o->shardIndex = int(k);
    o->shardCount = int(n);
    o->sharded = true;
    return true;
}

bool parseCommandLine(const QStringList &arguments, CliOptions *o, QString *error, QString *help, bool *helpShown)
{
    *helpShown = false;
    QString modeText = QStringLiteral("single");
    QString shardText;
    QString shardCountText;
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
        } else if (arg == QLatin1String("--files-from")) {
            if (!takeValue(&o->filesFrom))
                return false;
            if (o->filesFrom.isEmpty()) {
                *error = QStringLiteral("--files-from needs a file name (or - for standard input)");
                return false;
            }
        } else if (arg == QLatin1String("--mirror-from")) {
            if (!takeValue(&o->mirrorRoot))
                return false;
        } else if (arg == QLatin1String("--shard")) {
            if (!takeValue(&shardText))
                return false;
        } else if (arg == QLatin1String("--shard-count")) {
            if (!takeValue(&shardCountText))
                return false;
        } else if (arg == QLatin1String("--log-dir")) {
            if (!takeValue(&o->logDir))
                return false;
        } else if (arg == QLatin1String("--checksums")) {
            o->checksums = true;
        } else if (arg == QLatin1String("--manifest")) {
            if (!takeValue(&o->manifestPath))
                return false;
            if (o->manifestPath.isEmpty()) {
                *error = QStringLiteral("--manifest needs a file name");
                return false;
            }
            o->checksums = true;
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
            o->progress = ProgressMode::None;
            o->progressGiven = true;
        } else if (arg == QLatin1String("--progress")) {
            QString v;
            if (!takeValue(&v))
                return false;
            if (!parseProgressMode(v, &o->progress)) {
                *error = QStringLiteral("--progress takes bar, lines or none, not \"%1\"").arg(v);
                return false;
            }
            o->progressGiven = true;
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
    if (o->paths.isEmpty() && o->filesFrom.isEmpty()) {
        *error = QStringLiteral("no image file or folder given");
        return false;
    }
    if (!o->filesFrom.isEmpty() && o->filesFrom != QLatin1String("-")) {
        const QFileInfo list(o->filesFrom);
        if (!list.isFile() || !list.isReadable()) {
            *error = QStringLiteral("cannot read the list %1").arg(o->filesFrom);
            return false;
        }
        o->filesFrom = list.absoluteFilePath();
    }
    if (!shardText.isEmpty() && !parseShard(shardText, shardCountText, o, error))
        return false;
    if (shardText.isEmpty() && !shardCountText.isEmpty()) {
        *error = QStringLiteral("--shard-count goes with --shard env");
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
    auto writableFolder = [](const QString &path) {
        const QFileInfo folder(path);
        return folder.isDir() && ::access(QFile::encodeName(folder.absoluteFilePath()).constData(), W_OK | X_OK) == 0;
    };
    if (!o->mirrorRoot.isEmpty()) {
        if (!QFileInfo(o->mirrorRoot).isDir()) {
            *error = QStringLiteral("the folder to mirror %1 does not exist").arg(o->mirrorRoot);
            return false;
        }
        o->mirrorRoot = QDir::cleanPath(QFileInfo(o->mirrorRoot).absoluteFilePath());
    }
    if (!o->logDir.isEmpty()) {
        if (!writableFolder(o->logDir)) {
            *error = QStringLiteral("the log folder %1 is no writable folder").arg(o->logDir);
            return false;
        }
        o->logDir = QFileInfo(o->logDir).absoluteFilePath();
    }
    if (!o->manifestPath.isEmpty()) {
        const QFileInfo manifest(o->manifestPath);
        if (manifest.isDir() || !writableFolder(manifest.absolutePath())) {
            *error = QStringLiteral("cannot write the manifest %1").arg(o->manifestPath);
            return false;
        }
        o->manifestPath = manifest.absoluteFilePath();
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

namespace {
// 128 bits of a path's SHA-256: a million listed paths are remembered in a
// few tens of MB, and two paths share a key with no real chance.
struct PathKey {
    quint64 a;
    quint64 b;
    bool operator==(const PathKey &o) const { return a == o.a && b == o.b; }
};
struct PathKeyHash {
    size_t operator()(const PathKey &k) const { return size_t(k.a); } // already uniform
};
PathKey keyOf(const QString &path)
{
    const QByteArray d = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256);
    PathKey k{};
    std::memcpy(&k.a, d.constData(), 8);
    std::memcpy(&k.b, d.constData() + 8, 8);
    return k;
}
} // namespace

bool CliRunner::collectItems(const std::function<void(const FileItemPtr &)> &add, QString *error,
                             const std::function<bool(const QString &path)> &keep)
{
    std::unordered_set<PathKey, PathKeyHash> seen;
    if (!m_options.filesFrom.isEmpty())
        seen.reserve(1 << 20); // lists run long: spare the rehashes
    auto addPath = [&](const QString &path) {
        // Before the item and the duplicate check: another shard's path costs no more.
        if (keep && !keep(path))
            return;
        FileItemPtr item = FileItem::deferred(path);
        if (!item || !seen.insert(keyOf(item->path())).second)
            return;
        if (item->isMultiPageFile())
            item->setSelection(m_options.pages);
        add(item);
    };
    auto addFolder = [&](const QString &folder) {
        QStringList found;
        scanFolder(folder, m_options.recursive, {}, [&](const QString &f) { found.append(f); });
        // The walk has no order of its own; people expect names in counting order.
        std::sort(found.begin(), found.end(), naturalLess);
        for (const QString &f : std::as_const(found))
            addPath(f);
    };
    for (const QString &p : std::as_const(m_options.paths)) {
        const QFileInfo info(p);
        if (!info.exists()) {
            m_err << "quillon-convert: " << p << ": no such file or folder\n";
            m_err.flush();
            ++m_missingPaths;
            continue;
        }
        if (info.isDir())
            addFolder(info.absoluteFilePath());
        else
            addPath(info.absoluteFilePath());
    }
    if (m_options.filesFrom.isEmpty())
        return true;

    QFile list;
    const bool fromStdin = m_options.filesFrom == QLatin1String("-");
    const bool opened = fromStdin ? list.open(stdin, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)
                                  : (list.setFileName(m_options.filesFrom), list.open(QIODevice::ReadOnly));
    const QString listName = fromStdin ? QStringLiteral("standard input") : m_options.filesFrom;
    if (!opened) {
        *error = QStringLiteral("cannot read the list %1: %2").arg(listName, list.errorString());
        return false;
    }
    const QStringList &types = allowedFileTypes();
    const QString here = QDir::currentPath();
    qint64 ignored = 0;
    QString why;
    const bool read = readImportLines(list, [&](const QString &line) {
        const QString path = importedLinePath(line, here);
        if (path.isEmpty())
            return;
        if (importedLineHasType(line, types)) {
            addPath(path);
        } else if (QFileInfo(path).isDir()) {
            addFolder(QDir::cleanPath(path));
        } else {
            ++ignored;
        }
    }, &why);
    if (!read) {
        *error = QStringLiteral("cannot read the list %1: %2").arg(listName, why);
        return false;
    }
    if (ignored > 0) {
        m_err << "quillon-convert: " << ignored << " line(s) of " << listName
              << " name neither an image file (by its extension) nor a folder\n";
        m_err.flush();
    }
    return true;
}

int CliRunner::run()
{
    QString folderError;
    // With --log-dir a cluster node's home folder is left alone.
    if (m_options.logDir.isEmpty()
        && (!createApplicationUsersFolder(QString(), &folderError) || !createApplicationUsersFolder(QStringLiteral("Logs"), &folderError)))
        m_err << "quillon-convert: cannot create the log folder: " << folderError << "\n";

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

    PlanScope scope;
    scope.mirrorRoot = m_options.mirrorRoot;
    scope.shardIndex = m_options.shardIndex;
    scope.shardCount = m_options.shardCount;
    Process process;
    m_process = &process;
    process.setOwner(this, this);
    QString listError;
    const bool planned = setUpRun(process, [&](OutputPlanner &planner) {
        return collectItems([&planner](const FileItemPtr &item) { planner.add(item); }, &listError,
                            [&planner](const QString &path) { return planner.keeps(path); });
    }, settings, m_options.outputFolder, m_options.jobs, scope);
    if (!planned) {
        m_process = nullptr;
        m_err << "quillon-convert: " << listError << "\n";
        m_err.flush();
        return 2;
    }
    process.checksums = m_options.checksums;
    process.logsFolder = m_options.logDir;
    if (m_options.sharded || !m_options.logDir.isEmpty())
        process.log().host = QSysInfo::machineHostName();
    if (m_options.sharded)
        process.log().shard = QStringLiteral("%1/%2").arg(m_options.shardIndex).arg(m_options.shardCount);
    process.memoryBudget = m_options.memoryBytes;

    int sources = 0;
    for (const OutputFile &out : std::as_const(process.outputFiles))
        sources += int(out.fileItems.size());
    TerminalProgress progress(m_options.progressGiven ? m_options.progress : defaultProgressMode(), process, sources);

    QEventLoop loop;
    connect(&process, &Process::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    progress.start();
    process.startInBackground();
    if (!process.isCompleted())
        loop.exec();
    process.waitForFinished();
    m_process = nullptr;
    progress.finish();

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
    // A path that names nothing is a source lost, even when nothing else was asked for.
    if (m_missingPaths > 0)
        m_out << "Paths not found: " << m_missingPaths << "\n";
    m_out.flush();

    bool listed = true;
    if (!m_options.failedListPath.isEmpty())
        listed = writeFailedList(failedSources(process.log()));
    if (!m_options.manifestPath.isEmpty())
        listed = writeManifest(process.log()) && listed;

    // Skipped files were asked for: they spoil nothing.
    const bool cancelled = process.wasCancelled();
    const bool allMade = process.totalFileCreated() + process.totalFileSkipped() == process.outputFiles.size();
    return (!cancelled && listed && pagesMissed == 0 && allMade && m_missingPaths == 0) ? 0 : 1;
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

bool CliRunner::writeManifest(const Log &log)
{
    QString error;
    int entries = 0;
    if (!updateManifest(m_options.manifestPath, log, m_options.outputFolder, &error, &entries)) {
        m_err << "quillon-convert: " << error << "\n";
        m_err.flush();
        return false;
    }
    m_out << "Checksums of " << entries << " file(s) in: " << m_options.manifestPath << "\n";
    m_out.flush();
    return true;
}

void CliRunner::cancel()
{
    if (m_process)
        m_process->stop();
}

void CliRunner::updateTimeTakenLabel(const QString &)
{
    // The window's time line; the terminal has its own progress and summary.
}

void CliRunner::openOutputFolder(const QString &)
{
    // A terminal has no file manager to show; the output folder was named on the command line.
}

} // namespace quillon

#include "common/ImageFactory.h"
#include "core/Log.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>

#include <csignal>
#include <ctime>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <vector>

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void usageErrors_data();
    void usageErrors();
    void help_data();
    void help();
    void bashCompletes_data();
    void bashCompletes();
    void modesAndCompressions_data();
    void modesAndCompressions();
    void badFilesAndMissingPaths();
    void pageSelectionAndRecursion();
    void progressNamesEachPair_data();
    void progressNamesEachPair();
    void progressBarOnATerminal_data();
    void progressBarOnATerminal();
    void interruptCancels();
    void killedRunLeavesNothing_data();
    void killedRunLeavesNothing();
    void existingNames_data();
    void existingNames();
    void compressionChoicesReachTheRun();
    void outputChoices_data();
    void outputChoices();
    void metadata_data();
    void metadata();
    void failedList();
    void filesFrom_data();
    void filesFrom();
    void shardsMakeTheWholeRun();
    void logDirNeverOverAnotherLog();

private:
    int run(const QStringList &args, QString *out = nullptr, QString *err = nullptr, const QByteArray &input = QByteArray());
    // Runs with stderr on a pseudo-terminal of `columns` columns; *terminal gets what it was sent.
    int runOnTerminal(const QStringList &args, int columns, QByteArray *terminal, QString *out);
    QProcessEnvironment environment() const;
    QString freshOutput();
    QString manyImages();
    QTemporaryDir m_dir;
    QString m_images;
    QString m_laterFormats; // HEIF, WebP, JPEG XL and AVIF sources
    int m_outputs = 0;
    bool m_hiddenTemporaries = false; // as where the file system refuses O_TMPFILE
};

static void makeImage(const QString &path, int w, int h, const char *format, QImage::Format f = QImage::Format_RGB888)
{
    QImage img(w, h, f);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixelColor(x, y, QColor((x * 7) % 256, (y * 3) % 256, (x + y) % 256));
    QVERIFY(img.save(path, format));
}

static void makeTiff(const QString &path, int pages)
{
    TIFF *t = TIFFOpen(QFile::encodeName(path).constData(), "w");
    QVERIFY(t);
    for (int p = 0; p < pages; ++p) {
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 8);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, 4);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 4);
        TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        unsigned char row[8];
        for (int y = 0; y < 4; ++y) {
            memset(row, 10 * (p + 1), sizeof row);
            TIFFWriteScanline(t, row, y, 0);
        }
        TIFFWriteDirectory(t);
    }
    TIFFClose(t);
}

// Every page and every strip of it reads back.
static bool completeTiff(const QString &path)
{
    TIFFSetWarningHandler(nullptr);
    TIFF *t = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!t)
        return false;
    bool ok = true;
    int pages = 0;
    do {
        ++pages;
        std::vector<unsigned char> buffer(size_t(TIFFStripSize(t)));
        for (tstrip_t s = 0; ok && s < TIFFNumberOfStrips(t); ++s)
            ok = TIFFReadEncodedStrip(t, s, buffer.data(), tmsize_t(buffer.size())) >= 0;
    } while (ok && TIFFReadDirectory(t));
    TIFFClose(t);
    return ok && pages > 0;
}

static int tiffPages(const QString &path, int *compression = nullptr)
{
    TIFF *t = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!t)
        return -1;
    if (compression) {
        uint16_t c = 0;
        TIFFGetField(t, TIFFTAG_COMPRESSION, &c);
        *compression = c;
    }
    int n = TIFFNumberOfDirectories(t);
    TIFFClose(t);
    return n;
}

void TestCli::initTestCase()
{
    m_images = m_dir.filePath(QStringLiteral("images"));
    QDir().mkpath(m_images);
    makeImage(m_images + QStringLiteral("/a1.png"), 40, 30, "PNG");
    makeImage(m_images + QStringLiteral("/a2.jpg"), 40, 30, "JPG");
    makeImage(m_images + QStringLiteral("/a3.bmp"), 40, 30, "BMP");
    // Qt writes no GIF; a 1x1 one by hand.
    QFile gif(m_images + QStringLiteral("/a10.gif"));
    QVERIFY(gif.open(QIODevice::WriteOnly));
    gif.write(QByteArray::fromHex("47494638396101000100800000ffffff0000002c00000000010001000002024401003b"));
    gif.close();
    makeTiff(m_images + QStringLiteral("/a4.tif"), 3);
    QFile ignored(m_images + QStringLiteral("/readme.txt"));
    QVERIFY(ignored.open(QIODevice::WriteOnly));
    QFile mixed(m_images + QStringLiteral("/skipped.Jpg"));
    QVERIFY(mixed.open(QIODevice::WriteOnly));
    QFile hidden(m_images + QStringLiteral("/.hidden.png"));
    QVERIFY(hidden.open(QIODevice::WriteOnly));

    using namespace quillon::testing;
    m_laterFormats = m_dir.filePath(QStringLiteral("later"));
    QDir().mkpath(m_laterFormats);
    CodecOptions lossy;
    lossy.lossless = false;
    QString why;
    QVERIFY2(writeHeif(m_laterFormats + QStringLiteral("/a5.HEIC"), {makePage(PageKind::Rgb8, 40, 30, 0), makePage(PageKind::Rgb8, 40, 30, 1)},
                       lossy, &why), qPrintable(why));
    QVERIFY2(writeWebp(m_laterFormats + QStringLiteral("/a6.webp"), {makePage(PageKind::Rgba8, 40, 30)}, {}, &why), qPrintable(why));
    QVERIFY2(writeJxl(m_laterFormats + QStringLiteral("/a7.Jxl"), makePage(PageKind::Rgb16, 40, 30), {}, &why), qPrintable(why));
    lossy.avif = true;
    QVERIFY2(writeHeif(m_laterFormats + QStringLiteral("/a8.avif"), {makePage(PageKind::Rgb8, 40, 30)}, lossy, &why), qPrintable(why));
}

QProcessEnvironment TestCli::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    if (m_hiddenTemporaries)
        env.insert(QStringLiteral("QUILLON_NO_O_TMPFILE"), QStringLiteral("1"));
    return env;
}

int TestCli::run(const QStringList &args, QString *out, QString *err, const QByteArray &input)
{
    QProcess p;
    p.setProcessEnvironment(environment());
    p.start(QStringLiteral(QUILLON_CLI_PATH), args);
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000))
        return -1;
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
}

int TestCli::runOnTerminal(const QStringList &args, int columns, QByteArray *terminal, QString *out)
{
    int master = -1;
    int slave = -1;
    winsize size{};
    size.ws_col = ushort(columns);
    size.ws_row = 24;
    if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0)
        return -1;
    auto closeMaster = qScopeGuard([master] { ::close(master); });
    // Bytes as the program wrote them: no "\n" made "\r\n".
    termios modes{};
    ::tcgetattr(slave, &modes);
    modes.c_oflag &= ~tcflag_t(OPOST);
    ::tcsetattr(slave, TCSANOW, &modes);
    QProcess p;
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("TERM"), QStringLiteral("xterm"));
    env.remove(QStringLiteral("COLUMNS"));
    p.setProcessEnvironment(env);
    p.setChildProcessModifier([slave] { ::dup2(slave, STDERR_FILENO); });
    p.start(QStringLiteral(QUILLON_CLI_PATH), args);
    p.closeWriteChannel();
    ::close(slave);
    // Drained while it runs: a full terminal would hold the program up.
    QDeadlineTimer deadline(120000);
    for (;;) {
        pollfd ready{master, POLLIN, 0};
        if (::poll(&ready, 1, 50) > 0) {
            char buffer[4096];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) {
                terminal->append(buffer, n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            break; // EIO: nobody holds the terminal any more
        }
        if (deadline.hasExpired())
            return -1;
    }
    if (!p.waitForFinished(120000))
        return -1;
    *out = QString::fromUtf8(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
}

// Sixty photo-sized PNGs: a run over them lasts long enough to be stopped midway.
QString TestCli::manyImages()
{
    const QString many = m_dir.filePath(QStringLiteral("many"));
    if (QDir(many).exists())
        return many;
    QDir().mkpath(many);
    // Large enough that a run is still going when the test interrupts it.
    QImage img(1200, 800, QImage::Format_RGB888);
    for (int i = 0; i < 60; ++i) {
        for (int y = 0; y < img.height(); ++y) {
            uchar *row = img.scanLine(y);
            for (int x = 0; x < img.width() * 3; ++x)
                row[x] = uchar((x * 7 + y * 3 + i * 11 + (x * y) % 13) & 0xff);
        }
        img.save(many + QStringLiteral("/p%1.png").arg(i), "PNG");
    }
    return many;
}

QString TestCli::freshOutput()
{
    const QString d = m_dir.filePath(QStringLiteral("out%1").arg(++m_outputs));
    QDir().mkpath(d);
    return d;
}

void TestCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("says");
    const QString img = QStringLiteral("IMAGES");
    const QString out = QStringLiteral("OUT");
    QTest::newRow("nothing") << QStringList{} << QStringLiteral("no image");
    QTest::newRow("no output") << QStringList{img} << QStringLiteral("output folder");
    QTest::newRow("bad mode") << QStringList{QStringLiteral("-o"), out, QStringLiteral("-m"), QStringLiteral("zip"), img} << QStringLiteral("mode");
    QTest::newRow("combine without name") << QStringList{QStringLiteral("-o"), out, QStringLiteral("-m"), QStringLiteral("combine"), img} << QStringLiteral("name");
    QTest::newRow("bad compression") << QStringList{QStringLiteral("-o"), out, QStringLiteral("-c"), QStringLiteral("zip"), img} << QStringLiteral("compression");
    QTest::newRow("bad pages") << QStringList{QStringLiteral("-o"), out, QStringLiteral("-p"), QStringLiteral("1-"), img} << QStringLiteral("--pages");
    QTest::newRow("step zero") << QStringList{QStringLiteral("-o"), out, QStringLiteral("-p"), QStringLiteral("step:0"), img} << QStringLiteral("step");
    QTest::newRow("missing output folder") << QStringList{QStringLiteral("-o"), QStringLiteral("/nonexistent/x"), img} << QStringLiteral("does not exist");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--frobnicate"), img} << QStringLiteral("unknown option");
    QTest::newRow("value missing") << QStringList{img, QStringLiteral("-o")} << QStringLiteral("needs a value");
    QTest::newRow("threshold out of range") << QStringList{QStringLiteral("-o"), out, QStringLiteral("--bilevel"), QStringLiteral("threshold:255"), img}
                                            << QStringLiteral("from 1 to 254");
    QTest::newRow("unknown bilevel") << QStringList{QStringLiteral("-o"), out, QStringLiteral("--bilevel=dither:random"), img}
                                     << QStringLiteral("--bilevel");
    QTest::newRow("unknown existing") << QStringList{QStringLiteral("-o"), out, QStringLiteral("--existing"), QStringLiteral("overwrite"), img}
                                      << QStringLiteral("--existing takes replace, keep-both or skip");
    QTest::newRow("shard past its count") << QStringList{QStringLiteral("-o"), out, QStringLiteral("--shard"), QStringLiteral("4/3"), img}
                                          << QStringLiteral("1 <= K <= N");
    QTest::newRow("shard zero") << QStringList{QStringLiteral("-o"), out, QStringLiteral("--shard=0/3"), img} << QStringLiteral("1 <= K <= N");
    QTest::newRow("shard without count") << QStringList{QStringLiteral("-o"), out, QStringLiteral("--shard"), QStringLiteral("2"), img}
                                         << QStringLiteral("--shard takes K/N");
    QTest::newRow("shard from no scheduler") << QStringList{QStringLiteral("-o"), out, QStringLiteral("--shard"), QStringLiteral("env"), img}
                                             << QStringLiteral("neither SLURM_ARRAY_TASK_ID nor JOB_COMPLETION_INDEX");
    QTest::newRow("list missing") << QStringList{QStringLiteral("-o"), out, QStringLiteral("--files-from"), QStringLiteral("/nonexistent/l.txt")}
                                  << QStringLiteral("cannot read the list");
    QTest::newRow("mirror root missing") << QStringList{QStringLiteral("-o"), out, QStringLiteral("--mirror-from"), QStringLiteral("/nonexistent/d"), img}
                                         << QStringLiteral("folder to mirror");
    QTest::newRow("log folder missing") << QStringList{QStringLiteral("-o"), out, QStringLiteral("--log-dir"), QStringLiteral("/nonexistent/d"), img}
                                        << QStringLiteral("no writable folder");
    const QStringList deflate{QStringLiteral("-o"), out, QStringLiteral("-c"), QStringLiteral("deflate"), img};
    QTest::newRow("deflate level too high") << (deflate + QStringList{QStringLiteral("--level"), QStringLiteral("10")})
                                            << QStringLiteral("--level for deflate takes a whole number from 1 to 9");
    QTest::newRow("level zero") << (deflate + QStringList{QStringLiteral("--level=0")}) << QStringLiteral("--level takes a whole number");
    QTest::newRow("level for lzw") << QStringList{QStringLiteral("-o"), out, QStringLiteral("--level"), QStringLiteral("3"),
                                                  QStringLiteral("-c"), QStringLiteral("lzw"), img}
                                   << QStringLiteral("--level applies to deflate and zstd only");
    QTest::newRow("quality for zstd") << QStringList{QStringLiteral("-o"), out, QStringLiteral("-c"), QStringLiteral("zstd"),
                                                     QStringLiteral("--quality"), QStringLiteral("50"), img}
                                      << QStringLiteral("--quality applies to jpeg only");
    QTest::newRow("quality 101") << QStringList{QStringLiteral("-o"), out, QStringLiteral("-c"), QStringLiteral("jpeg"),
                                                QStringLiteral("--quality"), QStringLiteral("101"), img}
                                 << QStringLiteral("--quality takes a whole number from 1 to 100");
    QTest::newRow("dpi zero") << QStringList{QStringLiteral("-o"), out, QStringLiteral("--dpi"), QStringLiteral("0"), img}
                              << QStringLiteral("--dpi takes a whole number from 1 to 10000");
    QTest::newRow("dpi not a number") << QStringList{QStringLiteral("-o"), out, QStringLiteral("--dpi=300dpi"), img}
                                      << QStringLiteral("--dpi takes a whole number");
    QTest::newRow("unknown metadata") << QStringList{QStringLiteral("-o"), out, QStringLiteral("--metadata"), QStringLiteral("all"), img}
                                      << QStringLiteral("--metadata takes keep or strip");
    QTest::newRow("unknown progress") << QStringList{QStringLiteral("-o"), out, QStringLiteral("--progress"), QStringLiteral("bogus"), img}
                                      << QStringLiteral("--progress takes bar, lines or none, not \"bogus\"");
    QTest::newRow("progress without value") << QStringList{QStringLiteral("-o"), out, img, QStringLiteral("--progress")}
                                            << QStringLiteral("--progress needs a value");
    QTest::newRow("failed list nowhere") << QStringList{QStringLiteral("-o"), out, QStringLiteral("--failed-list"), QStringLiteral("/nonexistent/x.txt"), img}
                                         << QStringLiteral("cannot write the failed list");
}

void TestCli::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, says);
    const QString out = freshOutput();
    args.replaceInStrings(QStringLiteral("IMAGES"), m_images);
    args.replaceInStrings(QStringLiteral("OUT"), out);
    QString err;
    QCOMPARE(run(args, nullptr, &err), 2);
    QVERIFY2(err.contains(says), qPrintable(err));
    QVERIFY(QDir(out).isEmpty());
}

// The options --help names, short and long ("-o", "--output").
static QStringList helpOptions(const QString &help, bool withShort)
{
    static const QRegularExpression option(QStringLiteral("^  (?:(-[a-zA-Z]), |    )(--[a-z][a-z-]*)"));
    QStringList found;
    for (const QString &line : help.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = option.match(line);
        if (!m.hasMatch())
            continue;
        if (withShort && !m.captured(1).isEmpty())
            found << m.captured(1);
        found << m.captured(2);
    }
    found.sort();
    return found;
}

static QString readText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly | QIODevice::Text) ? QString::fromUtf8(f.readAll()) : QString();
}

// What runs `program` with `args` prints; its exit status in *code.
static QString output(const QString &program, const QStringList &args, int *code, const QString &folder = QString())
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (!folder.isEmpty())
        p.setWorkingDirectory(folder);
    p.start(program, args);
    p.closeWriteChannel();
    *code = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAll());
}

void TestCli::help_data()
{
    QTest::addColumn<QString>("where"); // a file that must name exactly the options --help names
    QTest::newRow("README") << QStringLiteral(QUILLON_README_PATH);
    QTest::newRow("man page") << QStringLiteral(QUILLON_MAN_DIR "/quillon-convert.1");
    QTest::newRow("man page of edition 2") << QStringLiteral(QUILLON_MAN_DIR "/QuillonConverter2.1");
    QTest::newRow("man page of edition 1") << QStringLiteral(QUILLON_MAN_DIR "/QuillonConverter1.1");
    QTest::newRow("bash") << QStringLiteral(QUILLON_COMPLETIONS_DIR "/quillon-convert.bash");
    QTest::newRow("zsh") << QStringLiteral(QUILLON_COMPLETIONS_DIR "/_quillon-convert");
    QTest::newRow("fish") << QStringLiteral(QUILLON_COMPLETIONS_DIR "/quillon-convert.fish");
}

// README, the manual pages and the shells' completions cannot drift from --help.
void TestCli::help()
{
    QFETCH(QString, where);
    QString out;
    QCOMPARE(run({QStringLiteral("--help")}, &out), 0);
    QVERIFY(out.contains(QStringLiteral("Usage: quillon-convert")));
    const QString text = readText(where);
    QVERIFY2(!text.isEmpty(), qPrintable(where));
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    int code = 0;
    if (tag == QLatin1String("README")) {
        // README's command-line section quotes the text, indented as a code block.
        const qsizetype from = text.indexOf(QStringLiteral("\n    Usage: quillon-convert"));
        QVERIFY(from >= 0);
        QString quoted;
        for (const QString &line : text.mid(from + 1).split(QLatin1Char('\n'))) {
            if (!line.isEmpty() && !line.startsWith(QStringLiteral("    ")))
                break;
            quoted += line.mid(4) + QLatin1Char('\n');
        }
        QCOMPARE(quoted.trimmed(), out.trimmed());
        return;
    }
    if (tag.startsWith(QLatin1String("man page"))) {
        // Renders without a single warning, and man-db finds its name line.
        QCOMPARE(output(QStringLiteral("groff"), {QStringLiteral("-ww"), QStringLiteral("-z"), QStringLiteral("-man"), where}, &code), QString());
        QCOMPARE(code, 0);
        const QString name = output(QStringLiteral("lexgrog"), {where}, &code);
        QVERIFY2(code == 0 && name.contains(QStringLiteral(" - convert images into TIFF files")), qPrintable(name));
        for (const char *section : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "ENVIRONMENT", "FILES", "EXAMPLES", "SEE ALSO"})
            QVERIFY2(text.contains(QStringLiteral("\n.SH %1\n").arg(QLatin1String(section))), section);
        if (tag != QLatin1String("man page"))
            return; // the windows' pages: their options are not quillon-convert's
        // Each option heads a .TP paragraph of the OPTIONS section.
        const QString options = text.section(QStringLiteral("\n.SH OPTIONS\n"), 1).section(QStringLiteral("\n.SH "), 0, 0);
        static const QRegularExpression named(QStringLiteral("\\\\fB(-{1,2}[a-zA-Z][a-z-]*)\\\\fR"));
        QStringList listed;
        const QStringList lines = QString(options).replace(QStringLiteral("\\-"), QStringLiteral("-")).split(QLatin1Char('\n'));
        for (qsizetype i = 1; i < lines.size(); ++i) {
            if (lines.at(i - 1) != QLatin1String(".TP"))
                continue;
            for (const QRegularExpressionMatch &m : named.globalMatch(lines.at(i)))
                listed << m.captured(1);
        }
        listed.sort();
        QCOMPARE(listed, helpOptions(out, true));
        return;
    }
    // Every long option, and nothing --help does not know.
    const QString shell = tag;
    const QString checked = output(shell, {QStringLiteral("-n"), where}, &code);
    QVERIFY2(code == 0 && checked.isEmpty(), qPrintable(shell + QStringLiteral(": ") + checked));
    static const QRegularExpression longOption(QStringLiteral("(?<![\\w-])--([a-z][a-z-]*)"));
    static const QRegularExpression fishOption(QStringLiteral("^complete\\b.*? -l ([a-z][a-z-]*)"), QRegularExpression::MultilineOption);
    QStringList named;
    for (const QRegularExpressionMatch &m : (shell == QLatin1String("fish") ? fishOption : longOption).globalMatch(text))
        named << QStringLiteral("--") + m.captured(1);
    named.sort();
    named.removeDuplicates();
    QCOMPARE(named, helpOptions(out, false));
}

void TestCli::bashCompletes_data()
{
    QTest::addColumn<QStringList>("words"); // after the command, as bash splits them; the last is completed
    QTest::addColumn<QStringList>("offered");
    QTest::newRow("compressions") << QStringList{QStringLiteral("-c"), QString()}
        << QStringList{QStringLiteral("auto"), QStringLiteral("deflate"), QStringLiteral("g3"), QStringLiteral("g4"), QStringLiteral("jpeg"),
                       QStringLiteral("lzw"), QStringLiteral("none"), QStringLiteral("packbits"), QStringLiteral("zstd")};
    QTest::newRow("progress") << QStringList{QStringLiteral("--progress"), QStringLiteral("l")} << QStringList{QStringLiteral("lines")};
    QTest::newRow("progress after =") << QStringList{QStringLiteral("--progress"), QStringLiteral("="), QString()}
        << QStringList{QStringLiteral("bar"), QStringLiteral("lines"), QStringLiteral("none")};
    QTest::newRow("modes") << QStringList{QStringLiteral("-o"), QStringLiteral("folder"), QStringLiteral("-m"), QString()}
        << QStringList{QStringLiteral("combine"), QStringLiteral("group"), QStringLiteral("single")};
    QTest::newRow("metadata") << QStringList{QStringLiteral("--metadata"), QString()} << QStringList{QStringLiteral("keep"), QStringLiteral("strip")};
    QTest::newRow("existing") << QStringList{QStringLiteral("--existing"), QStringLiteral("k")} << QStringList{QStringLiteral("keep-both")};
    // Bash splits at ":" too; what it replaces starts after it.
    QTest::newRow("bilevel after :") << QStringList{QStringLiteral("--bilevel"), QStringLiteral("dither"), QStringLiteral(":"), QString()}
        << QStringList{QStringLiteral("diffusion"), QStringLiteral("ordered")};
    QTest::newRow("an option") << QStringList{QStringLiteral("--pro")} << QStringList{QStringLiteral("--progress")};
    QTest::newRow("every option") << QStringList{QStringLiteral("--")} << QStringList{QStringLiteral("HELP")};
    QTest::newRow("output folder") << QStringList{QStringLiteral("-o"), QStringLiteral("f")} << QStringList{QStringLiteral("folder")};
    QTest::newRow("log folder") << QStringList{QStringLiteral("--log-dir"), QStringLiteral("="), QString()} << QStringList{QStringLiteral("folder")};
    QTest::newRow("list file") << QStringList{QStringLiteral("--files-from"), QStringLiteral("f")}
        << QStringList{QStringLiteral("file.png"), QStringLiteral("folder")};
    QTest::newRow("paths") << QStringList{QStringLiteral("-r"), QStringLiteral("f")} << QStringList{QStringLiteral("file.png"), QStringLiteral("folder")};
    QTest::newRow("after --, paths only") << QStringList{QStringLiteral("--"), QStringLiteral("-")} << QStringList{QStringLiteral("-odd.png")};
    QTest::newRow("a name is free text") << QStringList{QStringLiteral("-n"), QString()} << QStringList{};
}

// The bash completion, run as bash runs it on Tab.
void TestCli::bashCompletes()
{
    QFETCH(QStringList, words);
    QFETCH(QStringList, offered);
    const QString here = m_dir.filePath(QStringLiteral("completing"));
    QDir().mkpath(here + QStringLiteral("/folder"));
    for (const char *name : {"file.png", "-odd.png"}) {
        QFile f(here + QLatin1Char('/') + QLatin1String(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    if (offered == QStringList{QStringLiteral("HELP")}) {
        QString help;
        QCOMPARE(run({QStringLiteral("--help")}, &help), 0);
        offered = helpOptions(help, false);
    }
    const QString script = QStringLiteral(
        "source \"$0\" || exit 3\n"
        "f=$(complete -p quillon-convert | sed -n 's/.*-F \\([^ ]*\\).*/\\1/p')\n"
        "COMP_WORDS=(quillon-convert \"$@\"); COMP_CWORD=$#\n"
        "\"$f\" quillon-convert \"${COMP_WORDS[COMP_CWORD]}\" \"${COMP_WORDS[COMP_CWORD-1]}\" || exit 4\n"
        "printf '%s\\n' \"${COMPREPLY[@]}\"\n");
    int code = 0;
    const QString reply = output(QStringLiteral("bash"), QStringList{QStringLiteral("-c"), script,
                                 QStringLiteral(QUILLON_COMPLETIONS_DIR "/quillon-convert.bash")} + words, &code, here);
    QCOMPARE(code, 0);
    QStringList got = reply.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    got.sort();
    QCOMPARE(got, offered);
}

void TestCli::modesAndCompressions_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("compression");
    QTest::addColumn<int>("tag");
    QTest::addColumn<QStringList>("files"); // name:pages
    QTest::addColumn<bool>("later");        // the HEIF, WebP, JPEG XL and AVIF folder
    const QStringList single{QStringLiteral("a1.tiff:1"), QStringLiteral("a2.tiff:1"), QStringLiteral("a3.tiff:1"),
                             QStringLiteral("a4.tiff:3"), QStringLiteral("a10.tiff:1")};
    const QStringList combined{QStringLiteral("Book.tiff:7")};
    const QStringList grouped{QStringLiteral("Book1.tiff:3"), QStringLiteral("Book2.tiff:4")};
    const QList<std::pair<QString, int>> compressions{{QStringLiteral("none"), 1}, {QStringLiteral("g3"), 3}, {QStringLiteral("g4"), 4},
                                                      {QStringLiteral("lzw"), 5}, {QStringLiteral("packbits"), 32773},
                                                      {QStringLiteral("deflate"), 8}, {QStringLiteral("zstd"), 50000}};
    for (const auto &[c, tag] : compressions) {
        QTest::addRow("single %s", qPrintable(c)) << QStringLiteral("single") << c << tag << single << false;
        QTest::addRow("combine %s", qPrintable(c)) << QStringLiteral("combine") << c << tag << combined << false;
        QTest::addRow("group %s", qPrintable(c)) << QStringLiteral("group") << c << tag << grouped << false;
    }
    // A HEIF file's images are its pages.
    QTest::newRow("single lzw, later formats") << QStringLiteral("single") << QStringLiteral("lzw") << 5
        << QStringList{QStringLiteral("a5.tiff:2"), QStringLiteral("a6.tiff:1"), QStringLiteral("a7.tiff:1"), QStringLiteral("a8.tiff:1")} << true;
    QTest::newRow("combine none, later formats") << QStringLiteral("combine") << QStringLiteral("none") << 1
        << QStringList{QStringLiteral("Book.tiff:5")} << true;
    QTest::newRow("group packbits, later formats") << QStringLiteral("group") << QStringLiteral("packbits") << 32773
        << QStringList{QStringLiteral("Book1.tiff:4"), QStringLiteral("Book2.tiff:1")} << true;
}

void TestCli::modesAndCompressions()
{
    QFETCH(QString, mode);
    QFETCH(QString, compression);
    QFETCH(int, tag);
    QFETCH(QStringList, files);
    QFETCH(bool, later);
    const QString out = freshOutput();
    QString stdOut;
    QString stdErr;
    const int code = run({QStringLiteral("-o"), out, QStringLiteral("-m"), mode, QStringLiteral("-n"), QStringLiteral("Book"),
                          QStringLiteral("-g"), QStringLiteral("3"), QStringLiteral("-c"), compression, later ? m_laterFormats : m_images},
                         &stdOut, &stdErr);
    QVERIFY2(code == 0, qPrintable(stdOut + stdErr));
    QVERIFY(stdOut.contains(QStringLiteral("All files created successfully.")));
    QStringList expectedNames;
    for (const QString &f : files) {
        const QString name = f.section(QLatin1Char(':'), 0, 0);
        expectedNames << name;
        int c = 0;
        QCOMPARE(tiffPages(out + QLatin1Char('/') + name, &c), f.section(QLatin1Char(':'), 1).toInt());
        QCOMPARE(c, tag);
    }
    QStringList present = QDir(out).entryList(QDir::Files | QDir::Hidden);
    present.sort();
    expectedNames.sort();
    QCOMPARE(present, expectedNames);
    const QString logLine = stdOut.section(QStringLiteral("Log: "), 1).section(QLatin1Char('\n'), 0, 0);
    QVERIFY2(QFile::exists(logLine), qPrintable(stdOut));
    QVERIFY(logLine.contains(QStringLiteral("Orvanta/QuillonConverter2/Logs/")));
}

void TestCli::badFilesAndMissingPaths()
{
    const QString bad = m_dir.filePath(QStringLiteral("bad"));
    QDir().mkpath(bad);
    QFile text(bad + QStringLiteral("/text.jpg"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("hello");
    text.close();
    QFile(bad + QStringLiteral("/zero.png")).open(QIODevice::WriteOnly);
    makeImage(bad + QStringLiteral("/good.png"), 10, 10, "PNG");
    QFile png(bad + QStringLiteral("/good.png"));
    QVERIFY(png.open(QIODevice::ReadOnly));
    const QByteArray bytes = png.readAll();
    QFile truncated(bad + QStringLiteral("/truncated.png"));
    QVERIFY(truncated.open(QIODevice::WriteOnly));
    truncated.write(bytes.left(bytes.size() / 2));
    truncated.close();

    const QString out = freshOutput();
    QString stdOut;
    QString stdErr;
    const int code = run({QStringLiteral("-o"), out, bad, QStringLiteral("/nonexistent/file.png")}, &stdOut, &stdErr);
    QCOMPARE(code, 1);
    QVERIFY(stdErr.contains(QStringLiteral("/nonexistent/file.png: no such file or folder")));
    QVERIFY(stdOut.contains(QStringLiteral("Total 1 files created successfully.")));
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("good.tiff")});
    QVERIFY(stdErr.contains(QStringLiteral("Unable to load image!")));

    // One combined file is created, yet three sources were lost: not a success.
    const QString combined = freshOutput();
    const int combineCode = run({QStringLiteral("-q"), QStringLiteral("-m"), QStringLiteral("combine"), QStringLiteral("-n"),
                                 QStringLiteral("all"), QStringLiteral("-o"), combined, bad},
                                &stdOut, &stdErr);
    QCOMPARE(combineCode, 1);
    QVERIFY2(stdOut.contains(QStringLiteral("Files created: 1 of 1")), qPrintable(stdOut));
    QVERIFY2(stdOut.contains(QStringLiteral("Sources or pages not converted: 3")), qPrintable(stdOut));
    QCOMPARE(QDir(combined).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("all.tiff")});

    // Nothing but a path that names nothing: no success either.
    QCOMPARE(run({QStringLiteral("-q"), QStringLiteral("-o"), freshOutput(), QStringLiteral("/nonexistent/file.png")}, &stdOut, &stdErr), 1);
    QVERIFY2(stdOut.contains(QStringLiteral("Paths not found: 1")), qPrintable(stdOut));

    // The same folder without its bad files converts cleanly.
    for (const char *name : {"text.jpg", "zero.png", "truncated.png"})
        QVERIFY(QFile::remove(bad + QLatin1Char('/') + QLatin1String(name)));
    const QString clean = freshOutput();
    QCOMPARE(run({QStringLiteral("-q"), QStringLiteral("-m"), QStringLiteral("combine"), QStringLiteral("-n"),
                  QStringLiteral("all"), QStringLiteral("-o"), clean, bad},
                 &stdOut, &stdErr),
             0);
    QVERIFY(!stdOut.contains(QStringLiteral("not converted")));
}

void TestCli::pageSelectionAndRecursion()
{
    const QString tree = m_dir.filePath(QStringLiteral("tree"));
    QDir().mkpath(tree + QStringLiteral("/sub/deeper"));
    QDir().mkpath(tree + QStringLiteral("/.secret"));
    makeTiff(tree + QStringLiteral("/top.tif"), 6);
    makeTiff(tree + QStringLiteral("/sub/deeper/low.TIFF"), 6);
    makeTiff(tree + QStringLiteral("/.secret/hidden.tif"), 6);

    const QString flat = freshOutput();
    QCOMPARE(run({QStringLiteral("-q"), QStringLiteral("-o"), flat, QStringLiteral("-p"), QStringLiteral("rstep:2"), tree}), 0);
    QCOMPARE(QDir(flat).entryList(QDir::Files), QStringList{QStringLiteral("top.tiff")});
    QCOMPARE(tiffPages(flat + QStringLiteral("/top.tiff")), 3);

    const QString deep = freshOutput();
    QCOMPARE(run({QStringLiteral("-r"), QStringLiteral("-o"), deep, QStringLiteral("-p"), QStringLiteral("2-3,6-5"), tree}), 0);
    QCOMPARE(QDir(deep).entryList(QDir::Files), (QStringList{QStringLiteral("low.tiff"), QStringLiteral("top.tiff")}));
    QCOMPARE(tiffPages(deep + QStringLiteral("/low.tiff")), 4);
}

void TestCli::progressNamesEachPair_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("perFile"); // sources per output file; 0: one file in all
    QTest::addColumn<bool>("lines");  // else nothing at all on stderr
    const QStringList single{QStringLiteral("-m"), QStringLiteral("single")};
    // Through a pipe the lines are the default.
    QTest::newRow("single files") << single << 1 << true;
    QTest::newRow("groups of 3") << QStringList{QStringLiteral("-m"), QStringLiteral("group"), QStringLiteral("-n"),
                                                QStringLiteral("G"), QStringLiteral("-g"), QStringLiteral("3")} << 3 << true;
    QTest::newRow("one file") << QStringList{QStringLiteral("-m"), QStringLiteral("combine"), QStringLiteral("-n"),
                                             QStringLiteral("All")} << 0 << true;
    QTest::newRow("lines asked for") << (single + QStringList{QStringLiteral("--progress=lines")}) << 1 << true;
    QTest::newRow("the last choice wins") << (single + QStringList{QStringLiteral("-q"), QStringLiteral("--progress"), QStringLiteral("lines")})
                                          << 1 << true;
    QTest::newRow("none") << (single + QStringList{QStringLiteral("--progress"), QStringLiteral("none")}) << 1 << false;
    QTest::newRow("quiet") << (single + QStringList{QStringLiteral("-q")}) << 1 << false;
}

// With several files in work, each progress line pairs a source with its own
// output and its own place in the plan (the plan: the folder's names in
// counting order), each source once, and the stream holds nothing else.
void TestCli::progressNamesEachPair()
{
    QFETCH(QStringList, options);
    QFETCH(int, perFile);
    QFETCH(bool, lines);
    const QString folder = m_dir.filePath(QStringLiteral("pairs"));
    QStringList planned;
    if (!QDir(folder).exists()) {
        QDir().mkpath(folder);
        for (int i = 1; i <= 12; ++i)
            makeImage(folder + QStringLiteral("/s%1.png").arg(i), 300 + 40 * (i % 4), 200, "PNG");
    }
    for (int i = 1; i <= 12; ++i)
        planned << QStringLiteral("s%1.png").arg(i);
    QString out;
    QString err;
    QCOMPARE(run(QStringList{QStringLiteral("-j"), QStringLiteral("3"), QStringLiteral("-c"), QStringLiteral("lzw"),
                             QStringLiteral("-o"), freshOutput()} + options + QStringList{folder}, &out, &err), 0);
    QVERIFY2(out.contains(QStringLiteral("Files created: ")), qPrintable(out));
    if (!lines) {
        QCOMPARE(err, QString());
        return;
    }
    static const QRegularExpression line(QStringLiteral("^\\[(\\d+)/(\\d+)\\] (\\S+) -> (\\S+)$"));
    QVERIFY2(err.endsWith(QLatin1Char('\n')), qPrintable(err));
    QSet<int> seen;
    for (const QString &l : err.chopped(1).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = line.match(l);
        QVERIFY2(m.hasMatch(), qPrintable(l));
        const int index = m.captured(1).toInt();
        QCOMPARE(m.captured(2).toInt(), planned.size());
        QVERIFY2(index >= 1 && index <= planned.size(), qPrintable(l));
        QCOMPARE(m.captured(3), planned.at(index - 1));
        const QString expected = perFile == 1 ? QFileInfo(planned.at(index - 1)).completeBaseName() + QStringLiteral(".tiff")
            : perFile == 0                    ? QStringLiteral("All.tiff")
                                              : QStringLiteral("G%1.tiff").arg((index - 1) / perFile + 1);
        QCOMPARE(m.captured(4), expected);
        QVERIFY2(!seen.contains(index), qPrintable(l));
        seen.insert(index);
    }
    QCOMPARE(seen.size(), planned.size());
}

void TestCli::progressBarOnATerminal_data()
{
    QTest::addColumn<QString>("folder");  // "many" photos, or "odd" names
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("sources");
    QTest::addColumn<int>("broken");      // sources that cannot be read
    QTest::newRow("photos, 60 columns") << QStringLiteral("many") << 60 << 60 << 0;
    QTest::newRow("photos, 24 columns") << QStringLiteral("many") << 24 << 60 << 0;
    QTest::newRow("odd names and a broken file") << QStringLiteral("odd") << 40 << 5 << 1;
}

// On a terminal the progress is one line redrawn in place, fitted to its
// width, cleared at the end; a logged line clears it first, and a name can
// neither break the line nor send the terminal commands.
void TestCli::progressBarOnATerminal()
{
    QFETCH(QString, folder);
    QFETCH(int, columns);
    QFETCH(int, sources);
    QFETCH(int, broken);
    QString source = manyImages();
    if (folder == QLatin1String("odd")) {
        source = m_dir.filePath(QStringLiteral("odd"));
        if (!QDir(source).exists()) {
            QDir().mkpath(source);
            for (const QString &name : {QStringLiteral("line\nbreak.png"), QStringLiteral("red\x1b[31mtext.png"),
                                        QStringLiteral("a%1.png").arg(QString(120, QLatin1Char('n'))), QStringLiteral("plain.png")})
                makeImage(source + QLatin1Char('/') + name, 40, 30, "PNG");
            QFile bad(source + QStringLiteral("/zz-broken.png"));
            QVERIFY(bad.open(QIODevice::WriteOnly));
            bad.write("not an image");
        }
    }
    QByteArray terminal;
    QString out;
    const int code = runOnTerminal({QStringLiteral("-j"), QStringLiteral("2"), QStringLiteral("-c"), QStringLiteral("lzw"),
                                    QStringLiteral("-o"), freshOutput(), source}, columns, &terminal, &out);
    QCOMPARE(code, broken ? 1 : 0);
    QVERIFY2(out.contains(QStringLiteral("Files created: %1 of %2").arg(sources - broken).arg(sources)), qPrintable(out));
    QVERIFY(!terminal.contains("Total Time Taken") && !terminal.contains("In Process"));
    // It ends cleared, so what follows starts on an empty line.
    QVERIFY2(terminal.endsWith("\r\x1b[K"), terminal.right(80).constData());
    QVERIFY2(!QByteArray(terminal).replace("\x1b[K", "").contains('\x1b'), terminal.constData());

    int drawn = 0;
    int logged = 0;
    for (QByteArray piece : terminal.split('\r')) {
        const bool cleared = piece.startsWith("\x1b[K");
        piece.replace("\x1b[K", "");
        if (piece.isEmpty())
            continue;
        if (piece.contains('\n')) {
            // Only logged lines end a line, and only after the bar was cleared.
            QVERIFY2((cleared || drawn == 0) && piece.startsWith("Unable to load image!") && piece.indexOf('\n') == piece.size() - 1,
                     piece.constData());
            ++logged;
            continue;
        }
        ++drawn;
        const QString text = QString::fromUtf8(piece);
        QVERIFY2(text.size() < columns, piece.constData());
        QVERIFY2(text.contains(QStringLiteral("/%1").arg(sources)), piece.constData());
    }
    QCOMPARE(logged, broken);
    QVERIFY2(drawn >= 1, terminal.constData());
    if (folder == QLatin1String("many")) {
        // A run of seconds is redrawn again and again, yet never per byte.
        QVERIFY2(drawn >= 3, terminal.constData());
        QVERIFY2(drawn <= 60 * 4, terminal.constData());
    }
}

void TestCli::interruptCancels()
{
    const QString many = manyImages();
    const QString out = freshOutput();
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(QUILLON_CLI_PATH), {QStringLiteral("-o"), out, QStringLiteral("-c"), QStringLiteral("lzw"), many});
    QVERIFY(p.waitForStarted());
    QByteArray err;
    // Past the first source (lines may skip numbers while several are in work).
    static const QRegularExpression begunSecond(QStringLiteral("\\[([2-9]|[1-5][0-9])/60\\]"));
    QTRY_VERIFY_WITH_TIMEOUT(QString::fromUtf8(err += p.readAllStandardError()).contains(begunSecond), 30000);
    // After the first file is made.
    QTRY_VERIFY_WITH_TIMEOUT(!QDir(out).entryList(QDir::Files).isEmpty(), 30000);
    // A finished process has no id, and kill(0) would hit the test's own process group.
    QVERIFY(p.state() == QProcess::Running && p.processId() > 0);
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 1);
    const QString stdOut = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(stdOut.contains(QStringLiteral("Process cancelled!")), qPrintable(stdOut));
    const int written = int(QDir(out).entryList(QDir::Files).size());
    QVERIFY(written >= 1 && written < 60);
    // No temporary file is left behind.
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), written);
}

void TestCli::killedRunLeavesNothing_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("hiddenTemporaries");
    for (bool hidden : {false, true}) {
        const char *how = hidden ? "hidden temporaries" : "unnamed temporaries";
        QTest::addRow("single, %s", how) << QStringLiteral("single") << hidden;
        QTest::addRow("combine, %s", how) << QStringLiteral("combine") << hidden;
    }
}

// A run killed outright (a crash, a power cut, a logout) leaves only whole
// TIFFs under visible names, and at most the one hidden temporary it was
// writing where the file system has no unnamed files; the next run in that
// folder removes it.
void TestCli::killedRunLeavesNothing()
{
    QFETCH(QString, mode);
    QFETCH(bool, hiddenTemporaries);
    m_hiddenTemporaries = hiddenTemporaries;
    auto restore = qScopeGuard([this] { m_hiddenTemporaries = false; });
    const QString many = manyImages();
    const QString out = freshOutput();
    const QStringList args{QStringLiteral("-o"), out, QStringLiteral("-m"), mode, QStringLiteral("-n"), QStringLiteral("all"),
                           QStringLiteral("-c"), QStringLiteral("lzw"), many};

    QProcess p;
    p.setProcessEnvironment(environment());
    p.setReadChannel(QProcess::StandardError);
    p.start(QStringLiteral(QUILLON_CLI_PATH), args);
    QVERIFY(p.waitForStarted());
    QByteArray err;
    // Some way into the run (lines may skip numbers while several sources are in work).
    static const QRegularExpression begunThird(QStringLiteral("\\[([3-9]|[1-5][0-9])/60\\]"));
    while (!QString::fromUtf8(err).contains(begunThird) && p.waitForReadyRead(30000))
        err += p.readAllStandardError();
    QVERIFY(p.state() == QProcess::Running && p.processId() > 0);
    ::kill(pid_t(p.processId()), SIGKILL);
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitStatus(), QProcess::CrashExit); // stopped midway, not at the end

    const QStringList visible = QDir(out).entryList(QDir::Files);
    QStringList hidden = QDir(out).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : visible)
        hidden.removeOne(name);
    if (mode == QLatin1String("combine"))
        QCOMPARE(visible, QStringList());
    QVERIFY2(visible.size() < 60, qPrintable(visible.join(QLatin1Char(' '))));
    for (const QString &name : visible)
        QVERIFY2(completeTiff(out + QLatin1Char('/') + name), qPrintable(name));
    if (hiddenTemporaries) {
        // One per file in work: the run converts one file per core at once.
        QVERIFY2(hidden.size() <= std::max(1, QThread::idealThreadCount()), qPrintable(hidden.join(QLatin1Char(' '))));
        for (const QString &name : hidden)
            QVERIFY2(QRegularExpression(QStringLiteral("^\\.qc-[0-9a-z]{10}\\.tmp$")).match(name).hasMatch(), qPrintable(name));
    } else {
        QCOMPARE(hidden, QStringList());
    }

    // A killed writer's temporary is removed once it has not been written
    // for an hour (a live writer's, where locks are local to another host,
    // is always younger): kept by a run now, removed by a run two hours on.
    QString stdOut;
    if (!hidden.isEmpty()) {
        QCOMPARE(run(QStringList{QStringLiteral("-q")} + args, &stdOut), 0);
        for (const QString &name : std::as_const(hidden))
            QVERIFY2(QFile::exists(out + QLatin1Char('/') + name), qPrintable(name));
        const timespec twoHoursAgo[2] = {{::time(nullptr) - 7200, 0}, {::time(nullptr) - 7200, 0}};
        for (const QString &name : std::as_const(hidden))
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(out + QLatin1Char('/') + name).constData(), twoHoursAgo, 0), 0);
    }
    QCOMPARE(run(QStringList{QStringLiteral("-q")} + args, &stdOut), 0);
    QStringList expected;
    if (mode == QLatin1String("combine"))
        expected << QStringLiteral("all.tiff");
    else
        for (int i = 0; i < 60; ++i)
            expected << QStringLiteral("p%1.tiff").arg(i);
    expected.sort();
    QStringList present = QDir(out).entryList(QDir::Files | QDir::Hidden);
    present.sort();
    QCOMPARE(present, expected);
    for (const QString &name : present)
        QVERIFY2(completeTiff(out + QLatin1Char('/') + name), qPrintable(name));
}

void TestCli::existingNames_data()
{
    QTest::addColumn<QString>("policy");
    QTest::addColumn<int>("files");
    QTest::addColumn<QString>("says");
    QTest::addColumn<QString>("status");
    QTest::newRow("replace") << QStringLiteral("replace") << 5 << QStringLiteral("All files created successfully.") << QStringLiteral("Completed");
    QTest::newRow("keep both") << QStringLiteral("keep-both") << 10 << QStringLiteral("All files created successfully.") << QStringLiteral("Completed");
    QTest::newRow("skip") << QStringLiteral("skip") << 5 << QStringLiteral("Files skipped (name taken): 5") << QStringLiteral("Skipped: file exists");
}

// The second run into the same folder finds every name taken.
void TestCli::existingNames()
{
    QFETCH(QString, policy);
    QFETCH(int, files);
    QFETCH(QString, says);
    QFETCH(QString, status);
    const QString out = freshOutput();
    const QStringList args{QStringLiteral("-q"), QStringLiteral("-o"), out, QStringLiteral("--existing"), policy, m_images};
    QCOMPARE(run(args), 0);
    QString stdOut;
    QCOMPARE(run(args, &stdOut), 0); // skipping by choice is no failure
    QVERIFY2(stdOut.contains(says), qPrintable(stdOut));
    const QStringList present = QDir(out).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(present.size(), files);
    if (policy == QLatin1String("keep-both"))
        QVERIFY(present.contains(QStringLiteral("a4 (2).tiff")));
    QFile log(stdOut.section(QStringLiteral("Log: "), 1).section(QLatin1Char('\n'), 0, 0));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray xml = log.readAll();
    QCOMPARE(xml.count(QByteArray("Status=\"") + status.toUtf8() + '"'), policy == QLatin1String("skip") ? 5 : 5 + 7);
}

// -c auto: G4 for the black-and-white GIF, LZW for the photo. --bilevel auto
// is what g4 gave without the option; the other choices give other pixels.
void TestCli::compressionChoicesReachTheRun()
{
    const QString automatic = freshOutput();
    QCOMPARE(run({QStringLiteral("-q"), QStringLiteral("-c"), QStringLiteral("auto"), QStringLiteral("-o"), automatic,
                  m_images + QStringLiteral("/a1.png"), m_images + QStringLiteral("/a10.gif")}),
             0);
    int tag = 0;
    QCOMPARE(tiffPages(automatic + QStringLiteral("/a1.tiff"), &tag), 1);
    QCOMPARE(tag, 5);
    QCOMPARE(tiffPages(automatic + QStringLiteral("/a10.tiff"), &tag), 1);
    QCOMPARE(tag, 4);

    QStringList outputs;
    for (const QString &choice : {QString(), QStringLiteral("auto"), QStringLiteral("threshold:250"), QStringLiteral("dither:ordered"),
                                  QStringLiteral("dither:diffusion")}) {
        const QString out = freshOutput();
        QStringList args{QStringLiteral("-q"), QStringLiteral("-c"), QStringLiteral("g4"), QStringLiteral("-o"), out,
                         m_images + QStringLiteral("/a1.png")};
        if (!choice.isEmpty())
            args << QStringLiteral("--bilevel") << choice;
        QCOMPARE(run(args), 0);
        QFile f(out + QStringLiteral("/a1.tiff"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        outputs << QString::fromLatin1(f.readAll().toBase64());
    }
    QCOMPARE(outputs[1], outputs[0]);
    QCOMPARE(QSet<QString>(outputs.begin(), outputs.end()).size(), 4);
    // The options live in a record the program never stores.
    struct stat st;
    QVERIFY(::stat("/dev/null", &st) == 0 && S_ISCHR(st.st_mode));
}

// What each page of an output says: compression, photometric, resolution.
void TestCli::outputChoices_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("compression");
    QTest::addColumn<int>("photometric");
    QTest::addColumn<float>("dpi"); // 0: the source's own, whatever it is
    const QString png = QStringLiteral("a1.png"), gif = QStringLiteral("a10.gif"), tif = QStringLiteral("a4.tif");
    QTest::newRow("jpeg colour") << QStringList{QStringLiteral("-c"), QStringLiteral("jpeg")} << png << 7 << PHOTOMETRIC_YCBCR << 0.f;
    QTest::newRow("jpeg grey") << QStringList{QStringLiteral("-c"), QStringLiteral("jpeg"), QStringLiteral("--quality"), QStringLiteral("40")}
                               << tif << 7 << PHOTOMETRIC_MINISBLACK << 0.f;
    QTest::newRow("jpeg black and white goes lossless") << QStringList{QStringLiteral("-c"), QStringLiteral("jpeg")} << gif << 8
                                                        << PHOTOMETRIC_MINISWHITE << 0.f;
    QTest::newRow("zstd level 19") << QStringList{QStringLiteral("-c"), QStringLiteral("zstd"), QStringLiteral("--level"), QStringLiteral("19")}
                                   << png << 50000 << PHOTOMETRIC_RGB << 0.f;
    QTest::newRow("dpi 300") << QStringList{QStringLiteral("--dpi"), QStringLiteral("300")} << png << 1 << PHOTOMETRIC_RGB << 300.f;
    QTest::newRow("dpi on every tiff page") << QStringList{QStringLiteral("--dpi=72"), QStringLiteral("-c"), QStringLiteral("g4")} << tif << 4
                                            << PHOTOMETRIC_MINISWHITE << 72.f;
    QTest::newRow("dpi 10000 with deflate") << QStringList{QStringLiteral("--dpi"), QStringLiteral("10000"), QStringLiteral("-c"),
                                                           QStringLiteral("deflate")}
                                            << gif << 8 << PHOTOMETRIC_MINISWHITE << 10000.f;
}

void TestCli::outputChoices()
{
    QFETCH(QStringList, args);
    QFETCH(QString, source);
    QFETCH(int, compression);
    QFETCH(int, photometric);
    QFETCH(float, dpi);
    const QString out = freshOutput();
    QString stdOut, stdErr;
    QCOMPARE(run(args + QStringList{QStringLiteral("-q"), QStringLiteral("-o"), out, m_images + QLatin1Char('/') + source}, &stdOut, &stdErr), 0);
    const QString file = out + QLatin1Char('/') + QFileInfo(source).completeBaseName() + QStringLiteral(".tiff");
    QVERIFY(completeTiff(file));
    TIFF *t = TIFFOpen(QFile::encodeName(file).constData(), "r");
    QVERIFY(t);
    auto close = qScopeGuard([t] { TIFFClose(t); });
    int pages = 0;
    do {
        ++pages;
        uint16_t c = 0, ph = 0, unit = 0;
        float x = 0, y = 0;
        TIFFGetField(t, TIFFTAG_COMPRESSION, &c);
        TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &ph);
        QCOMPARE(int(c), compression);
        QCOMPARE(int(ph), photometric);
        if (dpi > 0) {
            QVERIFY(TIFFGetField(t, TIFFTAG_XRESOLUTION, &x) && TIFFGetField(t, TIFFTAG_YRESOLUTION, &y));
            QVERIFY(TIFFGetField(t, TIFFTAG_RESOLUTIONUNIT, &unit));
            QCOMPARE(x, dpi);
            QCOMPARE(y, dpi);
            QCOMPARE(int(unit), RESUNIT_INCH);
        }
    } while (TIFFReadDirectory(t));
    QCOMPARE(pages, source == QLatin1String("a4.tif") ? 3 : 1);
}

namespace {

// exiftool's reading of a file: tag name to value, as -j -n gives them.
QVariantMap exifTags(const QString &file)
{
    QProcess p;
    p.start(QStringLiteral("exiftool"), {QStringLiteral("-j"), QStringLiteral("-n"), QStringLiteral("-G1"), QStringLiteral("-a"), file});
    if (!p.waitForFinished(60000))
        return {};
    const QJsonArray list = QJsonDocument::fromJson(p.readAllStandardOutput()).array();
    return list.isEmpty() ? QVariantMap() : list.first().toObject().toVariantMap();
}

bool runExiftool(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("exiftool"), QStringList{QStringLiteral("-q"), QStringLiteral("-overwrite_original")} + args);
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

} // namespace

// Metadata carried with --metadata keep (read back with exiftool), never
// with the default; an orientation already applied to the rows becomes 1.
void TestCli::metadata_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("exif");
    QTest::addColumn<bool>("xmp");
    QTest::addColumn<bool>("iptc");
    QTest::addColumn<int>("orientation"); // of the output's rows, by the TIFF tag and XMP; 0: none written
    QTest::addColumn<bool>("rotated");    // the rows were turned upright: width and height swapped
    const QStringList keep{QStringLiteral("--metadata"), QStringLiteral("keep")};
    QTest::newRow("jpeg, turned upright") << QStringLiteral("photo.jpg") << keep << true << true << true << 0 << true;
    QTest::newRow("jpeg, stripped by default") << QStringLiteral("photo.jpg") << QStringList{} << false << false << false << 0 << true;
    QTest::newRow("jpeg to jpeg-in-tiff") << QStringLiteral("photo.jpg") << (keep + QStringList{QStringLiteral("-c"), QStringLiteral("jpeg")})
                                          << true << true << true << 0 << true;
    QTest::newRow("jpeg to g4: the black-and-white page keeps them") << QStringLiteral("photo.jpg")
                                                                     << (keep + QStringList{QStringLiteral("-c"), QStringLiteral("g4")})
                                                                     << true << true << true << 0 << true;
    QTest::newRow("png") << QStringLiteral("photo.png") << keep << true << true << false << 0 << false;
    QTest::newRow("tiff, rows as stored") << QStringLiteral("photo.tif") << (keep + QStringList{QStringLiteral("-c"), QStringLiteral("zstd")})
                                          << true << true << true << 6 << false;
    QTest::newRow("damaged exif: the rest and the pixels kept") << QStringLiteral("damaged.jpg") << keep << false << true << true << 0
                                                                << false;
}

void TestCli::metadata()
{
    QFETCH(QString, source);
    QFETCH(QStringList, args);
    QFETCH(bool, exif);
    QFETCH(bool, xmp);
    QFETCH(bool, iptc);
    QFETCH(int, orientation);
    QFETCH(bool, rotated);
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty(), "exiftool (libimage-exiftool-perl) is needed");
    const QString dir = m_dir.filePath(QStringLiteral("meta"));
    QDir().mkpath(dir);
    const QString jpg = dir + QStringLiteral("/photo.jpg"), png = dir + QStringLiteral("/photo.png");
    const QString tif = dir + QStringLiteral("/photo.tif"), damaged = dir + QStringLiteral("/damaged.jpg");
    const QStringList tags{QStringLiteral("-Make=QuillonCam"), QStringLiteral("-Artist=Ann Example"),
                           QStringLiteral("-DateTimeOriginal=2024:05:06 07:08:09"), QStringLiteral("-ExposureTime=0.005"),
                           QStringLiteral("-GPSLatitude=48.5"), QStringLiteral("-GPSLatitudeRef=N"),
                           QStringLiteral("-XMP-dc:Creator=Ann XMP"), QStringLiteral("-XMP-tiff:Orientation#=6")};
    if (!QFile::exists(jpg)) {
        makeImage(jpg, 40, 30, "JPG");
        makeImage(png, 40, 30, "PNG");
        QVERIFY(runExiftool(tags + QStringList{QStringLiteral("-Orientation#=6"), QStringLiteral("-IPTC:By-line=Ann IPTC"), jpg}));
        QVERIFY(runExiftool(tags + QStringList{png}));
        // A TIFF whose rows stay as stored: made from the JPEG's rows, orientation 6 set on it.
        makeTiff(tif, 1);
        QVERIFY(runExiftool(tags + QStringList{QStringLiteral("-Orientation#=6"), QStringLiteral("-IPTC:By-line=Ann IPTC"), tif}));
        // An EXIF block whose first directory lies outside it.
        QFile in(jpg);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QByteArray bytes = in.readAll();
        const qsizetype exif = bytes.indexOf(QByteArray("Exif\0\0", 6));
        QVERIFY(exif > 0);
        bytes[exif + 10] = char(0x7f);
        bytes[exif + 11] = char(0x7f);
        QFile out(damaged);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
    }
    const QString out = freshOutput();
    QString stdOut, stdErr;
    QCOMPARE(run(args + QStringList{QStringLiteral("-o"), out, dir + QLatin1Char('/') + source}, &stdOut, &stdErr), 0);
    const QString file = out + QLatin1Char('/') + QFileInfo(source).completeBaseName() + QStringLiteral(".tiff");
    QVERIFY(completeTiff(file));
    const QVariantMap t = exifTags(file);
    QVERIFY(!t.isEmpty());
    const QVariantMap in = exifTags(dir + QLatin1Char('/') + source);
    // Sizes as "W H" with -n.
    const QStringList size = in.value(QStringLiteral("Composite:ImageSize")).toString().split(QRegularExpression(QStringLiteral("[ x]")));
    QCOMPARE(size.size(), 2);
    QCOMPARE(t.value(QStringLiteral("IFD0:ImageWidth")).toString(), rotated ? size[1] : size[0]);
    QCOMPARE(t.value(QStringLiteral("IFD0:Make")).toString(), exif ? QStringLiteral("QuillonCam") : QString());
    QCOMPARE(t.value(QStringLiteral("IFD0:Artist")).toString(), exif ? QStringLiteral("Ann Example") : QString());
    QCOMPARE(t.value(QStringLiteral("ExifIFD:DateTimeOriginal")).toString(), exif ? QStringLiteral("2024:05:06 07:08:09") : QString());
    QCOMPARE(t.value(QStringLiteral("ExifIFD:ExposureTime")).toDouble(), exif ? 0.005 : 0.0);
    QCOMPARE(t.value(QStringLiteral("GPS:GPSLatitude")).toDouble(), exif ? 48.5 : 0.0);
    QCOMPARE(t.value(QStringLiteral("XMP-dc:Creator")).toString(), xmp ? QStringLiteral("Ann XMP") : QString());
    QCOMPARE(t.value(QStringLiteral("IPTC:By-line")).toString(), iptc ? QStringLiteral("Ann IPTC") : QString());
    // Viewers turn the rows by these: each says what the rows need, nothing more.
    QCOMPARE(t.value(QStringLiteral("IFD0:Orientation")).toInt(), orientation);
    if (xmp)
        QCOMPARE(t.value(QStringLiteral("XMP-tiff:Orientation")).toInt(), orientation ? orientation : 1);
    QVERIFY(!t.contains(QStringLiteral("IFD1:ThumbnailOffset")));
    QCOMPARE(stdErr.contains(QStringLiteral("damaged EXIF block left out")), source == QLatin1String("damaged.jpg"));
}

// The lost sources, one per line, as the import sheet reads them; an empty
// list after a clean run.
void TestCli::failedList()
{
    const QString bad = m_dir.filePath(QStringLiteral("retry"));
    QDir().mkpath(bad);
    makeImage(bad + QStringLiteral("/good.png"), 10, 10, "PNG");
    QVERIFY(QFile(bad + QStringLiteral("/broken 1.jpg")).open(QIODevice::WriteOnly));
    QFile fake(bad + QStringLiteral("/pages.tif"));
    QVERIFY(fake.open(QIODevice::WriteOnly));
    fake.write("no pages at all");
    fake.close();
    const QString list = m_dir.filePath(QStringLiteral("failed.txt"));
    QString stdOut;
    QCOMPARE(run({QStringLiteral("-q"), QStringLiteral("-m"), QStringLiteral("combine"), QStringLiteral("-n"), QStringLiteral("all"),
                  QStringLiteral("--failed-list"), list, QStringLiteral("-o"), freshOutput(), bad},
                 &stdOut),
             1);
    QVERIFY2(stdOut.contains(QStringLiteral("Failed sources listed in: ") + list), qPrintable(stdOut));
    QFile f(list);
    QVERIFY(f.open(QIODevice::ReadOnly));
    // The one file lost sources: all of them are listed, so a retry rebuilds it whole.
    QCOMPARE(f.readAll(), (bad + QStringLiteral("/broken 1.jpg\n") + bad + QStringLiteral("/good.png\n") + bad
                           + QStringLiteral("/pages.tif\n")).toUtf8());
    f.close();

    QVERIFY(QFile::remove(bad + QStringLiteral("/broken 1.jpg")));
    QVERIFY(QFile::remove(bad + QStringLiteral("/pages.tif")));
    QCOMPARE(run({QStringLiteral("-q"), QStringLiteral("--failed-list=") + list, QStringLiteral("-o"), freshOutput(), bad}, &stdOut), 0);
    QVERIFY(!stdOut.contains(QStringLiteral("Failed sources")));
    QCOMPARE(QFileInfo(list).size(), 0);
}

namespace {
// Every file below `folder` (relative path -> content).
QMap<QString, QByteArray> tree(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            files.insert(QDir(folder).relativeFilePath(f.fileName()), f.readAll());
    }
    return files;
}
} // namespace

void TestCli::filesFrom_data()
{
    QTest::addColumn<bool>("fromStdin");
    QTest::addColumn<bool>("crlf");
    QTest::addColumn<QString>("ignored");
    QTest::addColumn<QStringList>("made");
    QTest::addColumn<int>("blankLines"); // before the first path
    const QStringList all{QStringLiteral("a1.tiff"), QStringLiteral("a2.tiff"), QStringLiteral("a4.tiff"), QStringLiteral("in folder.tiff")};
    QTest::newRow("file") << false << false << QStringLiteral("1 line(s)") << all << 0;
    QTest::newRow("standard input") << true << false << QStringLiteral("1 line(s)") << all << 0;
    // As the Import sheet reads it: "\r" belongs to the name, and the run says
    // how many lines it could not take instead of converting nothing silently.
    QTest::newRow("CRLF lines") << true << true << QStringLiteral("6 line(s)") << QStringList{QStringLiteral("a4.tiff")} << 0;
    // The first path starts a few bytes before the reader's 64 KiB buffer ends.
    QTest::newRow("a line across the read buffer") << false << false << QStringLiteral("1 line(s)") << all << 65531;
}

// A list names files (absolute and relative), a folder to scan, a name twice
// and lines that are neither; it converts what the same paths on the command
// line convert and counts the lines it cannot take.
void TestCli::filesFrom()
{
    QFETCH(bool, fromStdin);
    QFETCH(bool, crlf);
    QFETCH(QString, ignored);
    QFETCH(QStringList, made);
    QFETCH(int, blankLines);
    const QString sub = m_dir.filePath(QStringLiteral("listed"));
    QDir().mkpath(sub);
    makeImage(sub + QStringLiteral("/in folder.png"), 12, 9, "PNG");
    const QString end = crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    const QString text = QString(blankLines, QLatin1Char('\n')) + m_images + QStringLiteral("/a1.png") + end + QStringLiteral("images/a2.jpg") + end + sub + end
        + m_images + QStringLiteral("/a1.png") + end + m_images + QStringLiteral("/readme.txt") + end + end
        + m_images + QStringLiteral("/a4.tif");
    QByteArray input;
    QStringList args{QStringLiteral("-q"), QStringLiteral("-o"), freshOutput(), QStringLiteral("--files-from")};
    if (fromStdin) {
        input = text.toUtf8();
        args << QStringLiteral("-");
    } else {
        QFile list(m_dir.filePath(QStringLiteral("list.txt")));
        QVERIFY(list.open(QIODevice::WriteOnly | QIODevice::Truncate));
        list.write(text.toUtf8());
        args << list.fileName();
    }
    // Relative lines are taken against the working folder.
    QProcess p;
    p.setProcessEnvironment(environment());
    p.setWorkingDirectory(m_dir.path());
    p.start(QStringLiteral(QUILLON_CLI_PATH), args);
    p.write(input);
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(120000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitCode(), 0);
    QVERIFY2(err.contains(ignored), qPrintable(err));
    QCOMPARE(tree(args.at(2)).keys(), made);
    QVERIFY(QFile::remove(sub + QStringLiteral("/in folder.png")));
}

// Shards of one list, each its own process, with mirrored folders and
// checksums: together exactly the files of one plain run, byte for byte; a
// shard run again with --existing skip makes nothing twice and keeps its
// manifest whole; the manifest and the logs' SHA256 are the files' digests.
void TestCli::shardsMakeTheWholeRun()
{
    const QString root = m_dir.filePath(QStringLiteral("tree"));
    QStringList paths;
    for (int box = 1; box <= 3; ++box)
        for (int i = 1; i <= 4; ++i) {
            const QString folder = root + QStringLiteral("/box%1%2").arg(box).arg(box == 2 ? QStringLiteral("/inner") : QString());
            QDir().mkpath(folder);
            paths << folder + QStringLiteral("/%1.png").arg(i, 4, 10, QLatin1Char('0'));
            makeImage(paths.last(), 10 + i, 8 + box, "PNG");
        }
    QFile list(m_dir.filePath(QStringLiteral("tree.txt")));
    QVERIFY(list.open(QIODevice::WriteOnly | QIODevice::Truncate));
    list.write((paths.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    list.close();
    const QStringList common{QStringLiteral("-q"), QStringLiteral("-c"), QStringLiteral("lzw"), QStringLiteral("--mirror-from"), root,
                             QStringLiteral("--files-from"), list.fileName()};

    const QString plain = freshOutput();
    QCOMPARE(run(common + QStringList{QStringLiteral("-o"), plain}), 0);
    const QMap<QString, QByteArray> expected = tree(plain);
    QCOMPARE(expected.size(), paths.size());
    QVERIFY(expected.contains(QStringLiteral("box2/inner/0001.tiff")) && expected.contains(QStringLiteral("box1/0001.tiff")));

    const QString sharded = freshOutput();
    const QString logs = m_dir.filePath(QStringLiteral("shardlogs"));
    QDir().mkpath(logs);
    QString manifests;
    for (int k = 1; k <= 3; ++k) {
        const QString manifest = m_dir.filePath(QStringLiteral("manifest%1").arg(k));
        QCOMPARE(run(common + QStringList{QStringLiteral("-o"), sharded, QStringLiteral("--shard"), QStringLiteral("%1/3").arg(k),
                                          QStringLiteral("--log-dir"), logs, QStringLiteral("--manifest"), manifest}),
                 0);
        // Again: everything exists, nothing is made, the manifest still lists it all.
        QString out;
        QCOMPARE(run(common + QStringList{QStringLiteral("-o"), sharded, QStringLiteral("--shard"), QStringLiteral("%1/3").arg(k),
                                          QStringLiteral("--existing"), QStringLiteral("skip"), QStringLiteral("--manifest"), manifest},
                     &out),
                 0);
        QVERIFY2(out.contains(QStringLiteral("Files created: 0 of")), qPrintable(out));
        QFile m(manifest);
        QVERIFY(m.open(QIODevice::ReadOnly));
        manifests += QString::fromUtf8(m.readAll());
    }
    QCOMPARE(tree(sharded), expected);

    QMap<QString, QString> digests;
    for (const QString &line : manifests.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QCOMPARE(line.mid(64, 2), QStringLiteral("  "));
        QVERIFY2(!digests.contains(line.mid(66)), qPrintable(line)); // in one shard only
        digests.insert(line.mid(66), line.left(64));
    }
    QCOMPARE(digests.keys(), expected.keys());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QCOMPARE(digests.value(it.key()), QString::fromLatin1(QCryptographicHash::hash(it.value(), QCryptographicHash::Sha256).toHex()));

    // One log per shard, each naming its part and host, its digests those of the files.
    const QStringList logNames = QDir(logs).entryList(QDir::Files);
    QCOMPARE(logNames.size(), 3);
    QSet<QString> parts;
    int recorded = 0;
    static const QRegularExpression shardAttr(QStringLiteral("Host=\"[^\"]+\" Shard=\"(\\d/3)\""));
    static const QRegularExpression fileAttr(QStringLiteral("FileName=\"([^\"]+)\" TargetPath=\"([^\"]+)\"[^>]*SHA256=\"([0-9a-f]{64})\""));
    for (const QString &name : logNames) {
        QFile f(QDir(logs).filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString xml = QString::fromUtf8(f.readAll());
        const auto m = shardAttr.match(xml);
        QVERIFY2(m.hasMatch(), qPrintable(xml.left(300)));
        parts.insert(m.captured(1));
        for (auto it = fileAttr.globalMatch(xml); it.hasNext(); ++recorded) {
            const auto r = it.next();
            const QString rel = QDir(sharded).relativeFilePath(r.captured(2) + QLatin1Char('/') + r.captured(1));
            QCOMPARE(r.captured(3), digests.value(rel));
        }
    }
    QCOMPARE(parts.size(), 3);
    QCOMPARE(recorded, paths.size());
}

// Logs of many runs share a folder: a taken name gives the next free one,
// and what stood there is left as it was.
void TestCli::logDirNeverOverAnotherLog()
{
    const QString logs = m_dir.filePath(QStringLiteral("taken"));
    QDir().mkpath(logs);
    // Every name the run could take in the next minute is taken already.
    const QDateTime now = QDateTime::currentDateTime();
    for (int s = -1; s <= 60; ++s) {
        QFile f(QDir(logs).filePath(quillon::Log::fileNameFor(now.addSecs(s))));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("someone else's");
    }
    QString out;
    QCOMPARE(run({QStringLiteral("-q"), QStringLiteral("--log-dir"), logs, QStringLiteral("-o"), freshOutput(), m_images + QStringLiteral("/a1.png")}, &out), 0);
    const QStringList written = QDir(logs).entryList({QStringLiteral("*-2.log")}, QDir::Files);
    QCOMPARE(written.size(), 1);
    QVERIFY2(out.contains(QDir(logs).filePath(written.first())), qPrintable(out));
    for (const QString &name : QDir(logs).entryList({QStringLiteral("*.log")}, QDir::Files)) {
        QFile f(QDir(logs).filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray content = f.readAll();
        if (name == written.first())
            QVERIFY(content.contains("<Log ") && content.contains("Host=\""));
        else
            QCOMPARE(content, QByteArray("someone else's"));
    }
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
